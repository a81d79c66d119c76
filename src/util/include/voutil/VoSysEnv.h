#pragma once

#include <cstdint>
#include <sx/SxException.h>
#include <sx/SxHashFunction.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <sx/SxUniqueList.h>
#include <voutil/VoExport.h>
#include <voutil/VoForSlice.h>

// A top-level window, as the system's headers declare it.
struct HWND__;
using HWND = HWND__*;

/// The library's window on the running system: paths and directories, the clock, time stamps,
/// identity and per-application settings, processes and windows, files, links and privileges,
/// and the parallel loop.
///
/// Every operation may be called from any thread. Path texts use "/" as separator, except
/// getCWD (the runtime's text unchanged) and unifyBackslashes.
///
/// On Windows every name travels through the wide (UTF-16) calls, also where narrow ones would
/// do the same job for ASCII names: getCWD asks _wgetcwd, getHostname GetComputerNameExW and
/// truncateFile opens with CreateFileW. The narrow calls take and give the ANSI code page, which
/// fails or gives U+FFFD for names outside it; this is a deliberate difference.
class VOUTIL_API VoSysEnv {
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

   // Time stamps, identity and per-application settings.

   /// A local time in calendar fields; all -1 until set.
   struct VOUTIL_API VoTimestamp {
      VoTimestamp();
      ~VoTimestamp();
      int32_t year;   ///< four digits
      int32_t month;  ///< 1 to 12
      int32_t day;    ///< 1 to 31
      int32_t hour;   ///< 0 to 23
      int32_t minute; ///< 0 to 59
      int32_t second; ///< 0 to 60
   };

   /// Milliseconds since the Unix epoch from the standard system clock.
   static int64_t getStdTime();
   /// The current second, read as UTC calendar time and converted back as if it were local
   /// time, in milliseconds: the current time shifted by the local zone's offset the way mktime
   /// applies it (for UTC the current time truncated to the second).
   static int64_t getLocalTime();
   /// The current local time as "%Y-%m-%d %H:%M:%S", such as 2024-03-07 09:05:01.
   static SxString getTimestamp();
   /// The current local time in fields, read from getTimestamp.
   static VoTimestamp getVoTimestamp();
   /// The local time of ms (milliseconds since the Unix epoch; the milliseconds are dropped)
   /// formatted with strftime's format (at most 1023 bytes of result).
   static SxString unixTimeToString(uint64_t ms, const SxString& format);
   /// A new random (version 4) UUID as text.
   static SxString getNewGUID();
   /// The host name, or "localhost" when the system cannot tell.
   static SxString getHostname();
   /// The name of the user running the process, or "nobody" when the system cannot tell.
   static SxString getUsername();
   /// The "MachineGuid" value of "HKLM/SOFTWARE/MORV". Raises "Cannot read machine id from
   /// >HKLM/SOFTWARE/MORV/MachineGuid<" when it cannot be read.
   static SxString getMachineId();
   /// The MD5 digest text of getMachineId(); raises as getMachineId does.
   static SxString getUserId();
   /// One "XX-XX-XX-XX-XX-XX" text (the first six bytes of the hardware address) per network
   /// adapter, in ascending order, repeats kept. Empty when the system cannot list them or has
   /// more than 32.
   static SxList<SxString> getAdaptersId();
   /// Stores key as the "userkey" value (REG_SZ) of "HKCU/Software/MORV/Apps/" + app, creating
   /// the key as needed. Raises "Failed to write user key" with the registry's failure as cause.
   static void setUserKey(const SxString& app, const SxString& key);
   /// The stored "userkey" of app, or the empty text when there is none. Raises "Failed to read
   /// user key" with the registry's failure as cause.
   static SxString getUserKey(const SxString& app);
   /// The integer in the "FeedbackProvided" value of app's key, or 0 when there is none. Raises
   /// "Failed to read user key" with the registry's failure as cause.
   static int isQuestionaireAnswered(const SxString& app);

   // Processes and windows. A process is named by its executable's file name with extension,
   // compared exactly; ids are the system's 32-bit process ids.

