#include <common/Messages.h>
#include <common/TempDir.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sx/SxException.h>
#include <sx/SxProcess.h>

#ifdef _WIN32
#include <cstdlib>
#include <sx/SxExecPath.h>
#include <windows.h>
#endif

namespace {

using ::testing::StartsWith;

#ifndef _WIN32

TEST(SxProcess, ArgumentsGoUnsplitAndBothStreamsAndTheExitCodeComeBack) {
   // The two bytes of the last character arrive in separate reads.
   SxProcess p("/bin/sh", {"-c",
                           "for a; do printf '[%s]' \"$a\"; done; printf 'caf\\303'; sleep 0.1; "
                           "printf '\\251'; echo oops >&2; exit 3",
                           "sh"});
   p.setCommunication(SxProcess::StdOut | SxProcess::StdErr);
   EXPECT_EQ(p.run({"a b", "$HOME", "*", ""}), 3);
   EXPECT_EQ(p.getStderr(), "oops\n");
   EXPECT_EQ(p.readBuffer(21), "[a b][$HOME][*][]caf") << "a character is never split";
   EXPECT_EQ(p.read(), "\xC3\xA9");
   EXPECT_EQ(p.read(), "");
}

TEST(SxProcess, StandardInputIsFedAndLargeOutputOnBothStreamsDoesNotDeadlock) {
   SxProcess p("/bin/sh", {"-c", "tr a-z A-Z; head -c 300000 /dev/zero | tr '\\0' x; "
                                 "head -c 300000 /dev/zero | tr '\\0' y >&2"});
   p.setCommunication(SxProcess::StdIn | SxProcess::StdOut | SxProcess::StdErr);
   p.start({});
   p.write(SxString("hello"));
   p.finishExecution();
   EXPECT_TRUE(p.getStdout().str().starts_with("HELLOxxx"));
   EXPECT_EQ(p.getStdout().getNBytes(), 300005);
   EXPECT_EQ(p.getStderr().getNBytes(), 300000);
}

TEST(SxProcess, TheDestructorClosesStandardInputBeforeItsLastWait) {
   vo::test::TempDir dir;
   const std::string seen = dir.file("seen");
   try {
      // cat ends only at the end of its input; timeout stands in for a hang.
      SxProcess p("/bin/sh", {"-c", "if timeout 10 cat; then echo eof; else echo stuck; fi >\"$0\"",
                              SxString(seen.c_str())});
      p.setCommunication(SxProcess::StdIn | SxProcess::StdOut);
      p.start({});
      throw SxException("between start and the end of execution", "test");
   } catch (const SxException&) {
   }
   EXPECT_EQ(vo::test::readFile(seen), "eof\n");
}

TEST(SxProcess, AProgramThatCannotRunRaisesAndASignalGivesItsCode) {
   SxProcess missing("/nonexistent/tool");
   EXPECT_THAT(vo::test::messageOf([&] { missing.start({}); }),
               StartsWith("Can't start process '/nonexistent/tool' : "));
   SxProcess killed("/bin/sh", {"-c", "kill -9 $$"});
   EXPECT_EQ(killed.run({}), 128 + 9);
}

#else
const char* commandInterpreter() {
   const char* comspec = std::getenv("ComSpec");
   return comspec ? comspec : "C:/windows/system32/cmd.exe";
}

TEST(SxProcess, AChildInheritsOnlyItsOwnHandles) {
   // An inheritable pipe end of ours stands for the pipes of a child started at the same moment.
   SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
   HANDLE readEnd = nullptr, writeEnd = nullptr;
   ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
   SxProcess holder(commandInterpreter()); // runs until its standard input ends
   holder.setCommunication(SxProcess::StdIn | SxProcess::StdOut);
   holder.start({});
   ::CloseHandle(writeEnd);
   DWORD available = 0;
   const BOOL writerLeft = ::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr);
   holder.finishExecution();
   ::CloseHandle(readEnd);
   EXPECT_FALSE(writerLeft) << "the child holds our pipe end";
}

class FailingErrorHook : public SxProcess {
public:
   using SxProcess::SxProcess;
   void readFromStderr(const SxString& /*text*/) override {
      throw SxException("hook failed", "test");
   }
};

TEST(SxProcess, AHookThatRaisesOnTheReaderThreadEndsTheWaitNotTheProcess) {
   FailingErrorHook p(commandInterpreter(), {"/c", "echo oops 1>&2"});
   p.setCommunication(SxProcess::StdOut | SxProcess::StdErr);
   p.start({});
   EXPECT_EQ(vo::test::messageOf([&] { (void)p.wait(); }), "hook failed");
}

// The POSIX cases above need a shell; on Windows the child is the command interpreter or this
// very test program, which prints its list of tests.
TEST(SxProcess, WindowsChildrenGiveTheirOutputAndExitCode) {
   SxProcess exits(commandInterpreter(), {"/c", "exit 3"});
   EXPECT_EQ(exits.run({}), 3);

   char self[4096];
   ASSERT_GT(sxGetExecPath(self, sizeof self), 0);
   SxProcess lister(self, {"--gtest_list_tests"});
   lister.setCommunication(SxProcess::StdOut | SxProcess::StdErr);
   EXPECT_EQ(lister.run({"--gtest_filter=SxProcess.*"}), 0);
   EXPECT_TRUE(lister.getStdout().contains("WindowsChildrenGiveTheirOutputAndExitCode"))
       << lister.getStdout();

   SxProcess missing("C:/nonexistent/tool.exe");
   EXPECT_THAT(vo::test::messageOf([&] { missing.start({}); }),
               StartsWith("Can't start process 'C:/nonexistent/tool.exe'"));
}

#endif

} // namespace
