// voutil reg export | import | apply --to-reg: .reg files. A FILE of "-" is standard input or
// standard output.

#include "Cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <voutil/VoRegistry.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace voutil::cli {
namespace {

constexpr char kSource[] = "tools/voutil/RegFileVerbs";
// The library refuses larger files; standard input is not read much further to find out.
constexpr std::size_t kMaxInput = (std::size_t{128} << 20) + 1;

std::FILE* binary(std::FILE* stream) {
#ifdef _WIN32
   _setmode(_fileno(stream), _O_BINARY);
#endif
   return stream;
}

void importStandardInput() {
   std::FILE* in = binary(stdin);
   std::string bytes;
   char chunk[1 << 16];
   for (std::size_t got;
        bytes.size() < kMaxInput && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
      bytes.append(chunk, got);
   if (std::ferror(in))
      throw SxException(SxFileIO::fileReadErr("standard input"), kSource);
   VoRegistry::importReg(SxArray<char>(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size())),
                         "-");
}

void writeStandardOutput(SxArray<char> const& bytes) {
   std::FILE* out = binary(stdout);
   const auto size = static_cast<std::size_t>(bytes.getSize());
   if (std::fwrite(bytes.elements(), 1, size, out) != size || std::fflush(out) != 0)
      throw SxException(SxFileIO::fileWriteErr("standard output"), kSource);
}

SxString asDirectory(const SxString& dir) {
   const SxString last = dir.tail(1);
   return last == "/" || last == "\\" ? dir : dir + "/";
}

} // namespace

bool isRegFileAction(const Args& args) {
   const SxString action = args.isEmpty() ? SxString() : args.first();
   return action == "export" || action == "import" ||
          (action == "apply" && std::find(args.begin(), args.end(), "--to-reg") != args.end());
}

// reg export KEY FILE | import FILE | apply DIR DRIVE --to-reg FILE
int runRegFile(const Args& args) {
   const SxString action = args.first();
   const std::ptrdiff_t n = args.getSize() - 1;
   if (action == "export" && n == 2) {
      if (args(2) == "-")
         writeStandardOutput(VoRegistry::exportReg(args(1)));
      else
         VoRegistry::exportReg(args(1), args(2));
   } else if (action == "import" && n == 1) {
      if (args(1) == "-")
         importStandardInput();
      else
         VoRegistry::importReg(args(1));
   } else if (action == "apply" && n == 4 && args(3) == "--to-reg") {
      const SxString description = asDirectory(args(1)) + "registry.json";
      std::error_code ignored;
      if (args(4) != "-" &&
          std::filesystem::equivalent(sxSystemPath(args(4)), sxSystemPath(description), ignored))
         throw BadCommandLine("refusing to write the preview over its own " + description.str());
      const VoRegistry::ItemList items = VoRegistry::read(asDirectory(args(1)));
      if (args(4) == "-")
         writeStandardOutput(VoRegistry::toReg(items, args(2)));
      else
         VoRegistry::toReg(items, args(2), args(4));
   } else {
      throw BadCommandLine("wrong arguments for reg " + action.str());
   }
   return Success;
}

} // namespace voutil::cli
