// Failures of the device-control library, made by failing the store call it relies on.

#include <common/FaultInjectingRegistryBackend.h>
#include <common/RegistryScratch.h>
#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;
using Op = vo::test::FaultInjectingRegistryBackend::Op;
using vo::test::messageOf;

class DriverFault : public ::testing::Test {
protected:
   vo::test::TempDir dir;
   std::shared_ptr<vo::test::FaultInjectingRegistryBackend> faults =
       std::make_shared<vo::test::FaultInjectingRegistryBackend>(
           voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
   vo::test::ScopedRegistryBackend installed{faults};
   const SxString key = "HKLM/SOFTWARE/VoutilDriverFault/X";

   void TearDown() override { EXPECT_TRUE(faults->fired()) << "the failure was never asked for"; }
};

TEST_F(DriverFault, AFailedWriteIsReportedAsADriverError) {
   VoRegistry::mkdir_p(key);
   faults->failCall(Op::SetValue, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::setValAsAdmin(key, "v", Item::Sz, "t"); }),
             "Cannot set registry value: VARGEN Driver error");
}

TEST_F(DriverFault, AFailedLevelStopsTheKeyPathAndKeepsTheLevelsBefore) {
   faults->failCall(Op::CreateKey, ERROR_ACCESS_DENIED, 1);
   EXPECT_EQ(messageOf([&] { VoRegistry::mkdir_pAsAdmin(key); }),
             "Cannot create registry key: VARGEN Driver error");
   EXPECT_TRUE(VoRegistry::contains("HKLM/SOFTWARE"));
   EXPECT_FALSE(VoRegistry::contains("HKLM/SOFTWARE/VoutilDriverFault"));
}

TEST_F(DriverFault, AFailedRemovalIsReportedAsADriverError) {
   VoRegistry::setVal(key, "v", Item::Sz, "t");
   faults->failCall(Op::DeleteValue, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::rmAsAdmin(key, "v"); }),
             "Cannot delete registry value: VARGEN Driver error");
   EXPECT_TRUE(VoRegistry::isVal(key, "v"));
}

} // namespace
