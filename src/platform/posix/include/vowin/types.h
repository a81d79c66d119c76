#pragma once

// Basic Windows types and status codes.

#include <cstdint>

using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int;
using BYTE = uint8_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using PWSTR = WCHAR*;
using HANDLE = void*;
using HRESULT = int32_t;
using errno_t = int;
using __time64_t = int64_t;

/// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC, split into two halves.
struct FILETIME {
   DWORD dwLowDateTime;
   DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;
using LPFILETIME = FILETIME*;

#define TRUE 1
#define FALSE 0
