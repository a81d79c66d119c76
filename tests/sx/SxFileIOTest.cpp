#include <algorithm>
#include <common/FaultInjectingOS.h>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <cstring>
#include <filesystem>
#include <gmock/gmock.h>
#include <sx/SxAtomicFile.h>
#include <sx/SxException.h>
#include <sx/SxExecPath.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxMappedFile.h>
#include <sx/SxProcess.h>
#include <vector>

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

using ::testing::StartsWith;
using namespace vo::test;

// How many descriptors (handles on Windows) the process holds.
std::ptrdiff_t openDescriptors() {
#ifdef _WIN32
   DWORD count = 0;
   ::GetProcessHandleCount(::GetCurrentProcess(), &count);
   return count;
#else
   return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
#endif
}

TEST(SxFS, SplitsPathsAndCreatesDirectoriesAndFilesAndTellsThemApart) {
   // Each path with its directory; the name is run1 throughout.
   const std::pair<const char*, const char*> cases[] = {{"D:/data/run1", "D:/data"},
                                                        {"D:/data/run1/", "D:/data"},
                                                        {"D:\\data\\\\run1", "D:\\data"},
                                                        {"run1", "."},
                                                        {"/run1", "/"}};
   for (const auto& [path, dir] : cases) {
      EXPECT_EQ(SxFile(path).getPath(), dir) << path;
      EXPECT_EQ(SxFile(path).getName(), "run1") << path;
   }
   EXPECT_TRUE(SxFile("x/../y").getAbsPath().str().ends_with("/y"));

   TempDir dir;
   const SxString deep = (dir.path() / "a" / "b").string().c_str();
   SxFSAction::mkdir_p(deep);
   EXPECT_TRUE(SxFSAction::test_d(deep));
   EXPECT_FALSE(SxFSAction::test_f(deep));
   const SxString file = deep + "/f";
   SxFSAction::touch(file, 0600);
   EXPECT_TRUE(SxFSAction::test_f(file));
   EXPECT_THROW(SxFSAction::mkdir_p(file + "/under-a-file"), SxException);
   EXPECT_THROW(SxFSAction::touch(deep + "/missing/f"), SxException);
#ifndef _WIN32
   EXPECT_EQ(std::filesystem::status(file.utf8()).permissions(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}

TEST(SxFS, SameFileSeesThroughLinksAndSpellingsButNotEqualContent) {
   TempDir dir;
   const std::string a = dir.file("a");
   writeFile(a, "same");
   writeFile(dir.file("twin"), "same");
   const SxString name = a.c_str();
   EXPECT_TRUE(SxFSAction::sameFile(name, name));
   EXPECT_TRUE(SxFSAction::sameFile(name, (dir.path() / "." / "a").string().c_str()));
#ifndef _WIN32
   std::filesystem::create_symlink(a, dir.file("soft"));
   EXPECT_TRUE(SxFSAction::sameFile(dir.file("soft").c_str(), name));
#endif
   EXPECT_FALSE(SxFSAction::sameFile(name, dir.file("twin").c_str()));
   EXPECT_FALSE(SxFSAction::sameFile(name, dir.file("missing").c_str()));
   EXPECT_FALSE(SxFSAction::sameFile(dir.file("missing").c_str(), dir.file("missing").c_str()));
}

// The file is written beside the target and takes its place on commit only; no temporary file
// stays, whichever step fails.
TEST(SxAtomicFile, ReplacesTheTargetOnlyOnASuccessfulCommit) {
   using Call = SxOS::Call;
   TempDir dir;
   const SxString target = dir.file("t").c_str();
   const auto attempt = [&](const char* text, bool commit) {
      writeFile(target.utf8(), "old");
      return raisedBy([&] {
         SxAtomicFile file(target, 0600);
         file.write(SxString(text));
         EXPECT_EQ(readFile(target.utf8()), "old") << "written beside, not in place";
         if (commit)
            file.commit();
      });
   };
   const auto onlyTarget = [&] {
      return std::distance(std::filesystem::directory_iterator(dir.path()), {}) == 1;
   };
   EXPECT_FALSE(attempt("new", false));
   EXPECT_EQ(readFile(target.utf8()), "old");
   EXPECT_FALSE(attempt("new", true));
   EXPECT_EQ(readFile(target.utf8()), "new");
   EXPECT_TRUE(onlyTarget());
   for (const auto& [call, error] :
        {std::pair{Call::Sync, EIO}, {Call::Close, ENOSPC}, {Call::Rename, EIO}}) {
      FaultInjectingOS os;
      ScopedOS installed(os);
      os.fail(call, error);
      const auto raised = attempt("new", true);
      ASSERT_TRUE(raised && os.fired()) << static_cast<int>(call);
      EXPECT_EQ(raised->getTag(), "FileWriteError");
      EXPECT_EQ(raised->getMessage(),
                SxFileIO::fileWriteErr(target) + " : " + std::strerror(error));
      EXPECT_EQ(readFile(target.utf8()), "old");
      EXPECT_TRUE(onlyTarget());
   }
#ifndef _WIN32
   EXPECT_EQ(std::filesystem::status(target.utf8()).permissions(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
   // Through a link, the file pointed to gets the content and the link stays a link.
   std::filesystem::create_symlink(target.utf8(), dir.file("link"));
   SxAtomicFile viaLink(dir.file("link").c_str());
   viaLink.write(SxString("linked"));
   viaLink.commit();
   EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
   EXPECT_EQ(readFile(target.utf8()), "linked");
   // Nothing but a regular file is replaced, through a link neither.
   ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
   std::filesystem::create_symlink("/dev/null", dir.file("device"));
   for (const char* name : {"fifo", "device"})
      EXPECT_EQ(messageOf([&] { SxAtomicFile(dir.file(name).c_str()); }),
                "Can't open file '" + dir.file(name) + "' : it is not a regular file");
   EXPECT_EQ(std::filesystem::status("/dev/null").type(), std::filesystem::file_type::character);
#endif
   const std::string directory = dir.path().string();
   EXPECT_EQ(messageOf([&] { SxAtomicFile(directory.c_str()); }),
             "Can't open file '" + directory + "' : " + std::strerror(EISDIR));
   EXPECT_EQ(messageOf([&] { SxAtomicFile(dir.file("no/such").c_str()); }),
             "Can't open file '" + dir.file("no/such") + "' : No such file or directory");
}

TEST(SxExecPath, ATooSmallBufferFailsWithAnEmptyText) {
   char tiny[4];
   EXPECT_EQ(sxGetExecPath(tiny, sizeof tiny), -1);
   EXPECT_EQ(tiny[0], '\0');
}

TEST(SxFileIO, WritesExactBytesAndTypedArraysAndReadsThemBack) {
   TempDir dir;
   const SxString name = dir.file("data").c_str();
   SxFileIO io;
   io.open(name, "wb", 0600);
   io.write(SxString("h\xC3\xA9llo, and more"), 6);
   io.write("\x00\x0A", 2);
   io.close();
   EXPECT_EQ(readFile(name.utf8()), std::string("h\xC3\xA9llo\0\n", 8));
   io.open(name, "rb");
   char three[3];
   EXPECT_EQ(io.read(three, 3), 3);
   EXPECT_EQ(std::string(three, 3), "h\xC3\xA9");
   EXPECT_EQ(io.readUtf8().str(), std::string("llo\0\n", 5));
   EXPECT_EQ(io.read(three, 3), 0);

   io.open(name, "wb");
   io.write(SxArray<int32_t>{1, -2, 3}, 2);
   io.write(SxArray<char>{'x'});
   io.open(name, "rb");
   SxArray<int32_t> ints;
   EXPECT_EQ(io.read(ints, 2), 2);
   EXPECT_EQ(ints, (SxArray<int32_t>{1, -2}));
   SxArray<char> rest(7);
   EXPECT_EQ(io.read(rest, 4), 1); // fewer only where the file ends
   EXPECT_EQ(rest, SxArray<char>{'x'});
}

TEST(SxFileIO, FailuresNameTheFileAndOnlyWriteErrorsAreTagged) {
   TempDir dir;
   const SxString missing = dir.file("no/such").c_str();
   SxFileIO io;
   EXPECT_EQ(messageOf([&] { io.open(missing, "rb"); }),
             "Can't open file '" + missing.str() + "' : No such file or directory");
   EXPECT_THROW(io.write(SxString("x")), SxException);

   const SxString name = dir.file("odd").c_str();
   io.open(name, "wb");
   io.write("12345", 5);
   io.open(name, "rb");
   SxArray<int32_t> ints;
   const SxException halfElement = raisedBy([&] { (void)io.read(ints, 2); }).value();
   EXPECT_THAT(halfElement.getMessage().str(),
               StartsWith("Can't read from file '" + name.str() + "' : "));
   EXPECT_TRUE(halfElement.getTag().isEmpty());
   const SxException readOnly = raisedBy([&] { io.write(SxString("x")), io.flush(); }).value();
   EXPECT_EQ(readOnly.getTag(), "FileWriteError");
   EXPECT_THAT(readOnly.getMessage().str(),
               StartsWith("Can't write to file '" + name.str() + "' : "));
#ifndef _WIN32
   // A directory that opens but reads nothing.
   io.open(dir.path().string().c_str(), "rb");
   EXPECT_THROW((void)io.read(ints, 4), SxException);
   char byte;
   EXPECT_THROW((void)io.read(&byte, 1), SxException);
#endif
}

TEST(SxFileIO, TypedAccessAgainstTheOpenModeStopsTheProcess) {
   TempDir dir;
   const SxString name = dir.file("f").c_str();
   SxArray<char> bytes(4);
   // Reading a file open for writing, writing one open for reading, reading a closed one.
   for (const char* mode : {"wb", "rb", ""}) {
      EXPECT_EXIT(
          {
             SxFileIO io;
             if (*mode) {
                io.open(name, "wb"); // made here: on Windows a death test runs in a new process
                io.open(name, mode);
             }
             if (*mode == 'r')
                io.write(bytes);
             else
                (void)io.read(bytes, 4);
          },
          ::testing::ExitedWithCode(1), "Abnormal program stop in file src/sx/SxFileIO at line ")
          << mode;
   }
}

// Cuts the named file short after the first read of it, as another process might.
struct ShrinkingOS : SxForwardingOS {
   ShrinkingOS() : SxForwardingOS(SxOS::platform()) {}
   int64_t read(std::FILE* file, void* buffer, int64_t n) override {
      const int64_t got = target().read(file, buffer, n);
      if (!name.empty())
         std::filesystem::resize_file(std::exchange(name, ""), 10);
      return got;
   }
   std::string name;
};

TEST(SxMappedFile, HoldsTheWholeFileAndAFileCutShortRaisesTheReadError) {
   TempDir dir;
   const std::string some = dir.file("some.bin");
   writeFile(some, std::string(100000, 'x'));
   writeFile(dir.file("empty.bin"), "");
   const SxMappedFile whole(some.c_str());
   EXPECT_EQ(whole.bytes(), std::string(100000, 'x'));
   EXPECT_TRUE(SxMappedFile(dir.file("empty.bin").c_str()).bytes().empty());
   EXPECT_THROW(SxMappedFile{dir.file("missing").c_str()}, SxException);
#ifndef _WIN32
   // Here a mapping of a file cut short would fault on access.
   EXPECT_FALSE(whole.isMapped());
   ShrinkingOS os;
   os.name = some;
   ScopedOS installed(os);
   EXPECT_EQ(messageOf([&] {
                const SxMappedFile cut(some.c_str());
                EXPECT_EQ(std::count(cut.bytes().begin(), cut.bytes().end(), 'x'), 100000);
             }),
             "Can't read from file '" + some + "' : the file shrank while it was read");
#else
   EXPECT_TRUE(whole.isMapped());
#endif
}

// Starts program and writes input in two pieces to it, which echoes it, with each fault armed in
// turn. A pipe or a child that cannot be made fails the start with the system's reason.
// Interrupted and short transfers, at the first call or a later one, are carried on, and echoed
// checks what the child gave back; a failed one raises its message. The child is reaped and no
// pipe end stays open either way.
template <class Echoed>
void expectPipeFaultsCarriedOnOrRaised(const SxString& program, const SxList<SxString>& args,
                                       const std::string& input, Echoed&& echoed) {
   using Call = SxOS::Call;
   using Effect = FaultInjectingOS::Effect;
   const std::string startFailed = "Can't start process '" + program.str() + "' : ";
   const std::string writeFailed =
       "Can't write to the standard input of process '" + program.str() + "'";
   const std::string readFailed =
       "Can't read from child process: " + std::string(std::strerror(EIO));
   const struct {
      Call call;
      Effect effect;
      int error;
      int skip;
      std::string raised;
   } faults[] = {
       {Call::Pipe, Effect::Fail, EMFILE, 0, startFailed + "pipe: " + std::strerror(EMFILE)},
       {Call::Pipe, Effect::Fail, ENFILE, 2, startFailed + "pipe: " + std::strerror(ENFILE)},
       {Call::Spawn, Effect::Fail, EAGAIN, 0, startFailed + "spawn: " + std::strerror(EAGAIN)},
       {Call::WritePipe, Effect::Interrupt, 0, 0, ""},
       {Call::WritePipe, Effect::Short, 0, 1, ""},
       {Call::ReadPipe, Effect::Interrupt, 0, 1, ""},
       {Call::ReadPipe, Effect::Short, 0, 0, ""},
       {Call::WritePipe, Effect::Fail, EPIPE, 0, writeFailed},
       {Call::WritePipe, Effect::Fail, EIO, 1, writeFailed},
       {Call::ReadPipe, Effect::Fail, EIO, 1, readFailed}};
   for (const auto& fault : faults) {
      SCOPED_TRACE(&fault - faults);
      const auto descriptors = openDescriptors();
      FaultInjectingOS os;
      ScopedOS installed(os);
      os.inject(fault.call, fault.effect, fault.error, fault.skip);
      {
         SxProcess p(program, args);
         p.setCommunication(SxProcess::StdIn | SxProcess::StdOut | SxProcess::StdErr);
         const long long half = static_cast<long long>(input.size() / 2);
         const std::string raised = messageOf([&] {
            p.start({});
            p.write(input.data(), half);
            p.write(input.data() + half, static_cast<long long>(input.size()) - half);
            p.finishExecution();
         });
         EXPECT_EQ(raised, fault.raised.empty() ? "<nothing thrown>" : fault.raised);
         if (fault.raised.empty())
            echoed(p);
      }
      EXPECT_TRUE(os.fired());
      EXPECT_EQ(openDescriptors(), descriptors);
   }
}

#ifndef _WIN32

TEST(SxProcess, ArgumentsGoUnsplitStreamsAndExitCodesComeBackAndAMissingProgramRaises) {
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

   EXPECT_THAT(messageOf([] { SxProcess("/nonexistent/tool").start({}); }),
               StartsWith("Can't start process '/nonexistent/tool' : "));
   EXPECT_EQ(SxProcess("/bin/sh", {"-c", "kill -9 $$"}).run({}), 128 + 9);
}

// The output is read while the input is written: an echoing child fills its output pipe long
// before it has read its whole input.
TEST(SxProcess, AnEchoingChildGetsEveryByteBackThroughFaultyPipesOrTheFailureIsRaised) {
   // Letters in no short cycle, so that a byte lost or sent twice shows.
   std::string input(1 << 20, 'a');
   for (std::size_t i = 0; i < input.size(); ++i)
      input[i] = static_cast<char>('a' + (i * 2654435761u >> 13) % 26);
   expectPipeFaultsCarriedOnOrRaised("/bin/sh",
                                     {"-c", "cat; head -c 300000 /dev/zero | tr '\\0' y >&2"},
                                     input, [&](const SxProcess& p) {
                                        EXPECT_TRUE(p.getStdout().str() == input);
                                        EXPECT_EQ(p.getStderr().getNBytes(), 300000);
                                     });

   // A child that has gone makes the write fail, and no SIGPIPE ends this process.
   SxProcess gone("/bin/true");
   gone.setCommunication(SxProcess::StdIn | SxProcess::StdOut);
   gone.start({});
   EXPECT_EQ(messageOf([&] { gone.write(SxString(std::string(1 << 20, 'a'))); }),
             "Can't write to the standard input of process '/bin/true'");
   EXPECT_EQ(gone.wait(), 0);
}

TEST(SxProcess, TheDestructorClosesStandardInputBeforeItsLastWait) {
   TempDir dir;
   const std::string seen = dir.file("seen");
   {
      // cat ends only at the end of its input; timeout stands in for a hang.
      SxProcess p("/bin/sh", {"-c", "if timeout 10 cat; then echo eof; else echo stuck; fi >\"$0\"",
                              SxString(seen.c_str())});
      p.setCommunication(SxProcess::StdIn | SxProcess::StdOut);
      p.start({});
   } // gone while the child still waits for its input to end
   EXPECT_EQ(readFile(seen), "eof\n");
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

TEST(SxProcess, CommandsOnTheInterpretersInputRunThroughFaultyPipesOrTheFailureIsRaised) {
   expectPipeFaultsCarriedOnOrRaised(
       commandInterpreter(), {}, "echo piped\r\n",
       [](const SxProcess& p) { EXPECT_TRUE(p.getStdout().contains("piped")); });
}

struct FailingErrorHook : SxProcess {
   using SxProcess::SxProcess;
   void readFromStderr(const SxString&) override { throw SxException("hook failed", "test"); }
};

TEST(SxProcess, AHookThatRaisesOnTheReaderThreadEndsTheWaitNotTheProcess) {
   FailingErrorHook p(commandInterpreter(), {"/c", "echo oops 1>&2"});
   p.setCommunication(SxProcess::StdOut | SxProcess::StdErr);
   p.start({});
   EXPECT_EQ(messageOf([&] { (void)p.wait(); }), "hook failed");
}

// The POSIX cases above need a shell; on Windows the child is the command interpreter or this
// very test program, which prints its list of tests.
TEST(SxProcess, WindowsChildrenGiveTheirOutputAndExitCode) {
   EXPECT_EQ(SxProcess(commandInterpreter(), {"/c", "exit 3"}).run({}), 3);

   char self[4096];
   ASSERT_GT(sxGetExecPath(self, sizeof self), 0);
   SxProcess lister(self, {"--gtest_list_tests"});
   lister.setCommunication(SxProcess::StdOut | SxProcess::StdErr);
   EXPECT_EQ(lister.run({"--gtest_filter=SxProcess.*"}), 0);
   EXPECT_TRUE(lister.getStdout().contains("WindowsChildrenGiveTheirOutputAndExitCode"))
       << lister.getStdout();

   EXPECT_THAT(messageOf([] { SxProcess("C:/nonexistent/tool.exe").start({}); }),
               StartsWith("Can't start process 'C:/nonexistent/tool.exe'"));
}

#endif

} // namespace
