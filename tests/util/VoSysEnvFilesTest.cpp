#include <common/Messages.h>
#include <common/TempDir.h>
#include <common/Wine.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <sx/SxLog.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using vo::test::messagesOf;
namespace fs = std::filesystem;

TEST(VoSysEnvFiles, FreeSpaceOfAPathAndOfTheDataPath) {
   vo::test::TempDir dir;
   const SxString here = VoSysEnv::unifySlashes(SxString(dir.path().string()));
   EXPECT_GT(VoSysEnv::getFreeDiskSpace(here + "/"), 0u);
#ifdef _WIN32
   // A drive is the first three characters; one that does not exist is named in the failure.
   const std::string asked = "Q:/data/file.bin";
   const std::string named = "Q:/";
#else
   // The file system holding the path itself is asked about.
   const std::string asked = here.str() + "/missing/file.bin";
   const std::string named = asked;
#endif
   EXPECT_EQ(messagesOf([&] { (void)VoSysEnv::getFreeDiskSpace(SxString(asked)); }),
             std::vector<std::string>{"Failed to determine free space on drive " + named});
}

TEST(VoSysEnvFiles, TruncatingCutsLengthensAndIgnoresMissingFiles) {
   vo::test::TempDir dir;
   const std::string path = dir.file("data.bin");
   std::ofstream(path, std::ios::binary) << std::string(1000, 'a') << "";
   VoSysEnv::truncateFile(SxString(path), 10);
   EXPECT_EQ(fs::file_size(path), 10u);
   VoSysEnv::truncateFile(SxString(path), 4096);
   EXPECT_EQ(fs::file_size(path), 4096u);
   VoSysEnv::truncateFile(SxString(path), 0);
   EXPECT_EQ(fs::file_size(path), 0u);
   VoSysEnv::truncateFile(SxString(dir.file("missing.bin")), 10);
   EXPECT_FALSE(fs::exists(dir.file("missing.bin")));
}

TEST(VoSysEnvFiles, LinksToFilesAndDirectories) {
   VO_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that creates nothing");
   vo::test::TempDir dir;
   const std::string base = VoSysEnv::unifySlashes(SxString(dir.path().string())).str();
   fs::create_directories(base + "/releases/7");
   std::ofstream(base + "/releases/7/app.txt") << "seven";
   const SxString target(base + "/releases/7");
   const SxString link(base + "//current"); // a doubled separator is reduced
   VoSysEnv::symLinkDir(link, target);
   EXPECT_TRUE(fs::is_symlink(base + "/current"));
   EXPECT_TRUE(fs::exists(base + "/current/app.txt"));
   VoSysEnv::symLinkFile(SxString(base + "/app-link.txt"), target + "/app.txt");
   std::ifstream linked(base + "/app-link.txt");
   std::string text;
   linked >> text;
   EXPECT_EQ(text, "seven");

   EXPECT_EQ(messagesOf([&] { VoSysEnv::symLinkDir(link, target); }),
             std::vector<std::string>{"Creation of Symlink " + target.str() + " -> " + link.str() +
                                      " failed: " + sxstrerror(ERROR_ALREADY_EXISTS).str()});
}

TEST(VoSysEnvFiles, ElevationAndTheLogSwitch) {
#ifdef _WIN32
   if (vo::test::runningUnderWine()) {
      EXPECT_TRUE(VoSysEnv::isElevated()) << "Wine runs as administrator";
   }
#else
   EXPECT_EQ(VoSysEnv::isElevated(), ::geteuid() == 0);
#endif
   VoSysEnv::enableVARGENOutput();
   for (const char* component : {"voclientapi_v1", "voclientapi_v2", "voclient_v1", "voclient_v2",
                                 "voreseq", "vobase", "vonetio", "vodevctl", "voutil"})
      EXPECT_TRUE(SxLog::isEnabled(component)) << component;
   EXPECT_FALSE(SxLog::isEnabled("sxutil"));
}

} // namespace
