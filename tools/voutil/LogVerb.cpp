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
   bool echo = true;
   SxString tag = "voutil";
   std::ptrdiff_t i = 0;
   for (; i < args.getSize() && args(i).str().starts_with("--"); ++i) {
      if (args(i) == "--no-echo") {
         echo = false;
      } else if (args(i) == "--tag" && i + 1 < args.getSize()) {
         tag = args(++i);
      } else {
         throw BadCommandLine("unknown option " + args(i).str());
      }
   }
   if (args.getSize() - i < 2)
      throw BadCommandLine("log needs a file and a message");
   const SxString file = args(i++);
   SxList<SxString> words;
   for (; i < args.getSize(); ++i)
      words.append(args(i));
   SxString message = SxString::join(words, " ");
   if (message == "-") {
      std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
      if (!in.empty() && in.back() == '\n')
         in.pop_back();
      message = SxString(std::string_view(in));
   }

   VoLog log(file);
   if (!echo)
      log.disableLogToStdOut();
   voLogMsg(tag.utf8(), message);
   return Success;
}

} // namespace voutil::cli
