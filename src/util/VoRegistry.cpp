#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <sx/SxJSONParser.h>
#include <sx/SxRegex.h>
#include <sx/SxSchema.h>
#include <vector>
#include <vodevctl.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {

constexpr char kSource[] = "src/util/VoRegistry";

// Indexed by RegValType.
constexpr const char* kTypeNames[] = {"REG_BINARY",    "REG_DWORD", "REG_DWORD_LITTLE_ENDIAN",
                                      "REG_EXPAND_SZ", "REG_LINK",  "REG_MULTI_SZ",
                                      "REG_NONE",      "REG_QWORD", "REG_QWORD_LITTLE_ENDIAN",
                                      "REG_SZ"};
constexpr int kNTypes = static_cast<int>(sizeof kTypeNames / sizeof kTypeNames[0]);

// A registry key handle, closed when the object goes.
class KeyHandle {
public:
   KeyHandle() = default;
   ~KeyHandle() {
      if (handle_)
         RegCloseKey(handle_);
   }
   KeyHandle(KeyHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
   KeyHandle(const KeyHandle&) = delete;
   KeyHandle& operator=(const KeyHandle&) = delete;
   KeyHandle& operator=(KeyHandle&&) = delete;

   [[nodiscard]] HKEY get() const { return handle_; }
   /// The place where a registry call stores a new handle.
   [[nodiscard]] PHKEY out() { return &handle_; }

private:
   HKEY handle_ = nullptr;
};

// A key path taken apart: its root and the sub-path below it.
struct KeyPath {
   enum Kind { Root, Reserved, Unknown };
   Kind kind = Unknown;
   SxString rootName; ///< the first token, as written
   HKEY root = nullptr;
   SxList<SxString> names; ///< the key names below the root
   SxString subPath;       ///< names joined by backslashes
};

KeyPath parseKeyPath(SxString const& key) {
   static const struct {
      const char* abbreviation;
      HKEY root;
   } kRoots[] = {{"HKCR", HKEY_CLASSES_ROOT},
                 {"HKCU", HKEY_CURRENT_USER},
                 {"HKLM", HKEY_LOCAL_MACHINE},
                 {"HKU", HKEY_USERS},
                 {"HKCC", HKEY_CURRENT_CONFIG}};
   KeyPath path;
   SxList<SxString> tokens = key.tokenize("/", false);
   if (!tokens.isEmpty())
      path.rootName = tokens.first();
   for (std::ptrdiff_t i = 1; i < tokens.getSize(); ++i)
      path.names.append(tokens(i));
   path.subPath = SxString::join(path.names, "\\");
   if (path.rootName == "REGISTRY")
      path.kind = KeyPath::Reserved;
   for (const auto& entry : kRoots) {
      if (path.rootName == entry.abbreviation) {
         path.kind = KeyPath::Root;
         path.root = entry.root;
      }
   }
   return path;
}

SxException unknownRoot(KeyPath const& path, SxString const& key,
                        SxException::Where where = SxException::Where::current()) {
   return SxException("Unknown registry root key '" + path.rootName + "' in key '" + key + "'.",
                      kSource, where);
}

// The key path of an operation on a value, which refuses the reserved root by name.
KeyPath parseValueKeyPath(SxString const& key) {
   KeyPath path = parseKeyPath(key);
   if (path.kind == KeyPath::Reserved)
      throw SxException("Forbidden registry root key '" + path.rootName + "' in key '" + key + "'.",
                        kSource);
   if (path.kind == KeyPath::Unknown)
      throw unknownRoot(path, key);
   return path;
}

// Resolves key for the questions that answer false for the reserved root (the result here)
// and raise for an unknown root.
bool resolveForQuestion(SxString const& key, KeyPath* path) {
   *path = parseKeyPath(key);
   if (path->kind == KeyPath::Unknown)
      throw unknownRoot(*path, key);
   return path->kind != KeyPath::Reserved;
}

// Resolves key for the operations that create keys, which refuse the reserved and unknown roots.
KeyPath resolveForCreating(SxString const& key) {
   KeyPath path = parseKeyPath(key);
   if (path.kind == KeyPath::Reserved)
      throw SxException("Forbidden registry root key.", kSource);
   if (path.kind == KeyPath::Unknown)
      throw SxException("Unknown registry root key " + key, kSource);
   return path;
}

// Opens an existing key with the given rights; the status of the attempt.
LSTATUS openKey(KeyPath const& path, REGSAM access, KeyHandle* key) {
   return RegOpenKeyExW(path.root, path.subPath.utf16().elements(), 0, access, key->out());
}

SxString errorText(LSTATUS status) {
   return sxstrerror(status);
}

// Little-endian bytes of an unsigned number of width bytes.
template <class T>
std::vector<BYTE> littleEndian(T number) {
   std::vector<BYTE> bytes(sizeof(T));
   for (std::size_t i = 0; i < sizeof(T); ++i)
      bytes[i] = static_cast<BYTE>(number >> (8 * i));
   return bytes;
}

// The number held by the first bytes of data, least significant byte first.
uint64_t readLittleEndian(SxArray<unsigned char> const& data, std::size_t width) {
   uint64_t number = 0;
   const auto available = static_cast<std::size_t>(data.getSize());
   const std::size_t n = available < width ? available : width;
   for (std::size_t i = 0; i < n; ++i)
      number |= uint64_t{data[static_cast<std::ptrdiff_t>(i)]} << (8 * i);
   return number;
}

// UTF-16 text up to its first NUL unit or the end of the data.
SxString readString(SxArray<unsigned char> const& data) {
   std::u16string units(static_cast<std::size_t>(data.getSize()) / 2, u'\0');
   if (!units.empty())
      std::memcpy(units.data(), data.elements(), units.size() * 2);
   const std::size_t nul = units.find(u'\0');
   if (nul != std::u16string::npos)
      units.resize(nul);
   return SxString::fromUtf16(units.data(), static_cast<std::ptrdiff_t>(units.size()));
}

SxString dataToText(DWORD type, SxArray<unsigned char> const& data) {
   switch (type) {
   case REG_SZ:
   case REG_EXPAND_SZ:
   case REG_MULTI_SZ:
      return readString(data);
   case REG_DWORD:
      return SxString(static_cast<unsigned long long>(readLittleEndian(data, 4)));
   case REG_QWORD:
      return SxString(static_cast<unsigned long long>(readLittleEndian(data, 8)));
   case REG_BINARY:
      return VoRegistry::Item::binary2String(data);
   case REG_NONE:
   case REG_LINK:
      return SxString();
   default:
      throw SxException("Unknown Registry Value Type!", kSource);
   }
}

// The Windows type code and bytes that a value of type with the data text is written as.
DWORD textToData(VoRegistry::Item::RegValType type, SxString const& data,
                 std::vector<BYTE>* bytes) {
   using Item = VoRegistry::Item;
   const bool empty = data.isEmpty();
   auto utf16Bytes = [&] {
      if (empty)
         return;
      const SxArray<SxChar16> units = data.utf16();
      const auto* first = reinterpret_cast<const BYTE*>(units.elements());
      bytes->assign(first, first + units.getSize() * 2);
   };
   switch (type) {
   case Item::Binary:
      if (!empty) {
         const SxArray<unsigned char> binary = Item::string2Binary(data);
         bytes->assign(binary.begin(), binary.end());
      }
      return REG_BINARY;
   case Item::DWord:
      *bytes = littleEndian(static_cast<uint32_t>(empty ? 0 : data.toInt()));
      return REG_DWORD;
   case Item::QWord:
      *bytes = littleEndian(static_cast<uint64_t>(empty ? 0 : data.toInt64()));
      return REG_QWORD;
   case Item::ExpandSz:
      utf16Bytes();
      return REG_EXPAND_SZ;
   case Item::MultiSz:
      utf16Bytes();
      return REG_MULTI_SZ;
   case Item::Sz:
      utf16Bytes();
      return REG_SZ;
   case Item::None:
      return REG_NONE;
   case Item::DWordLittleEndian:
      throw SxException("'DWordLittleEndian' Registry Value Type not supported!", kSource);
   case Item::Link:
      throw SxException("Link' Registry Value Type not supported!", kSource);
   case Item::QWordLittleEndian:
      throw SxException("'QWordLittleEndian' Registry Value Type not supported!", kSource);
   }
   throw SxException("Unknown Registry Value Type", kSource);
}

} // namespace

