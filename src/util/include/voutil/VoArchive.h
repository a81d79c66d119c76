#pragma once

#include <cstdint>
#include <functional>
#include <sx/SxException.h>
#include <sx/SxString.h>
#include <sx/SxTimer.h>
#include <voutil/VoExport.h>

/// The phases of the library that the process-wide timer table measures.
namespace Timer {
/// Packing and unpacking archives. There is no phase 0.
enum ArchiveTimer : int {
   Compression = 1,  ///< "Data Compression"
   Decompression = 2 ///< "Data Decompression"
};
} // namespace Timer

template <>
VOUTIL_API SxTimerNames<Timer::ArchiveTimer>::SxTimerNames();

/// Packs and unpacks archives by running an external archiver as a hidden, silent child process
/// and judging the result by its exit code alone.
///
/// 7z archives use the reduced 7-Zip tool in the "7z" folder of the root directory
/// (VoSysEnv::getRTERootDir); gzip-compressed tar archives use the system's tar tool. Paths are
/// handed to the tools unchanged, with one exception: a name in a place where the tool also
/// takes switches, that starts with "-" (or with "@", 7-Zip's list files), goes as "./" and
/// the name, so that it stays a name. Nothing is cleaned up after a failure.
class VOUTIL_API VoArchive {
public:
   /// Packs the file or directory source into the 7z archive archive (LZMA2, level 9).
   /// Raises "Compression of target file failed" around the cause.
   static void compress7z(SxString const& source, SxString const& archive);
   /// Unpacks every file of archive into destDir, created first, without the stored directory
   /// names, overwriting existing files. Raises "Archive file <archive> not found" when archive
   /// is missing, else "Extraction of archive failed" around the cause.
   static void extract7z(SxString const& archive, SxString const& destDir);
   /// Writes a gzip-compressed tar archive of source (its last path element, taken from its
   /// directory) under the name archive.
   static void compressZip(SxString const& source, SxString const& archive);
   /// Unpacks a tar archive into destDir, created first.
   static void extractZip(SxString const& archive, SxString const& destDir);

   // zstd streams, in process. Memory stays at the two stream buffers zstd recommends, whatever
   // the file size. The destination is created (or emptied) before anything else can fail and
   // is left as far as it was written after a failure (the tool writes beside it and renames).
   // A destination that is the source file (through links too) is refused before anything is
   // written.

   /// Compresses the file source into one zstd frame with a content checksum in destination,
   /// at level (handed to zstd as it is). Raises "Cannot compress <source> using zstd" around
   /// the cause: "File <source> does not exist", "Destination <destination> is the source
   /// file", "Cannot create zstd compression context", a zstd error or the file error.
   static void compressZSTD(SxString const& source, SxString const& destination, int level = 3);
   /// Decompresses the zstd file source (one or more frames, decoded into their
   /// concatenation) into destination. A source that ends inside a frame gives the bytes
   /// decoded so far. Raises "Cannot decompress <source> using zstd" around the cause: "File
   /// <source> does not exist", "Destination <destination> is the source file", "Cannot create
   /// zstd decompression context", a zstd error (corrupt or foreign data, a checksum mismatch)
   /// or the file error.
   static void extractZSTD(SxString const& source, SxString const& destination);

   /// Told, after each chunk read from the source of a zstd operation, how many bytes of the
   /// source have been read and how large it is. It runs on the calling thread; an SxException
   /// it raises ends the operation like any other failure (the way to cancel one).
   using ReadProgress = std::function<void(uint64_t bytesRead, uint64_t sourceSize)>;
   /// compressZSTD, reporting its reading to onRead.
   static void compressZSTD(SxString const& source, SxString const& destination, int level,
                            ReadProgress const& onRead);
   /// extractZSTD, reporting its reading to onRead.
   static void extractZSTD(SxString const& source, SxString const& destination,
                           ReadProgress const& onRead);
};
