// The paths the library works with: the executable, the working directory, system, data and root
// paths, and slash conversions.

#include <cstdlib>
#include <direct.h>
#include <shlobj.h>
#include <sx/SxExecPath.h>
#include <sx/SxMutex.h>
#include <sx/SxRegex.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {
constexpr char kSource[] = "src/util/VoSysEnv";

// Built when the library loads, in this order; the mutexes serialise each object's use. They
// are the library's own: none is exported.
SxSed voSlashUnifier("(\\\\|/)+", "/", "g");
SxSed voBackslashUnifier("(\\\\|/)+", "\\\\", "g");
SxString rteRootDir;
SxMutex voMutexSlashUnifier;
SxMutex voMutexBackslashUnifier;
SxMutex voMutexRteRootDir;
} // namespace

VoSysEnv::VoSysEnv() = default;
VoSysEnv::~VoSysEnv() = default;

namespace {
SxString execPathText() {
   char buffer[10240];
   if (sxGetExecPath(buffer, sizeof buffer) < 0)
      buffer[0] = '\0';
   return SxString(buffer);
}

SxList<SxString> pathPieces(const SxString& path) {
   return path.substitute("/", "\\").tokenize("\\", false);
}
} // namespace

SxString VoSysEnv::getExecName() {
   const SxList<SxString> pieces = pathPieces(execPathText());
   return pieces.isEmpty() ? SxString() : pieces.last();
}

SxString VoSysEnv::getExecPath() {
   const SxString full = execPathText();
   SxList<SxString> dirs = pathPieces(full);
   if (!dirs.isEmpty())
      dirs = SxList<SxString>(dirs.begin(), dirs.end() - 1);
   const SxString joined = SxString::join(dirs, "/");
   // A POSIX path starts at the root, which the split at separators drops; keep it.
   return full.str().starts_with("/") ? "/" + joined : joined;
}

SxString VoSysEnv::getCWD() {
   WCHAR* cwd = _wgetcwd(nullptr, 0);
   if (!cwd)
      return SxString();
   SxString result = SxString::fromUtf16(cwd);
   std::free(cwd);
   return result;
}

SxString VoSysEnv::getSysPath(Path path) {
   static const KNOWNFOLDERID* const kFolders[] = {
       &FOLDERID_Documents,   &FOLDERID_Downloads,       &FOLDERID_LocalAppData,
       &FOLDERID_ProgramData, &FOLDERID_LocalAppData,    &FOLDERID_Desktop,
       &FOLDERID_Profile,     &FOLDERID_RoamingAppData,  &FOLDERID_StartMenu,
       &FOLDERID_SavedGames,  &FOLDERID_LocalAppDataLow, &FOLDERID_Programs};
   const int index = static_cast<int>(path);
   if (index < 0 || index >= static_cast<int>(sizeof kFolders / sizeof kFolders[0]))
      voFatalStop(kSource, __LINE__);

   PWSTR found = nullptr;
   SxString result;
   if (SHGetKnownFolderPath(*kFolders[index], 0, nullptr, &found) == 0)
      result = unifySlashes(SxString::fromUtf16(found));
   if (found)
      CoTaskMemFree(found);
   return result;
}

SxString VoSysEnv::getDataPath() {
   const SxString key = "HKCU/SOFTWARE/MORV/VARGEN-Library";
   if (VoRegistry::contains(key)) {
      SxString root = VoRegistry::getVal(key, "Root").substitute("\\", "/");
      if (root.tail(1) != "/")
         root += "/";
      return root;
   }
   return getSysPath(Downloads) + "/LyPrefetch/";
}

SxString VoSysEnv::getRTERootDir() {
   SxString root;
   {
      SxMutexBlock lock(voMutexRteRootDir);
      root = rteRootDir;
   }
   if (root.isEmpty())
      root = getExecPath();
   return unifySlashes(root + "/");
}

void VoSysEnv::setRTERootDir(const SxString& dir) {
   const SxString unified = unifySlashes(dir);
   SxMutexBlock lock(voMutexRteRootDir);
   rteRootDir = unified;
}

SxString VoSysEnv::getSchemaPath() {
   return getRTERootDir() + "/schema/";
}

SxString VoSysEnv::getConfigPath() {
   return getRTERootDir() + "/config";
}

SxString VoSysEnv::getSSLPath() {
   return getRTERootDir();
}

SxString VoSysEnv::getSearchPath() {
   return getRTERootDir();
}

SxString VoSysEnv::unifySlashes(const SxString& path) {
   SxMutexBlock lock(voMutexSlashUnifier);
   return voSlashUnifier.subst(path);
}

SxString VoSysEnv::unifyBackslashes(const SxString& path) {
   SxMutexBlock lock(voMutexBackslashUnifier);
   return voBackslashUnifier.subst(path);
}
