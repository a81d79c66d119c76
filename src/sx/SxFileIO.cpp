// Files opened by mode, with typed reads and writes that raise on short transfers.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <sx/SxOS.h>
#include <utility>

namespace {
constexpr char kSource[] = "src/sx/SxFileIO";

SxString reason(int err) {
   return SxString(std::strerror(err));
}
} // namespace

SxFileIO::~SxFileIO() {
   if (file_)
      SxOS::current().close(file_);
}

void SxFileIO::open(const SxString& name, const SxString& mode, int permissions) {
   close();
   errno = 0;
   std::FILE* f = SxOS::current().open(name, mode.utf8(), permissions);
   if (!f)
      throw SxException("Can't open file '" + name + "' : " + reason(errno), kSource);
   file_ = f;
   name_ = name;
   mode_ = mode;
}

void SxFileIO::adopt(std::FILE* file, const SxString& name, const SxString& mode) {
   close();
   file_ = file;
   name_ = name;
   mode_ = mode;
}

std::FILE* SxFileIO::release() {
   return std::exchange(file_, nullptr);
}

void SxFileIO::close() {
   if (!file_)
      return;
   std::FILE* f = file_;
   file_ = nullptr;
   if (SxOS::current().close(f) != 0)
      throw SxException("FileWriteError", fileWriteErr(name_) + " : " + reason(errno), kSource);
}

bool SxFileIO::hasMode(const SxString& mode) const {
   if (!file_)
      return false;
   for (char c : mode.str())
      if (mode_.str().find(c) == std::string::npos)
         return false;
   return true;
}

void SxFileIO::requireOpen() const {
   if (!file_)
      throw SxException("File '" + name_ + "' is not open", kSource);
}

int64_t SxFileIO::read(void* buffer, int64_t n) {
   requireOpen();
   // The system may deliver fewer bytes than asked or be interrupted anywhere; only the end of
   // the file stops the loop early.
   auto* at = static_cast<char*>(buffer);
   int64_t got = 0;
   while (got < n) {
      const int64_t step = SxOS::current().read(file_, at + got, n - got);
      if (step == 0)
         break;
      if (step < 0) {
         if (errno == EINTR)
            continue;
         throw SxException(fileReadErr(name_) + " : " + reason(errno), kSource);
      }
      got += step;
   }
   return got;
}

SxString SxFileIO::readUtf8() {
   requireOpen();
   SxOS::FileStat st;
   if (SxOS::current().stat(file_, &st) != 0)
      throw SxException(fileReadErr(name_) + " : " + reason(errno), kSource);
   // A directory opens on some systems but holds no text; the size of anything but a regular
   // file means nothing.
   if (st.kind == SxOS::FileStat::Kind::Directory)
      throw SxException(fileReadErr(name_) + " : " + reason(EISDIR), kSource);
   std::string bytes;
   if (st.kind == SxOS::FileStat::Kind::Regular) {
      const int64_t here = getOffset();
      if (st.size > here)
         bytes.reserve(static_cast<std::size_t>(st.size - here));
   }
   // Read in large pieces straight into the text; the size is only a hint, since the file may
   // still grow or shrink.
   for (;;) {
      const std::size_t have = bytes.size();
      const std::size_t want = std::max<std::size_t>(bytes.capacity() - have, 1 << 16);
      bytes.resize(have + want);
      const int64_t got = read(bytes.data() + have, static_cast<int64_t>(want));
      bytes.resize(have + static_cast<std::size_t>(got));
      if (got == 0)
         break;
   }
   return SxString(std::move(bytes));
}

void SxFileIO::write(const void* data, int64_t n) {
   requireOpen();
   // Short and interrupted writes go on with the rest; a call that writes nothing has failed.
   const auto* at = static_cast<const char*>(data);
   while (n > 0) {
      const int64_t put = SxOS::current().write(file_, at, n);
      if (put < 0 && errno == EINTR)
         continue;
      if (put <= 0) {
         const int err = put < 0 ? errno : EIO;
         throw SxException("FileWriteError", fileWriteErr(name_) + " : " + reason(err), kSource);
      }
      at += put;
      n -= put;
   }
}

void SxFileIO::write(const SxString& text, int64_t length) {
   const int64_t all = text.getNBytes();
   write(text.utf8(), length < 0 || length > all ? all : length);
}

// The typed forms treat a file opened without the needed direction as a broken precondition:
// the caller mixed up its files, and there is nothing sensible to report to its caller.
int64_t SxFileIO::readElements(void* buffer, int64_t n, int64_t elementSize) {
   if (!file_ || (mode_.str().find('r') == std::string::npos && !hasMode("+")))
      sxFatalStop(kSource, __LINE__);
   if (n <= 0)
      return 0;
   const int64_t got = read(buffer, n * elementSize);
   if (got % elementSize != 0)
      throw SxException(fileReadErr(name_) + " : " + reason(EIO), kSource);
   return got / elementSize;
}

void SxFileIO::writeElements(const void* data, int64_t n, int64_t elementSize) {
   if (!file_ || (!hasMode("w") && !hasMode("a") && !hasMode("+")))
      sxFatalStop(kSource, __LINE__);
   write(data, n * elementSize);
}

void SxFileIO::flush() {
   requireOpen();
   if (SxOS::current().flush(file_) != 0)
      throw SxException("FileWriteError", fileWriteErr(name_) + " : " + reason(errno), kSource);
}

void SxFileIO::seek(int64_t offset) {
   requireOpen();
   if (SxOS::current().seek(file_, offset, SEEK_SET) != 0)
      throw SxException("Can't seek to " + SxString(static_cast<long long>(offset)) + " in file '" +
                            name_ + "' : " + reason(errno),
                        kSource);
}

int64_t SxFileIO::getOffset() const {
   requireOpen();
   return SxOS::current().tell(file_);
}

int64_t SxFileIO::getSize() const {
   requireOpen();
   SxOS& os = SxOS::current();
   const int64_t here = os.tell(file_);
   os.seek(file_, 0, SEEK_END);
   const int64_t size = os.tell(file_);
   os.seek(file_, here, SEEK_SET);
   return size;
}

SxString SxFileIO::fileReadErr(const SxString& name) {
   return "Can't read from file '" + name + "'";
}

SxString SxFileIO::fileWriteErr(const SxString& name) {
   return "Can't write to file '" + name + "'";
}
