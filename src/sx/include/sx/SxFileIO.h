#pragma once

#include <cstdint>
#include <cstdio>
#include <sx/SxArray.h>
#include <sx/SxExport.h>
#include <sx/SxString.h>
#include <type_traits>

/// A file opened for binary reading or writing, closed when the object goes out of scope.
///
/// Failures raise SxException. Reads and writes move one shared file position.
class SXFS_API SxFileIO {
public:
   SxFileIO() = default;
   ~SxFileIO();
   SxFileIO(const SxFileIO&) = delete;
   SxFileIO& operator=(const SxFileIO&) = delete;

   /// Opens name with an fopen-style mode ("rb", "wb", "ab", "r+b", ...). A file that the call
   /// creates gets the given permission bits where the platform has them. A file already open
   /// through this object is closed first. Raises "Can't open file '<name>' : <reason>".
   void open(const SxString& name, const SxString& mode, int permissions = 0644);
   /// Closes the file; closing a closed file does nothing.
   void close();
   [[nodiscard]] bool isOpen() const { return file_ != nullptr; }
   /// True when the file is open and its mode holds every character of mode, so hasMode("w")
   /// asks whether it was opened for writing.
   [[nodiscard]] bool hasMode(const SxString& mode) const;
   [[nodiscard]] const SxString& getName() const { return name_; }

   /// Reads up to n bytes into buffer and returns how many were read (fewer at the end).
   int64_t read(void* buffer, int64_t n);
   /// Reads the rest of the file as UTF-8 text.
   SxString readUtf8();
   /// Writes n bytes; raises a "FileWriteError" exception when fewer are written.
   void write(const void* data, int64_t n);
   /// Writes the first length bytes of the text's UTF-8 form, or all of them when length is -1.
   void write(const SxString& text, int64_t length = -1);
   void flush();

   /// Reads up to n elements into buffer and resizes buffer to the elements read: n, or fewer
   /// only where the file ends. Raises fileReadErr(name) when the system fails to deliver bytes
   /// (a short read), also when the file ends inside an element. Reading a file that is not
   /// open for reading is a caller error that ends the process with the fatal-stop banner.
   template <class T>
   int64_t read(SxArray<T>& buffer, int64_t n);
   /// Writes the first n elements of data (all of them when n is -1 or larger than data).
   /// Raises an exception tagged "FileWriteError" with fileWriteErr(name) when fewer bytes are
   /// written. Writing to a file that is not open for writing or appending is a caller error
   /// that ends the process with the fatal-stop banner.
   template <class T>
   void write(const SxArray<T>& data, int64_t n = -1);

   /// Moves the file position to offset bytes from the start.
   void seek(int64_t offset);
   [[nodiscard]] int64_t getOffset() const;
   [[nodiscard]] int64_t getSize() const;

   /// The text that reports a failed read of the named file.
   static SxString fileReadErr(const SxString& name);
   /// The text that reports a failed write to the named file.
   static SxString fileWriteErr(const SxString& name);

private:
   friend class SxAtomicFile;
   friend class SxMappedFile;
   /// Takes over an open file, whose errors then name name.
   void adopt(std::FILE* file, const SxString& name, const SxString& mode);
   /// Gives up the open file without closing it.
   std::FILE* release();

   void requireOpen() const;
   int64_t readElements(void* buffer, int64_t n, int64_t elementSize);
   void writeElements(const void* data, int64_t n, int64_t elementSize);

   std::FILE* file_ = nullptr;
   SxString name_;
   SxString mode_;
};

template <class T>
int64_t SxFileIO::read(SxArray<T>& buffer, int64_t n) {
   static_assert(std::is_trivially_copyable_v<T>, "files hold the bytes of plain values");
   buffer.resize(n > 0 ? n : 0);
   const int64_t got = readElements(buffer.elements(), n, static_cast<int64_t>(sizeof(T)));
   buffer.resize(got);
   return got;
}

template <class T>
void SxFileIO::write(const SxArray<T>& data, int64_t n) {
   static_assert(std::is_trivially_copyable_v<T>, "files hold the bytes of plain values");
   const int64_t all = data.getSize();
   writeElements(data.elements(), n < 0 || n > all ? all : n, static_cast<int64_t>(sizeof(T)));
}
