// The POSIX layer's process, file, token and system calls, against what Windows does.

#include <cerrno>
#include <common/TempDir.h>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <iphlpapi.h>
#include <sched.h>
#include <sx/SxError.h>
#include <sx/SxString.h>
#include <sys/wait.h>
#include <tlhelp32.h>
#include <unistd.h>
#include <windows.h>
#include <winsock2.h>

namespace {

std::u16string wide(const std::string& text) {
   const SxArray<SxChar16> units = SxString(text).utf16();
   return std::u16string(units.elements(), static_cast<std::size_t>(units.getSize() - 1));
}

// The snapshot's name for pid, or "" when it is not listed.
std::string snapshotName(DWORD pid) {
   const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
   PROCESSENTRY32W entry{};
   entry.dwSize = sizeof entry;
   std::string name;
   for (BOOL more = Process32FirstW(snapshot, &entry); more;
        more = Process32NextW(snapshot, &entry))
      if (entry.th32ProcessID == pid)
         name = SxString::fromUtf16(entry.szExeFile).str();
   EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
   EXPECT_TRUE(CloseHandle(snapshot));
   EXPECT_FALSE(CloseHandle(snapshot));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
   return name;
}

TEST(ProcessApi, SnapshotsNameProcessesByTheirExecutable) {
   EXPECT_EQ(snapshotName(static_cast<DWORD>(::getpid())),
             std::filesystem::read_symlink("/proc/self/exe").filename().string());
   PROCESSENTRY32W entry{};
   entry.dwSize = 8;
   const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   EXPECT_FALSE(Process32FirstW(snapshot, &entry));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_BAD_LENGTH});
   CloseHandle(snapshot);
}

// Starts a copy of the sleeping child under name, for ms milliseconds.
pid_t startChild(const std::string& path, const char* ms) {
   std::filesystem::copy_file(SYSENV_CHILD, path);
   const pid_t child = ::fork();
   if (child == 0) {
      ::execl(path.c_str(), path.c_str(), ms, static_cast<char*>(nullptr));
      ::_exit(127);
   }
   return child;
}

TEST(ProcessApi, ProcessesOfOtherUsersKeepTheirFullNames) {
   if (::geteuid() != 0)
      GTEST_SKIP() << "needs root to look as another user";
   vo::test::TempDir dir;
   const std::string name = "a-child-with-a-long-name";
   const pid_t child = startChild(dir.file(name), "60000");
   ASSERT_GT(child, 0);
   while (snapshotName(static_cast<DWORD>(child)) != name) // until it has started the program
      ::usleep(1000);
   // As another user the executable cannot be read; the kernel's name is cut at 15 bytes and
   // completed from the command line.
   const pid_t looker = ::fork();
   if (looker == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0)
         ::_exit(2);
      const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
      PROCESSENTRY32W entry{};
      entry.dwSize = sizeof entry;
      for (BOOL more = Process32FirstW(snapshot, &entry); more;
           more = Process32NextW(snapshot, &entry))
         if (entry.th32ProcessID == static_cast<DWORD>(child))
            ::_exit(SxString::fromUtf16(entry.szExeFile) == SxString(name) ? 0 : 1);
      ::_exit(3);
   }
   int status = -1;
   ::waitpid(looker, &status, 0);
   ::kill(child, SIGKILL);
   ::waitpid(child, nullptr, 0);
   EXPECT_TRUE(WIFEXITED(status));
   EXPECT_EQ(WEXITSTATUS(status), 0) << "1: another name, 2: cannot change user, 3: not listed";
}

TEST(ProcessApi, AnEndedProcessKeepsTheKernelsName) {
   vo::test::TempDir dir;
   const pid_t child = startChild(dir.file("a-child-with-a-long-name"), "0");
   ASSERT_GT(child, 0);
   siginfo_t info{};
   ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
   // Ended but not reaped: its executable and command line are gone, the kernel's name is left.
   EXPECT_EQ(snapshotName(static_cast<DWORD>(child)), "a-child-with-a-");
   ::waitpid(child, nullptr, 0);
}

TEST(ProcessApi, ProcessHandlesWaitEndAndTellTheirImage) {
   EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0), nullptr);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
   EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0x7FFFFFF0), nullptr);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

   const HANDLE self =
       OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(::getpid()));
   ASSERT_NE(self, nullptr);
   EXPECT_EQ(WaitForSingleObject(self, 1), DWORD{WAIT_TIMEOUT});
   WCHAR path[MAX_PATH];
   DWORD size = 2;
   EXPECT_FALSE(QueryFullProcessImageNameW(self, 0, path, &size));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
   size = MAX_PATH;
   ASSERT_TRUE(QueryFullProcessImageNameW(self, 0, path, &size));
   EXPECT_EQ(SxString::fromUtf16(path).str(), std::filesystem::read_symlink("/proc/self/exe"));
   EXPECT_EQ(size, std::filesystem::read_symlink("/proc/self/exe").string().size());
   EXPECT_FALSE(TerminateProcess(self, 0)) << "not opened for ending";
   EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
   EXPECT_TRUE(CloseHandle(self));

   const pid_t child = ::fork();
   if (child == 0) {
      ::pause();
      ::_exit(0);
   }
   const HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(child));
   ASSERT_NE(handle, nullptr);
   EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_FAILED}) << "not opened for waiting";
   EXPECT_TRUE(TerminateProcess(handle, 0));
   int status = 0;
   ::waitpid(child, &status, 0);
   EXPECT_TRUE(WIFSIGNALED(status));
   EXPECT_FALSE(TerminateProcess(handle, 0)) << "the process has gone";
   EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
   CloseHandle(handle);
}

