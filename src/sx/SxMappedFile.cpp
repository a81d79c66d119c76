// A file's bytes, mapped where the file reports a size and read otherwise.

#include "SxMappedFileImpl.h"

#include <sx/SxFileIO.h>
#include <sx/SxMappedFile.h>

SxMappedFile::SxMappedFile(const SxString& name) {
   // Opening through SxFileIO gives the open failures their usual texts, and the file that is
   // read instead of mapped its usual read failures.
   SxFileIO io;
   io.open(name, "rb", 0600);
   const int64_t size = io.getSize();
   if (size > 0) {
      if (const char* data = sx::detail::mapFile(name, static_cast<std::size_t>(size), &mapping_)) {
         data_ = data;
         size_ = static_cast<std::size_t>(size);
         return;
      }
   }
   while (true) {
      char buffer[1 << 16];
      const int64_t got = io.read(buffer, sizeof buffer);
      if (got == 0)
         break;
      read_.append(buffer, static_cast<std::size_t>(got));
   }
   io.close();
   data_ = read_.data();
   size_ = read_.size();
}

SxMappedFile::~SxMappedFile() {
   if (mapping_)
      sx::detail::unmapFile(data_, size_, mapping_);
}
