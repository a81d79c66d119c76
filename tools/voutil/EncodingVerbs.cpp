// voutil base64 | rsa | caesar: Base64 coding, RSA keys and the RSA and Caesar transforms of
// whole files. A FILE of "-" is standard input or standard output.

#include "Cli.h"

#include <cstdio>
#include <string>
#include <sx/SxFileIO.h>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace voutil::cli {

namespace {

constexpr char kSource[] = "tools/voutil/EncodingVerbs";

// Standard streams carry bytes unchanged, also on Windows.
std::FILE* binary(std::FILE* stream) {
#ifdef _WIN32
   _setmode(_fileno(stream), _O_BINARY);
#endif
   return stream;
}

std::string readBytes(SxString const& name) {
   std::string bytes;
   char chunk[1 << 16];
   if (name == "-") {
      std::FILE* in = binary(stdin);
      for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
         bytes.append(chunk, got);
      if (std::ferror(in))
         throw SxException(SxFileIO::fileReadErr("standard input"), kSource);
      return bytes;
   }
   SxFileIO file;
   file.open(name, "rb");
   for (int64_t got; (got = file.read(chunk, sizeof chunk)) > 0;)
      bytes.append(chunk, static_cast<std::size_t>(got));
   return bytes;
}

SxArray<char> readArray(SxString const& name) {
   const std::string bytes = readBytes(name);
   return SxArray<char>(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
}

void writeBytes(SxString const& name, char const* data, std::size_t size) {
   if (name == "-") {
      std::FILE* out = binary(stdout);
      if (std::fwrite(data, 1, size, out) != size || std::fflush(out) != 0)
         throw SxException(SxFileIO::fileWriteErr("standard output"), kSource);
      return;
   }
   SxFileIO file;
   file.open(name, "wb");
   file.write(data, static_cast<int64_t>(size));
   file.close();
}

void writeArray(SxString const& name, SxArray<char> const& data) {
   writeBytes(name, data.elements(), static_cast<std::size_t>(data.getSize()));
}

// Takes "--option N" from the end of args into value; returns whether it was there.
bool takeNumberOption(Args& args, char const* option, long long& value) {
   const std::ptrdiff_t n = args.getSize();
   if (n < 2 || args(n - 2) != option)
      return false;
   bool error = false;
   value = args(n - 1).toNumber<long long>(&error);
   if (error)
      throw BadCommandLine(std::string(option) + " needs a whole number, not '" +
                           args(n - 1).str() + "'");
   args = Args(args.begin(), args.end() - 2);
   return true;
}

VoRSAKey readKey(SxString const& name) {
   VoRSAKey key;
   key.readKey(name);
   return key;
}

} // namespace

// base64 encode|decode IN OUT
int runBase64(const Args& args) {
   if (args.getSize() != 3)
      throw BadCommandLine("base64 needs encode or decode, an input and an output");
   if (args(0) == "encode") {
      const SxString text = VoBase64::encode(readArray(args(1)));
      writeBytes(args(2), text.utf8(), static_cast<std::size_t>(text.getNBytes()));
   } else if (args(0) == "decode") {
      writeArray(args(2), VoBase64::decode(SxString(readBytes(args(1)))));
   } else {
      throw BadCommandLine("unknown base64 action '" + args(0).str() + "'");
   }
   return Success;
}

// rsa keygen BASE | rsa encrypt|decrypt KEYFILE IN OUT [--blocks N]
int runRsa(const Args& args) {
   Args rest = args;
   long long blocks = -1;
   const bool counted = takeNumberOption(rest, "--blocks", blocks);
   if (blocks < -1)
      throw BadCommandLine("--blocks takes -1 (all blocks) or a count from 0");
   const SxString action = rest.isEmpty() ? SxString() : rest(0);
   if (action == "keygen" && rest.getSize() == 2 && !counted) {
      VoRSAKey key;
      key.generateKey();
      key.writeKey(rest(1));
   } else if ((action == "encrypt" || action == "decrypt") && rest.getSize() == 4) {
      const VoRSAKey key = readKey(rest(1));
      SxArray<char> data = readArray(rest(2));
      writeArray(rest(3), action == "encrypt" ? VoRSA::encrypt(std::move(data), key, blocks)
                                              : VoRSA::decrypt(std::move(data), key, blocks));
   } else {
      throw BadCommandLine("rsa needs keygen BASE, or encrypt or decrypt KEYFILE IN OUT");
   }
   return Success;
}

// caesar encrypt|decrypt KEYFILE IN OUT [--words N]
int runCaesar(const Args& args) {
   Args rest = args;
   long long words = -1;
   const bool counted = takeNumberOption(rest, "--words", words);
   if (rest.getSize() != 4 || (rest(0) != "encrypt" && rest(0) != "decrypt"))
      throw BadCommandLine("caesar needs encrypt or decrypt, a key file, an input and an output");
   const VoRSAKey key = readKey(rest(1));
   SxArray<char> data = readArray(rest(2));
   const long long all = (data.getSize() + 7) / 8;
   if (!counted)
      words = all;
   else if (words < 0 || words > all)
      throw BadCommandLine("--words must lie from 0 to " + std::to_string(all) +
                           ", the number of 8-byte words of the input");
   writeArray(rest(3), rest(0) == "encrypt" ? VoCaesar::encrypt(std::move(data), key, words)
                                            : VoCaesar::decrypt(std::move(data), key, words));
   return Success;
}

} // namespace voutil::cli
