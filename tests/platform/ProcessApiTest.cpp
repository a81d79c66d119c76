// The POSIX layer's process, file, token, time and system calls, against what Windows does.

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
   return SxString(text).utf16().elements();
}

// The last error of a call that failed, 0 for one that succeeded.
const auto errorOf = [](bool ok) { return ok ? 0 : static_cast<int>(GetLastError()); };

const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();
const std::string kLongName = "a-child-with-a-long-name";

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
   PROCESSENTRY32W entry{};
   entry.dwSize = 8;
   const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   EXPECT_EQ(errorOf(Process32FirstW(snapshot, &entry)), ERROR_BAD_LENGTH);
   EXPECT_TRUE(CloseHandle(snapshot));
   EXPECT_EQ(errorOf(CloseHandle(snapshot)), ERROR_INVALID_HANDLE);

   // Ended but not reaped: its executable and command line are gone, the kernel's name is left.
   vo::test::TempDir dir;
   const pid_t child = startChild(dir.file(kLongName), "0");
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
   const pid_t child = startChild(dir.file(kLongName), "60000");
   ASSERT_GT(child, 0);
   for (int tries = 0; tries < 10000 && snapshotName(child) != kLongName; ++tries)
      ::usleep(1000);
   ASSERT_EQ(snapshotName(child), kLongName) << "the child has not started the program";
   const pid_t looker = ::fork();
   if (looker == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0)
         ::_exit(2);
      ::_exit(snapshotName(child) == kLongName ? 0 : 1);
   }
   int status = -1;
   ::waitpid(looker, &status, 0);
   ::kill(child, SIGKILL);
   ::waitpid(child, nullptr, 0);
   EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0)
       << "1: another name, 2: setuid failed";
}

TEST(ProcessApi, ProcessHandlesWaitEndAndTellTheirImage) {
   for (const DWORD id : {DWORD{0}, DWORD{0x7FFFFFF0}})
      EXPECT_EQ(errorOf(OpenProcess(SYNCHRONIZE, FALSE, id)), ERROR_INVALID_PARAMETER);
   const HANDLE self =
       OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(::getpid()));
   ASSERT_NE(self, nullptr);
   EXPECT_EQ(WaitForSingleObject(self, 1), DWORD{WAIT_TIMEOUT});
   WCHAR path[MAX_PATH];
   auto size = static_cast<DWORD>(kSelf.size());
   EXPECT_EQ(errorOf(QueryFullProcessImageNameW(self, 0, path, &size)), ERROR_INSUFFICIENT_BUFFER)
       << "no room for the NUL";
   ASSERT_TRUE(QueryFullProcessImageNameW(self, 0, path, &(size = MAX_PATH)));
   EXPECT_EQ(SxString::fromUtf16(path).str(), kSelf);
   EXPECT_EQ(size, kSelf.size());
   EXPECT_EQ(errorOf(TerminateProcess(self, 0)), ERROR_ACCESS_DENIED) << "not for ending";
   EXPECT_TRUE(CloseHandle(self));

   vo::test::TempDir dir;
   const pid_t child = startChild(dir.file("sleeper"), "60000");
   const HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(child));
   ASSERT_NE(handle, nullptr);
   EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_FAILED}) << "not opened for waiting";
   EXPECT_TRUE(TerminateProcess(handle, 0));
   ::waitpid(child, nullptr, 0);
   EXPECT_EQ(errorOf(TerminateProcess(handle, 0)), ERROR_ACCESS_DENIED) << "it has gone";
   CloseHandle(handle);
}