VoRegistry::Item::Item() : type(None) {}

VoRegistry::Item::Item(SxString const& key_, SxString const& value_, RegValType type_,
                       SxString const& data_)
    : key(key_), value(value_), type(type_), data(data_) {}

VoRegistry::Item::~Item() = default;

VoRegistry::Item::Item(Item const& other) = default;

VoRegistry::Item& VoRegistry::Item::operator=(Item const& other) = default;

VoRegistry::Item::Item(Item&& other) noexcept = default;

VoRegistry::Item& VoRegistry::Item::operator=(Item&& other) noexcept = default;

void VoRegistry::Item::print() const {
   voLogMsg("util",
            "+-----------------------------------------------------------------------------\n");
   voLogMsg("util", "key   : " + key);
   voLogMsg("util", "value : " + value);
   voLogMsg("util", "type  : " + type2String(type));
   voLogMsg("util", "data  : " + data);
}

SxString VoRegistry::Item::type2String(RegValType type) {
   const int number = static_cast<int>(type);
   if (number < 0 || number >= kNTypes)
      throw SxException("Unknown Registry Value Type " + SxString(number), kSource);
   return kTypeNames[number];
}

VoRegistry::Item::RegValType VoRegistry::Item::string2Type(SxString const& name) {
   for (int i = 0; i < kNTypes; ++i)
      if (name == kTypeNames[i])
         return static_cast<RegValType>(i);
   throw SxException("Unknown Registry Value Type: " + name, kSource);
}

