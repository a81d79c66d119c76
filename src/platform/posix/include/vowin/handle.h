#pragma once

// Kernel object handles and the thread's last error, with the Windows names.
//
// A handle stands for a process snapshot, a process, a token or an open file; CloseHandle
// releases any of them. Functions that report failure through their result leave the reason
// for GetLastError, as on Windows.

#include <cstdint>
#include <vowin/types.h>

using PHANDLE = HANDLE*;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

/// Releases a handle that one of the layer's functions handed out. Returns FALSE with
/// ERROR_INVALID_HANDLE for anything else (a closed handle, null). The pseudo handle of
/// GetCurrentProcess is accepted and nothing happens.
BOOL CloseHandle(HANDLE handle);

/// The status that the calling thread's last failing call left.
DWORD GetLastError();
/// Sets the calling thread's last status.
void SetLastError(DWORD status);
