#pragma once

#include <cstddef>
#include <sx/SxException.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <voutil/VoExport.h>

/// Writes one message to the process-wide log under tag (plain ASCII). Each piece of the message
/// between newlines becomes one line "YYYY-MM-DD hh:mm:ss [tag] : piece", all pieces with the
/// same time stamp, echoed to standard output when the echo is on. A message sent while no log
/// is open is dropped, and so is echo. Safe to call from any thread: the lines of one message
/// stay together.
VOUTIL_API void voLogMsg(char const* tag, SxString const& message);

/// Ends the process with exit code 1 after writing the abnormal-stop banner, naming file and
/// line, to standard error. For broken preconditions that cannot be reported otherwise.
[[noreturn]] VOUTIL_API void voFatalStop(char const* file, int line);

/// A handle on the one log file of the process. Every VoLog acts on the same file and echo flag;
/// destroying any of them closes the file.
///
/// open, close and the echo switches are not ordered against voLogMsg: a program that opens or
/// closes the log while other threads log must order those calls itself.
class VOUTIL_API VoLog {
public:
   /// Opens fileName as the log (see open), then switches the echo on.
   explicit VoLog(SxString const& fileName);
   /// Closes the log.
   virtual ~VoLog();

   /// Opens fileName for writing with permissions 0600, emptying an existing file, and makes
   /// it the log. Raises the foundation's SxException when the file cannot be opened.
   void open(SxString const& fileName);
   /// Closes the log; later messages are dropped until the next open.
   void close();
   void enableLogToStdOut();
   void disableLogToStdOut();

   /// Logs a program's command line as one message: the arguments read as UTF-8 and joined
   /// with single blanks, argv[0] included.
   static void printCLI(SxString const& tag, int argc, char** argv);
   /// The same for wide arguments (UTF-16 on Windows).
   static void printCLI(SxString const& tag, int argc, wchar_t** argv);
   /// Logs "command arg1 arg2 ...": the command, one blank, then the arguments joined with
   /// single blanks. The blank after the command is written even without arguments.
   static void printCMD(SxString const& tag, SxString const& command,
                        SxList<SxString, SxListIterators> const& args);
};