SxString VoRegistry::Item::binary2String(SxArray<unsigned char> bytes) {
   static constexpr char kDigits[] = "0123456789abcdef";
   std::string text;
   text.reserve(static_cast<std::size_t>(bytes.getSize()) * 2);
   for (unsigned char octet : bytes) {
      text += kDigits[octet >> 4];
      text += kDigits[octet & 0x0F];
   }
   return SxString(std::string_view(text));
}

SxArray<unsigned char> VoRegistry::Item::string2Binary(SxString const& text) {
   // Walks the UTF-8 bytes once, taking two characters at a time, so long data stays linear.
   const std::string& utf8 = text.str();
   auto nextChar = [&utf8](std::size_t pos) {
      for (++pos; pos < utf8.size() && (static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80;)
         ++pos;
      return pos;
   };
   const std::ptrdiff_t n = text.getSize() / 2;
   SxArray<unsigned char> bytes(n);
   std::size_t pos = 0;
   for (std::ptrdiff_t i = 0; i < n; ++i) {
      const std::size_t end = nextChar(nextChar(pos));
      const SxString pair(std::string_view(utf8).substr(pos, end - pos));
      pos = end;
      bool error = false;
      const auto octet = pair.toNumber<unsigned char>(&error, 16);
      if (error)
         throw SxException("Cannot convert " + text + " (" + pair + ") to binary data.", kSource);
      bytes[i] = octet;
   }
   return bytes;
}

bool VoRegistry::contains(SxString const& key) {
   KeyPath path;
   if (!resolveForQuestion(key, &path))
      return false;
   KeyHandle handle;
   return openKey(path, KEY_READ, &handle) == ERROR_SUCCESS;
}

bool VoRegistry::contains(SxString const& key, SxString const& value) {
   KeyPath path;
   if (!resolveForQuestion(key, &path))
      return false;
   KeyHandle handle;
   if (openKey(path, KEY_READ, &handle) != ERROR_SUCCESS)
      return false;
   const SxArray<SxChar16> name = value.utf16();
   if (RegQueryValueExW(handle.get(), name.elements(), nullptr, nullptr, nullptr, nullptr) ==
       ERROR_SUCCESS)
      return true;
   KeyHandle subKey;
   return RegOpenKeyExW(handle.get(), name.elements(), 0, KEY_READ, subKey.out()) == ERROR_SUCCESS;
}

bool VoRegistry::isReadable(SxString const& key) {
   const KeyPath path = parseKeyPath(key);
   if (path.kind == KeyPath::Reserved)
      throw SxException("Hidden registry root key in " + key, kSource);
   if (path.kind == KeyPath::Unknown)
      throw SxException("Unknown registry root key in " + key, kSource);
   KeyHandle handle;
   return openKey(path, KEY_READ, &handle) == ERROR_SUCCESS;
}

bool VoRegistry::isWritable(SxString const& key) {
   KeyPath path;
   if (!resolveForQuestion(key, &path))
      return false;
   KeyHandle handle;
   return RegCreateKeyExW(path.root, path.subPath.utf16().elements(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, handle.out(),
                          nullptr) == ERROR_SUCCESS;
}

bool VoRegistry::isVal(SxString const& key, SxString const& value) {
   const KeyPath path = parseValueKeyPath(key);
   KeyHandle handle;
   if (openKey(path, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
      return false;
   DWORD type = 0;
   DWORD size = 0;
   return RegQueryValueExW(handle.get(), value.utf16().elements(), nullptr, &type, nullptr,
                           &size) == ERROR_SUCCESS;
}

SxString VoRegistry::getVal(SxString const& key, SxString const& value) {
   const KeyPath path = parseValueKeyPath(key);
   KeyHandle handle;
   LSTATUS status = openKey(path, KEY_QUERY_VALUE, &handle);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + errorText(status), kSource);
   const SxArray<SxChar16> name = value.utf16();
   DWORD type = 0;
   DWORD size = 0;
   status = RegQueryValueExW(handle.get(), name.elements(), nullptr, &type, nullptr, &size);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't query registry key value '" + value + "' in key '" + key +
                            "' : " + errorText(status),
                        kSource);
   SxArray<unsigned char> data(static_cast<std::ptrdiff_t>(size));
   status = RegQueryValueExW(handle.get(), name.elements(), nullptr, &type, data.elements(), &size);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't read registry value '" + value + "' in key '" + key +
                            "' : " + errorText(status),
                        kSource);
   data.resize(static_cast<std::ptrdiff_t>(size));
   return dataToText(type, data);
}

int32_t VoRegistry::getNElems(SxString const& key) {
   const KeyPath path = parseKeyPath(key);
   if (path.kind == KeyPath::Reserved)
      return 0;
   if (path.kind == KeyPath::Unknown)
      throw SxException("Unknown registry root key " + key, kSource);
   KeyHandle handle;
   LSTATUS status = openKey(path, KEY_QUERY_VALUE, &handle);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + errorText(status), kSource);
   DWORD subKeys = 0;
   DWORD values = 0;
   status = RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't query registry key '" + key + "' : " + errorText(status), kSource);
   return static_cast<int32_t>(subKeys + values);
}

