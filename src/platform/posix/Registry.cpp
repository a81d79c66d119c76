// The registry functions of <windows.h>: argument checks, handles, access rights and the
// callers' buffers. Keys and values themselves are the backend's business.

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <voplatform/RegistryBackend.h>
#include <windows.h>

using voplatform::KeyInfo;
using voplatform::KeyPath;
using voplatform::KeyRef;
using voplatform::RegistryBackend;
using voplatform::RegName;
using voplatform::ValueData;

// Where the handle's listings of subkeys and of values stand, shared by the copies of the
// handle that calls take.
struct EnumCursors {
   std::mutex mutex;
   voplatform::EnumCursor keys;
   voplatform::EnumCursor values;
};

struct HKEY__ {
   std::shared_ptr<RegistryBackend> backend;
   KeyRef key;
   REGSAM access = 0;
   std::shared_ptr<EnumCursors> cursors;
};

namespace {

// The longest key name and value name Windows accepts, in UTF-16 units.
constexpr std::size_t kMaxKeyNameLength = 256;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE;
// What emptying a key through its own handle needs; removing values needs KEY_SET_VALUE too.
constexpr REGSAM kClearAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// Open handles, so that a stale or foreign handle is answered with ERROR_INVALID_HANDLE
// instead of being dereferenced.
std::mutex gHandlesMutex;
std::unordered_set<HKEY> gHandles;

// The predefined root key that hKey names, or null. Windows recognises a root by the low 32
// bits of the handle, so a root zero-extended or with other upper bits names it too.
HKEY predefinedRoot(HKEY hKey) {
   const auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hKey));
   return low >= 0x80000000u
              ? reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(low)))
              : nullptr;
}

// The backend, key and rights behind a handle, copied so that closing the handle on another
// thread cannot pull them away during a call. Handles of ours are heap addresses, whose low
// bits may look like a root's, so they are looked up first. *isRoot tells whether hKey was a
// predefined root key.
LSTATUS resolve(HKEY hKey, HKEY__* out, bool* isRoot = nullptr) {
   {
      std::lock_guard<std::mutex> lock(gHandlesMutex);
      if (gHandles.count(hKey)) {
         *out = *hKey;
         return ERROR_SUCCESS;
      }
   }
   const HKEY root = predefinedRoot(hKey);
   if (!root)
      return ERROR_INVALID_HANDLE;
   if (isRoot)
      *isRoot = true;
   out->backend = voplatform::registryBackend();
   out->access = KEY_ALL_ACCESS;
   return out->backend->rootKey(root, &out->key);
}

// resolve, for a call that needs the right access on the handle.
LSTATUS resolveWith(HKEY hKey, REGSAM access, HKEY__* out) {
   const LSTATUS status = resolve(hKey, out);
   if (status == ERROR_SUCCESS && !(out->access & access))
      return ERROR_ACCESS_DENIED;
   return status;
}

// Windows answers a call through a handle whose key was deleted with ERROR_KEY_DELETED before
// it looks at a sub-path or at rights that do not come from the handle. Asked only when such a
// call fails, so that the calls that succeed pay nothing for it.
LSTATUS orKeyDeleted(const HKEY__& handle, LSTATUS status) {
   if (status != ERROR_ACCESS_DENIED && status != ERROR_BAD_PATHNAME &&
       status != ERROR_INVALID_PARAMETER)
      return status;
   KeyRef same;
   return handle.backend->openKey(handle.key, {}, false, &same) == ERROR_KEY_DELETED
              ? ERROR_KEY_DELETED
              : status;
}

HKEY newHandle(const HKEY__& from, KeyRef key, REGSAM access) {
   HKEY handle = new HKEY__{from.backend, key, access, std::make_shared<EnumCursors>()};
   std::lock_guard<std::mutex> lock(gHandlesMutex);
   gHandles.insert(handle);
   return handle;
}

std::size_t unitCount(LPCWSTR text) {
   std::size_t n = 0;
   while (text[n])
      ++n;
   return n;
}

