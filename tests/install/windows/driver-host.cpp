// A host program that lives in a directory of its own, apart from the libraries: it writes a
// machine value through the driver and reads it back, so the value is there only when the real
// device-control library served the call.

#include <cstdio>
#include <voutil/voutil.h>

int main() {
   const SxString key = "HKLM/SOFTWARE/VoutilDriverHost";
   try {
      VoRegistry::setValAsAdmin(key, "served", VoRegistry::Item::Sz, "by the driver");
      const bool written =
          VoRegistry::isVal(key, "served") && VoRegistry::getVal(key, "served") == "by the driver";
      VoRegistry::rm_rf(key);
      if (written)
         return std::puts("driver-host: the real device-control library served the call") < 0;
      std::fputs("driver-host: the value is missing: another vodevctl.dll was loaded\n", stderr);
   } catch (const SxException& e) {
      std::fprintf(stderr, "driver-host: %s\n", e.getMessage().utf8());
   }
   return 1;
}
