#include <common/TempDir.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <thread>
#include <vector>
#include <voutil/VoLog.h>

namespace {

using ::testing::HasSubstr;
using vo::test::readFile;
using vo::test::TempDir;

const char kStamp[] = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";

class VoLogTest : public ::testing::Test {
protected:
   std::string logName() const { return dir_.file("run.log"); }
   std::string logText() const { return readFile(logName()); }

   TempDir dir_;
};

TEST_F(VoLogTest, AMultiLineMessageGivesOneLinePerPieceWithOneStamp) {
   VoLog log(logName().c_str());
   log.disableLogToStdOut();
   voLogMsg("util", "a\nb");
   const std::string text = logText();
   std::smatch m;
   ASSERT_TRUE(std::regex_match(text, m,
                                std::regex(std::string("(") + kStamp + R"() \[util\] : a\n)" + "(" +
                                           kStamp + R"() \[util\] : b\n)")))
       << text;
   EXPECT_EQ(m[1], m[2]);
}

TEST_F(VoLogTest, EveryConstructionEmptiesTheFileAndSwitchesTheEchoOn) {
   {
      VoLog first(logName().c_str());
      first.disableLogToStdOut();
      voLogMsg("util", "old run");
   }
   VoLog log(logName().c_str());
   ::testing::internal::CaptureStdout();
   voLogMsg("util", "shown");
   log.disableLogToStdOut();
   voLogMsg("util", "quiet");
   EXPECT_THROW(VoLog((dir_.path() / "missing" / "x.log").string().c_str()), SxException);
   log.open(logName().c_str());
   voLogMsg("util", "still quiet");
   const std::string out = ::testing::internal::GetCapturedStdout();
   EXPECT_TRUE(std::regex_match(out, std::regex(std::string(kStamp) + R"( \[util\] : shown\n)")))
       << out << "a construction that fails leaves the echo alone";
   EXPECT_THAT(logText(), ::testing::Not(HasSubstr("old run")));
   EXPECT_THAT(logText(), HasSubstr("] : still quiet\n"));
}

TEST_F(VoLogTest, NothingIsWrittenOrEchoedWhileTheLogIsClosed) {
   {
      VoLog log(logName().c_str());
      log.close();
      log.enableLogToStdOut();
      ::testing::internal::CaptureStdout();
      voLogMsg("util", "dropped");
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
   }
   EXPECT_EQ(logText(), "");
}

TEST_F(VoLogTest, CommandLinesAreJoinedWithSingleBlanks) {
   VoLog log(logName().c_str());
   log.disableLogToStdOut();
   char tool[] = "tool", a[] = "-a", bc[] = "b c";
   char* argv[] = {tool, a, bc};
   VoLog::printCLI("util", 3, argv);
   wchar_t wtool[] = L"w\u00e9", wx[] = L"x";
   wchar_t* wargv[] = {wtool, wx};
   VoLog::printCLI("util", 2, wargv);
   VoLog::printCMD("util", "tar", {"-xf", "x.zip"});
   VoLog::printCMD("util", "tar", {});
   const std::string text = logText();
   EXPECT_THAT(text, HasSubstr("] : tool -a b c\n"));
   EXPECT_THAT(text, HasSubstr("] : w\xC3\xA9 x\n"));
   EXPECT_THAT(text, HasSubstr("] : tar -xf x.zip\n"));
   EXPECT_THAT(text, HasSubstr("] : tar \n"));
}

TEST_F(VoLogTest, LinesOfConcurrentMessagesNeverInterleave) {
   VoLog log(logName().c_str());
   log.disableLogToStdOut();
   std::vector<std::thread> threads;
   for (int t = 0; t < 4; ++t)
      threads.emplace_back([t] {
         const SxString tag = SxString::sprintf("t%d", t);
         for (int i = 0; i < 200; ++i)
            voLogMsg(tag.utf8(), "first\nsecond");
      });
   for (auto& th : threads)
      th.join();
   const std::string text = logText();
   const std::regex line(std::string(kStamp) + R"( \[(t\d)\] : (first|second))");
   int lines = 0;
   std::string pendingTag;
   for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
        it != std::sregex_iterator(); ++it, ++lines) {
      if ((*it)[2] == "first") {
         ASSERT_TRUE(pendingTag.empty());
         pendingTag = (*it)[1];
      } else {
         ASSERT_EQ(pendingTag, (*it)[1]) << "a second line must follow its own first line";
         pendingTag.clear();
      }
   }
   EXPECT_EQ(lines, 4 * 200 * 2);
}

TEST(VoFatalStop, PrintsTheBannerAndExitsWithOne) {
   // Spelled out: the Windows build of GoogleTest only knows simple regular expressions.
   const std::string rule = "\\+" + std::string(77, '-') + "\n";
   EXPECT_EXIT(voFatalStop("src/util/VoSysEnv.cpp", 42), ::testing::ExitedWithCode(1),
               "^\n" + rule +
                   "\\| Abnormal program stop in file src/util/VoSysEnv.cpp at line 42\\.\n" +
                   rule + "$");
}

} // namespace
