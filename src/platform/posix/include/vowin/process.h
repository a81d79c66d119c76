#pragma once

// Opening, waiting for and ending other processes, over Linux process file descriptors: a
// handle keeps referring to the process it was opened for even when its id is reused, and a
// wait sleeps in the kernel until the process ends.

#include <vowin/handle.h>

using UINT = unsigned int;
using PDWORD = DWORD*;

#define SYNCHRONIZE 0x00100000L
#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED 0xFFFFFFFF

/// Opens process processId for the rights in access (SYNCHRONIZE, PROCESS_TERMINATE,
/// PROCESS_QUERY_INFORMATION or PROCESS_QUERY_LIMITED_INFORMATION, combined freely). Returns
/// null on failure: ERROR_INVALID_PARAMETER when no such process exists (or the id is 0 or
/// names a thread that is not a process), ERROR_ACCESS_DENIED when this user may not signal the
/// process (PROCESS_TERMINATE) or read its executable (the query rights).
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);

/// The pseudo handle of the calling process; it needs no closing.
HANDLE GetCurrentProcess();

/// Waits until the process has ended (WAIT_OBJECT_0) or milliseconds have passed
/// (WAIT_TIMEOUT); INFINITE waits without limit. WAIT_FAILED with ERROR_INVALID_HANDLE for a
/// handle that is not a process opened with SYNCHRONIZE.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

/// Ends the process at once (SIGKILL) and returns without waiting for it. POSIX cannot set
/// another process's exit status, so exitCode is not used: the process reports the signal.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

/// The full path of the process's executable as it was when the handle was opened (with one of
/// the query rights). *size holds the buffer's size in units on entry and the path's length
/// without the NUL on success; ERROR_INSUFFICIENT_BUFFER when it does not fit. Only flags 0 is
/// supported.
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR exeName, PDWORD size);
