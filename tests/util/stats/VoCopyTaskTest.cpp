#include <chrono>
#include <common/FaultInjectingOS.h>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sx/SxFS.h>
#include <thread>
#include <vector>
#include <voutil/VoCopyTask.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace vo::test;
using Range = VoFileCopyTask::Range;

std::string randomBytes(std::size_t n, unsigned seed) {
   std::mt19937 random(seed);
   std::string bytes(n, '\0');
   for (char& c : bytes)
      c = static_cast<char>(random());
   return bytes;
}

SxString md5Of(const std::string& bytes) {
   SxMd5 md5;
   md5.update(bytes.data(), static_cast<int64_t>(bytes.size()));
   return md5.get();
}

// Records every count the task adds; optionally asks for a stop after some pieces.
class RecordingTask : public VoFileCopyTask {
public:
   using VoFileCopyTask::VoFileCopyTask;
   std::vector<unsigned long long> pieces;
   std::size_t stopAfter = 0;

   void addNCurrent(unsigned long long n) override {
      VoFileCopyTask::addNCurrent(n);
      pieces.push_back(n);
      if (pieces.size() == stopAfter)
         stop();
   }
};

class VoCopyTask : public ::testing::Test {
protected:
   TempDir dir;
   const std::string src = dir.file("src.bin");
   const std::string dest = dir.file("dest.bin");
   const std::string content = randomBytes(3000000, 1);

   void SetUp() override { writeFile(src, content); }

   // Runs the task; the messages it fails with, if it does.
   static Messages run(VoFileCopyTask& task) {
      task.start();
      return messagesOf([&] { task.wait(); });
   }
};

// Ranges are copied in order: a later one overwrites, one past the end extends. The digest
// follows the copying order and is closed once the last byte is copied.
TEST_F(VoCopyTask, RangesPatchInOrderAndTheDigestFollowsTheCopyingOrder) {
   const std::string patched = content.substr(0, 2) + content.substr(200, 4) +
                               std::string(84, '.') + content.substr(10, 20);
   const std::string inCopyOrder =
       content.substr(10, 20) + content.substr(0, 5) + content.substr(200, 4);
   const struct {
      const char* what;
      bool destinationExists;
      SxArray<Range> ranges;
      std::string after, digested;
   } cases[] = {
       {"patches", true, {{10, 90, 20}, {0, 0, 5}, {7, 3, 0}, {200, 2, 4}}, patched, inCopyOrder},
       {"no ranges", false, {}, "", ""},
   };
   for (const auto& c : cases) {
      std::filesystem::remove(dest);
      if (c.destinationExists)
         writeFile(dest, std::string(100, '.'));
      VoFileCopyTask task(src.c_str(), dest.c_str(), c.ranges);
      EXPECT_EQ(run(task), Messages{}) << c.what;
      EXPECT_EQ(readFile(dest), c.after) << c.what;
      EXPECT_EQ(task.getMD5().get(), md5Of(c.digested)) << c.what;
      EXPECT_EQ(task.getMD5().isClosed(), !c.digested.empty()) << c.what;
   }
#ifndef _WIN32
   const mode_t mask = ::umask(0);
   ::umask(mask);
   EXPECT_EQ(std::filesystem::status(dest).permissions(), std::filesystem::perms(0644 & ~mask))
       << "a missing destination is created";
#endif
}

TEST_F(VoCopyTask, FailuresAreWrappedAndWriteNothingUnread) {
   const std::string missing = dir.file("missing");
   VoFileCopyTask noSource(missing.c_str(), dest.c_str(), {{0, 0, 1}});
   EXPECT_EQ(run(noSource).size(), 2u);
   EXPECT_FALSE(std::filesystem::exists(dest));

   VoFileCopyTask pastTheEnd(src.c_str(), dest.c_str(), {{0, 0, 10}, {content.size() - 5, 10, 6}});
   const Messages messages = run(pastTheEnd);
   ASSERT_EQ(messages.size(), 2u);
   EXPECT_TRUE(messages[1].starts_with("Source file [" + src + "] ends inside a range"));
   EXPECT_EQ(readFile(dest), content.substr(0, 10)) << "nothing of the short range is written";
   EXPECT_EQ(pastTheEnd.getMD5().get(), SxMd5().get()) << "a failed run publishes nothing";

   std::filesystem::create_hard_link(src, dir.file("alias"));
   for (const std::string& same : {src, dir.file("alias")}) {
      VoFileCopyTask ontoItself(src.c_str(), same.c_str(), {{0, 10, 100}});
      EXPECT_EQ(run(ontoItself), (Messages{"Copy task failed",
                                           "Destination file [" + same + "] is the source file."}));
   }
   EXPECT_EQ(readFile(src), content);
}

