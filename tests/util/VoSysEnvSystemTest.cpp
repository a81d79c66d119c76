// Processes and files: what the system-environment class asks of the machine beyond itself, and
// (POSIX only) how it fares when the machine refuses.

#include <common/Messages.h>
#include <common/TempDir.h>
#include <common/Wine.h>
#include <filesystem>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <sx/SxLog.h>
#include <sx/SxProcess.h>
#include <unistd.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

#ifndef _WIN32
#include <common/FaultInjectingRegistryBackend.h>
#include <voplatform/TestSeams.h>
#endif

namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace vo::test;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(VoSysEnvProcess, AChildIsFoundByNameWaitedForAndKilled) {
   // The sleeping child under a name of this process's own, so that it can be looked for by name;
   // its sleep is bounded should the test stop early.
   TempDir dir;
   const SxString name("vochild-" + std::to_string(::getpid()) + VO_TEST_EXE_SUFFIX);
   fs::copy_file(SYSENV_CHILD, dir.file(name.str()));
   SxProcess child(SxString(dir.file(name.str())));
   child.start({"20000"});
   const uint64_t pid = VoSysEnv::getProcessID(name, 10000);
   ASSERT_NE(pid, VoSysEnv::kProcessNotFound);
   EXPECT_EQ(VoSysEnv::getProcessID(name, 0), VoSysEnv::kProcessNotFound) << "0 does not look";
   EXPECT_TRUE(VoSysEnv::isProcRunning(name));
   EXPECT_TRUE(VoSysEnv::getAllWindowsInProcess(pid).isEmpty());
   const SxString where = VoSysEnv::unifySlashes(SxString(dir.path().string()) + "/");
   EXPECT_TRUE(VoSysEnv::isProcOnDriveRunning(where));
   EXPECT_FALSE(VoSysEnv::isProcOnDriveRunning(where + "elsewhere/"));

   // The wait blocks on the process: it has not returned while the child sleeps, and returns
   // when the child is ended.
   auto waited = std::async(std::launch::async, [pid] { VoSysEnv::waitForPID(pid, 0); });
   EXPECT_EQ(waited.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
   VoSysEnv::killProcess(pid);
   waited.get();
   EXPECT_NE(child.wait(), 3) << "the sleep ran out: the child was never ended";
   EXPECT_FALSE(VoSysEnv::isProcRunning(name));
}

TEST(VoSysEnvProcess, WaitingForAMissingNameLogsTheSearchAndFails) {
   // The search finds nothing and hands on the id of no process, which cannot be opened.
   TempDir dir;
   VoLog log(dir.file("wait.log").c_str());
   log.disableLogToStdOut();
   EXPECT_THROW(VoSysEnv::waitForProcess("no-such-program.exe", 1, 0), SxException);
   EXPECT_THAT(readFile(dir.file("wait.log")),
               AllOf(HasSubstr("[util] : Process no-such-program.exe identified as PID "
                               "18446744073709551615\n"),
                     HasSubstr("[util] : Waiting for Process 18446744073709551615 to end.\n")));
}

// A minimal header: "MZ", then "PE\0\0" and the two bytes of the machine type.
std::string peHeader(const char (&machine)[3]) {
   return "MZ" + std::string(62, '\0') + std::string("PE\0\0", 4) + machine +
          std::string(512, '\0');
}

// What is64BitApp makes of a file: "64" or "32" bits, or the messages it raises.
Strings bitWidthOf(const std::string& path) {
   std::string bits;
   const Strings messages =
       messagesOf([&] { bits = VoSysEnv::is64BitApp(SxString(path)) ? "64" : "32"; });
   return messages.empty() ? Strings{bits} : messages;
}

TEST(VoSysEnvProcess, BitWidthOfExecutables) {
   const std::string notFound = "Bit width parameter not found in file specified. Please check "
                                "wherever file is a valid .exe file.";
   const std::string tooSmall = "The buffer read was too small for identification of bit width.";
   const std::pair<std::string, std::string> kCases[] = {
       {peHeader("\x64\xAA"), "64"}, // only the low byte counts: 0x64
       {"just some text\n", notFound},
       {"", notFound},
       {std::string("PE\0\0d\x86", 6) + std::string(64, '\0'), notFound},
       {std::string(4091, 'x') + std::string("PE\0\0d", 5) + std::string(100, '\0'), tooSmall},
       {std::string("MZPE\0\0d\x86", 8), tooSmall},
       {peHeader("\xC4\x01"), "Bit width value is invalid in file specified. Please check wherever "
                              "file is a valid WIN32 .exe file."},
   };
   TempDir dir;
   for (std::size_t i = 0; i < std::size(kCases); ++i) {
      std::ofstream(dir.file(std::to_string(i) + ".exe"), std::ios::binary) << kCases[i].first;
      EXPECT_EQ(bitWidthOf(dir.file(std::to_string(i) + ".exe")), Strings{kCases[i].second})
          << "case " << i;
   }
   EXPECT_EQ(bitWidthOf(dir.file("missing.exe")),
             Strings{"The file " + dir.file("missing.exe") + " does not exist."});
#ifdef _WIN32
   EXPECT_TRUE(VoSysEnv::is64BitApp(VOUTIL_TOOL)) << "the tool is built for x64";
   // A file held open without sharing cannot be opened again.
   const std::string unreadable = dir.file("locked.exe");
   std::ofstream(unreadable, std::ios::binary) << peHeader("\x64\x86");
   const HANDLE lock = ::CreateFileA(unreadable.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
   ASSERT_NE(lock, INVALID_HANDLE_VALUE);
#else
   // Reading a process's memory at address 0 fails, though the file opens.
   const std::string unreadable = "/proc/self/mem";
#endif
   EXPECT_THAT(bitWidthOf(unreadable), ElementsAre("Cannot read " + unreadable, ::testing::_));
#ifdef _WIN32
   ::CloseHandle(lock);
#endif
}

#ifdef _WIN32
TEST(VoSysEnvProcess, VisibleMainWindowsComeFirst) {
   VO_SKIP_UNDER_WINE("there is no display to make windows on");
   const auto make = [](HWND owner, DWORD style) {
      return ::CreateWindowExW(0, L"STATIC", L"voutil test", style, 0, 0, 10, 10, owner, nullptr,
                               nullptr, nullptr);
   };
   const HWND mainWindow = make(nullptr, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
   const HWND toolA = make(mainWindow, WS_POPUP);
   const HWND toolB = make(mainWindow, WS_POPUP);
   const auto windows = VoSysEnv::getAllWindowsInProcess(::GetCurrentProcessId());
   ASSERT_FALSE(windows.isEmpty());
   EXPECT_EQ(windows.first(), mainWindow);
   for (const HWND w : {toolA, toolB, mainWindow})
      ::DestroyWindow(w);
}
#endif

TEST(VoSysEnvFiles, FreeSpaceOfAPath) {
   const SxString here = VoSysEnv::getExecPath();
   EXPECT_GT(VoSysEnv::getFreeDiskSpace(here + "/"), 0u);
#ifdef _WIN32
   // A drive is the first three characters; one that does not exist is named in the failure.
   const std::string asked = "Q:/data/file.bin", named = "Q:/";
#else
   // The file system holding the path itself is asked about.
   const std::string asked = here.str() + "/missing/file.bin", named = asked;
#endif
   EXPECT_EQ(messagesOf([&] { (void)VoSysEnv::getFreeDiskSpace(SxString(asked)); }),
             Strings{"Failed to determine free space on drive " + named});
}

TEST(VoSysEnvFiles, TruncatingCutsLengthensAndIgnoresMissingFiles) {
   TempDir dir;
   // A name outside every ANSI code page.
   const fs::path path = dir.path() / fs::path(u8"d\u00e5ta-\u0436.bin");
   const std::u8string name = path.u8string();
   std::ofstream(path, std::ios::binary) << std::string(1000, 'a');
   for (const uint64_t size : {10u, 4096u, 0u}) {
      VoSysEnv::truncateFile(
          SxString(std::string_view(reinterpret_cast<const char*>(name.data()), name.size())),
          size);
      EXPECT_EQ(fs::file_size(path), size);
   }
   VoSysEnv::truncateFile(SxString(dir.file("missing.bin")), 10);
   EXPECT_FALSE(fs::exists(dir.file("missing.bin")));
}

TEST(VoSysEnvFiles, ALinkIsMadeOnceThenFailsWithTheSystemText) {
   VO_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that creates nothing");
   TempDir dir;
   const std::string base = VoSysEnv::unifySlashes(SxString(dir.path().string())).str();
   fs::create_directories(base + "/releases/7");
   const SxString target(base + "/releases/7");
   // A doubled separator is reduced for the system; the message names the link as given.
   const SxString link(base + "//current");
   VoSysEnv::symLinkDir(link, target);
   EXPECT_EQ(messagesOf([&] { VoSysEnv::symLinkDir(link, target); }),
             Strings{"Creation of Symlink " + target.str() + " -> " + link.str() +
                     " failed: " + sxstrerror(ERROR_ALREADY_EXISTS).str()});
}

TEST(VoSysEnvFiles, ElevationAndTheLogSwitch) {
#ifdef _WIN32
   if (runningUnderWine()) {
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

#ifndef _WIN32
// Failures that need the system to fail: the platform layer's seams make the next call of a
// chosen function fail with a chosen status.
TEST(VoSysEnvFault, AFailedProcessSnapshotFindsNothing) {
   // Only the drive search logs, and only a snapshot that cannot be taken.
   TempDir dir;
   VoLog log{SxString(dir.file("walk.log"))};
   log.disableLogToStdOut();
   for (const char* call : {"CreateToolhelp32Snapshot", "Process32FirstW"}) {
      voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
      EXPECT_EQ(messagesOf([] { (void)VoSysEnv::getRunningProcNames(); }),
                Strings{"Cannot obtain list of running processes"})
          << call;
      voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
      EXPECT_FALSE(VoSysEnv::isProcRunning(VoSysEnv::getExecName())) << call;
      voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
      EXPECT_EQ(VoSysEnv::getProcessID(VoSysEnv::getExecName(), 60000), VoSysEnv::kProcessNotFound)
          << call << ": a failed walk ends the search";
      voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
      EXPECT_FALSE(VoSysEnv::isProcOnDriveRunning("/")) << call;
   }
   const std::string logged = readFile(dir.file("walk.log"));
   EXPECT_EQ(logged.substr(logged.find(" [")), " [util] : Failed to create Process snapshot\n");
}

TEST(VoSysEnvFault, ElevationFailsWhereHostAndUserFallBack) {
   voplatform::failNextCall("OpenProcessToken", ERROR_ACCESS_DENIED);
   EXPECT_EQ(messagesOf([] { (void)VoSysEnv::isElevated(); }),
             Strings{"Cannot create process token for query elevation: " +
                     sxstrerror(ERROR_ACCESS_DENIED).str()});
   voplatform::failNextCall("GetTokenInformation", ERROR_INVALID_PARAMETER);
   EXPECT_EQ(messagesOf([] { (void)VoSysEnv::isElevated(); }),
             Strings{"Cannot get token information for query elevation: " +
                     sxstrerror(ERROR_INVALID_PARAMETER).str()});
   // Host and user fall back to fixed names when the system cannot tell.
   voplatform::failNextCall("GetComputerNameExW", ERROR_ACCESS_DENIED);
   EXPECT_EQ(VoSysEnv::getHostname(), "localhost");
   voplatform::failNextCall("GetUserNameW", ERROR_NONE_MAPPED);
   EXPECT_EQ(VoSysEnv::getUsername(), "nobody");
}

TEST(VoSysEnvFault, AdaptersAreSortedAndShowSixBytes) {
   using Bytes = std::vector<BYTE>;
   voplatform::setAdapterAddresses(std::vector<Bytes>{
       {0x0A, 0x00, 0x27, 0x00, 0x00, 0x05}, {0x00, 0x15, 0x5D, 0x01, 0x02, 0x03}, {0x0A, 0x00}});
   EXPECT_EQ(VoSysEnv::getAdaptersId(),
             (SxList<SxString>{"00-15-5D-01-02-03", "0A-00-00-00-00-00", "0A-00-27-00-00-05"}))
       << "a two-byte address shows the zero bytes that follow it";
   voplatform::setAdapterAddresses(std::vector<Bytes>(33, Bytes{1, 2, 3, 4, 5, 6}));
   EXPECT_TRUE(VoSysEnv::getAdaptersId().isEmpty()) << "more than fit in the buffer";
   voplatform::setAdapterAddresses(std::vector<Bytes>(32, Bytes{1, 2, 3, 4, 5, 6}));
   EXPECT_EQ(VoSysEnv::getAdaptersId().getSize(), 32) << "repeats are kept";
   voplatform::setAdapterAddresses(std::vector<Bytes>{});
   EXPECT_TRUE(VoSysEnv::getAdaptersId().isEmpty()) << "the system reports no data";
   voplatform::setAdapterAddresses(std::nullopt);
}

TEST(VoSysEnvFault, UserKeysWrapTheRegistryFailure) {
   using Op = FaultInjectingRegistryBackend::Op;
   const ScratchStore store;
   VoSysEnv::setUserKey("App", "k");
   VoRegistry::setVal("HKCU/Software/MORV/Apps/App", "FeedbackProvided", VoRegistry::Item::DWord,
                      "1");
   // A read fails at the read after the look.
   const auto expectWraps = [&](Op op, const char* message, const std::function<void()>& call) {
      store.faults->failCall(op, ERROR_DISK_FULL, op == Op::QueryValue ? 1 : 0);
      EXPECT_THAT(messagesOf(call), ElementsAre(message, ::testing::_));
      EXPECT_TRUE(store.faults->fired());
   };
   expectWraps(Op::SetValue, "Failed to write user key", [] { VoSysEnv::setUserKey("App", "k"); });
   expectWraps(Op::QueryValue, "Failed to read user key",
               [] { (void)VoSysEnv::getUserKey("App"); });
   expectWraps(Op::QueryValue, "Failed to read user key",
               [] { (void)VoSysEnv::isQuestionaireAnswered("App"); });
}
#endif

} // namespace
