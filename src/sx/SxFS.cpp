// File information and file-system actions over std::filesystem.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <sx/SxAtomicFile.h>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxOS.h>
#include <sx/SxUUIDv4.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {
constexpr char kSource[] = "src/sx/SxFS";

// Paths are the system's own names: UTF-16 units where paths are wide (Windows, where the narrow
// constructor would use the ANSI code page), bytes elsewhere, so no name is changed on the way.
constexpr bool kWidePaths = sizeof(fs::path::value_type) == 2;

SxString fromPath(const fs::path& p) {
   if constexpr (kWidePaths)
      return SxString::fromUtf16(p.generic_wstring().c_str());
   else
      return SxString(p.string());
}

SxString reason(int err) {
   return SxString(std::strerror(err));
}

bool isSeparator(char c) {
   return c == '/' || c == '\\';
}

// The text without trailing separators, keeping a lone root separator.
std::string withoutTrailingSeparators(const std::string& path) {
   std::size_t end = path.size();
   while (end > 1 && isSeparator(path[end - 1]))
      --end;
   return path.substr(0, end);
}
} // namespace

fs::path sxSystemPath(const SxString& s) {
   if constexpr (kWidePaths) {
      const SxArray<SxChar16> units = s.utf16();
      return fs::path(std::wstring(units.begin(), units.end() - 1));
   } else {
      return fs::path(s.bytes());
   }
}

SxFileInfo::SxFileInfo(const SxString& path) : path_(path) {}

SxString SxFileInfo::getAbsPath() const {
   std::error_code ec;
   const fs::path abs = fs::absolute(sxSystemPath(path_), ec);
   return ec ? path_ : fromPath(abs.lexically_normal());
}

SxString SxFileInfo::getPath() const {
   const std::string path = withoutTrailingSeparators(path_.str());
   const std::size_t sep = path.find_last_of("/\\");
   if (sep == std::string::npos)
      return ".";
   std::size_t end = sep;
   while (end > 0 && isSeparator(path[end - 1]))
      --end;
   return end == 0 ? SxString(std::string_view(path).substr(0, 1))
                   : SxString(std::string_view(path).substr(0, end));
}

SxString SxFileInfo::getName() const {
   const std::string path = withoutTrailingSeparators(path_.str());
   const std::size_t sep = path.find_last_of("/\\");
   return sep == std::string::npos ? SxString(std::string_view(path))
                                   : SxString(std::string_view(path).substr(sep + 1));
}

bool SxFSAction::test_f(const SxString& path) {
   std::error_code ec;
   return !path.isEmpty() && fs::is_regular_file(sxSystemPath(path), ec);
}

bool SxFSAction::test_d(const SxString& path) {
   std::error_code ec;
   return !path.isEmpty() && fs::is_directory(sxSystemPath(path), ec);
}

void SxFSAction::mkdir_p(const SxString& path, int mode) {
   std::error_code ec;
   const fs::path p = sxSystemPath(path);
   if (fs::is_directory(p, ec))
      return;
   fs::create_directories(p, ec);
   if (ec)
      throw SxException("Can't create directory '" + path + "' : " + SxString(ec.message().c_str()),
                        kSource);
   // Directories are made with the usual umask; only a narrower mode is applied on top.
   if ((mode & 0777) != 0777)
      fs::permissions(p, static_cast<fs::perms>(mode & 0777), fs::perm_options::replace, ec);
}

void SxFSAction::touch(const SxString& path, int mode) {
   std::error_code ec;
   const fs::path p = sxSystemPath(path);
   if (fs::exists(p, ec)) {
      fs::last_write_time(p, fs::file_time_type::clock::now(), ec);
   } else if (std::FILE* created = SxOS::current().open(path, "ab", mode)) {
      SxOS::current().close(created);
   } else {
      ec = std::error_code(errno, std::generic_category());
   }
   if (ec)
      throw SxException("Can't touch file '" + path + "' : " + SxString(ec.message().c_str()),
                        kSource);
}

bool SxFSAction::sameFile(const SxString& a, const SxString& b) {
   SxOS::FileStat first, second;
   SxOS& os = SxOS::current();
   return !a.isEmpty() && !b.isEmpty() && os.stat(a, &first) == 0 && os.stat(b, &second) == 0 &&
          first.device == second.device && first.fileNumber == second.fileNumber;
}

SxAtomicFile::SxAtomicFile(const SxString& target, int permissions) : target_(target) {
   // Through a link, the file it points to is replaced and the link stays.
   std::error_code ec;
   SxString real = target;
   if (fs::is_symlink(sxSystemPath(target), ec)) {
      const fs::path resolved = fs::weakly_canonical(sxSystemPath(target), ec);
      if (!ec)
         real = fromPath(resolved);
   }
   // Renaming over a device or a FIFO would put a plain file in its place, and a directory
   // cannot take the name: only a regular file, or none yet, is replaced.
   SxOS::FileStat existing;
   if (SxOS::current().stat(real, &existing) == 0 && existing.kind != SxOS::FileStat::Kind::Regular)
      throw SxException("Can't open file '" + target + "' : " +
                            (existing.kind == SxOS::FileStat::Kind::Directory
                                 ? reason(EISDIR)
                                 : SxString("it is not a regular file")),
                        kSource);
   // A hidden name of its own in the same directory, so that the rename stays on one device.
   const SxFileInfo info(real);
   temporary_ = info.getPath() + "/." + info.getName() + "." +
                SxString(SxUUIDv4().getStr().str().substr(0, 13).c_str()) + ".tmp";
   std::FILE* file = SxOS::current().open(temporary_, "wbx", permissions);
   if (!file)
      throw SxException("Can't open file '" + target + "' : " + reason(errno), kSource);
   io_.adopt(file, target, "wb");
   target_ = real;
}

SxAtomicFile::~SxAtomicFile() {
   if (committed_)
      return;
   if (std::FILE* file = io_.release())
      SxOS::current().close(file);
   SxOS::current().unlink(temporary_);
}

void SxAtomicFile::commit() {
   SxOS& os = SxOS::current();
   const SxString name = io_.getName();
   std::FILE* file = io_.release();
   if (!file)
      throw SxException("File '" + name + "' is not open", kSource);
   const bool synced = os.sync(file) == 0;
   int err = errno;
   const bool closed = os.close(file) == 0;
   if (synced && !closed)
      err = errno;
   if (!synced || !closed || os.rename(temporary_, target_) != 0) {
      if (synced && closed)
         err = errno;
      throw SxException("FileWriteError", SxFileIO::fileWriteErr(name) + " : " + reason(err),
                        kSource);
   }
   committed_ = true;
}