void VoRegistry::setVal(SxString const& key, SxString const& value, Item::RegValType type,
                        SxString const& data) {
   if (!contains(key))
      mkdir_p(key);
   const KeyPath path = parseKeyPath(key);
   KeyHandle handle;
   const LSTATUS openStatus = openKey(path, KEY_WRITE, &handle);
   if (openStatus != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' for writing : " +
                            SxString(static_cast<long>(openStatus)) + ":" + errorText(openStatus),
                        kSource);
   std::vector<BYTE> bytes;
   const DWORD winType = textToData(type, data, &bytes);
   const LSTATUS status =
       RegSetValueExW(handle.get(), value.utf16().elements(), 0, winType,
                      bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()));
   if (status != ERROR_SUCCESS)
      throw SxException("Can't set registry key '" + key + " value '" + value + "' to '" + data +
                            "' : " + errorText(status),
                        kSource);
}

void VoRegistry::mkdir_p(SxString const& key) {
   const KeyPath path = resolveForCreating(key);
   // One open handle per level below the root, closed deepest first.
   std::vector<KeyHandle> levels;
   levels.reserve(static_cast<std::size_t>(path.names.getSize()));
   struct CloseDeepestFirst {
      std::vector<KeyHandle>& levels;
      ~CloseDeepestFirst() {
         while (!levels.empty())
            levels.pop_back();
      }
   } closer{levels};
   for (const SxString& name : path.names) {
      const HKEY parent = levels.empty() ? path.root : levels.back().get();
      KeyHandle level;
      const LSTATUS status =
          RegCreateKeyExW(parent, name.utf16().elements(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, level.out(), nullptr);
      if (status != ERROR_SUCCESS)
         throw SxException("Can't create registry key '" + key + "' : " + "Level '" + name +
                               "' Error : " + SxString(static_cast<long>(status)) + " : " +
                               errorText(status),
                           kSource);
      levels.push_back(std::move(level));
   }
}

void VoRegistry::rm(SxString const& key, SxString const& value) {
   if (!contains(key, value))
      return;
   const KeyPath path = parseKeyPath(key);
   const LSTATUS status =
       RegDeleteKeyValueW(path.root, path.subPath.utf16().elements(), value.utf16().elements());
   if (status != ERROR_SUCCESS)
      throw SxException("Can't delete value '" + value + "' in registry key '" + key +
                            "' : " + errorText(status),
                        kSource);
}

void VoRegistry::rm_rf(SxString const& key) {
   if (!contains(key))
      return;
   if (!isWritable(key))
      throw SxException("User rights not sufficient to remove '" + key + "'", kSource);
   const KeyPath path = parseKeyPath(key);
   const LSTATUS status = RegDeleteTreeW(path.root, path.subPath.utf16().elements());
   if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      throw SxException("Can't delete registry tree " + key + errorText(status), kSource);
}

void VoRegistry::rmdir(SxString const& key) {
   if (contains(key) && getNElems(key) == 0)
      rm_rf(key);
}

// ---------------------------------------------------------------------------------------------
// The description file, the capture import, the driver path and the batches.

namespace {

// Descriptions of the foundation's JSON exception tags, registered while the library is loaded.
const SxExceptionEntry voJsonExceptionTags[] = {
    {"ParserKit", "FileIOError", "message : SxString"},
    {"ParserKit", "ParseError", "message : SxString"},
    {"SxSymbol", "IOError", "message : SxString"},
    {"SxSymbol", "InvalidInput", "message : SxString"},
    {"SxSymbol", "InvalidOperation", "message : SxString"},
    {"SchemaValidation", "ValidationError", "message : SxString"}};

constexpr char kPlaceholder[] = "{{VODRIVE}}";

// The device-control library, loaded on first use and kept for the life of the process. A
// library that cannot be loaded leaves the entries null, and every driver call then fails.
struct Driver {
   decltype(&voDriveCreateRegKey) createKey = nullptr;
   decltype(&voDriveSetRegKeyValue) setValue = nullptr;
   decltype(&voDriveRemoveRegKeyValue) removeValue = nullptr;
};

const Driver& driver() {
   static const Driver loaded = [] {
      Driver d;
      if (HMODULE module = LoadLibraryW(SxString("vodevctl.dll").utf16().elements())) {
         d.createKey = reinterpret_cast<decltype(d.createKey)>(
             reinterpret_cast<void*>(GetProcAddress(module, "voDriveCreateRegKey")));
         d.setValue = reinterpret_cast<decltype(d.setValue)>(
             reinterpret_cast<void*>(GetProcAddress(module, "voDriveSetRegKeyValue")));
         d.removeValue = reinterpret_cast<decltype(d.removeValue)>(
             reinterpret_cast<void*>(GetProcAddress(module, "voDriveRemoveRegKeyValue")));
      }
      return d;
   }();
   return loaded;
}

const VoDevChar16* driverText(SxArray<SxChar16> const& units) {
   return reinterpret_cast<const VoDevChar16*>(units.elements());
}

// The NT key path prefix of a root that the driver serves, or null for the other roots.
const char* ntPrefix(HKEY root) {
   if (root == HKEY_LOCAL_MACHINE)
      return "\\Registry\\Machine\\";
   if (root == HKEY_USERS)
      return "\\Registry\\User\\";
   return nullptr;
}

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
      SxFileIO io;
      io.open(path, "rb", 0600);
      const SxString text = io.readUtf8();
      io.close();
      SxJSONParser data;
      data.readString(text, path);
      SxJSONParser schema;
      schema.readFile(schemaPath);
      SxSchema(schema.getAst()).validate(data.getAst());

      const SxParserKit::SxSymbol root = data.getRootSymbol();
      if (root.getElem("version", true).toInt() != 2)
         throw SxException("File version of '" + path + "' not supported.", kSource);
      ItemList items;
      const SxParserKit::SxSymbol registry = root.getElem("registry", false);
      if (registry.isValid()) {
         for (SxParserKit::SxSymbol const& entry : registry.toList()) {
            Item item;
            item.key = entry.getElem("key", true).toString();
            item.value = entry.getElem("value", true).toString();
            item.data = entry.getElem("data", true).toString();
            item.type = Item::string2Type(entry.getElem("regType", true).toString());
            items.append(item);
         }
      }
      return items;
   } catch (SxException const& e) {
      throw SxException(e, "Failed to read file " + path, kSource);
   }
}

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
   const SxSed driveToPlaceholder(drive, kPlaceholder, "g");

   // The lines are the non-empty pieces between line feeds, the first being the header. They
   // are taken one at a time, and matched as views into the capture, so that a line costs
   // copies only for what its Item keeps: a large capture is dominated by those copies.
   const std::string& text = content.str();
   ItemList items;
   items.reserve(std::count(text.begin(), text.end(), '\n'));
   std::vector<std::string_view> op, parts, type, data;
   std::string path;
   bool header = true;
   for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      if (end == std::string::npos)
         end = text.size();
      if (end == start)
         continue;
      if (header) {
         header = false;
         continue;
      }
      const std::string_view line = std::string_view(text).substr(start, end - start);
      if (operation.matchViews(line, &op) != 2)
         throw patternFailure(SxString(line), operationPattern, op);
      path.assign(op[1]);
      std::replace(path.begin(), path.end(), '\\', '/');
      if (pathParts.matchViews(path, &parts) != 3)
         throw patternFailure(SxString(path), pathPattern, parts);
      Item item;
      item.key = driveToPlaceholder.subst(SxString(parts[1]));
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
         item.data = jsonStringForm(driveToPlaceholder.subst(SxString(dataText)));
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

