// Stand-in for the device-control library. Its "driver" reaches the registry through the
// registry functions of the platform, on the machine store. When the environment variable
// VODEVCTL_TRACE names a file, every call is appended to it as one line, so that programs and
// tests can see exactly what was asked of the driver.

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <sx/SxString.h>
#include <vodevctl.h>
#include <windows.h>

namespace {

struct NtKey {
   HKEY root = nullptr;
   SxString subPath; // below the root, backslash-separated, without leading or trailing backslash
};

// VoDevChar16 is wchar_t on Windows and char16_t elsewhere; fromUtf16 takes either.
SxString text(const VoDevChar16* units) {
   return SxString::fromUtf16(units);
}

// Splits "\Registry\Machine\A\B" into HKEY_LOCAL_MACHINE and "A\B"; false for any other form.
bool parseNtPath(const SxString& path, NtKey* key) {
   static const struct {
      const char* prefix;
      HKEY root;
   } kRoots[] = {{"\\Registry\\Machine", HKEY_LOCAL_MACHINE}, {"\\Registry\\User", HKEY_USERS}};
   for (const auto& r : kRoots) {
      const std::string& p = path.str();
      const std::string prefix = r.prefix;
      if (p.compare(0, prefix.size(), prefix) != 0)
         continue;
      std::string rest = p.substr(prefix.size());
      if (!rest.empty() && rest[0] != '\\')
         return false;
      while (!rest.empty() && rest.front() == '\\')
         rest.erase(0, 1);
      while (!rest.empty() && rest.back() == '\\')
         rest.pop_back();
      key->root = r.root;
      key->subPath = SxString(std::string_view(rest));
      return true;
   }
   return false;
}

int32_t trace(const char* call, const SxString& a, const SxString& b, int32_t status) {
   const char* file = std::getenv("VODEVCTL_TRACE");
   if (file && *file) {
      static std::mutex mutex;
      std::lock_guard lock(mutex);
      if (std::FILE* f = std::fopen(file, "ab")) {
         std::fprintf(f, "%s\t%s\t%s\t%d\n", call, a.utf8(), b.utf8(), static_cast<int>(status));
         std::fclose(f);
      }
   }
   return status;
}

// Runs the body of a C export: an exception must not cross into a C caller, so any that the
// body raises becomes a status.
template <class Body>
int32_t statusOf(Body&& body) noexcept {
   try {
      return body();
   } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
   } catch (...) {
      return ERROR_REGISTRY_IO_FAILED;
   }
}

LSTATUS openKey(const NtKey& key, REGSAM access, HKEY* handle) {
   return RegOpenKeyExW(key.root, key.subPath.utf16().elements(), 0, access, handle);
}

} // namespace

extern "C" int32_t voDriveCreateRegKey(const VoDevChar16* parentNtPath,
                                       const VoDevChar16* keyName) {
   return statusOf([&] {
      const SxString parent = text(parentNtPath), name = text(keyName);
      NtKey key;
      if (!parseNtPath(parent, &key) || name.isEmpty() || name.contains("\\"))
         return trace("voDriveCreateRegKey", parent, name, ERROR_INVALID_PARAMETER);
      HKEY parentHandle = nullptr;
      LSTATUS status = openKey(key, KEY_CREATE_SUB_KEY, &parentHandle);
      if (status == ERROR_SUCCESS) {
         HKEY created = nullptr;
         status = RegCreateKeyExW(parentHandle, name.utf16().elements(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &created, nullptr);
         if (created)
            RegCloseKey(created);
         RegCloseKey(parentHandle);
      }
      return trace("voDriveCreateRegKey", parent, name, static_cast<int32_t>(status));
   });
}

extern "C" int32_t voDriveSetRegKeyValue(const VoDevChar16* ntKeyPath, const VoDevChar16* valueName,
                                         uint32_t type, const void* data, uint64_t size) {
   return statusOf([&] {
      const SxString path = text(ntKeyPath), name = text(valueName);
      NtKey key;
      if (!parseNtPath(path, &key) || size > 0xFFFFFFFFu || (size && !data))
         return trace("voDriveSetRegKeyValue", path, name, ERROR_INVALID_PARAMETER);
      HKEY handle = nullptr;
      LSTATUS status = openKey(key, KEY_SET_VALUE, &handle);
      if (status == ERROR_SUCCESS) {
         status = RegSetValueExW(handle, name.utf16().elements(), 0, type,
                                 static_cast<const BYTE*>(data), static_cast<DWORD>(size));
         RegCloseKey(handle);
      }
      return trace("voDriveSetRegKeyValue", path, name, static_cast<int32_t>(status));
   });
}

extern "C" int32_t voDriveRemoveRegKeyValue(const VoDevChar16* ntKeyPath,
                                            const VoDevChar16* valueName) {
   return statusOf([&] {
      const SxString path = text(ntKeyPath), name = text(valueName);
      NtKey key;
      if (!parseNtPath(path, &key))
         return trace("voDriveRemoveRegKeyValue", path, name, ERROR_INVALID_PARAMETER);
      const LSTATUS status =
          RegDeleteKeyValueW(key.root, key.subPath.utf16().elements(), name.utf16().elements());
      return trace("voDriveRemoveRegKeyValue", path, name, static_cast<int32_t>(status));
   });
}
