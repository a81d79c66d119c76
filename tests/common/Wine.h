#pragma once

// Telling Wine from Windows, for the few tests whose Windows behaviour Wine does not reproduce.
// Such a test skips under Wine and says why, so a skip never hides a fault of our own:
//   - CreateSymbolicLinkW is a stub that reports success and creates nothing;
//   - there is no display, so window enumeration finds next to nothing;
//   - the process runs as administrator: elevation is true and HKLM is writable;
//   - system message texts are Wine's own wording, not Windows'.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vo::test {

/// True when this program runs on Wine: its ntdll exports wine_get_version, Windows' does not.
/// Always false on other platforms.
inline bool runningUnderWine() {
#ifdef _WIN32
   return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
   return false;
#endif
}

} // namespace vo::test

/// Skips the current test under Wine, giving the reason in the test's output.
#define VO_SKIP_UNDER_WINE(reason)                                                                 \
   do {                                                                                            \
      if (::vo::test::runningUnderWine())                                                          \
         GTEST_SKIP() << "not under Wine: " << (reason);                                           \
   } while (false)
