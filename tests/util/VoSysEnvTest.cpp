// The system environment's own answers: paths, clocks and time stamps, the identity of the machine
// and user, and the parallel loop.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <common/FaultInjectingOS.h>
#include <common/Messages.h>
#include <common/ScopedEnv.h>
#include <common/TempDir.h>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <sx/SxMd5.h>
#include <thread>
#include <tuple>
#include <vector>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

#ifndef _WIN32
#include <voplatform/TestSeams.h>
#endif

namespace {

namespace fs = std::filesystem;

TEST(VoSysEnvPaths, RootDefaultsToTheExecutableDirectoryAndDerivesTheOthers) {
   const SxString exec = VoSysEnv::getExecPath();
   EXPECT_TRUE(fs::is_regular_file((exec + "/" + VoSysEnv::getExecName()).str())) << exec;
   EXPECT_NE(exec.tail(1), "/");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), exec + "/");

   VoSysEnv::setRTERootDir("D:\\data\\root\\");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), "D:/data/root/");
   EXPECT_EQ(VoSysEnv::getConfigPath(), "D:/data/root//config");
   EXPECT_EQ(VoSysEnv::getSSLPath(), "D:/data/root/");
   EXPECT_EQ(VoSysEnv::getSearchPath(), "D:/data/root/");
   VoSysEnv::setRTERootDir("");
   EXPECT_EQ(VoSysEnv::getRTERootDir(), exec + "/");

   EXPECT_EQ(VoSysEnv::unifySlashes("\\\\server\\share//a\\/b"), "/server/share/a/b");
   EXPECT_EQ(VoSysEnv::unifyBackslashes("a//b\\\\c/\\d"), "a\\b\\c\\d");
}

TEST(VoSysEnvPaths, KnownFoldersAndTheWorkingDirectory) {
   EXPECT_EQ(VoSysEnv::getSysPath(VoSysEnv::LocalAppDataAlt),
             VoSysEnv::getSysPath(VoSysEnv::LocalAppData));
   for (int p = VoSysEnv::Documents; p <= VoSysEnv::Programs; ++p) {
      const SxString path = VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(p));
      EXPECT_FALSE(path.isEmpty()) << p;
      EXPECT_FALSE(path.contains("\\")) << path;
   }
   // A working directory outside every ANSI code page comes back whole.
   const fs::path before = fs::current_path();
   vo::test::TempDir dir;
   const fs::path here = dir.path() / fs::path(u8"w\u00f6rk-\u043a\u0430\u0442");
   fs::create_directory(here);
   fs::current_path(here);
   const SxString cwd = VoSysEnv::getCWD();
   const fs::path expected = fs::current_path();
   fs::current_path(before);
   EXPECT_EQ(fs::path(std::u8string(reinterpret_cast<const char8_t*>(cwd.utf8()))), expected);
   EXPECT_EXIT(VoSysEnv::getSysPath(static_cast<VoSysEnv::Path>(12)), ::testing::ExitedWithCode(1),
               "Abnormal program stop in file src/util/VoSysEnv at line");
}

TEST(VoSysEnvPaths, DataPathComesFromTheRegistryOrFallsBackToDownloads) {
   const SxString key = "HKCU/SOFTWARE/MORV/VARGEN-Library";
   VoRegistry::rm_rf(key);
   EXPECT_EQ(VoSysEnv::getDataPath(), VoSysEnv::getSysPath(VoSysEnv::Downloads) + "/LyPrefetch/");
   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\\\Cache");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E://Cache/") << "runs are not collapsed";
   VoRegistry::setVal(key, "Root", VoRegistry::Item::Sz, "E:\\Cache\\");
   EXPECT_EQ(VoSysEnv::getDataPath(), "E:/Cache/");
   VoRegistry::rm(key, "Root");
   EXPECT_THROW(VoSysEnv::getDataPath(), SxException) << "a key without the value";
   VoRegistry::rm_rf(key);
}

