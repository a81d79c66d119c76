#pragma once

#include <sx/SxExport.h>
#include <sx/SxFileIO.h>
#include <sx/SxString.h>

/// A whole file written so that readers see either the old content or the new, never a part:
/// the bytes go to a new temporary file in the target's directory, and commit() syncs it to the
/// device and renames it over the target in one step. An object destroyed without a successful
/// commit removes the temporary file and leaves the target as it was.
///
/// A target that is a symbolic link is replaced where the link points, so the link stays. A
/// target that exists and is not a regular file (a directory, a device, a FIFO) is refused, and
/// left as it is.
/// Failures raise the texts of SxFileIO for the target's name.
class SXFS_API SxAtomicFile {
public:
   /// Creates the temporary file, with the permission bits where the platform has them. Raises
   /// "Can't open file '<target>' : <reason>" when it cannot be made (a missing directory, say).
   explicit SxAtomicFile(const SxString& target, int permissions = 0644);
   ~SxAtomicFile();
   SxAtomicFile(const SxAtomicFile&) = delete;
   SxAtomicFile& operator=(const SxAtomicFile&) = delete;

   /// The file to write the new content to; its errors name the target.
   [[nodiscard]] SxFileIO& io() { return io_; }
   void write(const void* data, int64_t n) { io_.write(data, n); }
   void write(const SxString& text, int64_t length = -1) { io_.write(text, length); }

   /// Syncs the new content and puts it in the target's place. Raises an exception tagged
   /// "FileWriteError" with SxFileIO::fileWriteErr(target) when a step fails; the target is
   /// then unchanged.
   void commit();

   [[nodiscard]] const SxString& getTarget() const { return target_; }

private:
   SxString target_;
   SxString temporary_;
   SxFileIO io_;
   bool committed_ = false;
};
