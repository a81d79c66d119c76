#pragma once

// Top-level windows. POSIX has no window system of its own, so there are no windows to find:
// the enumeration ends at once and a window handle names nothing.

#include <vowin/types.h>

struct HWND__;
using HWND = HWND__*;
using LPDWORD = DWORD*;
using UINT = unsigned int;

#define GW_OWNER 4

/// The next top-level window after childAfter: always null here (no windows), with the last
/// error ERROR_SUCCESS, as Windows reports the end of the list.
HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName);
/// The thread that made the window, with its process in *processId: 0, since no window exists.
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);
/// A window related to window: null (ERROR_INVALID_WINDOW_HANDLE).
HWND GetWindow(HWND window, UINT command);
/// FALSE: no window is visible.
BOOL IsWindowVisible(HWND window);
