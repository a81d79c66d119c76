// The capture import: CSV captures of registry activity become Items.

#include "VoRegistryInternal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxMappedFile.h>
#include <sx/SxRegex.h>
#include <sx/SxUtf.h>

using voregistry::kPlaceholder;
using voregistry::kSource;

namespace {

using Views = std::vector<std::string_view>;

SxException patternFailure(std::string_view text, std::string_view pattern, Views const& result,
                           SxException::Where where = SxException::Where::current()) {
   std::string joined;
   for (std::string_view part : result)
      joined += part;
   return SxException("Applying Regular Expression failed! Incoming Line: " + SxString(text) +
                          " Applying Regular Expression: " + SxString(pattern) +
                          " Result: " + SxString(joined),
                      kSource, where);
}

// The first occurrence of needle in text at or after from. The search runs on the needle's
// character at anchor, a rarer one than the double quotes a capture line is full of, and checks
// the rest around each hit.
std::size_t findAnchored(std::string_view text, std::string_view needle, std::size_t anchor,
                         std::size_t from = 0) {
   for (std::size_t pos = from + anchor; pos < text.size();) {
      const auto* hit = static_cast<const char*>(
          std::memchr(text.data() + pos, needle[anchor], text.size() - pos));
      if (hit == nullptr)
         return std::string_view::npos;
      const std::size_t start = static_cast<std::size_t>(hit - text.data()) - anchor;
      if (start + needle.size() <= text.size() &&
          std::equal(needle.begin(), needle.end(), text.begin() + start))
         return start;
      pos = start + anchor + 1;
   }
   return std::string_view::npos;
}

// The four patterns of a capture line. Each match gives the whole match and the groups as views,
// or nothing. The usual shapes of a line are decided by a few searches for the patterns' fixed
// parts, with the same leftmost and greedy result the pattern gives; only the shapes those
// searches cannot settle reach the regular expression. A large capture is mostly usual lines.
class LinePatterns {
public:
   static constexpr std::string_view kOperationPattern = "\"RegSetValue\",\"(.+)\",\"SUCCESS\"";
   static constexpr std::string_view kPathPattern = "(.+)/([^/]+)";
   static constexpr std::string_view kTypePattern = "\"Type: (REG_\\w+), ";

   // "RegSetValue","(.+)","SUCCESS": the group runs from the first opening to the last closing
   // that leaves it a character. No other shape matches, so no line needs the pattern itself.
   bool operation(std::string_view line, Views* parts) const {
      static constexpr std::string_view kOpen = "\"RegSetValue\",\"";
      static constexpr std::string_view kClose = "\",\"SUCCESS\"";
      parts->clear();
      const std::size_t open = findAnchored(line, kOpen, 1);
      if (open == std::string_view::npos)
         return false;
      const std::size_t from = open + kOpen.size();
      std::size_t close = findAnchored(line, kClose, 4, from + 1);
      if (close == std::string_view::npos)
         return false;
      for (std::size_t later; (later = findAnchored(line, kClose, 4, close + 1)) != line.npos;)
         close = later;
      *parts = {line.substr(open, close + kClose.size() - open), line.substr(from, close - from)};
      return true;
   }

   // (.+)/([^/]+): a last "/" with text on both sides splits the path there.
   bool path(std::string_view path, Views* parts) const {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string_view::npos && slash >= 1 && slash + 1 < path.size()) {
         *parts = {path, path.substr(0, slash), path.substr(slash + 1)};
         return true;
      }
      return pathPattern_.matchViews(path, parts) == 3;
   }

   // "Type: (REG_\w+), : the first "Type: REG_ followed by word characters and ", " is the
   // match; a line without "Type: has none.
   bool type(std::string_view line, Views* parts) const {
      static constexpr std::string_view kOpen = "\"Type: REG_";
      const std::size_t first = findAnchored(line, "\"Type: ", 1);
      if (first == std::string_view::npos) {
         parts->clear();
         return false;
      }
      const std::size_t open = findAnchored(line, kOpen, 1, first);
      if (open != std::string_view::npos) {
         std::size_t end = open + kOpen.size();
         while (end < line.size() && isWordChar(line[end]))
            ++end;
         if (end > open + kOpen.size() && line.substr(end, 2) == ", ") {
            *parts = {line.substr(open, end + 2 - open), line.substr(open + 7, end - (open + 7))};
            return true;
         }
      }
      return typePattern_.matchViews(line, parts) == 2;
   }

   // Data: (.*)": from the first "Data: " to the last double quote after it.
   static std::string_view data(std::string_view line) {
      static constexpr std::string_view kOpen = "Data: ";
      const std::size_t open = line.find(kOpen);
      const std::size_t quote = line.rfind('"');
      if (open == std::string_view::npos || quote == std::string_view::npos ||
          quote < open + kOpen.size())
         return {};
      return line.substr(open + kOpen.size(), quote - (open + kOpen.size()));
   }

private:
   // \w without Unicode properties: ASCII letters, digits and the underscore.
   static bool isWordChar(char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
   }

