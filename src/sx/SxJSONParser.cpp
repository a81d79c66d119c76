#include "SxJsonTree.h"

#include <rapidjson/error/en.h>
#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>
#include <sx/SxFileIO.h>
#include <sx/SxJSONParser.h>
#include <sx/SxSchema.h>

namespace {
constexpr char kSource[] = "src/sx/SxJSONParser";
}

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
   doc.Parse<rapidjson::kParseValidateEncodingFlag>(text.utf8(),
                                                    static_cast<std::size_t>(text.getNBytes()));
   if (doc.HasParseError()) {
      std::size_t line = 0, column = 0;
      sx::detail::lineAndColumn(text.str(), doc.GetErrorOffset(), line, column);
      throw SxException("ParseError",
                        "Parse error in '" + sourceName + "' at line " + SxString(line) +
                            ", column " + SxString(column) + ": " +
                            SxString(rapidjson::GetParseError_En(doc.GetParseError())),
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
   if (static_cast<const rapidjson::Value*>(data.node_)->Accept(validator))
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
