#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sx/SxExport.h>
#include <sx/SxString.h>

/// The whole content of a file as read-only bytes in memory, for reading large files in place
/// without copying them out of the page cache.
///
/// A regular file with a size is mapped read-only where the system keeps a mapped file from
/// shrinking (Windows); elsewhere, and for a file that reports no size (an empty file, or a
/// special file such as those under /proc) or cannot be mapped, it is read into memory, so
/// that every readable file works and none can end the process with a signal. A file that
/// shrinks while it is read raises the read error. The bytes stay valid while the object lives.
class SXFS_API SxMappedFile {
public:
   /// Opens and maps (or reads) the named file. Raises SxFileIO's failures with their texts:
   /// "Can't open file '<name>' : <reason>" and, for a file that is read, its read failure.
   explicit SxMappedFile(const SxString& name);
   ~SxMappedFile();
   SxMappedFile(const SxMappedFile&) = delete;
   SxMappedFile& operator=(const SxMappedFile&) = delete;

   /// The file's bytes as they are: not checked or repaired as UTF-8.
   [[nodiscard]] std::string_view bytes() const { return {data_, size_}; }
   /// Whether the bytes are mapped rather than read into memory.
   [[nodiscard]] bool isMapped() const { return mapping_ != nullptr; }

private:
   const char* data_ = nullptr;
   std::size_t size_ = 0;
   void* mapping_ = nullptr; ///< the platform's handle of the mapping, null when read
   std::string read_;        ///< the bytes of a file that is read instead
};
