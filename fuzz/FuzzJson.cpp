// Any text either parses or raises SxException, and whatever parses is written back as JSON
// that parses again.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <sx/SxJSONParser.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   const SxString text(std::string_view(reinterpret_cast<const char*>(data), size));
   SxJSONParser parser;
   try {
      parser.readString(text, "fuzz");
   } catch (const SxException&) {
      return 0;
   }
   SxJSONParser again;
   again.readString(parser.getRootSymbol().toJSON(), "written"); // must not raise
   return 0;
}
