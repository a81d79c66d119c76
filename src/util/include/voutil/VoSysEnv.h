#pragma once

#include <cstdint>
#include <sx/SxException.h>
#include <sx/SxString.h>

/// The library's window on the running system: paths and directories, and the clock.
///
/// Every operation may be called from any thread. Path texts use "/" as separator, except
/// getCWD (the runtime's text unchanged) and unifyBackslashes.
class VoSysEnv {
public:
   /// The known folders that getSysPath finds.
   enum Path {
      Documents = 0,
      Downloads = 1,
      LocalAppData = 2,
      ProgramData = 3,
      LocalAppDataAlt = 4, ///< the same folder as LocalAppData
      Desktop = 5,
      Profile = 6,
      RoamingAppData = 7,
      StartMenu = 8,
      SavedGames = 9,
      LocalAppDataLow = 10,
      Programs = 11
   };

   VoSysEnv();
   ~VoSysEnv();

   /// The file name of the running executable, with its extension.
   static SxString getExecName();
   /// The directory of the running executable, without a trailing separator.
   static SxString getExecPath();
   /// The current working directory as the runtime reports it.
   static SxString getCWD();
   /// The known folder, or the empty text when the system cannot tell. A value outside the
   /// enumeration is a caller error that ends the process with the fatal-stop banner.
   static SxString getSysPath(Path path);
   /// The library's data directory, ending in "/": the "Root" value under
   /// "HKCU/SOFTWARE/MORV/VARGEN-Library" when that key exists, else the Downloads folder
   /// followed by "/LyPrefetch/". Raises when the key exists but the value cannot be read.
   static SxString getDataPath();
   /// The root directory, ending in exactly one "/": the one set with setRTERootDir, or the
   /// executable's directory.
   static SxString getRTERootDir();
   /// Sets the root directory; the empty text restores the executable's directory.
   static void setRTERootDir(const SxString& dir);
   /// The root directory followed by "/schema/" (so with a doubled "/").
   static SxString getSchemaPath();
   /// The root directory followed by "/config" (so with a doubled "/").
   static SxString getConfigPath();
   /// The root directory.
   static SxString getSSLPath();
   /// The root directory.
   static SxString getSearchPath();
   /// path with every run of slashes and backslashes replaced by one "/".
   static SxString unifySlashes(const SxString& path);
   /// path with every run of slashes and backslashes replaced by one backslash.
   static SxString unifyBackslashes(const SxString& path);

   /// The library's clock: milliseconds since 1970-01-01 00:00:00 UTC from the system clock.
   static uint64_t getSysTime();

   // Progress of long tasks. Both show title, tag, the amount done and in all, the percentage
   // and the whole seconds since startTime (a getSysTime reading), and do nothing at all when
   // total is 0. Both may be called from any thread without coordination.

   /// Rewrites the current line of standard output with
   /// "%-40s %-10s %12zd %12zd %6.2lf%% %6zd s" (title, tag, current, total, percentage,
   /// seconds) between two carriage returns; when current equals total the line is ended, so
   /// that the finished state stays on screen.
   static void printProgress(uint64_t current, uint64_t total, uint64_t startTime,
                             const SxString& tag, const SxString& title);
   /// Replaces the file "progress" in the data directory (permissions 0600) with one line:
   /// title, tag, current, total, percentage and seconds, separated by single blanks. A
   /// failure to find the directory or to write the file is logged as "Cannot log progress: "
   /// with the reasons, and not raised.
   static void logProgress(uint64_t current, uint64_t total, uint64_t startTime,
                           const SxString& tag, const SxString& title);
};
