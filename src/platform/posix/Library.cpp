// Loading shared libraries by name, from the directory of the loading library first.

#include <dlfcn.h>
#include <string>
#include <sx/SxString.h>
#include <windows.h>

namespace {
// The directory this library was loaded from, where the project's other libraries live too.
std::string ownDirectory() {
   Dl_info info{};
   if (!::dladdr(reinterpret_cast<void*>(&LoadLibraryW), &info) || !info.dli_fname)
      return {};
   const std::string path = info.dli_fname;
   const std::size_t slash = path.rfind('/');
   return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
} // namespace

HMODULE LoadLibraryW(LPCWSTR fileName) {
   if (!fileName)
      return nullptr;
   std::string name = SxString::fromUtf16(fileName).str();
   const std::string dll = ".dll";
   if (name.size() > dll.size() && name.compare(name.size() - dll.size(), dll.size(), dll) == 0 &&
       name.find('/') == std::string::npos) {
      name = "lib" + name.substr(0, name.size() - dll.size()) + ".so";
      // Like Windows, which looks beside the program first, look beside our own libraries
      // before the loader's search path; the loader's own lookup relative to the caller is
      // unreliable when a sanitizer intercepts the call.
      const std::string dir = ownDirectory();
      if (!dir.empty())
         if (void* module = ::dlopen((dir + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL))
            return static_cast<HMODULE>(module);
   }
   return static_cast<HMODULE>(::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
   if (!module || !procName)
      return nullptr;
   return reinterpret_cast<FARPROC>(::dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module) {
   return module && ::dlclose(module) == 0;
}
