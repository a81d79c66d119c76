#pragma once

// Loading shared libraries at run time, with the Windows names.

#include <vowin/types.h>

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using FARPROC = void (*)();

/// Loads a shared library. A Windows file name "name.dll" is looked up as "libname.so", first
/// in the directory of the platform library, then by the dynamic loader's search; other names
/// are handed to the dynamic loader as they are. Returns null on failure.
HMODULE LoadLibraryW(LPCWSTR fileName);
/// The address of an exported function, or null when the library does not export it.
FARPROC GetProcAddress(HMODULE module, const char* procName);
/// Releases a library loaded with LoadLibraryW. Returns nonzero on success.
BOOL FreeLibrary(HMODULE module);