TEST(ProcessApi, LinksFilesAndFreeSpace) {
   vo::test::TempDir dir;
   const std::string base = dir.path().string();
   const std::u16string link = wide(base + "\\link"), target = wide(base + "\\target");
   EXPECT_TRUE(CreateSymbolicLinkW(reinterpret_cast<LPCWSTR>(link.c_str()),
                                   reinterpret_cast<LPCWSTR>(target.c_str()), 2));
   EXPECT_EQ(std::filesystem::read_symlink(base + "/link"), base + "/target");
   EXPECT_FALSE(CreateSymbolicLinkW(reinterpret_cast<LPCWSTR>(link.c_str()),
                                    reinterpret_cast<LPCWSTR>(target.c_str()), 3));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});

   const HANDLE missing = CreateFileA((base + "/none").c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
   EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
   EXPECT_FALSE(SetEndOfFile(missing));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
   const HANDLE file = CreateFileA((base + "\\made").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
   ASSERT_NE(file, INVALID_HANDLE_VALUE);
   LARGE_INTEGER distance;
   distance.QuadPart = -1;
   EXPECT_FALSE(SetFilePointerEx(file, distance, nullptr, FILE_BEGIN));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});
   CloseHandle(file);

   ULARGE_INTEGER available{}, total{};
   EXPECT_TRUE(GetDiskFreeSpaceExW(reinterpret_cast<LPCWSTR>(wide(base).c_str()), &available,
                                   &total, nullptr));
   EXPECT_GT(total.QuadPart, 0u);
   EXPECT_LE(available.QuadPart, total.QuadPart);
   EXPECT_FALSE(GetDiskFreeSpaceExW(reinterpret_cast<LPCWSTR>(wide(base + "/none").c_str()),
                                    &available, nullptr, nullptr));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST(ProcessApi, ProcessorsAreThoseThisProcessMayRunOn) {
   cpu_set_t before;
   ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
   cpu_set_t one;
   CPU_ZERO(&one);
   for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
      if (CPU_ISSET(cpu, &before)) {
         CPU_SET(cpu, &one);
         break;
      }
   ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
   SYSTEM_INFO info{};
   GetSystemInfo(&info);
   ::sched_setaffinity(0, sizeof before, &before);
   EXPECT_EQ(info.dwNumberOfProcessors, 1u);
   EXPECT_GT(info.dwPageSize, 0u);
}

TEST(ProcessApi, TokensUsersHostsAndAdapters) {
   HANDLE token = nullptr;
   ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
   TOKEN_ELEVATION elevation{};
   DWORD needed = 0;
   EXPECT_FALSE(GetTokenInformation(token, TokenElevation, &elevation, 2, &needed));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
   EXPECT_EQ(needed, sizeof elevation);
   ASSERT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &needed));
   EXPECT_EQ(elevation.TokenIsElevated != 0, ::geteuid() == 0);
   CloseHandle(token);

   WCHAR user[2];
   DWORD size = 2;
   EXPECT_FALSE(GetUserNameW(user, &size));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
   EXPECT_GT(size, 2u);

   char host[2];
   EXPECT_EQ(gethostname(host, 1), -1) << "a name that does not fit fails";

   ULONG bytes = 1;
   const DWORD status = GetAdaptersInfo(nullptr, &bytes);
   if (status == ERROR_BUFFER_OVERFLOW)
      EXPECT_EQ(bytes % sizeof(IP_ADAPTER_INFO), 0u);
   else
      EXPECT_EQ(status, DWORD{ERROR_NO_DATA});
   static_assert(sizeof(IP_ADAPTER_INFO) == 704, "the Windows layout: 32 records in 22528 bytes");
}

TEST(ProcessApi, EveryStatusOfTheLayerHasItsWindowsText) {
   for (const DWORD status : {ERROR_INVALID_FUNCTION,
                              ERROR_TOO_MANY_OPEN_FILES,
                              ERROR_NO_MORE_FILES,
                              ERROR_WRITE_PROTECT,
                              ERROR_NOT_READY,
                              ERROR_BAD_LENGTH,
                              ERROR_SHARING_VIOLATION,
                              ERROR_NOT_SUPPORTED,
                              ERROR_FILE_EXISTS,
                              ERROR_BUFFER_OVERFLOW,
                              ERROR_INSUFFICIENT_BUFFER,
                              ERROR_NEGATIVE_SEEK,
                              ERROR_ALREADY_EXISTS,
                              ERROR_FILENAME_EXCED_RANGE,
                              ERROR_FILE_TOO_LARGE,
                              ERROR_NO_DATA,
                              ERROR_DIRECTORY,
                              ERROR_IO_DEVICE,
                              ERROR_PRIVILEGE_NOT_HELD,
                              ERROR_NONE_MAPPED,
                              ERROR_INVALID_WINDOW_HANDLE,
                              ERROR_CANT_RESOLVE_FILENAME})
      EXPECT_FALSE(sxstrerror(status).str().starts_with("Unknown error")) << status;
   EXPECT_EQ(sxstrerror(ERROR_ALREADY_EXISTS),
             "Cannot create a file when that file already exists.");
}

} // namespace
