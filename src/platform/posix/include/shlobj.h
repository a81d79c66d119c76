#pragma once

// The shell's known folders, as <shlobj.h> offers them on Windows.

#include <windows.h>
