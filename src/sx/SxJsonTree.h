#pragma once

// The tree behind SxParserKit::SxSymbol, shared by the parser, the schema and the symbols.

#include <rapidjson/document.h>
#include <sx/SxString.h>

namespace sx::detail {

struct JsonTree {
   rapidjson::Document doc;
   SxString sourceName; // the file or name the tree was read from, for messages
   uint64_t layout = 0; // counts the changes that may move nodes in memory
};

/// Line and column (both from 1) of a byte offset into text.
void lineAndColumn(const std::string& text, std::size_t offset, std::size_t& line,
                   std::size_t& column);

} // namespace sx::detail
