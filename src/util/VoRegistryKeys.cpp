// Key paths with their root rules, and the operations that only read.

#include "VoLittleEndian.h"
#include "VoRegistryInternal.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <voplatform/RegKey.h>

using voplatform::RegKey;
using voregistry::KeyPath;
using voregistry::kSource;
using voregistry::RootPolicy;

namespace {

// The messages for the reserved root and for an unknown root, one row per policy, in the order
// of RootPolicy. "{root}" stands for the root abbreviation as written and "{key}" for the whole
// key path; a null message means the operation answers without raising.
constexpr struct {
   const char* reserved;
   const char* unknown;
} kRootRules[] = {
    /* Question */ {nullptr, "Unknown registry root key '{root}' in key '{key}'."},
    /* Readable */ {"Hidden registry root key in {key}", "Unknown registry root key in {key}"},
    /* Value    */
    {"Forbidden registry root key '{root}' in key '{key}'.",
     "Unknown registry root key '{root}' in key '{key}'."},
    /* Count    */ {nullptr, "Unknown registry root key {key}"},
    /* Create   */ {"Forbidden registry root key.", "Unknown registry root key {key}"},
    /* Set      */
    {"Forbidden registry root key.", "Unknown registry root key '{root}' in key '{key}'."},
};
static_assert(std::size(kRootRules) == static_cast<std::size_t>(RootPolicy::Set) + 1,
              "one row of root rules per policy");

// A root-rule message with its placeholders filled in; the inserted texts are not searched.
SxString rootMessage(std::string_view pattern, SxString const& root, SxString const& key) {
   std::string message;
   for (std::size_t pos = 0; pos < pattern.size();) {
      if (pattern.substr(pos, 6) == "{root}") {
         message += root.str();
         pos += 6;
      } else if (pattern.substr(pos, 5) == "{key}") {
         message += key.str();
         pos += 5;
      } else {
         message += pattern[pos++];
      }
   }
   return SxString(std::move(message));
}

// The number held by the first bytes of data, least significant byte first.
uint64_t readLittleEndian(SxArray<unsigned char> const& data, std::size_t width) {
   char bytes[sizeof(uint64_t)] = {};
   const auto available = static_cast<std::size_t>(data.getSize());
   const std::size_t n = std::min({available, width, sizeof bytes});
   if (n > 0)
      std::memcpy(bytes, data.elements(), n);
   return vo::le::load<uint64_t>(bytes);
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

} // namespace

namespace voregistry {

std::optional<KeyPath> resolve(SxString const& key, RootPolicy policy) {
   SxList<SxString> tokens = key.tokenize("/", false);
   const SxString rootName = tokens.isEmpty() ? SxString() : tokens.first();
   const auto& rules = kRootRules[static_cast<int>(policy)];
   if (rootName == "REGISTRY") {
      if (!rules.reserved)
         return std::nullopt;
      throw SxException(rootMessage(rules.reserved, rootName, key), kSource);
   }
   if (const HKEY root = voplatform::predefinedRoot(rootName.str())) {
      KeyPath path{key, root, {}, {}};
      for (std::ptrdiff_t i = 1; i < tokens.getSize(); ++i)
         path.names.append(std::move(tokens(i)));
      path.subPath = SxString::join(path.names, "\\");
      return path;
   }
   throw SxException(rootMessage(rules.unknown, rootName, key), kSource);
}

LSTATUS openKey(KeyPath const& path, REGSAM access, RegKey* key) {
   return RegOpenKeyExW(path.root, path.subPath.utf16().elements(), 0, access, key->receive());
}

bool keyExists(KeyPath const& path) {
   RegKey handle;
   return openKey(path, KEY_READ, &handle) == ERROR_SUCCESS;
}

bool holds(KeyPath const& path, SxString const& value) {
   RegKey handle;
   if (openKey(path, KEY_READ, &handle) != ERROR_SUCCESS)
      return false;
   const SxArray<SxChar16> name = value.utf16();
   if (RegQueryValueExW(handle.get(), name.elements(), nullptr, nullptr, nullptr, nullptr) ==
       ERROR_SUCCESS)
      return true;
   RegKey subKey;
   return RegOpenKeyExW(handle.get(), name.elements(), 0, KEY_READ, subKey.receive()) ==
          ERROR_SUCCESS;
}

} // namespace voregistry

using voregistry::openKey;
using voregistry::resolve;

bool VoRegistry::contains(SxString const& key) {
   const auto path = resolve(key, RootPolicy::Question);
   return path && voregistry::keyExists(*path);
}

bool VoRegistry::contains(SxString const& key, SxString const& value) {
   const auto path = resolve(key, RootPolicy::Question);
   return path && voregistry::holds(*path, value);
}

bool VoRegistry::isReadable(SxString const& key) {
   return voregistry::keyExists(*resolve(key, RootPolicy::Readable));
}

bool VoRegistry::isWritable(SxString const& key) {
   const auto path = resolve(key, RootPolicy::Question);
   if (!path)
      return false;
   RegKey handle;
   return RegCreateKeyExW(path->root, path->subPath.utf16().elements(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, handle.receive(),
                          nullptr) == ERROR_SUCCESS;
}

bool VoRegistry::isVal(SxString const& key, SxString const& value) {
   const KeyPath path = *resolve(key, RootPolicy::Value);
   RegKey handle;
   if (openKey(path, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
      return false;
   DWORD type = 0;
   DWORD size = 0;
   return RegQueryValueExW(handle.get(), value.utf16().elements(), nullptr, &type, nullptr,
                           &size) == ERROR_SUCCESS;
}

SxString VoRegistry::getVal(SxString const& key, SxString const& value) {
   const KeyPath path = *resolve(key, RootPolicy::Value);
   RegKey handle;
   LSTATUS status = openKey(path, KEY_QUERY_VALUE, &handle);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + sxstrerror(status), kSource);
   const SxArray<SxChar16> name = value.utf16();
   DWORD type = 0;
   DWORD size = 0;
   status = RegQueryValueExW(handle.get(), name.elements(), nullptr, &type, nullptr, &size);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't query registry key value '" + value + "' in key '" + key +
                            "' : " + sxstrerror(status),
                        kSource);
   SxArray<unsigned char> data(static_cast<std::ptrdiff_t>(size));
   status = RegQueryValueExW(handle.get(), name.elements(), nullptr, &type, data.elements(), &size);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't read registry value '" + value + "' in key '" + key +
                            "' : " + sxstrerror(status),
                        kSource);
   data.resize(static_cast<std::ptrdiff_t>(size));
   return dataToText(type, data);
}

int32_t VoRegistry::getNElems(SxString const& key) {
   const auto path = resolve(key, RootPolicy::Count);
   if (!path)
      return 0;
   RegKey handle;
   LSTATUS status = openKey(*path, KEY_QUERY_VALUE, &handle);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + sxstrerror(status), kSource);
   DWORD subKeys = 0;
   DWORD values = 0;
   status = RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't query registry key '" + key + "' : " + sxstrerror(status), kSource);
   return static_cast<int32_t>(subKeys + values);
}
