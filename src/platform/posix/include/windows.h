#pragma once

// The subset of the Windows API that the library calls, for POSIX systems. Names, types and
// status codes are those of Windows so that the library's code is the same on both platforms.

#include <cstdint>
#include <ctime>

using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int;
using BYTE = uint8_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using errno_t = int;
using __time64_t = int64_t;

/// Converts a time to local calendar time, as the Windows runtime does. Returns 0 on success,
/// or EINVAL with *result cleared when either pointer is null or the time cannot be converted.
errno_t _localtime64_s(struct tm* result, const __time64_t* time);
