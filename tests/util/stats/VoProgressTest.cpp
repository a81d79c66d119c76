#include <common/FaultInjectingOS.h>
#include <common/TempDir.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

using vo::test::readFile;

std::string printed(uint64_t current, uint64_t total, uint64_t startTime) {
   ::testing::internal::CaptureStdout();
   VoSysEnv::printProgress(current, total, startTime, "copy", "backup.img");
   return ::testing::internal::GetCapturedStdout();
}

TEST(VoSysEnvProgress, PrintRewritesOneLineAndEndsItWhenDone) {
   const uint64_t threeSecondsAgo = VoSysEnv::getSysTime() - 3000;
   const std::string head = "\rbackup.img" + std::string(30, ' ') + " copy" + std::string(6, ' ');
   EXPECT_EQ(printed(5, 10, threeSecondsAgo),
             head + std::string(12, ' ') + "5 " + std::string(10, ' ') + "10  50.00%      3 s\r");
   EXPECT_EQ(printed(15, 10, threeSecondsAgo),
             head + std::string(11, ' ') + "15 " + std::string(10, ' ') + "10 150.00%      3 s\r");
   EXPECT_TRUE(printed(10, 10, threeSecondsAgo).ends_with("10 100.00%      3 s\r\n"));
   EXPECT_EQ(printed(0, 0, 0), "");
}

class VoSysEnvProgressFile : public ::testing::Test {
protected:
   void SetUp() override { pointDataPathAt(dir.path().string() + "/"); }
   void TearDown() override { VoRegistry::rm_rf(kKey); }

   static void pointDataPathAt(const std::string& path) {
      VoRegistry::setVal(kKey, "Root", VoRegistry::Item::Sz, path.c_str());
   }

   static constexpr char kKey[] = "HKCU/SOFTWARE/MORV/VARGEN-Library";
   vo::test::TempDir dir;
};

TEST_F(VoSysEnvProgressFile, HoldsOnlyTheLatestLine) {
   const std::string file = dir.file("progress");
   const uint64_t now = VoSysEnv::getSysTime();
   VoSysEnv::logProgress(1, 3, now, "copy", "backup.img");
   EXPECT_TRUE(readFile(file).starts_with("backup.img copy 1 3 33.3")) << readFile(file);
#ifndef _WIN32
   EXPECT_EQ(std::filesystem::status(file).permissions(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
   VoSysEnv::logProgress(3, 3, now, "copy", "backup.img");
   VoSysEnv::logProgress(3, 0, now, "copy", "backup.img");
   EXPECT_EQ(readFile(file), "backup.img copy 3 3 100 0\n") << "a total of 0 reports nothing";
}

// A failed write is logged and leaves the last whole line; the log itself is never taken for
// the progress file.
TEST_F(VoSysEnvProgressFile, WriteFaultsAndTheLogAsProgressFileLeaveBothFilesWhole) {
   const std::string file = dir.file("progress");
   const std::string log = dir.file("log.txt");
   VoLog voLog(log.c_str());
   voLog.disableLogToStdOut();
   for (const vo::test::WriteFault& fault : vo::test::writeFaults(false)) {
      VoSysEnv::logProgress(1, 2, VoSysEnv::getSysTime(), "copy", "old");
      fault.messagesOf([] { VoSysEnv::logProgress(2, 2, VoSysEnv::getSysTime(), "copy", "new"); });
      EXPECT_TRUE(
          readFile(file).starts_with(fault.harmless() ? "new copy 2 2 100 " : "old copy 1 2 50 "))
          << fault.what;
      if (!fault.harmless()) {
         EXPECT_NE(readFile(log).find("Cannot log progress: " +
                                      fault.on((VoSysEnv::getDataPath() + "progress").str())),
                   std::string::npos);
      }
   }

   VoLog onProgress(file.c_str());
   onProgress.disableLogToStdOut();
   voLogMsg("util", "logged");
   VoSysEnv::logProgress(1, 2, 0, "copy", "backup.img");
   const std::string logged = readFile(file);
   EXPECT_NE(logged.find("[util] : logged\n"), std::string::npos) << logged;
   EXPECT_NE(logged.find("[util] : Cannot log progress: The progress file "), std::string::npos)
       << logged;
}

} // namespace
