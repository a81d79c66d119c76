// JSON parsed from text or files, and schema validation of the parsed tree.

#include "SxJsonTree.h"

#include <cmath>
#include <rapidjson/encodedstream.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>
#include <sx/SxFileIO.h>
#include <sx/SxJSONParser.h>
#include <sx/SxSchema.h>

namespace {
constexpr char kSource[] = "src/sx/SxJSONParser";

// The reader, the schema check and the writer all recurse once per level; the library's own
// files need three.
constexpr int kMaxDepth = 256;

// Builds the document from the reader's events, refusing a number that came out infinite (a long
// significand with a large exponent slips past the reader's own range check, and such a number
// could never be written back) and nesting deeper than kMaxDepth.
class FiniteNumbers {
public:
   explicit FiniteNumbers(rapidjson::Document& doc) : doc_(doc) {}
   bool tooDeep = false;
   bool Null() { return doc_.Null(); }
   bool Bool(bool b) { return doc_.Bool(b); }
   bool Int(int i) { return doc_.Int(i); }
   bool Uint(unsigned u) { return doc_.Uint(u); }
   bool Int64(int64_t i) { return doc_.Int64(i); }
   bool Uint64(uint64_t u) { return doc_.Uint64(u); }
   bool Double(double d) { return std::isfinite(d) && doc_.Double(d); }
   bool RawNumber(const char* s, rapidjson::SizeType n, bool copy) {
      return doc_.RawNumber(s, n, copy);
   }
   bool String(const char* s, rapidjson::SizeType n, bool copy) { return doc_.String(s, n, copy); }
   bool StartObject() { return enter() && doc_.StartObject(); }
   bool Key(const char* s, rapidjson::SizeType n, bool copy) { return doc_.Key(s, n, copy); }
   bool EndObject(rapidjson::SizeType n) { return --depth_, doc_.EndObject(n); }
   bool StartArray() { return enter() && doc_.StartArray(); }
   bool EndArray(rapidjson::SizeType n) { return --depth_, doc_.EndArray(n); }

private:
   bool enter() {
      tooDeep = ++depth_ > kMaxDepth;
      return !tooDeep;
   }

   rapidjson::Document& doc_;
   int depth_ = 0;
};

// The reader run as the document's generator, keeping the result that Populate drops.
struct ParseRun {
   const SxString& text;
   rapidjson::ParseResult result;
   bool tooDeep = false;
   bool operator()(rapidjson::Document& doc) {
      rapidjson::MemoryStream bytes(text.utf8(), static_cast<std::size_t>(text.getNBytes()));
      rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> in(bytes);
      FiniteNumbers handler(doc);
      rapidjson::Reader reader;
      // A text holds WTF-8, so only a lone surrogate (led by 0xED) can make it invalid UTF-8;
      // without one the reader need not check every byte again.
      result = text.str().find('\xED') == std::string::npos
                   ? reader.Parse<rapidjson::kParseDefaultFlags>(in, handler)
                   : reader.Parse<rapidjson::kParseValidateEncodingFlag>(in, handler);
      tooDeep = handler.tooDeep;
      return !result.IsError();
   }
};
} // namespace

void sx::detail::lineAndColumn(const std::string& text, std::size_t offset, std::size_t& line,
                               std::size_t& column) {
   line = 1;
   std::size_t lineStart = 0;
   for (std::size_t i = 0; i < offset && i < text.size(); ++i)
      if (text[i] == '\n') {
         ++line;
         lineStart = i + 1;
      }
   column = offset - lineStart + 1;
}

SxJSONParser::SxJSONParser() = default;

void SxJSONParser::readString(const SxString& text, const SxString& sourceName) {
   SxParserKit::SxSymbol root = SxParserKit::SxSymbol::newTree(sourceName);
   rapidjson::Document& doc = root.tree_->doc;
   ParseRun run{text, {}};
   doc.Populate(run);
   if (run.result.IsError()) {
      std::size_t line = 0, column = 0;
      // A refused bracket has been read already: point at it.
      sx::detail::lineAndColumn(text.str(), run.result.Offset() - (run.tooDeep ? 1 : 0), line,
                                column);
      // Our handler stops the reader only for a number it refuses or for nesting too deep.
      const rapidjson::ParseErrorCode code = run.result.Code() == rapidjson::kParseErrorTermination
                                                 ? rapidjson::kParseErrorNumberTooBig
                                                 : run.result.Code();
      const SxString reason = run.tooDeep
                                  ? "Nesting deeper than " + SxString(kMaxDepth) + " levels."
                                  : SxString(rapidjson::GetParseError_En(code));
      throw SxException("ParseError",
                        "Parse error in '" + sourceName + "' at line " + SxString(line) +
                            ", column " + SxString(column) + ": " + reason,
                        kSource);
   }
   root_ = root;
}

void SxJSONParser::readFile(const SxString& path) {
   SxString text;
   try {
      SxFileIO io;
      io.open(path, "rb", 0600);
      text = io.readUtf8();
   } catch (const SxException& e) {
      throw SxException("FileIOError", "Cannot read JSON file '" + path + "' : " + e.getMessage(),
                        kSource);
   }
   readString(text, path);
}

namespace sx::detail {
struct CompiledSchema {
   explicit CompiledSchema(const rapidjson::Document& doc) : schema(doc) {}
   rapidjson::SchemaDocument schema;
};
} // namespace sx::detail

SxSchema::SxSchema(const SxParserKit::SxSymbol& schemaRoot) {
   if (!schemaRoot.isValid())
      throw SxException("ValidationError", "Cannot build a schema from an undefined symbol",
                        kSource);
   schemaName_ = schemaRoot.tree_->sourceName;
   schema_ = std::make_unique<sx::detail::CompiledSchema>(schemaRoot.tree_->doc);
}

SxSchema::~SxSchema() = default;

void SxSchema::validate(const SxParserKit::SxSymbol& data) const {
   if (!data.isValid())
      throw SxException("ValidationError", "Cannot validate an undefined symbol", kSource);
   rapidjson::SchemaValidator validator(schema_->schema);
   if (static_cast<const rapidjson::Value*>(data.node())->Accept(validator))
      return;
   rapidjson::StringBuffer dataPointer, schemaPointer;
   validator.GetInvalidDocumentPointer().StringifyUriFragment(dataPointer);
   validator.GetInvalidSchemaPointer().StringifyUriFragment(schemaPointer);
   throw SxException("ValidationError",
                     "'" + data.tree_->sourceName + "' does not match the schema '" + schemaName_ +
                         "': the value at " + SxString(dataPointer.GetString()) +
                         " violates the keyword '" + SxString(validator.GetInvalidSchemaKeyword()) +
                         "' at " + SxString(schemaPointer.GetString()),
                     kSource);
}