TEST(ProcessApi, LinksFilesAndFreeSpace) {
   vo::test::TempDir dir;
   const std::string base = dir.path().string();
   const std::u16string link = wide(base + "\\link"), target = wide(base + "\\target");
   EXPECT_EQ(errorOf(CreateSymbolicLinkW(link.c_str(), target.c_str(), 4)), ERROR_INVALID_PARAMETER)
       << "an unknown flag";

   const auto createFile = [&](const char* name, DWORD disposition) {
      return CreateFileA((base + name).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
   };
   const HANDLE missing = createFile("/none", OPEN_EXISTING);
   EXPECT_EQ(errorOf(missing != INVALID_HANDLE_VALUE), ERROR_FILE_NOT_FOUND);
   EXPECT_EQ(errorOf(SetEndOfFile(missing)), ERROR_INVALID_HANDLE);
   const HANDLE file = createFile("\\made", CREATE_NEW);
   ASSERT_NE(file, INVALID_HANDLE_VALUE);
   EXPECT_EQ(errorOf(createFile("\\made", CREATE_NEW) != INVALID_HANDLE_VALUE), ERROR_FILE_EXISTS);
   EXPECT_EQ(errorOf(SetFilePointerEx(file, LARGE_INTEGER{.QuadPart = -1}, nullptr, FILE_BEGIN)),
             ERROR_NEGATIVE_SEEK);
   CloseHandle(file);

   ULARGE_INTEGER available{}, total{};
   EXPECT_TRUE(GetDiskFreeSpaceExW(wide(base).c_str(), &available, &total, nullptr));
   EXPECT_LE(available.QuadPart, total.QuadPart);
   const std::u16string none = wide(base + "/none");
   EXPECT_EQ(errorOf(GetDiskFreeSpaceExW(none.c_str(), &available, nullptr, nullptr)),
             ERROR_PATH_NOT_FOUND);
}

TEST(ProcessApi, ProcessorsAreThoseThisProcessMayRunOn) {
   cpu_set_t before, one;
   ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
   CPU_ZERO(&one);
   CPU_SET(::sched_getcpu(), &one); // one this process runs on
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
   EXPECT_EQ(errorOf(GetTokenInformation(token, TokenElevation, &elevation, 2, &needed)),
             ERROR_INSUFFICIENT_BUFFER);
   EXPECT_EQ(needed, sizeof elevation);
   CloseHandle(token);

   WCHAR user[2];
   DWORD size = 2;
   EXPECT_EQ(errorOf(GetUserNameW(user, &size)), ERROR_INSUFFICIENT_BUFFER);
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

TEST(LibraryApi, ALibraryIsFoundFromAnAddressNamedByItsFileAndItsNeighbourLoaded) {
   HMODULE self = nullptr;
   ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  reinterpret_cast<LPCWSTR>(&LoadLibraryExW), &self));
   WCHAR file[4096], cut[6];
   const std::string path = SxString::fromUtf16(file, GetModuleFileNameW(self, file, 4096)).str();
   EXPECT_TRUE(path.starts_with("/") && path.find("/libvoplatform.so") != std::string::npos)
       << path;
   // A name that does not fit is cut to the buffer, with its NUL.
   EXPECT_EQ(GetModuleFileNameW(self, cut, 6), 6u);
   EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
   EXPECT_EQ(SxString::fromUtf16(cut).str(), path.substr(0, 5));
   const std::string neighbour = path.substr(0, path.rfind('/') + 1) + "vodevctl.dll";
   const HMODULE loaded = LoadLibraryExW(SxString(neighbour).utf16().elements(), nullptr,
                                         LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
   EXPECT_NE(loaded, nullptr);
   EXPECT_TRUE(FreeLibrary(loaded));
   int onTheStack = 0;
   EXPECT_EQ(errorOf(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                        reinterpret_cast<LPCWSTR>(&onTheStack), &self)),
             ERROR_MOD_NOT_FOUND);
   EXPECT_EQ(self, nullptr);
}

TEST(PlatformStatus, EveryStatusOfTheLayerHasItsWindowsText) {
   const std::vector<std::vector<DWORD>> statuses = {
       {ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_PATH_NOT_FOUND, ERROR_TOO_MANY_OPEN_FILES,
        ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_MORE_FILES, ERROR_WRITE_PROTECT,
        ERROR_NOT_READY, ERROR_BAD_LENGTH, ERROR_SHARING_VIOLATION, ERROR_NOT_SUPPORTED,
        ERROR_FILE_EXISTS, ERROR_INVALID_PARAMETER, ERROR_BUFFER_OVERFLOW, ERROR_DISK_FULL,
        ERROR_INSUFFICIENT_BUFFER, ERROR_NEGATIVE_SEEK, ERROR_BUSY},
       {ERROR_MOD_NOT_FOUND},
       {ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE, ERROR_FILE_TOO_LARGE, ERROR_MORE_DATA,
        ERROR_NO_DATA, ERROR_DIRECTORY, ERROR_NO_MORE_ITEMS, ERROR_IO_DEVICE, ERROR_BADDB,
        ERROR_BADKEY, ERROR_CANTOPEN, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_REGISTRY_IO_FAILED,
        ERROR_KEY_DELETED, ERROR_PRIVILEGE_NOT_HELD, ERROR_NONE_MAPPED, ERROR_INVALID_WINDOW_HANDLE,
        ERROR_CANT_RESOLVE_FILENAME}};
   for (const std::vector<DWORD>& row : statuses)
      for (const DWORD status : row)
         EXPECT_FALSE(sxstrerror(status).str().starts_with("Unknown error")) << status;
}

TEST(SystemTime, FileTimesCountTicksSince1601AndRejectFieldsOutOfRange) {
   // Each row: a time and its ticks, or kUntouched for a time that is rejected.
   constexpr uint64_t kUntouched = (uint64_t{9} << 32) | 7;
   const std::pair<SYSTEMTIME, uint64_t> cases[] = {
       {{1601, 1, 0, 1, 0, 0, 0, 1}, 10000},
       {{1970, 1, 0, 1, 0, 0, 0, 0}, 116444736000000000u},
       {{2000, 2, 0, 29, 23, 59, 59, 999}, 125963423999990000u},
       {{1600, 12, 0, 31, 0, 0, 0, 0}, kUntouched},
       {{2023, 2, 0, 29, 0, 0, 0, 0}, kUntouched},
       {{2024, 13, 0, 1, 0, 0, 0, 0}, kUntouched},
       {{2024, 1, 0, 1, 24, 0, 0, 0}, kUntouched},
       {{2024, 1, 0, 1, 0, 0, 0, 1000}, kUntouched}};
   for (const auto& [time, ticks] : cases) {
      FILETIME f{7, 9};
      EXPECT_EQ(SystemTimeToFileTime(&time, &f), ticks != kUntouched) << time.wYear;
      EXPECT_EQ((uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime, ticks) << time.wYear;
   }
}

} // namespace
