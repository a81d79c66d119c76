#pragma once

// Files, free space and symbolic links. Paths take "\" as well as "/" as separator, as on
// Windows; a "drive" is the file system that holds the path.

#include <vowin/handle.h>

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPCSTR = const char*;
using BOOLEAN = BYTE;

// The halves are reached through u only: ISO C++ has no anonymous structs.
union LARGE_INTEGER {
   struct {
      DWORD LowPart;
      LONG HighPart;
   } u;
   int64_t QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

union ULARGE_INTEGER {
   struct {
      DWORD LowPart;
      DWORD HighPart;
   } u;
   uint64_t QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define SYMBOLIC_LINK_FLAG_DIRECTORY 0x1
#define SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE 0x2

/// Opens or creates a file (the five Windows dispositions) for GENERIC_READ and/or
/// GENERIC_WRITE. POSIX has no share modes, so shareMode is accepted and not enforced; security
/// attributes, flags other than the attributes, and a template file are not supported. Returns
/// INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

/// CreateFileA with a UTF-16 name.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

/// Moves the file pointer by distance from FILE_BEGIN, FILE_CURRENT or FILE_END. A position
/// before the start gives ERROR_NEGATIVE_SEEK. *newPosition, when given, receives the position.
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod);

/// Makes the file end at the file pointer, shortening or lengthening it (new bytes read as 0).
BOOL SetEndOfFile(HANDLE file);

/// Bytes free for the calling user, total bytes and free bytes of the file system that holds
/// directoryName (a null name asks about the current directory). Every output is optional.
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes);

/// Creates the symbolic link symlinkFileName pointing to targetFileName, stored with "/"
/// separators. POSIX links need no privilege and are not typed, so the two flags change
/// nothing; other flag bits give ERROR_INVALID_PARAMETER. A link name that exists gives
/// ERROR_ALREADY_EXISTS.
BOOLEAN CreateSymbolicLinkW(LPCWSTR symlinkFileName, LPCWSTR targetFileName, DWORD flags);
