// What the verbs share: options, numbers and the kinds of file they are handed.

#include "Cli.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sx/SxAtomicFile.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <system_error>
#include <voutil/VoSysEnv.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace voutil::cli {

CommandLine::CommandLine(const Args& args, std::initializer_list<Option> options,
                         bool optionsFirst) {
   bool optionsEnded = false;
   for (std::ptrdiff_t i = 0; i < args.getSize(); ++i) {
      const std::string& text = args(i).str();
      if (optionsEnded || !text.starts_with("--")) {
         operands_.append(args(i));
         optionsEnded = optionsEnded || optionsFirst;
         continue;
      }
      if (text == "--") {
         optionsEnded = true;
         continue;
      }
      const Option* option = nullptr;
      for (const Option& candidate : options)
         if (text == candidate.name)
            option = &candidate;
      if (!option)
         throw BadCommandLine("unknown option " + text);
      if (!option->takesValue) {
         given_.emplace_back(text, SxString());
      } else if (i + 1 < args.getSize()) {
         given_.emplace_back(text, args(++i));
      } else {
         throw BadCommandLine(text + " needs a value");
      }
   }
}

bool CommandLine::has(std::string_view name) const {
   return value(name) != nullptr;
}

const SxString* CommandLine::value(std::string_view name) const {
   for (auto it = given_.rbegin(); it != given_.rend(); ++it)
      if (it->first == name)
         return &it->second;
   return nullptr;
}

SxList<SxString> CommandLine::values(std::string_view name) const {
   SxList<SxString> found;
   for (const auto& [option, value] : given_)
      if (option == name)
         found.append(value);
   return found;
}

namespace {

template <class T>
T parseNumber(const SxString& text, const std::string& what, T min, T max) {
   const std::string& digits = text.str();
   T value{};
   const char* end = digits.data() + digits.size();
   // from_chars takes no '+' and no blanks; a '-' only for signed types.
   const auto [stop, error] = std::from_chars(digits.data(), end, value);
   if (digits.empty() || error != std::errc() || stop != end || value < min || value > max)
      throw BadCommandLine(what + " must be a whole number from " + std::to_string(min) + " to " +
                           std::to_string(max) + ", not '" + digits + "'");
   return value;
}

} // namespace

uint64_t parseUnsigned(const SxString& text, const std::string& what, uint64_t min, uint64_t max) {
   return parseNumber<uint64_t>(text, what, min, max);
}

int64_t parseSigned(const SxString& text, const std::string& what, int64_t min, int64_t max) {
   return parseNumber<int64_t>(text, what, min, max);
}

std::filesystem::path fsPath(const SxString& path) {
   return sxSystemPath(path);
}

std::optional<uint64_t> fileSize(const SxString& path) {
   std::error_code error;
   const auto size = std::filesystem::file_size(fsPath(path), error);
   if (error)
      return std::nullopt;
   return size;
}

PathKind pathKind(const SxString& path) {
   namespace fs = std::filesystem;
   std::error_code error;
   const fs::file_status status = fs::status(fsPath(path), error);
   switch (status.type()) {
   case fs::file_type::not_found:
      return PathKind::Missing;
   case fs::file_type::regular:
      return PathKind::Regular;
   case fs::file_type::directory:
      return PathKind::Directory;
   case fs::file_type::fifo:
      return PathKind::Fifo;
   case fs::file_type::character:
      return PathKind::CharDevice;
   case fs::file_type::block:
      return PathKind::BlockDevice;
   case fs::file_type::socket:
      return PathKind::Socket;
   default:
      return error ? PathKind::Missing : PathKind::Other;
   }
}

const char* describe(PathKind kind) {
   switch (kind) {
   case PathKind::Missing:
      return "missing";
   case PathKind::Regular:
      return "a regular file";
   case PathKind::Directory:
      return "a directory";
   case PathKind::Fifo:
      return "a FIFO";
   case PathKind::CharDevice:
      return "a character device";
   case PathKind::BlockDevice:
      return "a block device";
   case PathKind::Socket:
      return "a socket";
   case PathKind::Other:
      break;
   }
   return "not a regular file";
}

void requireRegularFile(const SxString& path) {
   const PathKind kind = pathKind(path);
   if (kind == PathKind::Missing)
      throw VerbFailure(path.str() + ": no such file");
   if (kind != PathKind::Regular)
      throw VerbFailure(path.str() + " is " + describe(kind) + ", not a regular file");
}

void requireWritableFileName(const SxString& path) {
   const PathKind kind = pathKind(path);
   if (kind != PathKind::Missing && kind != PathKind::Regular)
      throw VerbFailure(path.str() + " is " + describe(kind) + ", not a regular file");
}