void VoRegistry::setValAsAdmin(SxString const& key, SxString const& value, Item::RegValType type,
                               SxString const& data) {
   if (!contains(key))
      mkdir_pAsAdmin(key);
   const KeyPath path = parseKeyPath(key);
   const char* prefix = ntPrefix(path.root);
   if (!prefix) {
      setVal(key, value, type, data);
      return;
   }
   std::vector<BYTE> bytes;
   const DWORD winType = textToData(type, data, &bytes);
   const SxArray<SxChar16> ntPath = (SxString(prefix) + path.subPath).utf16();
   const SxArray<SxChar16> name = value.utf16();
   const Driver& d = driver();
   if (!d.setValue || d.setValue(driverText(ntPath), driverText(name), winType,
                                 bytes.empty() ? nullptr : bytes.data(), bytes.size()) != 0)
      throw SxException("Cannot set registry value: VARGEN Driver error", kSource);
}

void VoRegistry::mkdir_pAsAdmin(SxString const& key) {
   const KeyPath path = resolveForCreating(key);
   const char* prefix = ntPrefix(path.root);
   if (!prefix) {
      mkdir_p(key);
      return;
   }
   const Driver& d = driver();
   SxString parent = prefix;
   SxList<SxString> done;
   for (SxString const& name : path.names) {
      if (!d.createKey || d.createKey(driverText(parent.utf16()), driverText(name.utf16())) != 0)
         throw SxException("Cannot create registry key: VARGEN Driver error", kSource);
      done.append(name);
      parent = prefix + SxString::join(done, "\\");
   }
}

