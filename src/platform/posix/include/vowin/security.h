#pragma once

// Access tokens: just enough to ask whether the process runs elevated, which on POSIX means
// with the effective user id 0.

#include <vowin/handle.h>

#define TOKEN_QUERY 0x0008

enum TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenElevationType = 18, TokenElevation = 20 };

struct TOKEN_ELEVATION {
   DWORD TokenIsElevated;
};

/// Opens the access token of the calling process (the pseudo handle of GetCurrentProcess; any
/// other handle gives ERROR_INVALID_HANDLE). The token records the effective user at this call.
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);

/// Answers TokenElevation only (ERROR_INVALID_PARAMETER for other classes): a TOKEN_ELEVATION
/// whose flag is nonzero for the effective user 0. ERROR_INSUFFICIENT_BUFFER when length is
/// below its size. *returnLength, when given, receives the size needed.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info, DWORD length,
                         DWORD* returnLength);
