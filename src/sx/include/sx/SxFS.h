#pragma once

#include <filesystem>
#include <sx/SxExport.h>
#include <sx/SxString.h>

/// Information about a path, taken from its text alone.
class SXFS_API SxFileInfo {
public:
   explicit SxFileInfo(const SxString& path);
   virtual ~SxFileInfo() = default;

   /// The path made absolute against the current directory, with "/" separators.
   [[nodiscard]] SxString getAbsPath() const;
   /// The directory part: everything before the last separator, trailing separators ignored;
   /// "." for a bare name and "/" for an entry of the root.
   [[nodiscard]] SxString getPath() const;
   /// The name part: the text after the last separator, trailing separators ignored.
   [[nodiscard]] SxString getName() const;

protected:
   SxString path_;
};

/// A file system entry named by a path.
class SXFS_API SxFile : public SxFileInfo {
public:
   using SxFileInfo::SxFileInfo;
};

/// Shell-like actions on the file system.
class SXFS_API SxFSAction {
public:
   /// True when path names an existing regular file (links followed).
   [[nodiscard]] static bool test_f(const SxString& path);
   /// True when path names an existing directory.
   [[nodiscard]] static bool test_d(const SxString& path);
   /// Creates the directory and every missing parent with the permission bits mode (where the
   /// platform has them). An existing directory is no error. Raises
   /// "Can't create directory '<path>' : <reason>".
   static void mkdir_p(const SxString& path, int mode = 0777);
   /// Creates an empty file with the permission bits mode (where the platform has them), or
   /// updates the modification time of an existing one. Raises
   /// "Can't touch file '<path>' : <reason>".
   static void touch(const SxString& path, int mode = 0644);
   /// True when a and b both name one existing file, through links and different spellings
   /// alike (the same device and file number). For refusing to write over a file that is being
   /// read.
   [[nodiscard]] static bool sameFile(const SxString& a, const SxString& b);
};

/// The system's own name for path: its UTF-16 units where paths are wide (Windows, where the
/// narrow form would go through the ANSI code page), its bytes elsewhere, so that no name is
/// changed on its way to the system.
SXFS_API std::filesystem::path sxSystemPath(const SxString& path);
