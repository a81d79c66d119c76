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

constexpr unsigned kParseFlags = rapidjson::kParseValidateEncodingFlag;

// Builds the document from the reader's events, refusing a number that came out infinite: a long
// significand with a large exponent slips past the reader's own range check, and such a number
// could never be written back.
class FiniteNumbers {
public:
   explicit FiniteNumbers(rapidjson::Document& doc) : doc_(doc) {}
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
   bool StartObject() { return doc_.StartObject(); }
   bool Key(const char* s, rapidjson::SizeType n, bool copy) { return doc_.Key(s, n, copy); }
   bool EndObject(rapidjson::SizeType n) { return doc_.EndObject(n); }
   bool StartArray() { return doc_.StartArray(); }
   bool EndArray(rapidjson::SizeType n) { return doc_.EndArray(n); }

private:
   rapidjson::Document& doc_;
};

// The reader run as the document's generator, keeping the result that Populate drops.
struct ParseRun {
   const SxString& text;
   rapidjson::ParseResult result;
   bool operator()(rapidjson::Document& doc) {
      rapidjson::MemoryStream bytes(text.utf8(), static_cast<std::size_t>(text.getNBytes()));
      rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> in(bytes);
      FiniteNumbers handler(doc);
      rapidjson::Reader reader;
      result = reader.Parse<kParseFlags>(in, handler);
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
      sx::detail::lineAndColumn(text.str(), run.result.Offset(), line, column);
      // Our handler stops the reader only for a number it refuses.
      const rapidjson::ParseErrorCode code = run.result.Code() == rapidjson::kParseErrorTermination
                                                 ? rapidjson::kParseErrorNumberTooBig
                                                 : run.result.Code();
      throw SxException("ParseError",
                        "Parse error in '" + sourceName + "' at line " + SxString(line) +
                            ", column " + SxString(column) + ": " +
                            SxString(rapidjson::GetParseError_En(code)),
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
