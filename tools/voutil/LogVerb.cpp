// voutil log: messages written to the library's log.

#include "Cli.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <voutil/VoLog.h>

namespace voutil::cli {

// voutil log [--no-echo] [--tag TAG] FILE MESSAGE...|-
int runLog(const Args& args) {
   const CommandLine line(args, {{"--no-echo", false}, {"--tag", true}}, true);
   const SxString* tagGiven = line.value("--tag");
   const SxString tag = tagGiven ? *tagGiven : SxString("voutil");
   // A line break in the tag would start a line that only looks like one of the log's own.
   if (tag.str().find_first_of("\r\n") != std::string::npos)
      throw BadCommandLine("--tag must not hold a line break");
   const Args& rest = line.operands();
   if (rest.getSize() < 2)
      throw BadCommandLine("log needs a file and a message");
   const SxString& file = rest(0);
   requireWritableFileName(file);
   SxString message = SxString::join(Args(rest.begin() + 1, rest.end()), " ");
   if (message == "-") {
      std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
      if (!in.empty() && in.back() == '\n')
         in.pop_back();
      message = SxString(std::string_view(in));
   }

   VoLog log(file);
   if (line.has("--no-echo"))
      log.disableLogToStdOut();
   voLogMsg(tag.utf8(), message);
   log.close();
   // The library drops a message it cannot write; the file, new with this log, tells.
   const auto written = fileSize(file);
   if (!written || *written < static_cast<uint64_t>(message.getNBytes()))
      throw VerbFailure("the message did not reach " + file.str());
   return Success;
}

} // namespace voutil::cli
