// Any bytes given to extractZSTD end in a result or an SxException, never in a hang or a crash;
// any bytes compressed with compressZSTD come back unchanged.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <voutil/VoArchive.h>

namespace {

const std::filesystem::path& workDir() {
   static const std::filesystem::path dir = [] {
      auto d = std::filesystem::temp_directory_path() /
               ("voutil-fuzz-zstd-" + std::to_string(::getpid()));
      std::filesystem::create_directories(d);
      return d;
   }();
   return dir;
}

std::string file(const char* name) {
   return (workDir() / name).string();
}

std::string readAll(const std::string& name) {
   std::ifstream in(name, std::ios::binary);
   return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   const std::string input(reinterpret_cast<const char*>(data), size);
   std::ofstream(file("input"), std::ios::binary | std::ios::trunc) << input;
   try {
      VoArchive::extractZSTD(file("input").c_str(), file("decoded").c_str());
   } catch (const SxException&) {
   }
   VoArchive::compressZSTD(file("input").c_str(), file("packed").c_str(), 1);
   VoArchive::extractZSTD(file("packed").c_str(), file("unpacked").c_str());
   if (readAll(file("unpacked")) != input)
      std::abort();
   return 0;
}
