#include <chrono>
#include <common/TempDir.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

class VoSysEnvRoot : public ::testing::Test {
protected:
   void TearDown() override { VoSysEnv::setRTERootDir(""); }
};

TEST_F(VoSysEnvRoot, DefaultsToTheExecutableDirectoryAndDerivesTheOthers) {
   EXPECT_EQ(VoSysEnv::getExecName(), "util_tests" + SxString(VO_TEST_EXE_SUFFIX));
   const SxString exec = VoSysEnv::getExecPath();
   EXPECT_FALSE(exec.isEmpty());
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
}

TEST(VoSysEnv, UnifiersCollapseEveryMixedRunOfSeparators) {
   EXPECT_EQ(VoSysEnv::unifySlashes("a//b\\\\c/\\d"), "a/b/c/d");
   EXPECT_EQ(VoSysEnv::unifyBackslashes("a//b\\\\c/\\d"), "a\\b\\c\\d");
   EXPECT_EQ(VoSysEnv::unifySlashes("\\\\server\\share"), "/server/share");
   EXPECT_EQ(VoSysEnv::unifySlashes("plain"), "plain");
   EXPECT_EQ(VoSysEnv::unifyBackslashes(""), "");
}

TEST(VoSysEnv, KnownFoldersAndTheWorkingDirectory) {
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::LocalAppDataAlt),
             VoSysEnv::getSysPath(VoSysEnv::LocalAppData));
   for (int p = VoSysEnv::Documents; p <= VoSysEnv::Programs; ++p) {
      const SxString path = VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(p));
      EXPECT_FALSE(path.isEmpty()) << p;
      EXPECT_FALSE(path.contains("\\")) << path;
   }
   EXPECT_FALSE(VoSysEnv::getCWD().isEmpty());
   EXPECT_EXIT(VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(12)), ::testing::ExitedWithCode(1),
               "Abnormal program stop in file src/util/VoSysEnv at line");
}

#ifndef _WIN32
TEST(VoSysEnv, PosixKnownFoldersFollowTheXdgDirectories) {
   vo::test::TempDir home;
   const std::string h = home.path().string();
   ::setenv("HOME", h.c_str(), 1);
   ::setenv("XDG_CONFIG_HOME", (h + "/cfg").c_str(), 1);
   ::unsetenv("XDG_DATA_HOME");
   std::filesystem::create_directories(h + "/cfg");
   std::ofstream(h + "/cfg/user-dirs.dirs")
       << "# written by a "
          "test\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\nXDG_DESKTOP_DIR=\"/abs/desk\"\n";
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::Downloads).str(), h + "/Fetched");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::Desktop).str(), "/abs/desk");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::Documents).str(), h + "/Documents");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::LocalAppData).str(), h + "/.local/share");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::RoamingAppData).str(), h + "/cfg");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::ProgramData).str(), "/var/lib");
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::Profile).str(), h);
}
#endif

TEST(VoSysEnv, DataPathComesFromTheRegistryOrFallsBackToDownloads) {
   const SxString key = "HKCU/SOFTWARE/MORV/VARGEN-Library";
   VoRegistry::rm_rf(key);
   EXPECT_EQ(VoSysEnv::getDataPath(), VoSysEnv::getSysPath(VoSysEnv::Downloads) + "/LyPrefetch/");

   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\Cache");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E:/Cache/");
   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\\\Cache\\");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E://Cache/") << "runs are not collapsed";
   VoRegistry::rm(key, "Root");
   EXPECT_THROW(VoSysEnv::getDataPath(), SxException) << "a key without the value";
   VoRegistry::rm_rf(key);
}

} // namespace

TEST(VoSysEnvClock, SysTimeIsTheSystemClockInMilliseconds) {
   const auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
   const uint64_t sysTime = VoSysEnv::getSysTime();
   const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
   EXPECT_GE(sysTime + 1, static_cast<uint64_t>(before));
   EXPECT_LE(sysTime, static_cast<uint64_t>(after) + 1);
}
