// voutil reg import-csv | apply | remove | show: the registry road from a capture to a machine.

#include "Cli.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <sx/SxException.h>
#include <voutil/VoRegistry.h>

namespace voutil::cli {

namespace {

constexpr char kSource[] = "tools/voutil/RegRoadVerbs";

// The directory text as the description file wants it: ending in a separator. An empty text
// or one ending in a backslash would name a file somewhere else ("/registry.json",
// "dir\\registry.json"), so they are refused.
SxString asDirectory(const SxString& dir) {
   if (dir.isEmpty())
      throw BadCommandLine("the description directory must not be empty");
   if (dir.str().back() == '\\')
      throw BadCommandLine("the description directory must not end in a backslash: '" + dir.str() +
                           "'");
   return dir.str().back() == '/' ? dir : dir + "/";
}

// The description file of dir, checked to be a file before the library reads it.
VoRegistry::ItemList readDescription(const SxString& dir) {
   const SxString directory = asDirectory(dir);
   if (pathKind(directory + "registry.json") != PathKind::Missing)
      requireRegularFile(directory + "registry.json");
   return VoRegistry::read(directory);
}

// The number of the capture's line that a failure quotes, or 0 when none can be found.
long long quotedLineNumber(const SxString& capture, const SxString& message) {
   const std::string& text = message.str();
   const std::string head = "Incoming Line: ";
   const std::size_t begin = text.find(head);
   const std::size_t end = text.find(" Applying Regular Expression: ");
   if (begin == std::string::npos || end == std::string::npos || end < begin + head.size())
      return 0;
   const std::string quoted = text.substr(begin + head.size(), end - begin - head.size());
   std::ifstream in(fsPath(capture), std::ios::binary);
   std::string line;
   for (long long number = 1; std::getline(in, line); ++number)
      if (line.find(quoted) != std::string::npos)
         return number;
   return 0;
}

VoRegistry::ItemList importCapture(const SxString& capture, const SxString& drive) {
   requireRegularFile(capture);
   try {
      return VoRegistry::readCSV(capture, drive);
   } catch (const SxException& e) {
      const long long number = quotedLineNumber(capture, e.getMessage());
      if (number == 0)
         throw;
      throw SxException(e, "Cannot import line " + SxString(number) + " of " + capture, kSource);
   }
}

} // namespace

bool isRegRoadAction(const SxString& action) {
   return action == "import-csv" || action == "apply" || action == "remove" || action == "show";
}

// reg import-csv CAPTURE DRIVE DIR | apply DIR DRIVE [--admin] | remove DIR [--admin] | show DIR
int runRegRoad(const Args& args, bool admin) {
   const SxString action = args.first();
   const Args rest(args.begin() + 1, args.end());
   const std::ptrdiff_t n = rest.getSize();
   if (action == "import-csv" && n == 3 && !admin) {
      const SxString directory = asDirectory(rest(2));
      requireWritableFileName(directory + "registry.json");
      requireDistinct(rest(0), directory + "registry.json");
      VoRegistry::write(directory, importCapture(rest(0), rest(1)));
   } else if (action == "apply" && n == 2) {
      const VoRegistry::ItemList items = readDescription(rest(0));
      if (admin)
         VoRegistry::createRegEntriesAsAdmin(items, rest(1));
      else
         VoRegistry::createRegEntries(items, rest(1));
   } else if (action == "remove" && n == 1) {
      const VoRegistry::ItemList items = readDescription(rest(0));
      if (admin)
         VoRegistry::removeRegEntriesAsAdmin(items);
      else
         VoRegistry::removeRegEntries(items);
   } else if (action == "show" && n == 1 && !admin) {
      for (const VoRegistry::Item& item : readDescription(rest(0)))
         std::printf(
             "%s\t%s\t%s\t%s\n", escapeControls(item.key).utf8(), escapeControls(item.value).utf8(),
             VoRegistry::Item::type2String(item.type).utf8(), escapeControls(item.data).utf8());
   } else {
      throw BadCommandLine("wrong arguments for reg " + action.str());
   }
   return Success;
}

} // namespace voutil::cli