TEST(VoSysEnvTime, TheClocksAgreeAndTimeStampsShowLocalTime) {
   const int64_t earlier = VoSysEnv::getStdTime();
   const auto sys = static_cast<int64_t>(VoSysEnv::getSysTime());
   EXPECT_LE(earlier, sys + 1);
   EXPECT_LE(sys, VoSysEnv::getStdTime() + 1);
   EXPECT_EQ(VoSysEnv::getLocalTime() % 1000, 0) << "whole seconds";

   // The second may turn between the readings: the fields match the text before or after.
   const SxString before = VoSysEnv::getTimestamp();
   const VoSysEnv::VoTimestamp t = VoSysEnv::getVoTimestamp();
   const SxString fields = SxString::sprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                                             t.day, t.hour, t.minute, t.second);
   EXPECT_TRUE(fields == before || fields == VoSysEnv::getTimestamp()) << fields << " " << before;
   EXPECT_EQ(VoSysEnv::VoTimestamp().second, -1) << "unset";

   // Unix times show in local time without milliseconds. Every zone in use is a whole number of
   // minutes away from UTC, so the seconds show as is.
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
   EXPECT_EQ(VoSysEnv::getUserId(), SxMd5::get("machine-1")) << "the digest of the machine id";
   VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, "machine-2");
   EXPECT_EQ(VoSysEnv::getUserId(), SxMd5::get("machine-2"));
   VoRegistry::rm(key, "MachineGuid");
   EXPECT_EQ(
       vo::test::messagesOf([] { (void)VoSysEnv::getMachineId(); }),
       std::vector<std::string>{"Cannot read machine id from >HKLM/SOFTWARE/MORV/MachineGuid<"});
   if (had)
      VoRegistry::setVal(key, "MachineGuid", VoRegistry::Item::Sz, before);
}

TEST(VoSysEnvIdentity, FeedbackPerApplication) {
   const SxString app = "VoutilTest-" + VoSysEnv::getNewGUID();
   const SxString key = "HKCU/Software/MORV/Apps/" + app;
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 0);
   VoRegistry::setVal(key, "FeedbackProvided", VoRegistry::Item::DWord, "7");
   EXPECT_EQ(VoSysEnv::isQuestionaireAnswered(app), 7);
   VoRegistry::rm_rf(key);
}

using Range = std::pair<uint64_t, uint64_t>;
using Ranges = std::vector<Range>;

// The ranges parallelFor hands out, the workers' sorted (they begin in any order), then the
// calling thread's in the order it made them. They must follow each other from 0 to n, and the
// caller makes only the rest, or every range when the loop is not parallel.
Ranges checkedRanges(uint64_t n, bool parallel) {
   std::mutex mutex;
   Ranges workers, caller;
   const auto record = [&, callerId = std::this_thread::get_id()](uint64_t begin, uint64_t end) {
      std::lock_guard<std::mutex> lock(mutex);
      (std::this_thread::get_id() == callerId ? caller : workers).push_back({begin, end});
   };
   VoSysEnv::parallelFor(n, record, parallel);
   EXPECT_EQ(parallel ? caller.size() : workers.size(), parallel && n > 0 ? 1u : 0u) << "n = " << n;
   std::sort(workers.begin(), workers.end());
   workers.insert(workers.end(), caller.begin(), caller.end());
   uint64_t next = 0;
   for (const Range& r : workers) {
      EXPECT_EQ(r.first, next) << "gap or overlap, n = " << n;
      EXPECT_LE(r.first, r.second);
      next = r.second;
   }
   EXPECT_EQ(next, n);
   return workers;
}

TEST(VoSysEnvParallel, TheRangeIsCoveredOnceWithTheRestOnTheCaller) {
   for (const uint64_t n : {0u, 1u, 3u, 8u, 10u, 4999u})
      for (const bool parallel : {false, true})
         checkedRanges(n, parallel);
   EXPECT_EQ(Range(VoForSlice().begin, VoForSlice().end), Range(0, 0)) << "an idle slice";
}

