// registry-writer KEY PREFIX COUNT: prints its process id, then sets the REG_DWORD values
// PREFIX0, PREFIX1, ... of KEY to their index, COUNT of them (0: until killed), and prints each
// index on its own line once setVal has returned. The reliability tests run it as a separate
// process.

#include <cstdio>
#include <cstdlib>
#include <sx/SxException.h>
#include <unistd.h>
#include <voutil/VoRegistry.h>

int main(int argc, char** argv) {
   if (argc != 4)
      return 2;
   const SxString key = SxString::fromUtf8(argv[1]);
   const SxString prefix = SxString::fromUtf8(argv[2]);
   const long count = std::strtol(argv[3], nullptr, 10);
   std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line reaches the reader when printed
   std::printf("%ld\n", static_cast<long>(::getpid()));
   try {
      for (long i = 0; count == 0 || i < count; ++i) {
         VoRegistry::setVal(key, prefix + SxString(i), VoRegistry::Item::DWord, SxString(i));
         std::printf("%ld\n", i);
      }
   } catch (const SxException& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
   }
   return 0;
}
