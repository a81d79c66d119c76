#include <dlfcn.h>
#include <string>
#include <sx/SxString.h>
#include <windows.h>

HMODULE LoadLibraryW(LPCWSTR fileName) {
   if (!fileName)
      return nullptr;
   std::string name = SxString::fromUtf16(fileName).str();
   const std::string dll = ".dll";
   if (name.size() > dll.size() && name.compare(name.size() - dll.size(), dll.size(), dll) == 0 &&
       name.find('/') == std::string::npos)
      name = "lib" + name.substr(0, name.size() - dll.size()) + ".so";
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
