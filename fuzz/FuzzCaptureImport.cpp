// A capture either imports or raises SxException; what it imports survives the description
// file: write never produces a file that read refuses, and read gives the same Items back
// except for the JSON escapes it undoes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <voutil/VoRegistry.h>

namespace {
const std::filesystem::path& workDir() {
   static const std::filesystem::path dir = [] {
      auto d = std::filesystem::temp_directory_path() /
               ("voutil-fuzz-capture-" + std::to_string(::getpid()));
      std::filesystem::create_directories(d);
      return d;
   }();
   return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   const std::string capture = (workDir() / "capture.csv").string();
   std::ofstream(capture, std::ios::binary)
       .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
   VoRegistry::ItemList items;
   try {
      items = VoRegistry::readCSV(capture.c_str(), "E:");
   } catch (const SxException&) {
      return 0;
   }
   const SxString dir = (workDir().string() + "/").c_str();
   VoRegistry::write(dir, items);
   const VoRegistry::ItemList back = VoRegistry::read(dir); // must not raise
   if (back.getSize() != items.getSize())
      std::abort();
   for (std::ptrdiff_t i = 0; i < items.getSize(); ++i)
      if (back(i).type != items(i).type)
         std::abort();
   return 0;
}
