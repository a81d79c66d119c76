// The failure messages of VoRegistry that need the store to fail: the registry backend is
// wrapped so that one chosen call returns a chosen status. POSIX only.

#include <Cli.h>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/RegistryScratch.h>
#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;
using Op = vo::test::FaultInjectingRegistryBackend::Op;
using vo::test::messageOf;

const std::string kDenied = sxstrerror(ERROR_ACCESS_DENIED).str();

class VoRegistryFault : public ::testing::Test {
protected:
   vo::test::TempDir dir;
   std::shared_ptr<vo::test::FaultInjectingRegistryBackend> faults =
       std::make_shared<vo::test::FaultInjectingRegistryBackend>(
           voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
   vo::test::ScopedRegistryBackend installed{faults};
   vo::test::RegistryScratch scratch;
   const SxString key = scratch.key();
   const std::string k = key.str(); // for building expected messages

   void TearDown() override { EXPECT_TRUE(faults->fired()) << "the failure was never asked for"; }
};

TEST_F(VoRegistryFault, ValueGrowingBetweenSizeAndDataQuery) {
   VoRegistry::setVal(key, "v", Item::Sz, "x");
   faults->failCall(Op::QueryValue, ERROR_MORE_DATA, 1);
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getVal(key, "v"); }),
             "Can't read registry value 'v' in key '" + k +
                 "' : " + sxstrerror(ERROR_MORE_DATA).str());
}

TEST_F(VoRegistryFault, CountingFails) {
   VoRegistry::mkdir_p(key);
   faults->failCall(Op::QueryInfo, ERROR_BADDB);
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::getNElems(key); }),
             "Can't query registry key '" + k + "' : " + sxstrerror(ERROR_BADDB).str());
}

TEST_F(VoRegistryFault, OpeningForWritingFails) {
   VoRegistry::mkdir_p(key);
   faults->failCall(Op::OpenKey, ERROR_ACCESS_DENIED, 1); // after contains() has looked
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::Sz, "x"); }),
             "Can't open registry key '" + k + "' for writing : 5:" + kDenied);
}

TEST_F(VoRegistryFault, SettingFails) {
   faults->failCall(Op::SetValue, ERROR_DISK_FULL);
   EXPECT_EQ(messageOf([&] { VoRegistry::setVal(key, "v", Item::DWord, "12"); }),
             "Can't set registry key '" + k +
                 " value 'v' to '12' : " + sxstrerror(ERROR_DISK_FULL).str());
   EXPECT_FALSE(VoRegistry::isVal(key, "v"));
}

TEST_F(VoRegistryFault, CreatingALevelFailsAndKeepsTheLevelsBefore) {
   // Below HKCU: Software, VoutilTest, the test's key, then "a" as the fourth level.
   faults->failCall(Op::CreateKey, ERROR_BUSY, 3);
   EXPECT_EQ(messageOf([&] { VoRegistry::mkdir_p(key + "/a/b"); }),
             "Can't create registry key '" + k +
                 "/a/b' : Level 'a' Error : 170 : " + sxstrerror(ERROR_BUSY).str());
   EXPECT_TRUE(VoRegistry::contains(key));
   EXPECT_FALSE(VoRegistry::contains(key + "/a"));
}

TEST_F(VoRegistryFault, DeletingAValueFails) {
   VoRegistry::setVal(key, "v", Item::Sz, "x");
   faults->failCall(Op::DeleteValue, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::rm(key, "v"); }),
             "Can't delete value 'v' in registry key '" + k + "' : " + kDenied);
   EXPECT_TRUE(VoRegistry::isVal(key, "v"));
}

TEST_F(VoRegistryFault, DeletingATreeFailsWithoutASeparator) {
   VoRegistry::mkdir_p(key + "/a");
   faults->failCall(Op::DeleteTree, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::rm_rf(key); }),
             "Can't delete registry tree " + k + kDenied);
   EXPECT_TRUE(VoRegistry::contains(key + "/a"));
}

TEST_F(VoRegistryFault, ATreeThatIsAlreadyGoneIsNoError) {
   VoRegistry::mkdir_p(key);
   faults->failCall(Op::DeleteTree, ERROR_FILE_NOT_FOUND);
   EXPECT_NO_THROW(VoRegistry::rm_rf(key));
}

TEST_F(VoRegistryFault, QuestionsAnswerFalseOnAnyFailure) {
   VoRegistry::setVal(key, "v", Item::Sz, "x");
   faults->failCall(Op::OpenKey, ERROR_BADDB);
   EXPECT_FALSE(VoRegistry::contains(key));
   faults->failCall(Op::QueryValue, ERROR_BADDB);
   EXPECT_FALSE(VoRegistry::isVal(key, "v"));
   faults->failCall(Op::CreateKey, ERROR_BADDB);
   EXPECT_FALSE(VoRegistry::isWritable(key));
}

// A machine store the user may not write, as for a user who is not root.
class VoRegistryReadOnlyMachine : public ::testing::Test {
protected:
   vo::test::TempDir dir;
};

