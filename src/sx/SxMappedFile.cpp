// A file's bytes, mapped where the file is a regular one with content and read otherwise.

#include <cerrno>
#include <cstring>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <sx/SxMappedFile.h>
#include <sx/SxOS.h>

namespace {
constexpr char kSource[] = "src/sx/SxMappedFile";
} // namespace

SxMappedFile::SxMappedFile(const SxString& name) {
   // Opening through SxFileIO gives the open failures their usual texts, and the file that is
   // read instead of mapped its usual read failures. The size and the mapping both come from
   // this one open file, so a file replaced meanwhile cannot mix the two.
   SxFileIO io;
   io.open(name, "rb", 0600);
   SxOS& os = SxOS::current();
   SxOS::FileStat st;
   if (os.stat(io.file_, &st) != 0)
      throw SxException(SxFileIO::fileReadErr(name) + " : " + std::strerror(errno), kSource);
   if (st.kind == SxOS::FileStat::Kind::Directory)
      throw SxException(SxFileIO::fileReadErr(name) + " : " + std::strerror(EISDIR), kSource);
   if (st.kind == SxOS::FileStat::Kind::Regular && st.size > 0) {
      const auto size = static_cast<std::size_t>(st.size);
      if (const char* data = os.map(io.file_, size, &mapping_)) {
         data_ = data;
         size_ = size;
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
      SxOS::current().unmap(data_, size_, mapping_);
}
