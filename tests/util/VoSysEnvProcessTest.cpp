#include "SysEnvChild.h"

#include <atomic>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <common/Wine.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <thread>
#include <voutil/VoLog.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {

using vo::test::messagesOf;

std::string readAll(const std::string& path) {
   std::ifstream in(path, std::ios::binary);
   return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(VoSysEnvProcess, AChildIsFoundByNameWaitedForAndKilled) {
   vo::test::TempDir dir;
   vo::test::SleepingChild child(dir);
   const uint64_t pid = VoSysEnv::getProcessID(child.name(), 10000);
   ASSERT_NE(pid, VoSysEnv::kProcessNotFound);
   EXPECT_EQ(VoSysEnv::getProcessID(child.name(), 0), VoSysEnv::kProcessNotFound)
       << "a timeout of 0 does not look";
   EXPECT_TRUE(VoSysEnv::isProcRunning(child.name()));
   EXPECT_TRUE(VoSysEnv::getRunningProcNames().contains(child.name()));
   EXPECT_TRUE(VoSysEnv::getAllWindowsInProcess(pid).isEmpty());
   VoSysEnv::waitForPID(pid, 20); // times out quietly

   // The wait blocks on the process: it has not returned while the child sleeps, and returns
   // when the child is ended.
   std::atomic<bool> ended{false};
   std::thread waiter([&] {
      VoSysEnv::waitForPID(pid, 0);
      ended = true;
   });
   std::this_thread::sleep_for(std::chrono::milliseconds(100));
   EXPECT_FALSE(ended);
   VoSysEnv::killProcess(pid);
   waiter.join();
   EXPECT_TRUE(ended);
   (void)child.wait(); // ended with exit code 0 on Windows, by SIGKILL on POSIX
   EXPECT_FALSE(VoSysEnv::isProcRunning(child.name()));
   EXPECT_EQ(VoSysEnv::getProcessID(child.name(), 1), VoSysEnv::kProcessNotFound);
}

TEST(VoSysEnvProcess, AnExecutableRunningTwiceIsListedOnce) {
   vo::test::TempDir dir;
   vo::test::SleepingChild child(dir);
   ASSERT_NE(VoSysEnv::getProcessID(child.name(), 10000), VoSysEnv::kProcessNotFound);
   const auto names = VoSysEnv::getRunningProcNames();
   EXPECT_TRUE(names.contains(VoSysEnv::getExecName()));
   std::ptrdiff_t mine = 0;
   for (const SxString& name : names)
      mine += name == child.name();
   EXPECT_EQ(mine, 1);
}

TEST(VoSysEnvProcess, MissingProcessesFailToOpenWithTheSystemText) {
   const std::string invalid = sxstrerror(ERROR_INVALID_PARAMETER).str();
   EXPECT_EQ(messagesOf([] { VoSysEnv::killProcess(4000000000ULL); }),
             std::vector<std::string>{"Get Process for pid 4000000000 failed: " + invalid});
   EXPECT_EQ(
       messagesOf([] { VoSysEnv::waitForPID(VoSysEnv::kProcessNotFound, 1); }),
       std::vector<std::string>{"Get Process for pid 18446744073709551615 failed: " + invalid});
   EXPECT_FALSE(VoSysEnv::isProcRunning("no-such-program.exe"));
}

TEST(VoSysEnvProcess, WaitingForAMissingNameLogsThenFails) {
   vo::test::TempDir dir;
   const std::string logFile = dir.file("wait.log");
   {
      VoLog log(logFile.c_str());
      log.disableLogToStdOut();
      EXPECT_EQ(messagesOf([] { VoSysEnv::waitForProcess("no-such-program.exe", 1, 0); }),
                std::vector<std::string>{"Get Process for pid 18446744073709551615 failed: " +
                                         sxstrerror(ERROR_INVALID_PARAMETER).str()});
   }
   const std::string log = readAll(logFile);
   EXPECT_NE(log.find("[util] : Process no-such-program.exe identified as PID "
                      "18446744073709551615\n"),
             std::string::npos);
   EXPECT_NE(log.find("[util] : Waiting for Process 18446744073709551615 to end.\n"),
             std::string::npos);
}

TEST(VoSysEnvProcess, ProcessesRunFromTheirDirectory) {
   vo::test::TempDir dir;
   vo::test::SleepingChild child(dir);
   ASSERT_NE(VoSysEnv::getProcessID(child.name(), 10000), VoSysEnv::kProcessNotFound);
   const SxString where = VoSysEnv::unifySlashes(SxString(dir.path().string()) + "/");
   EXPECT_TRUE(VoSysEnv::isProcOnDriveRunning(where));
   EXPECT_TRUE(VoSysEnv::isProcOnDriveRunning(where + child.name()));
   EXPECT_FALSE(VoSysEnv::isProcOnDriveRunning(where + "elsewhere/"));
}

// A minimal header: "MZ", the offset of the PE signature at 0x3C, then "PE\0\0" and the machine.
std::string peHeader(uint16_t machine) {
   std::string bytes(0x40, '\0');
   bytes[0] = 'M';
   bytes[1] = 'Z';
   bytes[0x3C] = 0x40;
   bytes += std::string("PE\0\0", 4);
   bytes += static_cast<char>(machine & 0xFF);
   bytes += static_cast<char>(machine >> 8);
   bytes += std::string(0x200, '\0');
   return bytes;
}

TEST(VoSysEnvProcess, BitWidthOfExecutables) {
   vo::test::TempDir dir;
   const auto write = [&](const std::string& name, const std::string& bytes) {
      std::ofstream(dir.file(name), std::ios::binary) << bytes;
      return SxString(dir.file(name));
   };
   EXPECT_TRUE(VoSysEnv::is64BitApp(write("x64.exe", peHeader(0x8664))));
   EXPECT_FALSE(VoSysEnv::is64BitApp(write("x86.exe", peHeader(0x014C))));
#ifdef _WIN32
   EXPECT_TRUE(VoSysEnv::is64BitApp(VOUTIL_TOOL)) << "the tool is built for x64";
#endif

   const std::string notFound = "Bit width parameter not found in file specified. Please check "
                                "wherever file is a valid .exe file.";
   const std::string tooSmall = "The buffer read was too small for identification of bit width.";
   const std::string invalid = "Bit width value is invalid in file specified. Please check "
                               "wherever file is a valid WIN32 .exe file.";
   std::string lateSignature(4096 - 5, 'x');
   lateSignature += std::string("PE\0\0d", 5);
   const struct {
      const char* name;
      std::string bytes;
      std::string message;
   } kBad[] = {
       {"text.exe", "just some text\n", notFound},
       {"empty.exe", "", notFound},
       {"pe-first.exe", std::string("PE\0\0d\x86", 6) + std::string(64, '\0'), notFound},
       {"late.exe", lateSignature + std::string(100, '\0'), tooSmall},
       {"short.exe", std::string("MZPE\0\0d\x86", 8), tooSmall},
       {"arm.exe", peHeader(0x01C4), invalid},
       {"arm64.exe", peHeader(0xAA64), ""}, // only the low byte counts: 0x64
   };
   for (const auto& bad : kBad)
      EXPECT_EQ(messagesOf([&] { (void)VoSysEnv::is64BitApp(write(bad.name, bad.bytes)); }),
                bad.message.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{bad.message})
          << bad.name;

   const SxString missing(dir.file("missing.exe"));
   EXPECT_EQ(messagesOf([&] { (void)VoSysEnv::is64BitApp(missing); }),
             std::vector<std::string>{"The file " + missing.str() + " does not exist."});
}

TEST(VoSysEnvProcess, AnUnreadableExecutableKeepsTheReadFailure) {
#ifdef _WIN32
   // A file held open without sharing cannot be opened again.
   vo::test::TempDir dir;
   const std::string path = dir.file("locked.exe");
   std::ofstream(path, std::ios::binary) << peHeader(0x8664);
   const HANDLE lock = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
   ASSERT_NE(lock, INVALID_HANDLE_VALUE);
#else
   // Reading a process's memory at address 0 fails, though the file opens.
   const std::string path = "/proc/self/mem";
#endif
   const auto messages = messagesOf([&] { (void)VoSysEnv::is64BitApp(SxString(path)); });
   ASSERT_EQ(messages.size(), 2u);
   EXPECT_EQ(messages[0], "Cannot read " + path);
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

} // namespace