TEST_F(VoRegistryReadOnlyMachine, WritesAreRefusedWithTheirMessages) {
   {
      vo::test::ScopedRegistryBackend writable(
          voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
      VoRegistry::setVal("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "x");
   }
   vo::test::ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path(), true)));
   EXPECT_EQ(VoRegistry::getVal("HKLM/SOFTWARE/Vendor", "v"), "x");
   EXPECT_TRUE(VoRegistry::isReadable("HKLM/SOFTWARE/Vendor"));
   EXPECT_FALSE(VoRegistry::isWritable("HKLM/SOFTWARE/Vendor"));
   EXPECT_EQ(messageOf([] { VoRegistry::setVal("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "y"); }),
             "Can't open registry key 'HKLM/SOFTWARE/Vendor' for writing : 5:" + kDenied);
   EXPECT_EQ(messageOf([] { VoRegistry::rm_rf("HKLM/SOFTWARE/Vendor"); }),
             "User rights not sufficient to remove 'HKLM/SOFTWARE/Vendor'");
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_p("HKLM/SOFTWARE/Other"); }),
             "Can't create registry key 'HKLM/SOFTWARE/Other' : Level 'SOFTWARE' Error : 5 : " +
                 kDenied);
   EXPECT_EQ(messageOf([] { VoRegistry::rm("HKLM/SOFTWARE/Vendor", "v"); }),
             "Can't delete value 'v' in registry key 'HKLM/SOFTWARE/Vendor' : " + kDenied);
}

// On POSIX the device-control library writes the machine store with the caller's own rights.
TEST_F(VoRegistryReadOnlyMachine, AsAdminWritesGiveTheDriverErrors) {
   {
      vo::test::ScopedRegistryBackend writable(
          voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
      VoRegistry::setVal("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "x");
   }
   vo::test::ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path(), true)));
   EXPECT_EQ(
       messageOf([] { VoRegistry::setValAsAdmin("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "y"); }),
       "Cannot set registry value: VARGEN Driver error");
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_pAsAdmin("HKU/S-1-5-20/Other"); }),
             "Cannot create registry key: VARGEN Driver error");
   EXPECT_EQ(messageOf([] { VoRegistry::rmAsAdmin("HKLM/SOFTWARE/Vendor", "v"); }),
             "Cannot delete registry value: VARGEN Driver error");
   EXPECT_EQ(VoRegistry::getVal("HKLM/SOFTWARE/Vendor", "v"), "x");
}

TEST(VoRegistryLimits, AnOverlongKeyNameFailsAtItsLevel) {
   vo::test::TempDir dir;
   vo::test::ScopedRegistryBackend store(
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
   const SxString name(std::string(257, 'n'));
   EXPECT_EQ(messageOf([&] { VoRegistry::mkdir_p("HKCU/ok/" + name); }),
             "Can't create registry key 'HKCU/ok/" + name.str() + "' : Level '" + name.str() +
                 "' Error : 87 : " + sxstrerror(ERROR_INVALID_PARAMETER).str());
   EXPECT_TRUE(VoRegistry::contains("HKCU/ok"));
}

// The device-control library writes through the same store, so failing a store call fails the
// driver.
TEST_F(VoRegistryFault, DriverWriteFailsAsADriverError) {
   const SxString machineKey = "HKLM/SOFTWARE/VoutilDriverFault/X";
   VoRegistry::mkdir_p(machineKey);
   faults->failCall(Op::SetValue, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::setValAsAdmin(machineKey, "v", Item::Sz, "t"); }),
             "Cannot set registry value: VARGEN Driver error");
}

TEST_F(VoRegistryFault, DriverLevelFailsAndKeepsTheLevelsBefore) {
   faults->failCall(Op::CreateKey, ERROR_ACCESS_DENIED, 1);
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_pAsAdmin("HKLM/SOFTWARE/VoutilDriverFault/X"); }),
             "Cannot create registry key: VARGEN Driver error");
   EXPECT_TRUE(VoRegistry::contains("HKLM/SOFTWARE"));
   EXPECT_FALSE(VoRegistry::contains("HKLM/SOFTWARE/VoutilDriverFault"));
}

TEST_F(VoRegistryFault, DriverRemovalFailsAsADriverError) {
   const SxString machineKey = "HKLM/SOFTWARE/VoutilDriverFault/X";
   VoRegistry::setVal(machineKey, "v", Item::Sz, "t");
   faults->failCall(Op::DeleteValue, ERROR_ACCESS_DENIED);
   EXPECT_EQ(messageOf([&] { VoRegistry::rmAsAdmin(machineKey, "v"); }),
             "Cannot delete registry value: VARGEN Driver error");
   EXPECT_TRUE(VoRegistry::isVal(machineKey, "v"));
}

// The reg verb's listing reports a failed subkey enumeration instead of listing the values
// as if there were no subkeys.
TEST_F(VoRegistryFault, ListingFailsWhenSubkeysCannotBeEnumerated) {
   VoRegistry::setVal(key + "/Sub", "w", Item::Sz, "y");
   VoRegistry::setVal(key, "v", Item::Sz, "x");
   faults->failCall(Op::EnumKey, ERROR_BADDB);
   EXPECT_EQ(messageOf([&] {
                (void)voutil::cli::runReg({"list", key});
             }),
             "Can't list registry key '" + k + "' : " + sxstrerror(ERROR_BADDB).str());
}

} // namespace