   /// The process id that means "no process found".
   static constexpr uint64_t kProcessNotFound = ~uint64_t{0};

   /// The id of the first process in a snapshot whose executable name is name, taking fresh
   /// snapshots without pause until one has it or timeoutMs have passed; kProcessNotFound when
   /// none was found (at once for a timeout of 0).
   static uint64_t getProcessID(const SxString& name, uint64_t timeoutMs);
   /// The executable names of all running processes, each once, in snapshot order. Raises
   /// "Cannot obtain list of running processes" when the processes cannot be listed.
   static SxUniqueList<SxString, SxHashFunction> getRunningProcNames();
   /// Whether a process with the executable name name runs (false when the system cannot tell).
   static bool isProcRunning(const SxString& name);
   /// Returns when the process has ended or timeoutMs have passed (0: no limit; only the low 32
   /// bits count). The wait blocks on the process itself. Raises "Get Process for pid <pid>
   /// failed: <system text>" when the process cannot be opened (for example it does not exist).
   static void waitForPID(uint64_t pid, uint64_t timeoutMs);
   /// Finds name with getProcessID(name, searchMs), logs its id and that it waits, then
   /// waitForPID(id, waitMs); a process not found fails in waitForPID.
   static void waitForProcess(const SxString& name, uint64_t searchMs, uint64_t waitMs);
   /// Ends the process without waiting for it. Raises as waitForPID does.
   static void killProcess(uint64_t pid);
   /// The process's top-level windows: the visible ones without owner first (the last found
   /// first), then the others in the order found.
   static SxList<HWND> getAllWindowsInProcess(uint64_t pid);
   /// Whether the full executable path (with "/" separators) of some process that this user may
   /// inspect contains drive, such as "E:/" or "E:/Apps/".
   static bool isProcOnDriveRunning(const SxString& drive);
   /// Whether the executable at path is built for x64 (true) or x86 (false), from the machine
   /// type after the first "PE" in its first 4096 bytes. Raises "The file <path> does not
   /// exist.", "Cannot read <path>" (with the cause) or one of the three messages that say the
   /// bytes do not identify a bit width.
   static bool is64BitApp(const SxString& path);

   // Files, links and privileges.

   /// Bytes free for the calling user on the drive of path (of getDataPath() when path is
   /// empty). On Windows the drive is the first three characters of the path ("D:/"); on POSIX
   /// it is the file system that holds the path. Raises "Failed to determine free space on
   /// drive <drive>".
   static uint64_t getFreeDiskSpace(const SxString& path);
   /// Creates the symbolic link link pointing to the file target (both with backslash
   /// separators where the system takes them). Raises "Creation of Symlink <target> -> <link>
   /// failed: <system text>".
   static void symLinkFile(const SxString& link, const SxString& target);
   /// The same for a directory target.
   static void symLinkDir(const SxString& link, const SxString& target);
   /// Sets the length of an existing file, cutting or lengthening it. Reports nothing: a file
   /// that cannot be opened is left as it is.
   static void truncateFile(const SxString& path, uint64_t size);
   /// Whether the process runs elevated (on POSIX: as effective user 0). Raises when the
   /// process's token cannot be opened or queried.
   static bool isElevated();
   /// Switches on the foundation's log output of the maker's libraries, this one included.
   static void enableVARGENOutput();

   // The parallel loop.

   /// Calls body over the index range 0 to n in contiguous slices that together cover every
   /// index once: one slice per processor (at least 2, at most n) of n / slices indices each,
   /// then the rest slice (possibly empty) on the calling thread. With parallel, each full slice
   /// runs on a VoForSlice worker of its own (with its own copy of body) while the calling
   /// thread runs the rest, and the call returns after all workers; otherwise every slice runs
   /// on the calling thread in order. body must be safe to call concurrently on disjoint ranges.
   /// When a call of body throws, no further slice starts, every worker that was started is
   /// waited for, and then the first failure (the calling thread's before the workers', these
   /// in slice order) goes on to the caller.
   static void parallelFor(uint64_t n, VoForSlice::Body body, bool parallel);

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