   SxRegex pathPattern_{SxString(kPathPattern), ""};
   SxRegex typePattern_{SxString(kTypePattern), ""};
};

// Appends text to out with every occurrence of drive replaced by the placeholder; with
// jsonForm the other characters get the JSON string form on the way (backslashes doubled,
// double quotes escaped). The drive is plain characters; an empty one replaces nothing.
void appendWithPlaceholder(std::string& out, std::string_view text, std::string_view drive,
                           bool jsonForm) {
   auto append = [&](std::string_view piece) {
      if (!jsonForm) {
         out += piece;
         return;
      }
      std::size_t run = 0;
      for (std::size_t i = 0; i < piece.size(); ++i) {
         if (piece[i] == '\\' || piece[i] == '"') {
            out.append(piece.data() + run, i - run);
            out += '\\';
            run = i;
         }
      }
      out.append(piece.data() + run, piece.size() - run);
   };
   if (!drive.empty()) {
      for (std::size_t hit; (hit = text.find(drive)) != std::string_view::npos;) {
         append(text.substr(0, hit));
         out += kPlaceholder;
         text.remove_prefix(hit + drive.size());
      }
   }
   append(text);
}

// The lines of a capture, walked in place: the non-empty pieces between line feeds, each
// without the carriage return of a CRLF line end, after a byte-order mark at the start. So LF
// and CRLF captures give the same lines, blank ones and a last one without a line end included.
class CaptureLines {
public:
   explicit CaptureLines(std::string_view text) : text_(text) {
      if (text_.substr(0, 3) == "\xEF\xBB\xBF")
         text_.remove_prefix(3);
   }

   /// The next line, or false at the end.
   bool next(std::string_view* line) {
      while (!text_.empty()) {
         std::size_t end = text_.find('\n');
         std::string_view piece = text_.substr(0, end);
         text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
         if (!piece.empty() && piece.back() == '\r')
            piece.remove_suffix(1);
         if (!piece.empty()) {
            *line = piece;
            return true;
         }
      }
      return false;
   }

private:
   std::string_view text_;
};

} // namespace

VoRegistry::ItemList VoRegistry::readCSV(SxString const& file, SxString const& drive) {
   if (!SxFSAction::test_f(file))
      throw SxException(
          "File " + file + " does not exists.\nCannot create registry entries by CSV.", kSource);
   // The capture is read in place where it can be mapped; malformed UTF-8 is repaired as in any
   // text read from a file, which needs a copy only for such a capture.
   std::optional<SxMappedFile> capture;
   try {
      capture.emplace(file);
   } catch (SxException const& e) {
      throw SxException(e, "Cannot read " + file, kSource);
   }
   std::string_view text = capture->bytes();
   std::string repaired;
   if (SxUtf::firstMalformed(text) != std::string_view::npos) {
      repaired = SxUtf::sanitize(text);
      text = repaired;
   }

   const LinePatterns patterns;
   const std::string_view driveText = drive.str();
   ItemList items;
   std::ptrdiff_t lineEnds = 0;
   for (const char *at = text.data(), *end = at + text.size();
        (at = static_cast<const char*>(std::memchr(at, '\n', end - at))) != nullptr; ++at)
      ++lineEnds;
   items.reserve(lineEnds);
   Views op, parts, type;
   std::string path;
   CaptureLines lines(text);
   std::string_view line;
   (void)lines.next(&line); // the header
   while (lines.next(&line)) {
      if (!patterns.operation(line, &op))
         throw patternFailure(line, LinePatterns::kOperationPattern, op);
      path.assign(op[1]);
      for (char& c : path)
         c = c == '\\' ? '/' : c;
      if (!patterns.path(path, &parts))
         throw patternFailure(path, LinePatterns::kPathPattern, parts);
      if (!patterns.type(line, &type))
         throw patternFailure(line, LinePatterns::kTypePattern, type);
      const Item::RegValType valueType = Item::string2Type(SxString(type[1]));
      const std::string_view dataText = LinePatterns::data(line);

      // Each text is built once, in its final form.
      std::string key;
      key.reserve(parts[1].size() + 16);
      appendWithPlaceholder(key, parts[1], driveText, false);
      std::string data;
      switch (valueType) {
      case Item::ExpandSz:
      case Item::MultiSz:
      case Item::Sz:
         data.reserve(dataText.size() + dataText.size() / 8 + 16);
         appendWithPlaceholder(data, dataText, driveText, true);
         break;
      case Item::Binary: {
         data.resize(dataText.size());
         std::size_t kept = 0;
         for (char c : dataText) {
            data[kept] = c;
            kept += c != ' ' && c != '\t' && c != '\r' && c != '\n';
         }
         data.resize(kept);
         break;
      }
      default:
         data.assign(dataText);
         break;
      }
      Item item;
      item.key = SxString(std::move(key));
      item.value = SxString(parts[2]);
      item.type = valueType;
      item.data = SxString(std::move(data));
      items.append(std::move(item));
   }
   return items;
}