// Splits a sub-path at backslashes into key names, as Windows does: a leading backslash is a
// bad path, empty names further on are skipped. Names keep their units exactly.
LSTATUS parseSubKey(LPCWSTR subKey, KeyPath* path) {
   if (!subKey)
      return ERROR_SUCCESS;
   if (subKey[0] == u'\\')
      return ERROR_BAD_PATHNAME;
   const std::size_t n = unitCount(subKey);
   std::size_t start = 0;
   for (std::size_t i = 0; i <= n; ++i) {
      if (i < n && subKey[i] != u'\\')
         continue;
      if (i - start > kMaxKeyNameLength)
         return ERROR_INVALID_PARAMETER;
      if (i > start)
         path->emplace_back(subKey + start, i - start);
      start = i + 1;
   }
   return ERROR_SUCCESS;
}

LSTATUS parseValueName(LPCWSTR name, RegName* out) {
   if (!name)
      return ERROR_SUCCESS;
   const std::size_t n = unitCount(name);
   if (n > kMaxValueNameLength)
      return ERROR_INVALID_PARAMETER;
   out->assign(name, n);
   return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of *cch units (NUL included); on success *cch is the
// name's length without the NUL.
LSTATUS copyName(const RegName& name, LPWSTR buffer, LPDWORD cch) {
   if (!buffer || !cch)
      return ERROR_INVALID_PARAMETER;
   if (name.size() >= *cch)
      return ERROR_MORE_DATA;
   std::copy(name.begin(), name.end(), buffer);
   buffer[name.size()] = 0;
   *cch = static_cast<DWORD>(name.size());
   return ERROR_SUCCESS;
}

// Hands a value's type, size and data to a caller the way RegQueryValueExW does: without a
// buffer only type and size, with a short buffer ERROR_MORE_DATA and the needed size.
LSTATUS copyValue(const ValueData& value, LPDWORD type, LPBYTE data, LPDWORD cbData) {
   const auto size = static_cast<DWORD>(value.bytes.size());
   LSTATUS status = ERROR_SUCCESS;
   if (data) {
      if (*cbData < size) {
         status = ERROR_MORE_DATA;
      } else if (size) {
         std::memcpy(data, value.bytes.data(), size);
         // String data may have been stored without its NUL; where the buffer has room for
         // one more character, a C string read back still ends at the data. Data whose last
         // two bytes are zero counts as ended, whether or not they form one unit.
         const bool text =
             value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
         const bool ended = size >= 2 && !data[size - 2] && !data[size - 1];
         if (text && !ended && *cbData - size >= sizeof(char16_t))
            data[size] = data[size + 1] = 0;
      }
   }
   if (type)
      *type = value.type;
   if (cbData)
      *cbData = size;
   return status;
}

// Runs one step of a listing with the handle's cursor for it and keeps where it left the
// cursor when the step succeeded, so that a caller who asks again for the same index with a
// larger buffer still continues from the row before. Handles of predefined roots have none and
// count rows.
template <class Call>
LSTATUS withCursor(const HKEY__& handle, voplatform::EnumCursor EnumCursors::*which, Call&& call) {
   if (!handle.cursors)
      return call(nullptr);
   voplatform::EnumCursor cursor;
   {
      std::lock_guard<std::mutex> lock(handle.cursors->mutex);
      cursor = (*handle.cursors).*which;
   }
   const LSTATUS status = call(&cursor);
   if (status == ERROR_SUCCESS) {
      std::lock_guard<std::mutex> lock(handle.cursors->mutex);
      (*handle.cursors).*which = std::move(cursor);
   }
   return status;
}

// Runs the body of a Reg* function: no C++ exception crosses into a C caller.
template <class Body>
LSTATUS guarded(Body&& body) noexcept {
   try {
      return body();
   } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
   } catch (...) {
      return ERROR_INTERNAL_ERROR;
   }
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      PHKEY phkResult) {
   return guarded([&]() -> LSTATUS {
      if (!phkResult)
         return ERROR_INVALID_PARAMETER;
      *phkResult = nullptr;
      HKEY__ base;
      KeyPath path;
      KeyRef key;
      bool isRoot = false;
      LSTATUS status = resolve(hKey, &base, &isRoot);
      if (status != ERROR_SUCCESS)
         return status;
      // A root opened with no sub-path is handed back itself; HKEY_CLASSES_ROOT also opens
      // with a lone backslash.
      const bool noPath = !lpSubKey || !*lpSubKey;
      if (isRoot && noPath) {
         *phkResult = hKey;
         return ERROR_SUCCESS;
      }
      const bool classesRoot = isRoot && predefinedRoot(hKey) == HKEY_CLASSES_ROOT;
      if (!(classesRoot && lpSubKey[0] == u'\\' && !lpSubKey[1]))
         status = parseSubKey(lpSubKey, &path);
      if (status == ERROR_SUCCESS)
         status = base.backend->openKey(base.key, path, (samDesired & kWriteAccess) != 0, &key);
      if (status != ERROR_SUCCESS)
         return orKeyDeleted(base, status);
      *phkResult = newHandle(base, key, samDesired);
      return ERROR_SUCCESS;
   });
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
   return guarded([&]() -> LSTATUS {
      if (!phkResult)
         return ERROR_INVALID_PARAMETER;
      *phkResult = nullptr;
      if (Reserved)
         return ERROR_INVALID_PARAMETER;
      // Keys that end with the boot, and links, the store cannot keep.
      if (dwOptions & (REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK))
         return ERROR_NOT_SUPPORTED;
      HKEY__ base;
      KeyPath path;
      KeyRef key;
      bool created = false;
      // Windows checks a new key against its parent's security, not against the rights of the
      // handle passed in; the store's own writability stands for that security.
      LSTATUS status = resolve(hKey, &base);
      if (status != ERROR_SUCCESS)
         return status;
      status = parseSubKey(lpSubKey, &path);
      if (status == ERROR_SUCCESS)
         status = base.backend->createKey(base.key, path, &key, &created);
      if (status != ERROR_SUCCESS)
         return orKeyDeleted(base, status);
      *phkResult = newHandle(base, key, samDesired);
      if (lpdwDisposition)
         *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
      return ERROR_SUCCESS;
   });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
   return guarded([&]() -> LSTATUS {
      if (lpReserved || (lpData && !lpcbData))
         return ERROR_INVALID_PARAMETER;
      // A caller that asks for the size alone is told 0 when the call fails.
      if (lpcbData && !lpData)
         *lpcbData = 0;
      HKEY__ key;
      RegName name;
      ValueData value;
      LSTATUS status = resolveWith(hKey, KEY_QUERY_VALUE, &key);
      if (status == ERROR_SUCCESS)
         status = parseValueName(lpValueName, &name);
      if (status == ERROR_SUCCESS)
         status = key.backend->queryValue(key.key, name, &value);
      if (status == ERROR_SUCCESS)
         status = copyValue(value, lpType, lpData, lpcbData);
      return status;
   });
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
   return guarded([&]() -> LSTATUS {
      if (lpReserved || (lpClass && !lpcchClass))
         return ERROR_INVALID_PARAMETER;
      HKEY__ key;
      KeyInfo info;
      LSTATUS status = resolveWith(hKey, KEY_QUERY_VALUE, &key);
      if (status == ERROR_ACCESS_DENIED)
         return orKeyDeleted(key, status);
      if (status == ERROR_SUCCESS)
         status = key.backend->queryInfo(key.key, &info);
      if (status != ERROR_SUCCESS)
         return status;
      if (lpClass && *lpcchClass)
         lpClass[0] = 0;
      for (LPDWORD zero : {lpcchClass, lpcbMaxClassLen, lpcbSecurityDescriptor})
         if (zero)
            *zero = 0;
      const std::pair<LPDWORD, DWORD> outputs[] = {{lpcSubKeys, info.subKeys},
                                                   {lpcbMaxSubKeyLen, info.maxSubKeyLen},
                                                   {lpcValues, info.values},
                                                   {lpcbMaxValueNameLen, info.maxValueNameLen},
                                                   {lpcbMaxValueLen, info.maxValueLen}};
      for (const auto& [out, number] : outputs)
         if (out)
            *out = number;
      if (lpftLastWriteTime)
         *lpftLastWriteTime = FILETIME{0, 0};
      return ERROR_SUCCESS;
   });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
   return guarded([&]() -> LSTATUS {
      if (Reserved)
         return ERROR_INVALID_PARAMETER;
      if (!lpData && cbData)
         return ERROR_NOACCESS;
      HKEY__ key;
      ValueData value;
      LSTATUS status = resolveWith(hKey, KEY_SET_VALUE, &key);
      if (status == ERROR_SUCCESS)
         status = parseValueName(lpValueName, &value.name);
      if (status != ERROR_SUCCESS)
         return status;
      value.type = dwType;
      if (cbData)
         value.bytes.assign(lpData, lpData + cbData);
      return key.backend->setValue(key.key, value);
   });
}

