// Other processes through process file descriptors, and the calling process's token.

#include "Posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <string>
#include <sx/SxString.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class Process : public voplatform::HandleObject {
public:
   Process(int descriptor, DWORD rights) : fd(descriptor), access(rights) {}
   ~Process() override { ::close(fd); }
   Process(const Process&) = delete;
   Process& operator=(const Process&) = delete;

   const int fd;
   const DWORD access;
   std::string imagePath; // read at opening for the query rights
};

class Token : public voplatform::HandleObject {
public:
   explicit Token(bool isElevated) : elevated(isElevated) {}
   const bool elevated;
};

constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kKnownRights = SYNCHRONIZE | PROCESS_TERMINATE | kQueryRights;

// The kernel's calls, made directly: the C library's wrappers lack C linkage for C++.
int pidfdOpen(pid_t pid) {
   return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
}

int pidfdSendSignal(int fd, int signal) {
   return static_cast<int>(::syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0U));
}

HANDLE failProcess(DWORD status) {
   SetLastError(status);
   return nullptr;
}

// Whether the process behind the descriptor has ended, without waiting.
bool hasEnded(int fd) {
   pollfd watch{fd, POLLIN, 0};
   return ::poll(&watch, 1, 0) > 0;
}

} // namespace

HANDLE OpenProcess(DWORD access, BOOL /*inheritHandle*/, DWORD processId) {
   if (const auto status = voplatform::takeInjectedFailure("OpenProcess"))
      return failProcess(*status);
   if (processId == 0 || processId > static_cast<DWORD>(INT_MAX) || (access & ~kKnownRights))
      return failProcess(ERROR_INVALID_PARAMETER);
   const int fd = pidfdOpen(static_cast<pid_t>(processId));
   if (fd < 0)
      return failProcess(voplatform::winStatusFromErrno(errno));
   auto process = std::make_unique<Process>(fd, access);
   // Signal 0 checks the right to signal without sending anything.
   if ((access & PROCESS_TERMINATE) && pidfdSendSignal(fd, 0) != 0 && errno != ESRCH)
      return failProcess(voplatform::winStatusFromErrno(errno));
   if (access & kQueryRights) {
      char target[PATH_MAX];
      const std::string link = "/proc/" + std::to_string(processId) + "/exe";
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
      if (n < 0)
         return failProcess(errno == ENOENT ? ERROR_ACCESS_DENIED
                                            : voplatform::winStatusFromErrno(errno));
      // The path belongs to this process only if it had not ended (and its id could not have
      // passed to another) by the time it was read.
      if (!hasEnded(fd))
         process->imagePath.assign(target, static_cast<std::size_t>(n));
   }
   return voplatform::registerHandle(std::move(process));
}

HANDLE GetCurrentProcess() {
   return INVALID_HANDLE_VALUE; // the pseudo handle's Windows value
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
   auto* process = voplatform::handleObject<Process>(handle);
   if (!process || !(process->access & SYNCHRONIZE)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
   }
   // poll takes an int of milliseconds; longer waits go round in slices.
   using Clock = std::chrono::steady_clock;
   const bool forever = milliseconds == INFINITE;
   const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
   for (;;) {
      int slice = -1;
      if (!forever) {
         const auto left =
             std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
         slice = static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
      }
      pollfd watch{process->fd, POLLIN, 0};
      const int ready = ::poll(&watch, 1, slice);
      if (ready > 0)
         return WAIT_OBJECT_0;
      if (ready < 0 && errno != EINTR) {
         SetLastError(voplatform::winStatusFromErrno(errno));
         return WAIT_FAILED;
      }
      if (ready == 0 && !forever && Clock::now() >= deadline)
         return WAIT_TIMEOUT;
   }
}

BOOL TerminateProcess(HANDLE handle, UINT /*exitCode*/) {
   auto* process = voplatform::handleObject<Process>(handle);
   if (!process || !(process->access & PROCESS_TERMINATE))
      return voplatform::failWith(process ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
   if (pidfdSendSignal(process->fd, SIGKILL) != 0)
      // A process that has already ended cannot be ended, as on Windows.
      return voplatform::failWith(errno == ESRCH ? ERROR_ACCESS_DENIED
                                                 : voplatform::winStatusFromErrno(errno));
   return TRUE;
}

BOOL QueryFullProcessImageNameW(HANDLE handle, DWORD flags, LPWSTR exeName, PDWORD size) {
   auto* process = voplatform::handleObject<Process>(handle);
   if (!process || !(process->access & kQueryRights))
      return voplatform::failWith(process ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
   if (flags != 0 || !exeName || !size)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   if (process->imagePath.empty())
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   const SxArray<SxChar16> path = SxString(process->imagePath).utf16();
   const auto units = static_cast<DWORD>(path.getSize()); // with the NUL
   if (units > *size)
      return voplatform::failWith(ERROR_INSUFFICIENT_BUFFER);
   std::memcpy(exeName, path.elements(), units * sizeof(WCHAR));
   *size = units - 1;
   return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD /*desiredAccess*/, PHANDLE token) {
   if (const auto status = voplatform::takeInjectedFailure("OpenProcessToken"))
      return voplatform::failWith(*status);
   if (process != GetCurrentProcess())
      return voplatform::failWith(ERROR_INVALID_HANDLE);
   if (!token)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   *token = voplatform::registerHandle(std::make_unique<Token>(::geteuid() == 0));
   return TRUE;
}

BOOL GetTokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS infoClass, void* info, DWORD length,
                         DWORD* returnLength) {
   if (const auto status = voplatform::takeInjectedFailure("GetTokenInformation"))
      return voplatform::failWith(*status);
   auto* token = voplatform::handleObject<Token>(handle);
   if (!token)
      return voplatform::failWith(ERROR_INVALID_HANDLE);
   if (infoClass != TokenElevation)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   if (returnLength)
      *returnLength = sizeof(TOKEN_ELEVATION);
   if (!info || length < sizeof(TOKEN_ELEVATION))
      return voplatform::failWith(ERROR_INSUFFICIENT_BUFFER);
   static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = token->elevated ? 1 : 0;
   return TRUE;
}
