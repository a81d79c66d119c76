#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

namespace fs = std::filesystem;

TEST(VoSysEnvPaths, RootDefaultsToTheExecutableDirectoryAndDerivesTheOthers) {
   EXPECT_EQ(VoSysEnv::getExecName(), "util_tests" + SxString(VO_TEST_EXE_SUFFIX));
   const SxString exec = VoSysEnv::getExecPath();
   EXPECT_TRUE(fs::is_directory(exec.str())) << exec;
   EXPECT_NE(exec.tail(1), "/");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), exec + "/");

   VoSysEnv::setRTERootDir("D:\\data\\root\\");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), "D:/data/root/");
   EXPECT_EQ(VoSysEnv::getSchemaPath(), "D:/data/root//schema/");
   EXPECT_EQ(VoSysEnv::getConfigPath(), "D:/data/root//config");
   EXPECT_EQ(VoSysEnv::getSSLPath(), "D:/data/root/");
   EXPECT_EQ(VoSysEnv::getSearchPath(), "D:/data/root/");
   VoSysEnv::setRTERootDir("");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), exec + "/");

   EXPECT_EQ(VoSysEnv::unifySlashes("\\\\server\\share//a\\/b"), "/server/share/a/b");
   EXPECT_EQ(VoSysEnv::unifyBackslashes("a//b\\\\c/\\d"), "a\\b\\c\\d");
}

TEST(VoSysEnvPaths, KnownFoldersAndTheWorkingDirectory) {
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::LocalAppDataAlt),
             VoSysEnv::getSysPath(VoSysEnv::LocalAppData));
   for (int p = VoSysEnv::Documents; p <= VoSysEnv::Programs; ++p) {
      const SxString path = VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(p));
      EXPECT_FALSE(path.isEmpty()) << p;
      EXPECT_FALSE(path.contains("\\")) << path;
   }
   EXPECT_EQ(fs::path(VoSysEnv::getCWD().str()), fs::current_path());
   EXPECT_EXIT(VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(12)), ::testing::ExitedWithCode(1),
               "Abnormal program stop in file src/util/VoSysEnv at line");
}

#ifndef _WIN32
TEST(VoSysEnvPaths, PosixKnownFoldersFollowTheXdgDirectories) {
   vo::test::TempDir home;
   const std::string h = home.path().string();
   ::setenv("HOME", h.c_str(), 1);
   ::setenv("XDG_CONFIG_HOME", (h + "/cfg").c_str(), 1);
   ::unsetenv("XDG_DATA_HOME");
   fs::create_directories(h + "/cfg");
   std::ofstream(h + "/cfg/user-dirs.dirs")
       << "# a comment\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\nXDG_DESKTOP_DIR=\"/abs/desk\"\n";
   const std::pair<VoSysEnv::Path, std::string> kFolders[] = {
       {VoSysEnv::Downloads, h + "/Fetched"},
       {VoSysEnv::Desktop, "/abs/desk"},
       {VoSysEnv::Documents, h + "/Documents"},
       {VoSysEnv::LocalAppData, h + "/.local/share"},
       {VoSysEnv::RoamingAppData, h + "/cfg"},
       {VoSysEnv::ProgramData, "/var/lib"},
       {VoSysEnv::Profile, h}};
   for (const auto& [folder, expected] : kFolders)
      EXPECT_EQ(VoSysEnv::getSysPath(folder).str(), expected) << folder;
}
#endif

TEST(VoSysEnvPaths, DataPathComesFromTheRegistryOrFallsBackToDownloads) {
   const SxString key = "HKCU/SOFTWARE/MORV/VARGEN-Library";
   VoRegistry::rm_rf(key);
   EXPECT_EQ(VoSysEnv::getDataPath(), VoSysEnv::getSysPath(VoSysEnv::Downloads) + "/LyPrefetch/");
   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\\\Cache");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E://Cache/") << "runs are not collapsed";
   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\Cache\\");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E:/Cache/");
   VoRegistry::rm(key, "Root");
   EXPECT_THROW(VoSysEnv::getDataPath(), SxException) << "a key without the value";
   VoRegistry::rm_rf(key);
}

} // namespace
