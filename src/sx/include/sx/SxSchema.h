#pragma once

#include <memory>
#include <sx/SxExport.h>
#include <sx/SxSymbol.h>

namespace sx::detail {
struct CompiledSchema;
}

/// A JSON Schema (draft 4, as the validator supports it) that checks trees of
/// SxParserKit::SxSymbol nodes.
class SXJSON_API SxSchema {
public:
   /// Compiles the schema held by the tree below schemaRoot.
   explicit SxSchema(const SxParserKit::SxSymbol& schemaRoot);
   ~SxSchema();

   /// Raises SxException tagged "ValidationError" when data does not satisfy the schema,
   /// naming the place in the data, the violated keyword and the place in the schema.
   void validate(const SxParserKit::SxSymbol& data) const;

private:
   std::unique_ptr<sx::detail::CompiledSchema> schema_;
   SxString schemaName_;
};
