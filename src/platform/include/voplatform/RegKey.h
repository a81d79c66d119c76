#pragma once

// Registry keys for the library, the tool and the tests on both platforms: the handle that
// closes itself, and the predefined root of each root abbreviation. Not part of the installed
// interface.

#include <string_view>
#include <utility>
#include <windows.h>

namespace voplatform {

/// Owns one open registry key and closes it with RegCloseKey when the object goes, is reset or
/// is assigned another key. Never give it a predefined root key such as HKEY_CURRENT_USER: those
/// are not opened, so they must not be closed.
class RegKey {
public:
   RegKey() noexcept = default;
   /// Takes ownership of an open key.
   explicit RegKey(HKEY key) noexcept : key_(key) {}
   ~RegKey() { reset(); }
   RegKey(RegKey&& other) noexcept : key_(other.release()) {}
   RegKey& operator=(RegKey&& other) noexcept {
      if (this != &other)
         reset(other.release());
      return *this;
   }
   RegKey(const RegKey&) = delete;
   RegKey& operator=(const RegKey&) = delete;

   /// The key held, or null.
   [[nodiscard]] HKEY get() const noexcept { return key_; }
   /// True when a key is held.
   explicit operator bool() const noexcept { return key_ != nullptr; }

   /// Closes the key held, if any, and holds key instead (none by default).
   void reset(HKEY key = nullptr) noexcept {
      if (HKEY old = std::exchange(key_, key))
         RegCloseKey(old);
   }
   /// Gives up the key without closing it; the caller closes it.
   [[nodiscard]] HKEY release() noexcept { return std::exchange(key_, nullptr); }
   /// Closes the key held and gives the place where a registry call stores the key it opens.
   /// A call that fails leaves the place null.
   [[nodiscard]] PHKEY receive() noexcept {
      reset();
      return &key_;
   }

private:
   HKEY key_ = nullptr;
};

/// The predefined root key of a root abbreviation of the key-path syntax ("HKCR", "HKCU",
/// "HKLM", "HKU" or "HKCC", compared whole and case-sensitively), or null for any other text.
inline HKEY predefinedRoot(std::string_view abbreviation) {
   static const struct {
      std::string_view abbreviation;
      HKEY root;
   } kRoots[] = {{"HKCR", HKEY_CLASSES_ROOT},
                 {"HKCU", HKEY_CURRENT_USER},
                 {"HKLM", HKEY_LOCAL_MACHINE},
                 {"HKU", HKEY_USERS},
                 {"HKCC", HKEY_CURRENT_CONFIG}};
   for (const auto& entry : kRoots)
      if (abbreviation == entry.abbreviation)
         return entry.root;
   return nullptr;
}

} // namespace voplatform
