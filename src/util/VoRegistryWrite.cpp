// Writing and removal on the direct path, with the data conversion for writing.

#include "VoLittleEndian.h"
#include "VoRegistryInternal.h"

#include <sx/SxError.h>
#include <sx/SxException.h>

using voplatform::RegKey;
using voregistry::KeyPath;
using voregistry::kSource;
using voregistry::resolve;
using voregistry::RootPolicy;

namespace {

// Little-endian bytes of an unsigned number of width bytes.
template <class T>
std::vector<BYTE> littleEndian(T number) {
   std::vector<BYTE> bytes(sizeof(T));
   vo::le::store(reinterpret_cast<char*>(bytes.data()), number);
   return bytes;
}

} // namespace

namespace voregistry {

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

void createLevels(KeyPath const& path) {
   // One handle, on the level just made; the one above is closed as each level is done.
   RegKey parent;
   for (const SxString& name : path.names) {
      RegKey level;
      const LSTATUS status =
          RegCreateKeyExW(parent ? parent.get() : path.root, name.utf16().elements(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, level.receive(), nullptr);
      if (status != ERROR_SUCCESS)
         throw SxException("Can't create registry key '" + path.text + "' : " + "Level '" + name +
                               "' Error : " + SxString(static_cast<long>(status)) + " : " +
                               sxstrerror(status),
                           kSource);
      parent = std::move(level);
   }
}

} // namespace voregistry

void VoRegistry::setVal(SxString const& key, SxString const& value, Item::RegValType type,
                        SxString const& data) {
   const KeyPath path = *resolve(key, RootPolicy::Set);
   if (!voregistry::keyExists(path))
      voregistry::createLevels(path);
   RegKey handle;
   const LSTATUS openStatus = voregistry::openKey(path, KEY_WRITE, &handle);
   if (openStatus != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' for writing : " +
                            SxString(static_cast<long>(openStatus)) + ":" + sxstrerror(openStatus),
                        kSource);
   std::vector<BYTE> bytes;
   const DWORD winType = voregistry::textToData(type, data, &bytes);
   const LSTATUS status =
       RegSetValueExW(handle.get(), value.utf16().elements(), 0, winType,
                      bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()));
   if (status != ERROR_SUCCESS)
      throw SxException("Can't set registry key '" + key + " value '" + value + "' to '" + data +
                            "' : " + sxstrerror(status),
                        kSource);
}

void VoRegistry::mkdir_p(SxString const& key) {
   voregistry::createLevels(*resolve(key, RootPolicy::Create));
}

void VoRegistry::rm(SxString const& key, SxString const& value) {
   const auto path = resolve(key, RootPolicy::Question);
   if (!path || !voregistry::holds(*path, value))
      return;
   const LSTATUS status =
       RegDeleteKeyValueW(path->root, path->subPath.utf16().elements(), value.utf16().elements());
   if (status != ERROR_SUCCESS)
      throw SxException("Can't delete value '" + value + "' in registry key '" + key +
                            "' : " + sxstrerror(status),
                        kSource);
}

void VoRegistry::rm_rf(SxString const& key) {
   const auto path = resolve(key, RootPolicy::Question);
   if (!path || !voregistry::keyExists(*path))
      return;
   if (!isWritable(key))
      throw SxException("User rights not sufficient to remove '" + key + "'", kSource);
   const LSTATUS status = RegDeleteTreeW(path->root, path->subPath.utf16().elements());
   if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      throw SxException("Can't delete registry tree " + key + sxstrerror(status), kSource);
}

void VoRegistry::rmdir(SxString const& key) {
   if (contains(key) && getNElems(key) == 0)
      rm_rf(key);
}
