// A .reg file either imports or raises SxException. What it imports exports to a file that
// imports back to the same export: the export is a normal form of whatever the reader takes.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sx/SxException.h>
#include <voutil/VoRegistry.h>

namespace {

const char* const kRoots[] = {"HKCU", "HKLM", "HKU", "HKCR", "HKCC"};

void clearRoots() {
   for (const char* root : kRoots)
      VoRegistry::rm_rf(root);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   try {
      VoRegistry::importReg(
          SxArray<char>(reinterpret_cast<const char*>(data), static_cast<std::ptrdiff_t>(size)),
          "fuzz.reg");
   } catch (const SxException&) {
      clearRoots();
      return 0;
   }
   for (const char* root : kRoots) {
      const SxArray<char> first = VoRegistry::exportReg(root);
      VoRegistry::rm_rf(root);
      VoRegistry::importReg(first, "export.reg");
      const SxArray<char> second = VoRegistry::exportReg(root);
      if (second.getSize() != first.getSize() ||
          !std::equal(first.begin(), first.end(), second.begin()))
         std::abort();
   }
   clearRoots();
   return 0;
}