TEST_F(VoCopyTask, WriteFaultsEndTheRunWithTheWriteErrorAndLeaveTheSource) {
   for (const WriteFault& fault : writeFaults(true)) {
      std::filesystem::remove(dest);
      VoFileCopyTask task(src.c_str(), dest.c_str(),
                          {{0, 0, 1000}, {1000, 1000, content.size() - 1000}});
      const Messages messages = fault.messagesOf([&] {
         task.start();
         task.wait();
      });
      EXPECT_EQ(readFile(src), content) << fault.what;
      EXPECT_EQ(messages,
                (fault.harmless() ? Messages{} : Messages{"Copy task failed", fault.on(dest)}))
          << fault.what;
      EXPECT_EQ(task.getMD5().get(), md5Of(fault.harmless() ? content : "")) << fault.what;
   }
}

TEST_F(VoCopyTask, AStopEndsTheRunQuietlyAfterThePieceThatHasBegun) {
   VoFileCopyTask stoppedFirst(dir.file("missing").c_str(), dest.c_str(), {{0, 0, 1}});
   stoppedFirst.stop();
   EXPECT_EQ(run(stoppedFirst), Messages{}) << "a stop was asked for: the missing source is not";

   RecordingTask task(src.c_str(), dest.c_str(), {{0, 0, 1000}, {1000, 1000, 2000}});
   task.stopAfter = 1;
   EXPECT_EQ(run(task), Messages{});
   EXPECT_EQ(task.pieces, std::vector<unsigned long long>{1000});
   EXPECT_EQ(readFile(dest), content.substr(0, 1000));
   EXPECT_FALSE(task.getMD5().isClosed());
   EXPECT_EQ(task.getMD5().get(), md5Of(content.substr(0, 1000)));
}

// Other threads watch, steer and stop the copy at a random moment; whatever was counted was
// copied and digested. The watcher reads the counts while the copy adds to them, so this is
// also where the thread sanitizer checks the monitor's locking.
TEST_F(VoCopyTask, AStopAtAnyMomentLeavesTheCountedPrefixAndItsDigest) {
   SxArray<Range> ranges;
   for (uint64_t at = 0; at < content.size(); at += 1000)
      ranges.append({at, at, 1000});
   std::mt19937 random(11);
   for (int round = 0; round < 4; ++round) {
      std::filesystem::remove(dest);
      VoFileCopyTask task(src.c_str(), dest.c_str(), ranges);
      const std::jthread watcher([&](const std::stop_token& finished) {
         while (!finished.stop_requested()) {
            task.setSpeed(1000);
            (void)task.getETA();
            (void)task.getMD5().get(); // a digest finished here while the copy feeds its own
         }
      });
      task.start();
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
      task.stop();
      task.wait();

      const auto counted = static_cast<std::size_t>(task.getNCurrent());
      EXPECT_EQ(readFile(dest), content.substr(0, counted)) << "round " << round;
      EXPECT_EQ(task.getMD5().get(), md5Of(content.substr(0, counted))) << "round " << round;
      EXPECT_EQ(task.getMD5().isClosed(), counted == content.size());
   }
}

#ifndef _WIN32
// The source is sparse and the destination discards, so the test pays for the digest alone. A
// hole in a memory file system reads without the kernel allocating pages for it, so the source
// goes there when the system has one. The destination is touched first, which the null device
// allows only to its owner.
TEST_F(VoCopyTask, ALongRangeIsCopiedInPiecesOfTheCopyBlock) {
   try {
      SxFSAction::touch("/dev/null");
   } catch (const SxException&) {
      GTEST_SKIP() << "the null device cannot be touched by this user";
   }
   const TempDir memory(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : dir.path());
   const std::string big = memory.file("sparse");
   writeFile(big, "");
   std::filesystem::resize_file(big, 1200000000);
   RecordingTask task(big.c_str(), "/dev/null", {{0, 0, 1200000000}});
   EXPECT_EQ(run(task), Messages{});
   EXPECT_EQ(task.pieces, (std::vector<unsigned long long>{512000000, 512000000, 176000000}));
   EXPECT_EQ(task.getMD5().get(), "53ee5aa5e9322d0c993470fb70e5bdec");
}
#endif

// The estimate is the rest over the speed, not clamped once the count passes the total; no
// speed gives no estimate.
TEST(VoTaskMon, TheEstimateIsTheRestOverTheSpeed) {
   VoFileCopyTask mon("unused", "unused", {});
   mon.setNTotal(1000);
   mon.setNCurrent(400);
   EXPECT_EQ(mon.getETA(), 0u);
   mon.setSpeed(7);
   EXPECT_EQ(mon.getETA(), 85u);
   mon.addNCurrent(10000);
   EXPECT_EQ(mon.getNCurrent(), 10400u);
   EXPECT_EQ(mon.getETA(), (1000ULL - 10400ULL) / 7);
}

} // namespace
