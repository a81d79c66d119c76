#include <common/FaultInjectingOS.h>
#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <voutil/VoLog.h>

namespace {

using Lines = std::vector<std::string>;

const std::string kStamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";

class VoLogTest : public ::testing::Test {
protected:
   std::string logName() const { return dir_.file("run.log"); }

   // The log's lines without their time stamps, which every line must start with.
   Lines lines() const {
      static const std::regex stamped("^" + kStamp + " ");
      Lines found;
      std::istringstream in(vo::test::readFile(logName()));
      for (std::string line; std::getline(in, line);) {
         EXPECT_TRUE(std::regex_search(line, stamped)) << line;
         found.push_back(line.substr(20));
      }
      return found;
   }

   static void expectWholeMessages(const Lines& found) {
      ASSERT_EQ(found.size() % 2, 0u);
      for (std::size_t i = 0; i < found.size(); i += 2) {
         ASSERT_TRUE(found[i].ends_with("] : first")) << found[i];
         ASSERT_EQ(found[i + 1], found[i].substr(0, 3) + "] : second") << "after " << found[i];
      }
   }

   vo::test::TempDir dir_;
   VoLog log_{SxString(logName())};
};

TEST_F(VoLogTest, OpeningEmptiesTheFileConstructionSwitchesTheEchoOnClosingDropsMessages) {
   ::testing::internal::CaptureStdout();
   voLogMsg("util", "shown");
   log_.disableLogToStdOut();
   EXPECT_THROW(VoLog((dir_.path() / "missing" / "x.log").string().c_str()), SxException);
   log_.open(logName().c_str());
   voLogMsg("util", "quiet");
   log_.enableLogToStdOut();
   voLogMsg("util", "shown again");
   log_.close();
   voLogMsg("util", "dropped");
   const std::string out = ::testing::internal::GetCapturedStdout();
   EXPECT_TRUE(std::regex_match(out, std::regex(kStamp + R"( \[util\] : shown\n)" + kStamp +
                                                R"( \[util\] : shown again\n)")))
       << out << "a construction that fails leaves the echo alone; a closed log does not echo";
   EXPECT_EQ(lines(), (Lines{"[util] : quiet", "[util] : shown again"})) << "nor does it write";
}

TEST_F(VoLogTest, PiecesOfAMessageShareAStampAndCommandLinesAreJoinedWithBlanks) {
   log_.disableLogToStdOut();
   voLogMsg("util", "a\n\nb\n"); // empty pieces leave no line
   // The command lines come as main gets them; printing them only reads them.
   const char* argv[] = {"tool", "-a", "b c"};
   VoLog::printCLI("util", 3, const_cast<char**>(argv));
   const wchar_t* wargv[] = {L"w\u00e9", L"x"};
   VoLog::printCLI("util", 2, const_cast<wchar_t**>(wargv));
   VoLog::printCMD("util", "tar", {"-xf", "x.zip"});
   VoLog::printCMD("util", "tar", {});
   const std::string text = vo::test::readFile(logName());
   EXPECT_EQ(text.substr(0, 19), text.substr(text.find('\n') + 1, 19));
   EXPECT_EQ(lines(), (Lines{"[util] : a", "[util] : b", "[util] : tool -a b c",
                             "[util] : w\xC3\xA9 x", "[util] : tar -xf x.zip", "[util] : tar "}));
}

// Opening and closing take the log's lock: no message is cut or written to a closing file.
TEST_F(VoLogTest, OpeningAndClosingWhileOthersLogLeaveWholeMessages) {
   log_.disableLogToStdOut();
   {
      const std::jthread writer([] {
         for (int i = 0; i < 3000; ++i)
            voLogMsg("t0", "first\nsecond");
      });
      for (int i = 0; i < 300; ++i) {
         log_.close();
         log_.open(SxString(logName()));
      }
   }
   expectWholeMessages(lines());
}

// A message is one write: a write that fails drops its message, quietly; what was logged before
// stays, and the log goes on with the next message.
TEST_F(VoLogTest, WriteFaultsDropTheirMessageAndKeepTheOthers) {
   log_.disableLogToStdOut();
   Lines expected;
   for (const vo::test::WriteFault& fault : vo::test::writeFaults(true)) {
      voLogMsg("util", fault.what);
      expected.push_back(std::string("[util] : ") + fault.what);
      EXPECT_TRUE(fault
                      .messagesOf([] {
                         voLogMsg("util", "a\nb");
                         voLogMsg("util", "c");
                      })
                      .empty());
      if (fault.harmless() || fault.skip > 0)
         expected.insert(expected.end(), {"[util] : a", "[util] : b"});
      if (fault.harmless() || fault.skip == 0)
         expected.push_back("[util] : c");
   }
   EXPECT_EQ(lines(), expected);
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
