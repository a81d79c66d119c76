#pragma once

#include <sx/SxExport.h>
#include <sx/SxString.h>
#include <sx/SxSymbol.h>

/// Reads JSON text into a tree of SxParserKit::SxSymbol nodes.
///
/// Failures raise SxException tagged "ParseError" (with the source name, line and column) or
/// "FileIOError" (a file that cannot be read).
class SXJSON_API SxJSONParser {
public:
   SxJSONParser();

   /// Parses text; sourceName names it in messages.
   void readString(const SxString& text, const SxString& sourceName = "");
   /// Parses the file's content, read as UTF-8.
   void readFile(const SxString& path);

   /// The root of the tree read last; the invalid symbol before any read.
   [[nodiscard]] SxParserKit::SxSymbol getRootSymbol() const { return root_; }
   /// The whole parsed tree; the same node as getRootSymbol.
   [[nodiscard]] const SxParserKit::SxSymbol& getAst() const { return root_; }

private:
   SxParserKit::SxSymbol root_;
};
