#pragma once

// The machine and the user: processor count and the name of the user running the process.

#include <vowin/types.h>

struct SYSTEM_INFO {
   WORD wProcessorArchitecture;
   WORD wReserved;
   DWORD dwPageSize;
   void* lpMinimumApplicationAddress;
   void* lpMaximumApplicationAddress;
   uintptr_t dwActiveProcessorMask;
   DWORD dwNumberOfProcessors;
   DWORD dwProcessorType;
   DWORD dwAllocationGranularity;
   WORD wProcessorLevel;
   WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

/// Fills page size and processor count. dwNumberOfProcessors counts the processors this
/// process may run on (its affinity set), lowered to the whole-processor share of a cgroup CPU
/// limit when one is set, so a container's limit counts; it is at least 1. The other fields
/// are 0.
void GetSystemInfo(LPSYSTEM_INFO info);

/// The login name of the effective user, from the password database. *size holds the buffer's
/// size in units on entry and the units written including the NUL on success; when the name
/// does not fit, ERROR_INSUFFICIENT_BUFFER with the size needed in *size. ERROR_NONE_MAPPED
/// when the user has no entry.
BOOL GetUserNameW(LPWSTR buffer, DWORD* size);

enum COMPUTER_NAME_FORMAT { ComputerNameNetBIOS, ComputerNameDnsHostname };

/// The machine's host name (both formats give the name the system reports). *size holds the
/// buffer's size in units on entry; on success it receives the units written without the NUL.
/// When the name does not fit, ERROR_MORE_DATA with the size needed, NUL included, in *size.
BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT format, LPWSTR buffer, DWORD* size);
