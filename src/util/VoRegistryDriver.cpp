// The driver path (the AsAdmin operations) and the four batches over lists of Items.

#include "VoRegistryInternal.h"

#include <string>
#include <sx/SxException.h>
#include <vector>
#include <vodevctl.h>

using voregistry::KeyPath;
using voregistry::kPlaceholder;
using voregistry::kSource;
using voregistry::resolve;
using voregistry::RootPolicy;

namespace {

// The device-control library, loaded on first use and kept for the life of the process. A
// library that cannot be loaded leaves the entries null, and every driver call then fails.
struct Driver {
   decltype(&voDriveCreateRegKey) createKey = nullptr;
   decltype(&voDriveSetRegKeyValue) setValue = nullptr;
   decltype(&voDriveRemoveRegKeyValue) removeValue = nullptr;
};

// Loads the device-control library from this library's own directory, by full path. A bare name
// would be searched for in the program's directory, the current directory and PATH, where a
// host whose program lives elsewhere misses it and anyone may plant one of the same name.
HMODULE loadDriverLibrary() {
   HMODULE self = nullptr;
   if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&loadDriverLibrary), &self))
      return nullptr;
   std::vector<WCHAR> file(260);
   DWORD length = 0;
   // A result that fills the buffer is cut: retry with more room, up to the longest path.
   while ((length = GetModuleFileNameW(self, file.data(), static_cast<DWORD>(file.size()))) ==
          file.size()) {
      if (file.size() >= 32768)
         return nullptr;
      file.resize(file.size() * 2);
   }
   std::basic_string<WCHAR> path(file.data(), length);
   const WCHAR separators[] = {'\\', '/', 0};
   const std::size_t last = path.find_last_of(separators);
   if (length == 0 || last == path.npos)
      return nullptr;
   path.resize(last + 1);
   const SxArray<SxChar16> name = SxString("vodevctl.dll").utf16();
   path.append(name.elements(), static_cast<std::size_t>(name.getSize() - 1));
   return LoadLibraryExW(path.c_str(), nullptr,
                         LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

const Driver& driver() {
   static const Driver loaded = [] {
      Driver d;
      if (HMODULE module = loadDriverLibrary()) {
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

// Creates every level of the key path through the driver, the existing ones included.
void createLevelsThroughDriver(KeyPath const& path, const char* prefix) {
   const Driver& d = driver();
   SxString parent = prefix;
   SxString below;
   for (SxString const& name : path.names) {
      if (!d.createKey || d.createKey(driverText(parent.utf16()), driverText(name.utf16())) != 0)
         throw SxException("Cannot create registry key: VARGEN Driver error", kSource);
      below = below.isEmpty() ? name : below + "\\" + name;
      parent = prefix + below;
   }
}

} // namespace

void VoRegistry::setValAsAdmin(SxString const& key, SxString const& value, Item::RegValType type,
                               SxString const& data) {
   const KeyPath path = *resolve(key, RootPolicy::Set);
   const char* prefix = ntPrefix(path.root);
   if (!prefix) {
      setVal(key, value, type, data);
      return;
   }
   if (!voregistry::keyExists(path))
      createLevelsThroughDriver(path, prefix);
   std::vector<BYTE> bytes;
   const DWORD winType = voregistry::textToData(type, data, &bytes);
   const SxArray<SxChar16> ntPath = (SxString(prefix) + path.subPath).utf16();
   const SxArray<SxChar16> name = value.utf16();
   const Driver& d = driver();
   if (!d.setValue || d.setValue(driverText(ntPath), driverText(name), winType,
                                 bytes.empty() ? nullptr : bytes.data(), bytes.size()) != 0)
      throw SxException("Cannot set registry value: VARGEN Driver error", kSource);
}

void VoRegistry::mkdir_pAsAdmin(SxString const& key) {
   const KeyPath path = *resolve(key, RootPolicy::Create);
   if (const char* prefix = ntPrefix(path.root))
      createLevelsThroughDriver(path, prefix);
   else
      voregistry::createLevels(path);
}

void VoRegistry::rmAsAdmin(SxString const& key, SxString const& value) {
   const auto path = resolve(key, RootPolicy::Question);
   if (!path || !voregistry::holds(*path, value))
      return;
   const char* prefix = ntPrefix(path->root);
   if (!prefix) {
      rm(key, value);
      return;
   }
   const Driver& d = driver();
   if (!d.removeValue || d.removeValue(driverText((SxString(prefix) + path->subPath).utf16()),
                                       driverText(value.utf16())) != 0)
      throw SxException("Cannot delete registry value: VARGEN Driver error", kSource);
}

namespace {

// The three texts of an Item with every placeholder replaced by the drive text, which is taken
// literally: backslashes, "$" and "\1" in it are its own characters.
struct Filled {
   Filled(VoRegistry::Item const& item, SxString const& drive)
       : key(item.key.substitute(kPlaceholder, drive)),
         value(item.value.substitute(kPlaceholder, drive)),
         data(item.data.substitute(kPlaceholder, drive)) {}
   SxString key;
   SxString value;
   SxString data;
};

// The rights test of the direct batches, which creates a missing key. The two batches end their
// messages differently: a blank before the newline when writing, none when removing.
void requireWritable(SxString const& key, const char* action, const char* ending) {
   if (!VoRegistry::isWritable(key))
      throw SxException("VoRegistry : Insufficient rights to " + SxString(action) + " [" + key +
                            "], please run as admin." + ending,
                        kSource);
}

} // namespace

void VoRegistry::createRegEntries(ItemList const& items, SxString const& drive) {
   for (Item const& item : items) {
      requireWritable(item.key, "write", " \n");
      const Filled filled(item, drive);
      setVal(filled.key, filled.value, item.type, filled.data);
   }
}

void VoRegistry::removeRegEntries(ItemList const& items) {
   for (Item const& item : items) {
      requireWritable(item.key, "remove", "\n");
      rm(item.key, item.value);
   }
}

void VoRegistry::createRegEntriesAsAdmin(ItemList const& items, SxString const& drive) {
   for (Item const& item : items) {
      const Filled filled(item, drive);
      setValAsAdmin(filled.key, filled.value, item.type, filled.data);
   }
}

void VoRegistry::removeRegEntriesAsAdmin(ItemList const& items) {
   for (Item const& item : items)
      rmAsAdmin(item.key, item.value);
}
