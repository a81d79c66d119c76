// Any bytes as an executable: is64BitApp answers from the machine byte after the first "PE", or
// fails with one of its own messages, and never reads past what it read.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <voutil/VoSysEnv.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   static const std::string path =
       "/tmp/voutil-fuzz-is64bitapp-" + std::to_string(::getpid()) + ".exe";
   std::FILE* file = std::fopen(path.c_str(), "wb");
   if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
      std::abort();

   const std::string_view head(reinterpret_cast<const char*>(data), size < 4096 ? size : 4096);
   const std::size_t signature = head.find("PE");
   try {
      const bool wide = VoSysEnv::is64BitApp(SxString(path));
      // An answer needs a usable signature and the machine byte that says so.
      if (signature == std::string_view::npos || signature == 0 || signature + 11 > head.size() ||
          head[signature + 4] != (wide ? 'd' : 'L'))
         std::abort();
   } catch (const SxException& e) {
      const std::string message = e.getMessage().str();
      if (!message.starts_with("Bit width parameter not found") &&
          !message.starts_with("The buffer read was too small") &&
          !message.starts_with("Bit width value is invalid"))
         std::abort();
   }
   return 0;
}
