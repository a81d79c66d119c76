// Loading shared libraries by name or by full path, and finding a loaded library's file.

#include "Posix.h"

#include <algorithm>
#include <climits>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <sx/SxString.h>
#include <unistd.h>
#include <windows.h>

namespace {

// A Windows library name as the POSIX one: "dir/name.dll" is "dir/libname.so".
std::string posixLibraryName(LPCWSTR fileName) {
   std::string path = voplatform::posixPath(fileName);
   const std::size_t slash = path.rfind('/');
   const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
   std::string name = path.substr(dir.size());
   const std::string dll = ".dll";
   if (name.size() > dll.size() && name.compare(name.size() - dll.size(), dll.size(), dll) == 0)
      name = "lib" + name.substr(0, name.size() - dll.size()) + ".so";
   return dir + name;
}

// The file of a loaded library, or of the executable for a null module; empty when unknown.
std::string moduleFile(HMODULE module) {
   if (!module) {
      std::string exe(PATH_MAX, '\0');
      const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
      return n > 0 ? exe.substr(0, static_cast<std::size_t>(n)) : std::string();
   }
   link_map* map = nullptr;
   if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
      return {};
   return map->l_name;
}

} // namespace

HMODULE LoadLibraryW(LPCWSTR fileName) {
   return LoadLibraryExW(fileName, nullptr, 0);
}

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE /*file*/, DWORD /*flags*/) {
   if (!fileName) {
      voplatform::failWith(ERROR_INVALID_PARAMETER);
      return nullptr;
   }
   // dlopen loads a name with a "/" from exactly there and searches for the others.
   void* module = ::dlopen(posixLibraryName(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
   if (!module)
      voplatform::failWith(ERROR_MOD_NOT_FOUND);
   return static_cast<HMODULE>(module);
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
   if (!module)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   *module = nullptr;
   if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || !moduleName)
      return voplatform::failWith(ERROR_INVALID_PARAMETER);
   Dl_info info{};
   if (!::dladdr(moduleName, &info) || !info.dli_fname)
      return voplatform::failWith(ERROR_MOD_NOT_FOUND);
   // RTLD_NOLOAD finds the library already loaded and counts one more reference to it.
   void* handle = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
   if (!handle)
      return voplatform::failWith(ERROR_MOD_NOT_FOUND);
   if (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)
      ::dlclose(handle);
   *module = static_cast<HMODULE>(handle);
   return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
   const std::string file = moduleFile(module);
   if (file.empty()) {
      voplatform::failWith(ERROR_MOD_NOT_FOUND);
      return 0;
   }
   if (!fileName || size == 0) {
      voplatform::failWith(ERROR_INSUFFICIENT_BUFFER);
      return 0;
   }
   const SxArray<SxChar16> units = SxString::fromUtf8(file.c_str()).utf16();
   const DWORD length = static_cast<DWORD>(units.getSize() - 1);
   const DWORD copied = std::min(length, size - 1);
   std::copy_n(units.elements(), copied, fileName);
   fileName[copied] = 0;
   if (copied < length) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
   }
   return length;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
   if (!module || !procName)
      return nullptr;
   return reinterpret_cast<FARPROC>(::dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module) {
   return module && ::dlclose(module) == 0;
}
