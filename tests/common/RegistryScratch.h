#pragma once

// A scratch key of its own for one registry test, removed with everything below it when the
// test ends. Works against any registry, so the same tests run on Windows and on our store.

#include <chrono>
#include <common/Messages.h>
#include <gtest/gtest.h>
#include <string>
#include <sx/SxException.h>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace vo::test {

class RegistryScratch {
public:
   RegistryScratch() {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
      key_ = SxString("HKCU/Software/VoutilTest/") + (info ? info->name() : "t") + "-" +
             SxString(static_cast<long long>(stamp));
   }
   ~RegistryScratch() {
      try {
         VoRegistry::rm_rf(key_);
      } catch (const SxException& e) {
         ADD_FAILURE() << "cleanup: " << e.what();
      }
   }
   RegistryScratch(const RegistryScratch&) = delete;
   RegistryScratch& operator=(const RegistryScratch&) = delete;

   /// The scratch key path, or a path below it.
   [[nodiscard]] SxString key(const SxString& below = SxString()) const {
      return below.isEmpty() ? key_ : key_ + "/" + below;
   }

   /// The scratch key, made if need be, opened with access past the library.
   [[nodiscard]] voplatform::RegKey open(REGSAM access) const {
      VoRegistry::mkdir_p(key_);
      const SxString sub = key_.substitute("HKCU/", "").substitute("/", "\\");
      voplatform::RegKey opened;
      EXPECT_EQ(
          RegOpenKeyExW(HKEY_CURRENT_USER, sub.utf16().elements(), 0, access, opened.receive()),
          ERROR_SUCCESS);
      return opened;
   }

private:
   SxString key_;
};

} // namespace vo::test
