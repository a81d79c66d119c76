// voutil reg import-csv | apply | remove | show: the registry road from a capture to a machine.

#include "Cli.h"

#include <cstdio>
#include <voutil/VoRegistry.h>

namespace voutil::cli {

namespace {

// The directory text as the description file wants it: ending in a separator.
SxString asDirectory(const SxString& dir) {
   const SxString last = dir.tail(1);
   return last == "/" || last == "\\" ? dir : dir + "/";
}

bool takeAdminFlag(Args& rest) {
   if (!rest.isEmpty() && rest.last() == "--admin") {
      rest = Args(rest.begin(), rest.end() - 1);
      return true;
   }
   return false;
}

} // namespace

bool isRegRoadAction(const SxString& action) {
   return action == "import-csv" || action == "apply" || action == "remove" || action == "show";
}

// reg import-csv CAPTURE DRIVE DIR | apply DIR DRIVE [--admin] | remove DIR [--admin] | show DIR
int runRegRoad(const Args& args) {
   const SxString action = args.first();
   Args rest(args.begin() + 1, args.end());
   const bool admin = takeAdminFlag(rest);
   const std::ptrdiff_t n = rest.getSize();
   if (action == "import-csv" && n == 3 && !admin) {
      VoRegistry::write(asDirectory(rest(2)), VoRegistry::readCSV(rest(0), rest(1)));
   } else if (action == "apply" && n == 2) {
      const VoRegistry::ItemList items = VoRegistry::read(asDirectory(rest(0)));
      if (admin)
         VoRegistry::createRegEntriesAsAdmin(items, rest(1));
      else
         VoRegistry::createRegEntries(items, rest(1));
   } else if (action == "remove" && n == 1) {
      const VoRegistry::ItemList items = VoRegistry::read(asDirectory(rest(0)));
      if (admin)
         VoRegistry::removeRegEntriesAsAdmin(items);
      else
         VoRegistry::removeRegEntries(items);
   } else if (action == "show" && n == 1 && !admin) {
      for (const VoRegistry::Item& item : VoRegistry::read(asDirectory(rest(0))))
         std::printf("%s\t%s\t%s\t%s\n", item.key.utf8(), item.value.utf8(),
                     VoRegistry::Item::type2String(item.type).utf8(), item.data.utf8());
   } else {
      throw BadCommandLine("wrong arguments for reg " + action.str());
   }
   return Success;
}

} // namespace voutil::cli
