#pragma once

// Process snapshots of the tool-help library, read from /proc.

#include <vowin/handle.h>

#define MAX_PATH 260
#define TH32CS_SNAPPROCESS 0x00000002

/// One process of a snapshot. Only dwSize (set by the caller), th32ProcessID and szExeFile are
/// filled; the other fields are 0.
struct PROCESSENTRY32W {
   DWORD dwSize;
   DWORD cntUsage;
   DWORD th32ProcessID;
   uintptr_t th32DefaultHeapID;
   DWORD th32ModuleID;
   DWORD cntThreads;
   DWORD th32ParentProcessID;
   LONG pcPriClassBase;
   DWORD dwFlags;
   WCHAR szExeFile[MAX_PATH];
};
using LPPROCESSENTRY32W = PROCESSENTRY32W*;

/// Takes a snapshot of the running processes, in ascending process id order. Only
/// TH32CS_SNAPPROCESS is supported (ERROR_INVALID_PARAMETER otherwise); processId is ignored.
/// Each entry's szExeFile is the file name of the process's executable; where that cannot be
/// read (a kernel thread, a process that has ended, one this user may not inspect) it is the
/// name the kernel keeps for the process, completed from the start of its command line when the
/// kernel's copy is cut short. Names longer than MAX_PATH - 1 units are cut. Returns
/// INVALID_HANDLE_VALUE on failure; close the snapshot with CloseHandle.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);

/// Reads the snapshot's first entry into *entry, whose dwSize the caller has set to
/// sizeof(PROCESSENTRY32W) (ERROR_BAD_LENGTH otherwise). FALSE with ERROR_NO_MORE_FILES for an
/// empty snapshot.
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
/// Reads the entry after the last one read; FALSE with ERROR_NO_MORE_FILES past the end.
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);