// Workers use the caller's stack, so a failing slice (a worker's or the caller's) is raised only
// after every worker has ended.
TEST(VoSysEnvParallel, AFailureIsRaisedOnceEveryWorkerHasEnded) {
   for (const bool onCaller : {false, true}) {
      std::atomic<int> running = 0;
      const auto body = [&, callerId = std::this_thread::get_id()](uint64_t begin, uint64_t) {
         if (onCaller ? std::this_thread::get_id() == callerId : begin == 0)
            throw std::runtime_error("slice failed");
         ++running;
         std::this_thread::sleep_for(std::chrono::milliseconds(100));
         --running;
      };
      EXPECT_THROW(VoSysEnv::parallelFor(40, body, true), std::runtime_error);
      EXPECT_EQ(running, 0) << (onCaller ? "on the caller" : "on a worker");
   }
}

// A worker that cannot be started fails the loop, after the worker already started has ended.
TEST(VoSysEnvParallel, AWorkerThatCannotStartFailsTheLoopOnceTheStartedOnesEnd) {
   vo::test::FaultInjectingOS os;
   vo::test::ScopedOS installed(os);
   os.inject(SxOS::Call::StartThread, vo::test::FaultInjectingOS::Effect::Fail, EAGAIN, 1);
   std::atomic<int> ended = 0;
   const auto body = [&](uint64_t, uint64_t) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ++ended;
   };
   EXPECT_EQ(vo::test::messageOf([&] { VoSysEnv::parallelFor(40, body, true); }),
             std::string("Can't start a thread : ") + std::strerror(EAGAIN));
   EXPECT_EQ(ended, 1) << "only the first worker ran, and to its end";
}

#ifndef _WIN32
// The folder settings, the zone and the processor count come from the environment and the
// platform layer, which a test can set.

using vo::test::ScopedEnv;

TEST(VoSysEnvPaths, PosixKnownFoldersFollowTheXdgDirectories) {
   vo::test::TempDir home;
   const std::string h = home.path().string();
   const ScopedEnv homeVar("HOME", h.c_str());
   const ScopedEnv config("XDG_CONFIG_HOME", (h + "/cfg").c_str());
   const ScopedEnv data("XDG_DATA_HOME", nullptr);
   fs::create_directories(h + "/cfg");
   std::ofstream(h + "/cfg/user-dirs.dirs")
       << "# a comment\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\nXDG_DESKTOP_DIR=\"/abs/desk\"\n";
   const std::pair<VoSysEnv::Path, std::string> kFolders[] = {
       {VoSysEnv::Downloads, h + "/Fetched"},
       {VoSysEnv::Desktop, "/abs/desk"},
       {VoSysEnv::Documents, h + "/Documents"},
       {VoSysEnv::LocalAppData, h + "/.local/share"},
       {VoSysEnv::RoamingAppData, h + "/cfg"},
       {VoSysEnv::ProgramData, "/var/lib"},
       {VoSysEnv::Profile, h}};
   for (const auto& [folder, expected] : kFolders)
      EXPECT_EQ(VoSysEnv::getSysPath(folder).str(), expected) << folder;
}

TEST(VoSysEnvTime, LocalTimeShiftsByTheZoneAsMktimeDoes) {
   const ScopedEnv zone("TZ", "AHEAD-1"); // an hour east of UTC
   const int64_t now = VoSysEnv::getStdTime() / 1000 * 1000;
   const int64_t behind = now - VoSysEnv::getLocalTime(); // the second may turn in between
   EXPECT_TRUE(behind == 3600000 || behind == 3599000) << behind;
}

TEST(VoSysEnvParallel, SlicesFollowTheProcessorCount) {
   const std::tuple<DWORD, uint64_t, Ranges> kCases[] = {
       {4, 8, Ranges{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 8}}},
       {8, 3, Ranges{{0, 1}, {1, 2}, {2, 3}, {3, 3}}},
       {1, 5, Ranges{{0, 2}, {2, 4}, {4, 5}}},
       {1, 1, Ranges{{0, 1}, {1, 1}}},
       {8, 10, Ranges{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 10}}},
       {1, 0, Ranges{}},
   };
   for (const auto& [processors, n, expected] : kCases) {
      voplatform::setProcessorCount(processors);
      for (const bool parallel : {false, true})
         EXPECT_EQ(checkedRanges(n, parallel), expected)
             << processors << " processors, n = " << n << (parallel ? ", parallel" : "");
   }
   voplatform::setProcessorCount(0);
}
#endif

} // namespace
