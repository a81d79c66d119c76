// The description file "registry.json": saving and loading lists of Items.

#include "VoRegistryInternal.h"

#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxJSONParser.h>
#include <sx/SxSchema.h>
#include <voutil/VoSysEnv.h>

using voregistry::kSource;

namespace {

// Descriptions of the foundation's JSON exception tags, registered while the library is loaded.
const SxExceptionEntry voJsonExceptionTags[] = {
    {"ParserKit", "FileIOError", "message : SxString"},
    {"ParserKit", "ParseError", "message : SxString"},
    {"SxSymbol", "IOError", "message : SxString"},
    {"SxSymbol", "InvalidInput", "message : SxString"},
    {"SxSymbol", "InvalidOperation", "message : SxString"},
    {"SchemaValidation", "ValidationError", "message : SxString"}};

} // namespace

void VoRegistry::write(SxString const& dir, ItemList const& items) {
   const SxFile file(dir + "registry.json");
   try {
      SxFSAction::mkdir_p(file.getPath(), 0777);
      SxParserKit::SxSymbol root = SxParserKit::SxSymbol::newTree(file.getAbsPath());
      root.setType(SxParserKit::SxSymbol::Group);
      root.append("version", 2);
      if (!items.isEmpty()) {
         SxParserKit::SxSymbol registry = root.append("registry", SxParserKit::SxSymbol::List);
         for (Item const& item : items) {
            SxParserKit::SxSymbol entry = registry.append(SxParserKit::SxSymbol::Group);
            entry.append("key", item.key);
            entry.append("value", item.value);
            entry.append("regType", Item::type2String(item.type));
            entry.append("data", item.data);
         }
      }
      root.write(file.getAbsPath());
   } catch (SxException const& e) {
      throw SxException(e, "Failed to write file " + file.getAbsPath(), kSource);
   }
}

VoRegistry::ItemList VoRegistry::read(SxString const& dir) {
   const SxString path = dir + "registry.json";
   if (!SxFSAction::test_f(path))
      throw SxException("File " + path + " not found.", kSource);
   const SxString schemaPath = VoSysEnv::getSchemaPath() + "voregistry-schema.json";
   if (!SxFSAction::test_f(schemaPath))
      throw SxException("Required schema file " + schemaPath + " not found", kSource);
   try {
      SxJSONParser data;
      {
         // The tree holds its own copy of every text, so the file's text goes before the Items
         // are built.
         SxFileIO io;
         io.open(path, "rb", 0600);
         const SxString text = io.readUtf8();
         io.close();
         data.readString(text, path);
      }
      SxJSONParser schema;
      schema.readFile(schemaPath);
      SxSchema(schema.getAst()).validate(data.getAst());

      const SxParserKit::SxSymbol root = data.getRootSymbol();
      if (root.getElem("version", true).toInt() != 2)
         throw SxException("File version of '" + path + "' not supported.", kSource);
      ItemList items;
      const SxParserKit::SxSymbol registry = root.getElem("registry", false);
      if (registry.isValid()) {
         const SxList<SxParserKit::SxSymbol> entries = registry.toList();
         items.reserve(entries.getSize());
         for (SxParserKit::SxSymbol const& entry : entries) {
            Item item;
            item.key = entry.getElem("key", true).toString();
            item.value = entry.getElem("value", true).toString();
            item.data = entry.getElem("data", true).toString();
            item.type = Item::string2Type(entry.getElem("regType", true).toString());
            items.append(std::move(item));
         }
      }
      return items;
   } catch (SxException const& e) {
      throw SxException(e, "Failed to read file " + path, kSource);
   }
}
