#include "../SxMappedFileImpl.h"

#include <windows.h>

namespace sx::detail {

const char* mapFile(const SxString& name, std::size_t size, void** mapping) {
   const HANDLE file =
       CreateFileW(name.utf16().elements(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
   if (file == INVALID_HANDLE_VALUE)
      return nullptr;
   const HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
   CloseHandle(file); // the mapping keeps the file
   if (!section)
      return nullptr;
   const void* data = MapViewOfFile(section, FILE_MAP_READ, 0, 0, size);
   if (!data) {
      CloseHandle(section);
      return nullptr;
   }
   *mapping = section;
   return static_cast<const char*>(data);
}

void unmapFile(const char* data, std::size_t /*size*/, void* mapping) {
   UnmapViewOfFile(data);
   CloseHandle(static_cast<HANDLE>(mapping));
}

} // namespace sx::detail
