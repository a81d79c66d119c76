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
#include <vector>
#include <windows.h>
#include <winsock2.h>

namespace {

std::u16string wide(const std::string& text) {
   const SxArray<SxChar16> units = SxString(text).utf16();
   return std::u16string(units.elements(), static_cast<std::size_t>(units.getSize() - 1));
}

const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();

// The snapshot's name for pid, or "" when it is not listed.
std::string snapshotName(pid_t pid) {
   const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
   PROCESSENTRY32W entry{};
   entry.dwSize = sizeof entry;
   std::string name;
   for (BOOL more = Process32FirstW(snapshot, &entry); more;
        more = Process32NextW(snapshot, &entry))
      if (entry.th32ProcessID == static_cast<DWORD>(pid))
         name = SxString::fromUtf16(entry.szExeFile).str();
   EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
   EXPECT_TRUE(CloseHandle(snapshot));
   return name;
}

// Starts a copy of the sleeping child as path, for ms milliseconds.
pid_t startChild(const std::string& path, const char* ms) {
   std::filesystem::copy_file(SYSENV_CHILD, path);
   const pid_t child = ::fork();
   if (child == 0) {
      ::execl(path.c_str(), path.c_str(), ms, static_cast<char*>(nullptr));
      ::_exit(127);
   }
   return child;
}

TEST(ProcessApi, SnapshotsNameProcessesByTheirExecutable) {
   EXPECT_EQ(snapshotName(::getpid()), std::filesystem::path(kSelf).filename().string());
   PROCESSENTRY32W entry{};
   entry.dwSize = 8;
   const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   EXPECT_FALSE(Process32FirstW(snapshot, &entry));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_BAD_LENGTH});
   EXPECT_TRUE(CloseHandle(snapshot));
   EXPECT_FALSE(CloseHandle(snapshot));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

   // Ended but not reaped: its executable and command line are gone, the kernel's name is left.
   vo::test::TempDir dir;
   const pid_t child = startChild(dir.file("a-child-with-a-long-name"), "0");
   ASSERT_GT(child, 0);
   siginfo_t info{};
   ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
   EXPECT_EQ(snapshotName(child), "a-child-with-a-");
   ::waitpid(child, nullptr, 0);
}

// As another user the executable cannot be read; the kernel's name is cut at 15 bytes and
// completed from the command line.
TEST(ProcessApi, ProcessesOfOtherUsersKeepTheirFullNames) {
   if (::geteuid() != 0)
      GTEST_SKIP() << "needs root to look as another user";
   vo::test::TempDir dir;
   const std::string name = "a-child-with-a-long-name";
   const pid_t child = startChild(dir.file(name), "60000");
   ASSERT_GT(child, 0);
   while (snapshotName(child) != name) // until it has started the program
      ::usleep(1000);
   const pid_t looker = ::fork();
   if (looker == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0)
         ::_exit(2);
      ::_exit(snapshotName(child) == name ? 0 : 1);
   }
   int status = -1;
   ::waitpid(looker, &status, 0);
   ::kill(child, SIGKILL);
   ::waitpid(child, nullptr, 0);
   EXPECT_TRUE(WIFEXITED(status));
   EXPECT_EQ(WEXITSTATUS(status), 0) << "1: another name, 2: cannot change user";
}

TEST(ProcessApi, ProcessHandlesWaitEndAndTellTheirImage) {
   for (const DWORD id : {DWORD{0}, DWORD{0x7FFFFFF0}}) {
      EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, id), nullptr);
      EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
   }
   const HANDLE self =
       OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(::getpid()));
   ASSERT_NE(self, nullptr);
   EXPECT_EQ(WaitForSingleObject(self, 1), DWORD{WAIT_TIMEOUT});
   WCHAR path[MAX_PATH];
   auto size = static_cast<DWORD>(kSelf.size());
   EXPECT_FALSE(QueryFullProcessImageNameW(self, 0, path, &size)) << "no room for the NUL";
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
   ASSERT_TRUE(QueryFullProcessImageNameW(self, 0, path, &(size = MAX_PATH)));
   EXPECT_EQ(SxString::fromUtf16(path).str(), kSelf);
   EXPECT_EQ(size, kSelf.size());
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
   EXPECT_TRUE(CreateSymbolicLinkW(link.c_str(), target.c_str(), 2));
   EXPECT_EQ(std::filesystem::read_symlink(base + "/link"), base + "/target");
   EXPECT_FALSE(CreateSymbolicLinkW(link.c_str(), target.c_str(), 4)) << "an unknown flag";
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
   EXPECT_FALSE(CreateSymbolicLinkW(link.c_str(), target.c_str(), 2));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});

   const HANDLE missing = CreateFileA((base + "/none").c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
   EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
   EXPECT_FALSE(SetEndOfFile(missing));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
   const auto createNew = [&] {
      return CreateFileA((base + "\\made").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
   };
   const HANDLE file = createNew();
   ASSERT_NE(file, INVALID_HANDLE_VALUE);
   EXPECT_EQ(createNew(), INVALID_HANDLE_VALUE);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
   LARGE_INTEGER distance;
   distance.QuadPart = -1;
   EXPECT_FALSE(SetFilePointerEx(file, distance, nullptr, FILE_BEGIN));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});
   CloseHandle(file);

   ULARGE_INTEGER available{}, total{};
   EXPECT_TRUE(GetDiskFreeSpaceExW(wide(base).c_str(), &available, &total, nullptr));
   EXPECT_GT(total.QuadPart, 0u);
   EXPECT_LE(available.QuadPart, total.QuadPart);
   EXPECT_FALSE(GetDiskFreeSpaceExW(wide(base + "/none").c_str(), &available, nullptr, nullptr));
   EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST(ProcessApi, ProcessorsAreThoseThisProcessMayRunOn) {
   cpu_set_t before, one;
   ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
   CPU_ZERO(&one);
   for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu)
      if (CPU_ISSET(cpu, &before))
         CPU_SET(cpu, &one);
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

TEST(PlatformStatus, EveryStatusOfTheLayerHasItsWindowsText) {
   const std::vector<std::vector<DWORD>> statuses = {
       {ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_PATH_NOT_FOUND, ERROR_TOO_MANY_OPEN_FILES,
        ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_MORE_FILES, ERROR_WRITE_PROTECT,
        ERROR_NOT_READY, ERROR_BAD_LENGTH, ERROR_SHARING_VIOLATION, ERROR_NOT_SUPPORTED,
        ERROR_FILE_EXISTS, ERROR_INVALID_PARAMETER, ERROR_BUFFER_OVERFLOW, ERROR_DISK_FULL,
        ERROR_INSUFFICIENT_BUFFER, ERROR_NEGATIVE_SEEK, ERROR_BUSY},
       {ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE, ERROR_FILE_TOO_LARGE, ERROR_MORE_DATA,
        ERROR_NO_DATA, ERROR_DIRECTORY, ERROR_NO_MORE_ITEMS, ERROR_IO_DEVICE, ERROR_BADDB,
        ERROR_BADKEY, ERROR_CANTOPEN, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_REGISTRY_IO_FAILED,
        ERROR_KEY_DELETED, ERROR_PRIVILEGE_NOT_HELD, ERROR_NONE_MAPPED, ERROR_INVALID_WINDOW_HANDLE,
        ERROR_CANT_RESOLVE_FILENAME}};
   for (const std::vector<DWORD>& row : statuses)
      for (const DWORD status : row)
         EXPECT_FALSE(sxstrerror(status).str().starts_with("Unknown error")) << status;
}

} // namespace
