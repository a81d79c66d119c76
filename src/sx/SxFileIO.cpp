// Files opened by mode, with typed reads and writes that raise on short transfers.

#include "SxFileIOImpl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>

namespace {
constexpr char kSource[] = "src/sx/SxFileIO";

SxString reason(int err) {
   return SxString(std::strerror(err));
}
} // namespace

SxFileIO::~SxFileIO() {
   if (file_)
      std::fclose(file_);
}

void SxFileIO::open(const SxString& name, const SxString& mode, int permissions) {
   close();
   errno = 0;
   std::FILE* f = sx::detail::openFile(name, mode.utf8(), permissions);
   if (!f)
      throw SxException("Can't open file '" + name + "' : " + reason(errno), kSource);
   file_ = f;
   name_ = name;
   mode_ = mode;
}

void SxFileIO::close() {
   if (!file_)
      return;
   std::FILE* f = file_;
   file_ = nullptr;
   if (std::fclose(f) != 0)
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
   const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(n), file_);
   if (got < static_cast<std::size_t>(n) && std::ferror(file_)) {
      std::clearerr(file_);
      throw SxException(fileReadErr(name_) + " : " + reason(errno), kSource);
   }
   return static_cast<int64_t>(got);
}

SxString SxFileIO::readUtf8() {
   std::string bytes;
   const int64_t here = getOffset();
   const int64_t size = getSize();
   if (size > here)
      bytes.reserve(static_cast<std::size_t>(size - here));
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
   if (n <= 0)
      return;
   if (std::fwrite(data, 1, static_cast<std::size_t>(n), file_) != static_cast<std::size_t>(n)) {
      const int err = errno;
      std::clearerr(file_);
      throw SxException("FileWriteError", fileWriteErr(name_) + " : " + reason(err), kSource);
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
   const auto want = static_cast<std::size_t>(n * elementSize);
   const std::size_t got = std::fread(buffer, 1, want, file_);
   if (got < want && (std::ferror(file_) || got % static_cast<std::size_t>(elementSize) != 0)) {
      const int err = std::ferror(file_) ? errno : EIO;
      std::clearerr(file_);
      throw SxException(fileReadErr(name_) + " : " + reason(err), kSource);
   }
   return static_cast<int64_t>(got) / elementSize;
}

void SxFileIO::writeElements(const void* data, int64_t n, int64_t elementSize) {
   if (!file_ || (!hasMode("w") && !hasMode("a") && !hasMode("+")))
      sxFatalStop(kSource, __LINE__);
   write(data, n * elementSize);
}

void SxFileIO::flush() {
   requireOpen();
   if (std::fflush(file_) != 0)
      throw SxException("FileWriteError", fileWriteErr(name_) + " : " + reason(errno), kSource);
}

void SxFileIO::seek(int64_t offset) {
   requireOpen();
   if (sx::detail::seekFile(file_, offset, SEEK_SET) != 0)
      throw SxException("Can't seek to " + SxString(static_cast<long long>(offset)) + " in file '" +
                            name_ + "' : " + reason(errno),
                        kSource);
}

int64_t SxFileIO::getOffset() const {
   requireOpen();
   return sx::detail::tellFile(file_);
}

int64_t SxFileIO::getSize() const {
   requireOpen();
   const int64_t here = sx::detail::tellFile(file_);
   sx::detail::seekFile(file_, 0, SEEK_END);
   const int64_t size = sx::detail::tellFile(file_);
   sx::detail::seekFile(file_, here, SEEK_SET);
   return size;
}

SxString SxFileIO::fileReadErr(const SxString& name) {
   return "Can't read from file '" + name + "'";
}

SxString SxFileIO::fileWriteErr(const SxString& name) {
   return "Can't write to file '" + name + "'";
}
