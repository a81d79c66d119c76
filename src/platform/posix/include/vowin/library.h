#pragma once

// Loading shared libraries at run time, with the Windows names.

#include <vowin/types.h>

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using FARPROC = void (*)();

#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800

/// Loads a shared library. A Windows file name "name.dll" is looked up as "libname.so"; a name
/// without a directory goes through the dynamic loader's search. Returns null on failure.
HMODULE LoadLibraryW(LPCWSTR fileName);
/// LoadLibraryW with search flags. A path with a directory loads exactly that file, as Windows
/// does for a full path; the flags narrow no further search here, since none takes place.
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
/// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS (the only form offered), sets *module to the
/// loaded library that holds the address moduleName points to, and returns nonzero. With
/// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the library's reference count stays as it was.
/// On failure *module is null and the last error is set.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
/// Copies the full path of the library (the running executable for a null module) into
/// fileName with its NUL and returns its length in units. A path that does not fit is cut to
/// size - 1 units with a NUL, and the result is size with ERROR_INSUFFICIENT_BUFFER set. On
/// failure returns 0 with the last error set.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
/// The address of an exported function, or null when the library does not export it.
FARPROC GetProcAddress(HMODULE module, const char* procName);
/// Releases a library loaded with LoadLibraryW. Returns nonzero on success.
BOOL FreeLibrary(HMODULE module);
