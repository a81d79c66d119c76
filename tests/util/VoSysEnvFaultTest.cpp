// The system-environment failures that need the system to fail: the platform layer's seams make
// one chosen call fail with a chosen status. POSIX only.

#include <common/FaultInjectingRegistryBackend.h>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sx/SxError.h>
#include <voplatform/TestSeams.h>
#include <voutil/VoLog.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

using vo::test::messagesOf;
using Strings = std::vector<std::string>;

class VoSysEnvFault : public ::testing::Test {
protected:
   void TearDown() override {
      voplatform::clearInjectedFailures();
      voplatform::setAdapterAddresses(std::nullopt);
   }
};

TEST_F(VoSysEnvFault, AFailedProcessSnapshotFindsNothing) {
   // Only the drive search logs, and only a snapshot that cannot be taken.
   vo::test::TempDir dir;
   {
      VoLog log{SxString(dir.file("walk.log"))};
      log.disableLogToStdOut();
      for (const char* call : {"CreateToolhelp32Snapshot", "Process32FirstW"}) {
         voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
         EXPECT_EQ(messagesOf([] { (void)VoSysEnv::getRunningProcNames(); }),
                   Strings{"Cannot obtain list of running processes"})
             << call;
         voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
         EXPECT_FALSE(VoSysEnv::isProcRunning(VoSysEnv::getExecName())) << call;
         voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
         EXPECT_EQ(VoSysEnv::getProcessID(VoSysEnv::getExecName(), 60000),
                   VoSysEnv::kProcessNotFound)
             << call << ": a failed walk ends the search";
         voplatform::failNextCall(call, ERROR_ACCESS_DENIED);
         EXPECT_FALSE(VoSysEnv::isProcOnDriveRunning("/")) << call;
      }
      EXPECT_TRUE(VoSysEnv::isProcOnDriveRunning("/")) << "this test runs from somewhere";
   }
   const std::string log = vo::test::readFile(dir.file("walk.log"));
   EXPECT_EQ(log.substr(log.find(" [")), " [util] : Failed to create Process snapshot\n");
}

TEST_F(VoSysEnvFault, ElevationQueriesThatFail) {
   voplatform::failNextCall("OpenProcessToken", ERROR_ACCESS_DENIED);
   EXPECT_EQ(messagesOf([] { (void)VoSysEnv::isElevated(); }),
             Strings{"Cannot create process token for query elevation: " +
                     sxstrerror(ERROR_ACCESS_DENIED).str()});
   voplatform::failNextCall("GetTokenInformation", ERROR_INVALID_PARAMETER);
   EXPECT_EQ(messagesOf([] { (void)VoSysEnv::isElevated(); }),
             Strings{"Cannot get token information for query elevation: " +
                     sxstrerror(ERROR_INVALID_PARAMETER).str()});
}

TEST_F(VoSysEnvFault, IdentityFallsBackWhenTheSystemCannotTell) {
   voplatform::failNextCall("gethostname", ERROR_ACCESS_DENIED);
   EXPECT_EQ(VoSysEnv::getHostname(), "localhost");
   voplatform::failNextCall("GetUserNameW", ERROR_NONE_MAPPED);
   EXPECT_EQ(VoSysEnv::getUsername(), "nobody");
}

TEST_F(VoSysEnvFault, AdaptersAreSortedAndShowSixBytes) {
   using Bytes = std::vector<BYTE>;
   voplatform::setAdapterAddresses(std::vector<Bytes>{
       {0x0A, 0x00, 0x27, 0x00, 0x00, 0x05}, {0x00, 0x15, 0x5D, 0x01, 0x02, 0x03}, {0x0A, 0x00}});
   EXPECT_EQ(VoSysEnv::getAdaptersId(),
             (SxList<SxString>{"00-15-5D-01-02-03", "0A-00-00-00-00-00", "0A-00-27-00-00-05"}))
       << "a two-byte address shows the zero bytes that follow it";
   voplatform::setAdapterAddresses(std::vector<Bytes>(33, Bytes{1, 2, 3, 4, 5, 6}));
   EXPECT_TRUE(VoSysEnv::getAdaptersId().isEmpty()) << "more than fit in the buffer";
   voplatform::setAdapterAddresses(std::vector<Bytes>(32, Bytes{1, 2, 3, 4, 5, 6}));
   EXPECT_EQ(VoSysEnv::getAdaptersId().getSize(), 32) << "repeats are kept";
   voplatform::setAdapterAddresses(std::vector<Bytes>{});
   EXPECT_TRUE(VoSysEnv::getAdaptersId().isEmpty()) << "the system reports no data";
}

TEST_F(VoSysEnvFault, UserKeysWrapTheRegistryFailure) {
   using Op = vo::test::FaultInjectingRegistryBackend::Op;
   vo::test::TempDir dir;
   auto faults = std::make_shared<vo::test::FaultInjectingRegistryBackend>(
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path())));
   vo::test::ScopedRegistryBackend installed{faults};
   VoSysEnv::setUserKey("App", "k");
   VoRegistry::setVal("HKCU/Software/MORV/Apps/App", "FeedbackProvided", VoRegistry::Item::DWord,
                      "1");
   // A read fails at the read after the look.
   const auto expectWrapped = [&](Op op, const char* message, const std::function<void()>& call) {
      faults->failCall(op, ERROR_DISK_FULL, op == Op::QueryValue ? 1 : 0);
      EXPECT_THAT(messagesOf(call), ::testing::ElementsAre(message, ::testing::_));
      EXPECT_TRUE(faults->fired());
   };
   expectWrapped(Op::SetValue, "Failed to write user key",
                 [] { VoSysEnv::setUserKey("App", "k"); });
   expectWrapped(Op::QueryValue, "Failed to read user key",
                 [] { (void)VoSysEnv::getUserKey("App"); });
   expectWrapped(Op::QueryValue, "Failed to read user key",
                 [] { (void)VoSysEnv::isQuestionaireAnswered("App"); });
}

} // namespace
