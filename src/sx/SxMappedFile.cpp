// A file's bytes, mapped where the file is a regular one with content and read otherwise.

#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <sx/SxMappedFile.h>
#include <sx/SxOS.h>

SxMappedFile::SxMappedFile(const SxString& name) {
   // Opening through SxFileIO gives the open failures their usual texts, and the file that is
   // read instead of mapped its usual read failures. The size and the mapping both come from
   // this one open file, so a file replaced meanwhile cannot mix the two.
   SxFileIO io;
   io.open(name, "rb", 0600);
   const int64_t wholeSize = io.wholeFileSize();
   if (wholeSize > 0) {
      const auto size = static_cast<std::size_t>(wholeSize);
      if (const char* data = SxOS::current().map(io.file_, size, &mapping_)) {
         data_ = data;
         size_ = size;
         return;
      }
   }
   if (wholeSize > 0)
      read_.reserve(static_cast<std::size_t>(wholeSize));
   while (true) {
      char buffer[1 << 16];
      const int64_t got = io.read(buffer, sizeof buffer);
      if (got == 0)
         break;
      read_.append(buffer, static_cast<std::size_t>(got));
   }
   io.close();
   // A file cut short meanwhile would hand its reader a line or record cut in two.
   if (wholeSize > 0 && static_cast<int64_t>(read_.size()) < wholeSize)
      throw SxException(SxFileIO::fileReadErr(name) + " : the file shrank while it was read",
                        "src/sx/SxMappedFile");
   data_ = read_.data();
   size_ = read_.size();
}

SxMappedFile::~SxMappedFile() {
   if (mapping_)
      SxOS::current().unmap(data_, size_, mapping_);
}
