// The capture import: a CSV capture of registry activity becomes a list of Items, one for every
// successful value write.

#include "VoRegistryInternal.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxRegex.h>

using voregistry::kPlaceholder;
using voregistry::kSource;

namespace {

SxException patternFailure(SxString const& text, SxString const& pattern,
                           std::vector<std::string_view> const& result,
                           SxException::Where where = SxException::Where::current()) {
   std::string joined;
   for (std::string_view part : result)
      joined += part;
   return SxException("Applying Regular Expression failed! Incoming Line: " + text +
                          " Applying Regular Expression: " + pattern +
                          " Result: " + SxString(joined),
                      kSource, where);
}

// String data in JSON string form: every backslash doubled, every double quote preceded by a
// backslash.
SxString jsonStringForm(SxString const& text) {
   std::string out;
   out.reserve(static_cast<std::size_t>(text.getNBytes()) + 8);
   for (char c : text.str()) {
      if (c == '\\' || c == '"')
         out += '\\';
      out += c;
   }
   return SxString(std::move(out));
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
   SxString content;
   try {
      SxFileIO io;
      io.open(file, "rb", 0600);
      content = io.readUtf8();
      io.close();
   } catch (SxException const& e) {
      throw SxException(e, "Cannot read " + file, kSource);
   }

   const SxString operationPattern = "\"RegSetValue\",\"(.+)\",\"SUCCESS\"";
   const SxString pathPattern = "(.+)/([^/]+)";
   const SxString typePattern = "\"Type: (REG_\\w+), ";
   const SxString dataPattern = "Data: (.*)\"";
   const SxRegex operation(operationPattern, "");
   const SxRegex pathParts(pathPattern, "");
   const SxRegex typePart(typePattern, "");
   const SxRegex dataPart(dataPattern, "");

   // Lines are matched as views into the capture, so that a line costs copies only for what its
   // Item keeps: a large capture is dominated by those copies.
   const std::string& text = content.str();
   ItemList items;
   items.reserve(std::count(text.begin(), text.end(), '\n'));
   std::vector<std::string_view> op, parts, type, data;
   std::string path;
   CaptureLines lines(text);
   std::string_view line;
   (void)lines.next(&line); // the header
   while (lines.next(&line)) {
      if (operation.matchViews(line, &op) != 2)
         throw patternFailure(SxString(line), operationPattern, op);
      path.assign(op[1]);
      std::replace(path.begin(), path.end(), '\\', '/');
      if (pathParts.matchViews(path, &parts) != 3)
         throw patternFailure(SxString(path), pathPattern, parts);
      Item item;
      item.key = SxString(parts[1]).substitute(drive, kPlaceholder);
      item.value = SxString(parts[2]);
      if (typePart.matchViews(line, &type) != 2)
         throw patternFailure(SxString(line), typePattern, type);
      item.type = Item::string2Type(SxString(type[1]));
      const std::string_view dataText =
          dataPart.matchViews(line, &data) == 2 ? data[1] : std::string_view();
      switch (item.type) {
      case Item::ExpandSz:
      case Item::MultiSz:
      case Item::Sz:
         item.data = jsonStringForm(SxString(dataText).substitute(drive, kPlaceholder));
         break;
      case Item::Binary:
         item.data = SxString(dataText).removeWhiteSpace();
         break;
      default:
         item.data = SxString(dataText);
         break;
      }
      items.append(std::move(item));
   }
   return items;
}