void VoRegistry::rmAsAdmin(SxString const& key, SxString const& value) {
   if (!contains(key, value))
      return;
   const KeyPath path = parseKeyPath(key);
   const char* prefix = ntPrefix(path.root);
   if (!prefix) {
      rm(key, value);
      return;
   }
   const Driver& d = driver();
   if (!d.removeValue || d.removeValue(driverText((SxString(prefix) + path.subPath).utf16()),
                                       driverText(value.utf16())) != 0)
      throw SxException("Cannot delete registry value: VARGEN Driver error", kSource);
}

void VoRegistry::createRegEntries(ItemList const& items, SxString const& drive) {
   const SxSed fillDrive(kPlaceholder, drive, "g");
   for (Item const& item : items) {
      if (!isWritable(item.key))
         throw SxException(SxString::sprintf("VoRegistry : Insufficient rights to write [%s], "
                                             "please run as admin. \n",
                                             item.key.utf8()),
                           kSource);
      setVal(fillDrive.subst(item.key), fillDrive.subst(item.value), item.type,
             fillDrive.subst(item.data));
   }
}

void VoRegistry::removeRegEntries(ItemList const& items) {
   for (Item const& item : items) {
      if (!isWritable(item.key))
         throw SxException(SxString::sprintf("VoRegistry : Insufficient rights to remove [%s], "
                                             "please run as admin.\n",
                                             item.key.utf8()),
                           kSource);
      rm(item.key, item.value);
   }
}

void VoRegistry::createRegEntriesAsAdmin(ItemList const& items, SxString const& drive) {
   const SxSed fillDrive(kPlaceholder, drive, "g");
   for (Item const& item : items)
      setValAsAdmin(fillDrive.subst(item.key), fillDrive.subst(item.value), item.type,
                    fillDrive.subst(item.data));
}

void VoRegistry::removeRegEntriesAsAdmin(ItemList const& items) {
   for (Item const& item : items)
      rmAsAdmin(item.key, item.value);
}