// A null sub-path works through the handle itself and needs its rights; any other sub-path,
// the empty one too, is opened below it with rights of its own.
LSTATUS RegDeleteKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName) {
   return guarded([&]() -> LSTATUS {
      HKEY__ base;
      KeyPath path;
      RegName name;
      LSTATUS status = resolve(hKey, &base);
      if (status != ERROR_SUCCESS)
         return status;
      if (!lpSubKey && !(base.access & KEY_SET_VALUE))
         return ERROR_ACCESS_DENIED;
      status = parseSubKey(lpSubKey, &path);
      if (status == ERROR_SUCCESS)
         status = parseValueName(lpValueName, &name);
      if (status == ERROR_SUCCESS)
         status = base.backend->deleteValue(base.key, path, name);
      return lpSubKey ? orKeyDeleted(base, status) : status;
   });
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
   return guarded([&]() -> LSTATUS {
      HKEY__ base;
      KeyPath path;
      LSTATUS status = resolve(hKey, &base);
      if (status != ERROR_SUCCESS)
         return status;
      status = parseSubKey(lpSubKey, &path);
      if (status == ERROR_SUCCESS && !lpSubKey && (base.access & kClearAccess) != kClearAccess)
         status = ERROR_ACCESS_DENIED;
      // Values go one by one through the handle, which then needs the right to change them.
      if (status == ERROR_SUCCESS && !lpSubKey && !(base.access & KEY_SET_VALUE)) {
         KeyInfo info;
         status = base.backend->queryInfo(base.key, &info);
         if (status == ERROR_SUCCESS && info.values)
            status = ERROR_ACCESS_DENIED;
      }
      if (status == ERROR_SUCCESS)
         status = base.backend->deleteTree(base.key, path);
      return orKeyDeleted(base, status);
   });
}