namespace {
volatile std::sig_atomic_t interruptCaught = 0;

extern "C" void onInterrupt(int) {
   interruptCaught = 1;
}

} // namespace

std::FILE* binary(std::FILE* stream) {
#ifdef _WIN32
   _setmode(_fileno(stream), _O_BINARY);
#endif
   return stream;
}

InterruptCatcher::InterruptCatcher() {
   interruptCaught = 0;
   previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
   std::signal(SIGINT, previous_);
}

bool InterruptCatcher::caught() {
   return interruptCaught != 0;
}

SpoolFile::SpoolFile() {
   static std::atomic<unsigned> counter{0};
   const std::filesystem::path directory = std::filesystem::temp_directory_path();
   const std::string name = "voutil-" + std::to_string(VoSysEnv::getSysTime()) + "-" +
                            std::to_string(counter++) + "-" + VoSysEnv::getNewGUID().str();
   const std::u8string full = (directory / name).u8string();
   path_ = SxString(std::string_view(reinterpret_cast<const char*>(full.data()), full.size()));
   SxFileIO file;
   file.open(path_, "wb", 0600);
}

SpoolFile::~SpoolFile() {
   std::error_code ignored;
   std::filesystem::remove(fsPath(path_), ignored);
}

void SpoolFile::fillFromStandardInput() {
   SxFileIO file;
   file.open(path_, "wb", 0600);
   std::FILE* in = binary(stdin);
   char chunk[1 << 16];
   for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
      file.write(chunk, static_cast<int64_t>(got));
   if (std::ferror(in))
      throw VerbFailure("cannot read standard input: " + std::string(std::strerror(errno)));
   file.close();
}

void SpoolFile::replace(const SxString& target) const {
   SxFileIO file;
   file.open(path_, "rb");
   SxAtomicFile replacement(target);
   char chunk[1 << 16];
   for (int64_t got; (got = file.read(chunk, sizeof chunk)) > 0;)
      replacement.write(chunk, got);
   replacement.commit();
}

void SpoolFile::sendToStandardOutput() const {
   SxFileIO file;
   file.open(path_, "rb");
   std::FILE* out = binary(stdout);
   char chunk[1 << 16];
   for (int64_t got; (got = file.read(chunk, sizeof chunk)) > 0;)
      if (std::fwrite(chunk, 1, static_cast<std::size_t>(got), out) !=
          static_cast<std::size_t>(got))
         throw VerbFailure("cannot write standard output: " + std::string(std::strerror(errno)));
   if (std::fflush(out) != 0)
      throw VerbFailure("cannot write standard output: " + std::string(std::strerror(errno)));
}

FilePair::FilePair(const SxString& input, const SxString& output, bool freshOutput)
    : input_(input), output_(output) {
   if (input == "-") {
      inputSpool_.emplace();
      inputSpool_->fillFromStandardInput();
      input_ = inputSpool_->path();
   } else {
      requireRegularFile(input);
   }
   if (output == "-") {
      outputSpool_.emplace();
      output_ = outputSpool_->path();
      return;
   }
   requireWritableFileName(output);
   requireDistinct(input, output);
   if (!freshOutput)
      return;
   if (pathKind(output) == PathKind::Missing) {
      createdOutput_ = true;
   } else {
      outputSpool_.emplace();
      output_ = outputSpool_->path();
      replaced_ = output;
   }
}

FilePair::~FilePair() {
   if (createdOutput_ && !finished_) {
      std::error_code ignored;
      std::filesystem::remove(fsPath(output_), ignored);
   }
}

void FilePair::finish() {
   if (!replaced_.isEmpty())
      outputSpool_->replace(replaced_);
   else if (outputSpool_)
      outputSpool_->sendToStandardOutput();
   finished_ = true;
}

void requireDistinct(const SxString& a, const SxString& b) {
   if (a.isEmpty() || b.isEmpty() || a == "-" || b == "-")
      return;
   // Names of files yet to be made are compared as absolute paths.
   if (SxFSAction::sameFile(a, b) || SxFileInfo(a).getAbsPath() == SxFileInfo(b).getAbsPath())
      throw VerbFailure("'" + a.str() + "' and '" + b.str() + "' are the same file");
}

SxString escapeControls(const SxString& text) {
   static constexpr char kDigits[] = "0123456789abcdef";
   std::string out;
   for (const char c : text.str()) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '\n')
         out += "\\n";
      else if (c == '\t')
         out += "\\t";
      else if (c == '\r')
         out += "\\r";
      else if (byte < 0x20 || byte == 0x7f)
         out += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 0x0f];
      else
         out += c;
   }
   return SxString(std::move(out));
}

} // namespace voutil::cli
