// Read-only file mappings on POSIX.

#include "../SxMappedFileImpl.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sx::detail {

const char* mapFile(const SxString& name, std::size_t size, void** mapping) {
   const int fd = ::open(name.bytes().c_str(), O_RDONLY | O_CLOEXEC);
   if (fd < 0)
      return nullptr;
   int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
   // Fault the pages in at once: callers read the whole file, and one fault per page costs more.
   flags |= MAP_POPULATE;
#endif
   void* data = ::mmap(nullptr, size, PROT_READ, flags, fd, 0);
   ::close(fd); // the mapping keeps the file
   if (data == MAP_FAILED)
      return nullptr;
   *mapping = data;
   return static_cast<const char*>(data);
}

void unmapFile(const char* data, std::size_t size, void* /*mapping*/) {
   ::munmap(const_cast<char*>(data), size);
}

} // namespace sx::detail