LSTATUS RegCloseKey(HKEY hKey) {
   return guarded([&]() -> LSTATUS {
      {
         std::lock_guard<std::mutex> lock(gHandlesMutex);
         if (!gHandles.erase(hKey))
            return predefinedRoot(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
      }
      delete hKey;
      return ERROR_SUCCESS;
   });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime) {
   return guarded([&]() -> LSTATUS {
      if (lpReserved || !lpName || !lpcchName || (lpClass && !lpcchClass))
         return ERROR_INVALID_PARAMETER;
      HKEY__ key;
      RegName name;
      LSTATUS status = resolveWith(hKey, KEY_ENUMERATE_SUB_KEYS, &key);
      if (status == ERROR_SUCCESS)
         status = withCursor(key, &EnumCursors::keys, [&](voplatform::EnumCursor* cursor) {
            const LSTATUS found = key.backend->enumKey(key.key, dwIndex, &name, cursor);
            return found == ERROR_SUCCESS ? copyName(name, lpName, lpcchName) : found;
         });
      if (status != ERROR_SUCCESS)
         return status;
      if (lpClass && *lpcchClass)
         lpClass[0] = 0;
      if (lpcchClass)
         *lpcchClass = 0;
      if (lpftLastWriteTime)
         *lpftLastWriteTime = FILETIME{0, 0};
      return ERROR_SUCCESS;
   });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
   return guarded([&]() -> LSTATUS {
      if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
         return ERROR_INVALID_PARAMETER;
      HKEY__ key;
      ValueData value;
      LSTATUS status = resolveWith(hKey, KEY_QUERY_VALUE, &key);
      if (status == ERROR_SUCCESS)
         status = withCursor(key, &EnumCursors::values, [&](voplatform::EnumCursor* cursor) {
            const LSTATUS found = key.backend->enumValue(key.key, dwIndex, &value, cursor);
            if (found != ERROR_SUCCESS)
               return found;
            const LSTATUS named = copyName(value.name, lpValueName, lpcchValueName);
            // A name that does not fit leaves the data buffer alone; type and size are still
            // told.
            const LSTATUS copied =
                copyValue(value, lpType, named == ERROR_SUCCESS ? lpData : nullptr, lpcbData);
            return named == ERROR_SUCCESS ? copied : named;
         });
      return status;
   });
}
