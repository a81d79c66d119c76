#pragma once

// The known-folder query of the Windows shell. On POSIX the folders come from the XDG base and
// user directories; where a folder has no XDG counterpart it gets a home listed in the README.

#include <vowin/types.h>

struct GUID {
   uint32_t Data1;
   uint16_t Data2;
   uint16_t Data3;
   uint8_t Data4[8];
};
using KNOWNFOLDERID = GUID;
using REFKNOWNFOLDERID = const KNOWNFOLDERID&;

#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)

extern const KNOWNFOLDERID FOLDERID_Documents;
extern const KNOWNFOLDERID FOLDERID_Downloads;
extern const KNOWNFOLDERID FOLDERID_LocalAppData;
extern const KNOWNFOLDERID FOLDERID_ProgramData;
extern const KNOWNFOLDERID FOLDERID_Desktop;
extern const KNOWNFOLDERID FOLDERID_Profile;
extern const KNOWNFOLDERID FOLDERID_RoamingAppData;
extern const KNOWNFOLDERID FOLDERID_StartMenu;
extern const KNOWNFOLDERID FOLDERID_SavedGames;
extern const KNOWNFOLDERID FOLDERID_LocalAppDataLow;
extern const KNOWNFOLDERID FOLDERID_Programs;

/// Finds the path of a known folder for the current user. On success returns S_OK and stores
/// in *path a NUL-terminated UTF-16 text that the caller frees with CoTaskMemFree. On failure
/// (an unknown folder, no home directory) returns E_FAIL or E_INVALIDARG and stores null. The
/// folder need not exist. Flags and token are accepted for compatibility; only 0 and null are
/// supported.
HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folder, DWORD flags, HANDLE token, PWSTR* path);

/// Frees memory handed out by SHGetKnownFolderPath; null is allowed.
void CoTaskMemFree(void* memory);
