// voutil base64 | rsa | caesar: Base64 coding, RSA keys and the RSA and Caesar transforms of
// whole files. A FILE of "-" is standard input or standard output.

#include "Cli.h"

#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <sx/SxAtomicFile.h>
#include <sx/SxFileIO.h>
#include <voutil/VoBase64.h>
#include <voutil/VoEncrypt.h>

namespace voutil::cli {

namespace {

constexpr char kSource[] = "tools/voutil/EncodingVerbs";

// Inputs are read whole: at most this many bytes, so that no input can take all memory (an
// RSA encryption doubles it once more).
constexpr uint64_t kMaxWholeBytes = uint64_t{1} << 30;
// Key files are 32 characters; anything much longer is not one.
constexpr uint64_t kMaxKeyFileBytes = 4096;

// The size of the regular file name, refused when it is not one or is longer than limit.
void requireReadableWhole(SxString const& name, uint64_t limit) {
   requireRegularFile(name);
   const auto size = fileSize(name);
   if (size && *size > limit)
      throw VerbFailure(name.str() + " has " + std::to_string(*size) + " bytes, more than the " +
                        std::to_string(limit) + " that are read whole");
}

std::string readBytes(SxString const& name) {
   std::string bytes;
   char chunk[1 << 16];
   try {
      if (name == "-") {
         std::FILE* in = binary(stdin);
         for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
            if (bytes.size() + got > kMaxWholeBytes)
               throw VerbFailure("standard input has more than the " +
                                 std::to_string(kMaxWholeBytes) + " bytes that are read whole");
            bytes.append(chunk, got);
         }
         if (std::ferror(in))
            throw SxException(SxFileIO::fileReadErr("standard input"), kSource);
         return bytes;
      }
      requireReadableWhole(name, kMaxWholeBytes);
      SxFileIO file;
      file.open(name, "rb");
      for (int64_t got; (got = file.read(chunk, sizeof chunk)) > 0;)
         bytes.append(chunk, static_cast<std::size_t>(got));
      return bytes;
   } catch (const std::bad_alloc&) {
      throw VerbFailure("out of memory reading " + (name == "-" ? "standard input" : name.str()));
   }
}

SxArray<char> readArray(SxString const& name) {
   const std::string bytes = readBytes(name);
   return SxArray<char>(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
}

// Base64 text is read as text, which would end at a NUL byte and report the rest as decoded.
SxString readBase64Text(SxString const& name) {
   std::string bytes = readBytes(name);
   const std::size_t nul = bytes.find('\0');
   if (nul != std::string::npos)
      throw VerbFailure((name == "-" ? std::string("standard input") : name.str()) +
                        " is not Base64 text: a NUL byte at offset " + std::to_string(nul));
   return SxString(std::move(bytes));
}

void writeBytes(SxString const& name, char const* data, std::size_t size) {
   if (name == "-") {
      std::FILE* out = binary(stdout);
      if (std::fwrite(data, 1, size, out) != size || std::fflush(out) != 0)
         throw SxException(SxFileIO::fileWriteErr("standard output"), kSource);
      return;
   }
   // The new content takes the file's place only when all of it is written.
   SxAtomicFile file(name);
   file.write(data, static_cast<int64_t>(size));
   file.commit();
}

// An output is checked before any input is read: a kind of file that cannot become the output,
// or one of the inputs itself.
void requireOutputOf(SxString const& output, std::initializer_list<SxString> inputs) {
   if (output == "-")
      return;
   requireWritableFileName(output);
   for (const SxString& input : inputs)
      requireDistinct(input, output);
}

void writeArray(SxString const& name, SxArray<char> const& data) {
   writeBytes(name, data.elements(), static_cast<std::size_t>(data.getSize()));
}

VoRSAKey readKey(SxString const& name) {
   requireReadableWhole(name, kMaxKeyFileBytes);
   VoRSAKey key;
   key.readKey(name);
   return key;
}

} // namespace

// base64 encode|decode IN OUT
int runBase64(const Args& rawArgs) {
   const Args args = CommandLine(rawArgs, {}).operands();
   if (args.getSize() != 3)
      throw BadCommandLine("base64 needs encode or decode, an input and an output");
   requireOutputOf(args(2), {args(1)});
   if (args(0) == "encode") {
      const SxString text = VoBase64::encode(readArray(args(1)));
      writeBytes(args(2), text.utf8(), static_cast<std::size_t>(text.getNBytes()));
   } else if (args(0) == "decode") {
      writeArray(args(2), VoBase64::decode(readBase64Text(args(1))));
   } else {
      throw BadCommandLine("unknown base64 action '" + args(0).str() + "'");
   }
   return Success;
}

// rsa keygen BASE | rsa encrypt|decrypt KEYFILE IN OUT [--blocks N]
int runRsa(const Args& args) {
   const CommandLine line(args, {{"--blocks", true}});
   const Args& rest = line.operands();
   const SxString* count = line.value("--blocks");
   const long long blocks =
       count ? parseSigned(*count, "--blocks", -1, std::numeric_limits<int64_t>::max()) : -1;
   const SxString action = rest.isEmpty() ? SxString() : rest(0);
   if (rest.getSize() == 4)
      requireOutputOf(rest(3), {rest(1), rest(2)});
   if (action == "keygen" && rest.getSize() == 2 && !count) {
      for (const char* suffix : {".all", ".priv", ".pub"})
         requireWritableFileName(rest(1) + suffix);
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
   const CommandLine line(args, {{"--words", true}});
   const Args& rest = line.operands();
   if (rest.getSize() != 4 || (rest(0) != "encrypt" && rest(0) != "decrypt"))
      throw BadCommandLine("caesar needs encrypt or decrypt, a key file, an input and an output");
   requireOutputOf(rest(3), {rest(1), rest(2)});
   const SxString* count = line.value("--words");
   // The form of the count is checked first, its size once the input is known.
   const uint64_t counted =
       count ? parseUnsigned(*count, "--words", 0, std::numeric_limits<int64_t>::max()) : 0;
   const VoRSAKey key = readKey(rest(1));
   SxArray<char> data = readArray(rest(2));
   const auto all = static_cast<uint64_t>((data.getSize() + 7) / 8);
   const uint64_t words = count ? counted : all;
   if (words > all)
      throw BadCommandLine("--words must lie from 0 to " + std::to_string(all) +
                           ", the number of 8-byte words of the input");
   writeArray(rest(3),
              rest(0) == "encrypt"
                  ? VoCaesar::encrypt(std::move(data), key, static_cast<long long>(words))
                  : VoCaesar::decrypt(std::move(data), key, static_cast<long long>(words)));
   return Success;
}

} // namespace voutil::cli
