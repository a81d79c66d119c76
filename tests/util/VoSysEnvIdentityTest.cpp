#include <common/Messages.h>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <regex>
#include <sx/SxMd5.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

TEST(VoSysEnvTime, TheClocksAgree) {
   const int64_t std1 = VoSysEnv::getStdTime();
   const auto sys = static_cast<int64_t>(VoSysEnv::getSysTime());
   const int64_t std2 = VoSysEnv::getStdTime();
   EXPECT_LE(std1, sys + 1);
   EXPECT_LE(sys, std2 + 1);
   EXPECT_EQ(VoSysEnv::getLocalTime() % 1000, 0) << "whole seconds";
}

#ifndef _WIN32
TEST(VoSysEnvTime, LocalTimeShiftsByTheZoneAsMktimeDoes) {
   const char* before = std::getenv("TZ");
   const std::string saved = before ? before : "";
   ::setenv("TZ", "AHEAD-1", 1); // an hour east of UTC
   ::tzset();
   const int64_t now = VoSysEnv::getStdTime() / 1000 * 1000;
   const int64_t local = VoSysEnv::getLocalTime();
   EXPECT_GE(local + 3600000, now);
   EXPECT_LE(local + 3600000, now + 1000);
   if (before)
      ::setenv("TZ", saved.c_str(), 1);
   else
      ::unsetenv("TZ");
   ::tzset();
}
#endif

TEST(VoSysEnvTime, TimeStampsShowTheSameFieldsAsText) {
   SxString text, fields;
   int attempts = 0;
   do { // the second may turn between the two readings
      text = VoSysEnv::getTimestamp();
      const VoSysEnv::VoTimestamp t = VoSysEnv::getVoTimestamp();
      fields = SxString::sprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                                 t.minute, t.second);
   } while (fields != text && ++attempts < 3);
   EXPECT_EQ(fields, text);
   EXPECT_TRUE(std::regex_match(
       text.str(), std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}")));
}

TEST(VoSysEnvTime, UnixTimesFormatInLocalTimeWithoutMilliseconds) {
   EXPECT_EQ(VoSysEnv::VoTimestamp().second, -1) << "unset";
   // Every zone in use is a whole number of minutes away from UTC, so the seconds show as is.
   EXPECT_EQ(VoSysEnv::unixTimeToString(1999, "%S"), "01");
   EXPECT_EQ(VoSysEnv::unixTimeToString(61000, "%M:%S"), "01:01");
   EXPECT_EQ(VoSysEnv::unixTimeToString(0, ""), "");
}

TEST(VoSysEnvIdentity, GuidsHostAndUser) {
   const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
   const SxString guid = VoSysEnv::getNewGUID();
   EXPECT_TRUE(std::regex_match(guid.str(), shape)) << guid;
   EXPECT_NE(guid, VoSysEnv::getNewGUID());
   EXPECT_FALSE(VoSysEnv::getHostname().isEmpty());
   EXPECT_FALSE(VoSysEnv::getUsername().isEmpty());
}

TEST(VoSysEnvIdentity, MachineIdComesFromTheRegistry) {
   const SxString key = "HKLM/SOFTWARE/MORV";
   const bool had = VoRegistry::isVal(key, "MachineGuid");
   const SxString before = had ? VoRegistry::getVal(key, "MachineGuid") : SxString();
   VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, "machine-1");
   EXPECT_EQ(VoSysEnv::getMachineId(), "machine-1");
   EXPECT_EQ(VoSysEnv::getUserId(), SxMd5::get("machine-1"));
   VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, "machine-2");
   EXPECT_EQ(VoSysEnv::getUserId(), SxMd5::get("machine-2"));
   VoRegistry::rm(key, "MachineGuid");
   EXPECT_EQ(
       vo::test::messagesOf([] { (void)VoSysEnv::getMachineId(); }),
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
   EXPECT_EQ(VoRegistry::getVal(key, "userkey"), "K-123");
   EXPECT_EQ(VoSysEnv::getUserKey(app), "K-123");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 0);
   VoRegistry::setVal(key, "FeedbackProvided", VoRegistry::Item::DWord, "7");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 7);
   VoRegistry::rm_rf(key);
}

} // namespace
