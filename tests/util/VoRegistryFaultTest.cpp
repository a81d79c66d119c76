// The failure messages of VoRegistry that need the store to fail: the registry backend is
// wrapped so that one chosen call returns a chosen status. POSIX only.

#include <Cli.h>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/RegistryScratch.h>
#include <common/TempDir.h>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sx/SxError.h>
#include <vodevctl.h>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;
using Op = vo::test::FaultInjectingRegistryBackend::Op;
using namespace vo::test;

const auto error = [](LSTATUS status) { return sxstrerror(status).str(); };

class VoRegistryFault : public ::testing::Test {
protected:
   ScratchStore store;
   FaultInjectingRegistryBackend* faults = store.faults.get();
   RegistryScratch scratch;
   const SxString key = scratch.key();
   const std::string k = key.str(); // for building expected messages
};

TEST_F(VoRegistryFault, AFailedStoreCallFailsTheOperationWithItsMessage) {
   const voutil::cli::Args list{"list", key};
   const struct {
      Op op;
      LSTATUS status;
      int skip; // calls of op that still succeed
      std::function<void()> call;
      std::string message;
   } cases[] = {
       // The value grows between the size query and the data query.
       {Op::QueryValue, ERROR_MORE_DATA, 1, [&] { (void)VoRegistry::getVal(key, "v"); },
        "Can't read registry value 'v' in key '" + k + "' : " + error(ERROR_MORE_DATA)},
       {Op::QueryInfo, ERROR_BADDB, 0, [&] { (void)VoRegistry::getNElems(key); },
        "Can't query registry key '" + k + "' : " + error(ERROR_BADDB)},
       {Op::SetValue, ERROR_DISK_FULL, 0, [&] { VoRegistry::setVal(key, "d", Item::DWord, "12"); },
        "Can't set registry key '" + k + " value 'd' to '12' : " + error(ERROR_DISK_FULL)},
       // Below HKCU: Software, VoutilTest and the test's key come first.
       {Op::CreateKey, ERROR_BUSY, 3, [&] { VoRegistry::mkdir_p(key + "/a/b"); },
        "Can't create registry key '" + k + "/a/b' : Level 'a' Error : 170 : " + error(ERROR_BUSY)},
       {Op::DeleteTree, ERROR_ACCESS_DENIED, 0, [&] { VoRegistry::rm_rf(key); },
        "Can't delete registry tree " + k + error(ERROR_ACCESS_DENIED)},
       {Op::DeleteTree, ERROR_FILE_NOT_FOUND, 0, [&] { VoRegistry::rm_rf(key); },
        "<nothing thrown>"},
       // The reg verb's listing reports a failed subkey enumeration instead of listing the
       // values as if there were no subkeys.
       {Op::EnumKey, ERROR_BADDB, 0, [&] { (void)voutil::cli::runReg(list); },
        "Can't list registry key '" + k + "' : " + error(ERROR_BADDB)},
   };
   for (const auto& c : cases) {
      VoRegistry::setVal(key + "/Sub", "w", Item::Sz, "y");
      VoRegistry::setVal(key, "v", Item::Sz, "x");
      faults->failCall(c.op, c.status, c.skip);
      EXPECT_EQ(messageOf(c.call), c.message);
      EXPECT_TRUE(faults->fired()) << c.message;
      VoRegistry::rm_rf(key);
   }
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

// A machine store the user may not write, as for a user who is not root, holding the value v
// of HKLM/SOFTWARE/Vendor. On POSIX the device-control library writes the machine store with
// the caller's own rights, so the driver path fails too.
TEST(VoRegistryReadOnlyMachine, WritesAreRefusedWithTheirMessages) {
   TempDir dir;
   {
      ScopedRegistryBackend writable(
          voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path())));
      VoRegistry::setVal("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "x");
      VoRegistry::mkdir_pAsAdmin("HKU/S-1-5-20/Other"); // the driver serves both machine roots
   }
   ScopedRegistryBackend readOnly(
       voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path(), true)));
   const std::string denied = error(ERROR_ACCESS_DENIED);
   EXPECT_TRUE(VoRegistry::isReadable("HKLM/SOFTWARE/Vendor"));
   EXPECT_FALSE(VoRegistry::isWritable("HKLM/SOFTWARE/Vendor"));
   const std::pair<std::function<void()>, std::string> cases[] = {
       {[] { VoRegistry::setVal("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "y"); },
        "Can't open registry key 'HKLM/SOFTWARE/Vendor' for writing : 5:" + denied},
       {[] { VoRegistry::rm_rf("HKLM/SOFTWARE/Vendor"); },
        "User rights not sufficient to remove 'HKLM/SOFTWARE/Vendor'"},
       {[] { VoRegistry::rm("HKLM/SOFTWARE/Vendor", "v"); },
        "Can't delete value 'v' in registry key 'HKLM/SOFTWARE/Vendor' : " + denied},
       {[] { VoRegistry::setValAsAdmin("HKLM/SOFTWARE/Vendor", "v", Item::Sz, "y"); },
        "Cannot set registry value: VARGEN Driver error"},
       {[] { VoRegistry::mkdir_pAsAdmin("HKU/S-1-5-20/Other"); },
        "Cannot create registry key: VARGEN Driver error"},
       {[] { VoRegistry::rmAsAdmin("HKLM/SOFTWARE/Vendor", "v"); },
        "Cannot delete registry value: VARGEN Driver error"},
   };
   for (const auto& [call, message] : cases)
      EXPECT_EQ(messageOf(call), message);
}

// The driver's C calls answer every failure with a status: no exception reaches a C caller. The
// registry call below the driver already turns the exception into its internal-error status.
TEST(VoDevCtl, AnExceptionBelowTheDriverBecomesAStatus) {
   struct Throwing : voplatform::ForwardingRegistryBackend {
      using ForwardingRegistryBackend::ForwardingRegistryBackend;
      LSTATUS rootKey(HKEY, voplatform::KeyRef*) override { throw std::runtime_error("broken"); }
   };
   const TempDir dir;
   ScopedRegistryBackend installed(
       std::make_shared<Throwing>(voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path()))));
   const char16_t* key = u"\\Registry\\Machine\\SOFTWARE";
   for (const int32_t status :
        {voDriveCreateRegKey(key, u"k"), voDriveSetRegKeyValue(key, u"v", REG_SZ, u"", 2),
         voDriveRemoveRegKeyValue(key, u"v")})
      EXPECT_EQ(status, ERROR_INTERNAL_ERROR);
}

} // namespace
