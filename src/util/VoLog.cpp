// The library's log file and its messages, and the fatal stop.

#include "VoLogInternal.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxMutex.h>
#include <voutil/VoLog.h>
#include <windows.h>

namespace {
// The log's state is shared by the whole process and built when the library loads; callers
// reach it through VoLog and voLogMsg only.
SxFileIO voGlobalLogIO;
SxMutex voGlobalLogMutex;
std::atomic<bool> voLogToStdOut{false};
} // namespace

bool vo::detail::isLogFile(const SxString& path) {
   SxMutexBlock lock(voGlobalLogMutex);
   return voGlobalLogIO.isOpen() && SxFSAction::sameFile(path, voGlobalLogIO.getName());
}

void voLogMsg(char const* tag, SxString const& message) {
   SxMutexBlock lock(voGlobalLogMutex);
   if (!voGlobalLogIO.isOpen())
      return;
   const bool echo = voLogToStdOut.load();
   try {
      const __time64_t now = std::time(nullptr);
      struct tm local {};
      char stamp[64] = "";
      if (_localtime64_s(&local, &now) == 0)
         std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S [", &local);
      std::string head = stamp;
      head += SxString::fromAscii(tag).str();
      head += "] : ";

      // Every non-empty line of the message gets the head; the whole message is one write.
      std::string_view text = message.str();
      std::string lines;
      lines.reserve(text.size() + head.size() + 1);
      while (!text.empty()) {
         const std::size_t end = std::min(text.find('\n'), text.size());
         if (end > 0) {
            lines += head;
            lines.append(text.data(), end);
            lines += '\n';
         }
         text.remove_prefix(std::min(end + 1, text.size()));
      }
      if (echo && !lines.empty()) {
         std::fwrite(lines.data(), 1, lines.size(), stdout);
         std::fflush(stdout);
      }
      voGlobalLogIO.write(lines.data(), static_cast<int64_t>(lines.size()));
      voGlobalLogIO.flush();
   } catch (SxException const&) {
      // A log that cannot be written must not take its caller down; the message is lost.
   }
}

// The foundation owns the banner, so that its own broken preconditions stop the same way.
void voFatalStop(char const* file, int line) {
   sxFatalStop(file, line);
}

VoLog::VoLog(SxString const& fileName) {
   open(fileName);
   voLogToStdOut = true;
}

VoLog::~VoLog() {
   try {
      close();
   } catch (SxException const&) {
      // A destructor cannot report a failed close; the file is released all the same.
   }
}

// Opening and closing take no lock: a program that opens or closes the log while other threads
// log orders those calls itself.
void VoLog::open(SxString const& fileName) {
   voGlobalLogIO.open(fileName, "wb", 0600);
}

void VoLog::close() {
   voGlobalLogIO.close();
}

void VoLog::enableLogToStdOut() {
   voLogToStdOut = true;
}

void VoLog::disableLogToStdOut() {
   voLogToStdOut = false;
}

void VoLog::printCLI(SxString const& tag, int argc, char** argv) {
   SxList<SxString> args;
   for (int i = 0; i < argc; ++i)
      args.append(SxString::fromUtf8(argv[i]));
   voLogMsg(tag.utf8(), SxString::join(args, " "));
}

void VoLog::printCLI(SxString const& tag, int argc, wchar_t** argv) {
   SxList<SxString> args;
   for (int i = 0; i < argc; ++i)
      args.append(SxString::fromUtf16(argv[i]));
   voLogMsg(tag.utf8(), SxString::join(args, " "));
}

void VoLog::printCMD(SxString const& tag, SxString const& command,
                     SxList<SxString, SxListIterators> const& args) {
   voLogMsg(tag.utf8(), command + " " + SxString::join(args, " "));
}
