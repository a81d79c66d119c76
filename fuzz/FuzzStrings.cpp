// Any bytes make a valid text; texts survive UTF-16 and back; binary data survives its
// hexadecimal text; the number parser never misbehaves.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <voutil/VoRegistry.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   const SxString text(std::string_view(reinterpret_cast<const char*>(data), size));
   const SxArray<SxChar16> units = text.utf16();
   if (units.getSize() == 0 || units[units.getSize() - 1] != 0)
      std::abort();
   const SxString back = SxString::fromUtf16(reinterpret_cast<const char16_t*>(units.elements()),
                                             units.getSize() - 1);
   if (back != text || SxString(back.str()) != back)
      std::abort();

   const SxArray<unsigned char> bytes(data, static_cast<std::ptrdiff_t>(size));
   if (VoRegistry::Item::string2Binary(VoRegistry::Item::binary2String(bytes)) != bytes)
      std::abort();
   try {
      (void)VoRegistry::Item::string2Binary(text);
   } catch (const SxException&) {
   }
   bool error = false;
   (void)text.toInt(&error, 10);
   (void)text.toInt64(&error, 16);
   (void)text.tokenize("/", false);
   return 0;
}
