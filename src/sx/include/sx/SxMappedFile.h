#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sx/SxExport.h>
#include <sx/SxString.h>

/// The whole content of a file as read-only bytes in memory, for reading large files in place
/// without copying them out of the page cache.
///
/// A regular file with a size is mapped read-only; a file that reports no size (an empty file,
/// or a special file such as those under /proc) or that cannot be mapped is read into memory
/// instead, so that every readable file works. The bytes stay valid while the object lives; a
/// mapped file that another process shortens meanwhile may end the process on access, as with
/// any mapping, so map only files that are not being written.
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
