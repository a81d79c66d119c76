#include <common/Messages.h>
#include <gtest/gtest.h>
#include <regex>
#include <sx/SxMd5.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

using vo::test::messagesOf;

TEST(VoSysEnvTime, TheClocksAgree) {
   const int64_t std1 = VoSysEnv::getStdTime();
   const auto sys = static_cast<int64_t>(VoSysEnv::getSysTime());
   const int64_t std2 = VoSysEnv::getStdTime();
   EXPECT_LE(std1, sys + 1);
   EXPECT_LE(sys, std2 + 1);
   EXPECT_EQ(VoSysEnv::getLocalTime() % 1000, 0) << "whole seconds";
}

TEST(VoSysEnvTime, TimeStampsShowTheSameFieldsAsText) {
   const std::regex shape("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
   for (int attempt = 0; attempt < 3; ++attempt) {
      const SxString text = VoSysEnv::getTimestamp();
      const VoSysEnv::VoTimestamp t = VoSysEnv::getVoTimestamp();
      ASSERT_TRUE(std::regex_match(text.str(), shape)) << text;
      const SxString fields = SxString::sprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                                                t.day, t.hour, t.minute, t.second);
      if (fields == text || fields == VoSysEnv::getTimestamp())
         return; // the second may turn between the two readings
   }
   ADD_FAILURE() << "getVoTimestamp never matched getTimestamp";
}

TEST(VoSysEnvTime, UnixTimesFormatInLocalTimeWithoutMilliseconds) {
   const VoSysEnv::VoTimestamp unset;
   EXPECT_EQ(unset.year, -1);
   EXPECT_EQ(unset.second, -1);
   // Every zone in use is a whole number of minutes away from UTC, so the seconds show as is.
   EXPECT_EQ(VoSysEnv::unixTimeToString(1500, "%S"), "01");
   EXPECT_EQ(VoSysEnv::unixTimeToString(1999, "%S"), "01");
   EXPECT_EQ(VoSysEnv::unixTimeToString(61000, "%M:%S"), "01:01");
   EXPECT_EQ(VoSysEnv::unixTimeToString(0, ""), "");
}

TEST(VoSysEnvIdentity, GuidsAreRandomVersion4Uuids) {
   const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
   const SxString a = VoSysEnv::getNewGUID();
   EXPECT_TRUE(std::regex_match(a.str(), shape)) << a;
   EXPECT_NE(a, VoSysEnv::getNewGUID());
}

TEST(VoSysEnvIdentity, HostUserAndAdapters) {
   EXPECT_FALSE(VoSysEnv::getHostname().isEmpty());
   EXPECT_FALSE(VoSysEnv::getUsername().isEmpty());
   const SxList<SxString> adapters = VoSysEnv::getAdaptersId();
   const std::regex shape("([0-9A-F]{2}-){5}[0-9A-F]{2}");
   for (std::ptrdiff_t i = 0; i < adapters.getSize(); ++i) {
      EXPECT_TRUE(std::regex_match(adapters(i).str(), shape)) << adapters(i);
      if (i > 0) {
         EXPECT_LE(adapters(i - 1), adapters(i));
      }
   }
}

TEST(VoSysEnvIdentity, MachineIdComesFromTheRegistry) {
   const SxString key = "HKLM/SOFTWARE/MORV";
   const bool had = VoRegistry::isVal(key, "MachineGuid");
   const SxString before = had ? VoRegistry::getVal(key, "MachineGuid") : SxString();
   VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, "machine-1");
   EXPECT_EQ(VoSysEnv::getMachineId(), "machine-1");
   EXPECT_EQ(VoSysEnv::getUserId(), SxMd5::get("machine-1"));
   EXPECT_EQ(VoSysEnv::getUserId(), VoSysEnv::getUserId());
   VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, "machine-2");
   EXPECT_NE(VoSysEnv::getUserId(), SxMd5::get("machine-1"));
   VoRegistry::rm(key, "MachineGuid");
   EXPECT_EQ(
       messagesOf([] { (void)VoSysEnv::getMachineId(); }),
       std::vector<std::string>{"Cannot read machine id from >HKLM/SOFTWARE/MORV/MachineGuid<"});
   if (had)
      VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, before);
}

TEST(VoSysEnvIdentity, UserKeysPerApplication) {
   const SxString app = "VoutilTest-" + VoSysEnv::getNewGUID();
   const SxString key = "HKCU/Software/MORV/Apps/" + app;
   EXPECT_EQ(VoSysEnv::getUserKey(app), "");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 0);

   VoSysEnv::setUserKey(app, "K-123");
   EXPECT_EQ(VoSysEnv::getUserKey(app), "K-123");
   EXPECT_EQ(VoRegistry::getVal(key, "userkey"), "K-123");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 0);
   VoRegistry::setVal(key, "FeedbackProvided", VoRegistry::Item::Sz, "1");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 1);
   VoRegistry::setVal(key, "FeedbackProvided", VoRegistry::Item::DWord, "7");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 7);
   VoRegistry::rm_rf(key);
}

} // namespace
