// voutil archive: the 7z and tar-gzip archives.

#include "Cli.h"

#include <cstring>
#include <voutil/VoArchive.h>

namespace voutil::cli {

// voutil archive 7z|un7z|tgz|untgz FROM TO
int runArchive(const Args& rawArgs) {
   const Args args = CommandLine(rawArgs, {}).operands();
   if (args.getSize() != 3)
      throw BadCommandLine("archive needs an action and two paths");
   struct Action {
      const char* name;
      void (*run)(SxString const&, SxString const&);
   };
   static const Action kActions[] = {{"7z", VoArchive::compress7z},
                                     {"un7z", VoArchive::extract7z},
                                     {"tgz", VoArchive::compressZip},
                                     {"untgz", VoArchive::extractZip}};
   for (const Action& action : kActions) {
      if (args(0) == action.name) {
         const bool packs = args(0) == "7z" || args(0) == "tgz";
         if (packs) {
            if (pathKind(args(1)) == PathKind::Missing)
               throw VerbFailure(args(1).str() + ": no such file or directory");
            requireWritableFileName(args(2));
            requireDistinct(args(1), args(2));
         } else if (pathKind(args(1)) != PathKind::Missing) {
            requireRegularFile(args(1)); // the library names a missing archive itself
         }
         action.run(args(1), args(2));
         return Success;
      }
   }
   throw BadCommandLine("unknown archive action '" + args(0).str() + "'");
}

} // namespace voutil::cli
