#pragma once

// The registry functions of advapi32 with their Windows names, types, access masks and status
// codes. Keys live in an embedded store behind a replaceable backend
// (voplatform/RegistryBackend.h). Handles are not shared between processes; the stores are.

#include <cstdint>
#include <vowin/types.h>
#include <vowin/winerror.h>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

struct SECURITY_ATTRIBUTES {
   DWORD nLength;
   void* lpSecurityDescriptor;
   BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The predefined root keys carry the Windows values, sign-extended as on 64-bit Windows.
#define HKEY_CLASSES_ROOT ((HKEY)(intptr_t)(int32_t)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(intptr_t)(int32_t)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(intptr_t)(int32_t)0x80000002)
#define HKEY_USERS ((HKEY)(intptr_t)(int32_t)0x80000003)
#define HKEY_CURRENT_CONFIG ((HKEY)(intptr_t)(int32_t)0x80000005)

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

/// Sub-paths are key names joined by backslashes: a leading backslash gives ERROR_BAD_PATHNAME,
/// a name over 256 UTF-16 units ERROR_INVALID_PARAMETER; doubled and trailing backslashes are
/// skipped. Names are kept exactly as given, lone surrogates included, and compare by their
/// upper-cased UTF-16 units (voplatform::registryUpcase).

/// Opens an existing key below hKey. samDesired decides what the handle may do later; asking
/// for write access to a store this process cannot write fails with ERROR_ACCESS_DENIED.
/// *phkResult is written only on success.
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);

/// Opens the key below hKey, creating it and every missing key above it. As on Windows, the
/// rights of hKey do not matter: creating needs a store this process may write.
/// *lpdwDisposition, when given, tells whether the key was new; an empty or null sub-path
/// opens hKey's own key and reports REG_OPENED_EXISTING_KEY.
LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);

/// Reads a value's type, size and data. A null lpData gives type and size only; a buffer
/// smaller than the data gives ERROR_MORE_DATA with the needed size in *lpcbData.
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);

/// Counts and longest lengths of the key's subkeys and values; every output is optional. The
/// store keeps no class names, security descriptors or write times: those read as empty or 0.
LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

/// Sets or replaces a value; the bytes are stored exactly as given. Needs KEY_SET_VALUE.
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);

/// Deletes one value of the key lpSubKey below hKey. A null lpSubKey works through hKey and
/// needs KEY_SET_VALUE on it; an empty one opens hKey's key anew and needs no rights of hKey.
LSTATUS RegDeleteKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName);

/// Deletes the key lpSubKey below hKey with everything below it. With a null or empty lpSubKey
/// it deletes the subkeys and values of hKey and keeps hKey; a null one works through hKey,
/// which needs DELETE, KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE, and KEY_SET_VALUE when the
/// key has values.
LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

/// Closes a handle. Closing a predefined root key does nothing and succeeds.
LSTATUS RegCloseKey(HKEY hKey);

/// The name of subkey dwIndex, in the order of the upper-cased UTF-16 units of the names;
/// ERROR_NO_MORE_ITEMS past the last. *lpcchName is the buffer's size in characters on entry, the
/// name's length on return.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime);

/// Name, type and data of value dwIndex, in the order RegEnumKeyExW lists subkeys (Windows
/// keeps no order of values); ERROR_NO_MORE_ITEMS past the last. Buffer rules as for
/// RegEnumKeyExW (name) and RegQueryValueExW (data).
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
