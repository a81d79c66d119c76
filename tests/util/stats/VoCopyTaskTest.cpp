#include <atomic>
#include <chrono>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <filesystem>
#include <fstream>
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

using Range = VoFileCopyTask::Range;
using vo::test::messagesOf;
using vo::test::readFile;
using vo::test::TempDir;

void writeFile(const std::string& name, const std::string& content) {
   std::ofstream(name, std::ios::binary) << content;
}

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
   const std::string content = randomBytes(300000, 1);

   void SetUp() override { writeFile(src, content); }

   static void run(VoFileCopyTask& task) {
      task.start();
      task.wait();
   }
};

TEST_F(VoCopyTask, AWholeFileIntoAMissingDestinationIsAByteCopyWithTheFilesDigest) {
   VoFileCopyTask task(src.c_str(), dest.c_str(), {{0, 0, content.size()}});
   run(task);
   EXPECT_EQ(readFile(dest), content);
   const SxMd5 md5 = task.getMD5();
   EXPECT_TRUE(md5.isClosed());
   EXPECT_EQ(md5.get(), md5Of(content));
   EXPECT_EQ(task.getNTotal(), content.size());
   EXPECT_EQ(task.getNCurrent(), content.size());
   EXPECT_EQ(task.getETA(), 0u);
#ifndef _WIN32
   const mode_t mask = ::umask(0);
   ::umask(mask);
   struct stat st {};
   ASSERT_EQ(::stat(dest.c_str(), &st), 0);
   EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
#endif
}

TEST_F(VoCopyTask, RangesPatchInOrderAndTheDigestFollowsTheCopyingOrder) {
   writeFile(dest, std::string(100, '.'));
   const std::vector<Range> ranges = {{10, 90, 20}, {0, 0, 5}, {7, 3, 0}, {200, 2, 4}};
   VoFileCopyTask task(src.c_str(), dest.c_str(), SxArray<Range>(ranges.data(), 4));
   run(task);
   std::string expected(100, '.');
   expected.resize(110);
   expected.replace(90, 20, content.substr(10, 20)); // past the old end: extends
   expected.replace(0, 5, content.substr(0, 5));
   expected.replace(2, 4, content.substr(200, 4)); // a later range overwrites
   EXPECT_EQ(readFile(dest), expected);
   EXPECT_EQ(task.getMD5().get(),
             md5Of(content.substr(10, 20) + content.substr(0, 5) + content.substr(200, 4)));
   EXPECT_EQ(task.getNCurrent(), 29u);
}

TEST_F(VoCopyTask, NoRangesCreateTheDestinationAndPublishAFreshDigest) {
   VoFileCopyTask task(src.c_str(), dest.c_str(), {});
   run(task);
   EXPECT_TRUE(std::filesystem::exists(dest));
   EXPECT_EQ(readFile(dest), "");
   EXPECT_EQ(task.getNTotal(), 0u);
   EXPECT_FALSE(task.getMD5().isClosed());
   EXPECT_EQ(task.getMD5().get(), SxMd5().get());
}

TEST_F(VoCopyTask, FailuresAreWrappedAndWriteNothingUnread) {
   const std::string missing = dir.file("missing");
   VoFileCopyTask noSource(missing.c_str(), dest.c_str(), {{0, 0, 1}});
   noSource.start();
   EXPECT_EQ(
       messagesOf([&] { noSource.wait(); }),
       (std::vector<std::string>{"Copy task failed", "Source file [" + missing + "] not found."}));
   EXPECT_FALSE(std::filesystem::exists(dest));

   VoFileCopyTask pastTheEnd(src.c_str(), dest.c_str(), {{0, 0, 10}, {content.size() - 5, 10, 6}});
   pastTheEnd.start();
   const auto messages = messagesOf([&] { pastTheEnd.wait(); });
   ASSERT_EQ(messages.size(), 2u);
   EXPECT_EQ(messages[0], "Copy task failed");
   EXPECT_TRUE(messages[1].starts_with("Source file [" + src + "] ends inside a range"));
   EXPECT_EQ(readFile(dest), content.substr(0, 10)) << "nothing of the short range is written";
   EXPECT_EQ(pastTheEnd.getMD5().get(), SxMd5().get()) << "a failed run publishes nothing";

   VoFileCopyTask intoADirectory(src.c_str(), dir.path().string().c_str(), {{0, 0, 1}});
   intoADirectory.start();
   const auto open = messagesOf([&] { intoADirectory.wait(); });
   ASSERT_EQ(open.size(), 2u);
   EXPECT_TRUE(open[1].starts_with("Can't open file")) << open[1];
}

TEST_F(VoCopyTask, AStopEndsTheRunQuietlyAfterThePieceThatHasBegun) {
   VoFileCopyTask stoppedFirst(dir.file("missing").c_str(), dest.c_str(), {{0, 0, 1}});
   stoppedFirst.stop();
   run(stoppedFirst); // the missing source is not reported: a stop was asked for

   RecordingTask task(src.c_str(), dest.c_str(), {{0, 0, 1000}, {1000, 1000, 2000}});
   task.stopAfter = 1;
   run(task);
   EXPECT_EQ(task.pieces, std::vector<unsigned long long>{1000});
   EXPECT_EQ(readFile(dest), content.substr(0, 1000));
   const SxMd5 md5 = task.getMD5();
   EXPECT_FALSE(md5.isClosed());
   EXPECT_EQ(md5.get(), md5Of(content.substr(0, 1000)));
}

// Other threads watch, steer and stop the copy at a random moment; whatever was counted was
// copied and digested.
TEST_F(VoCopyTask, AStopAtAnyMomentLeavesTheCountedPrefixAndItsDigest) {
   const std::string data = randomBytes(6 << 20, 5);
   writeFile(src, data);
   std::vector<Range> ranges;
   for (uint64_t at = 0, i = 0; at < data.size(); ++i) {
      const uint64_t n = std::min<uint64_t>(i % 2 ? 300000 : 1000, data.size() - at);
      ranges.push_back({at, at, n});
      at += n;
   }
   std::mt19937 random(11);
   for (int round = 0; round < 4; ++round) {
      std::filesystem::remove(dest);
      VoFileCopyTask task(
          src.c_str(), dest.c_str(),
          SxArray<Range>(ranges.data(), static_cast<std::ptrdiff_t>(ranges.size())));
      std::atomic<bool> finished{false};
      std::thread watcher([&] {
         while (!finished) {
            task.setSpeed(1000);
            (void)task.getETA();
            (void)task.getNCurrent();
            (void)task.getMD5();
         }
      });
      task.start();
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
      std::thread stopper([&] { task.stop(); });
      stopper.join();
      task.wait();
      finished = true;
      watcher.join();

      const auto counted = static_cast<std::size_t>(task.getNCurrent());
      EXPECT_EQ(readFile(dest), data.substr(0, counted)) << "round " << round;
      const SxMd5 md5 = task.getMD5();
      EXPECT_EQ(md5.get(), md5Of(data.substr(0, counted))) << "round " << round;
      EXPECT_EQ(md5.isClosed(), counted == data.size());
   }
}

#ifndef _WIN32
// The source is sparse and the destination discards, so the test pays for the digest alone.
// The destination is touched first, which the null device allows only to its owner.
TEST_F(VoCopyTask, ALongRangeIsCopiedInPiecesOfTheCopyBlock) {
   try {
      SxFSAction::touch("/dev/null");
   } catch (const SxException&) {
      GTEST_SKIP() << "the null device cannot be touched by this user";
   }
   const std::string big = dir.file("big.sparse");
   writeFile(big, "");
   std::filesystem::resize_file(big, 1200000000);
   RecordingTask task(big.c_str(), "/dev/null", {{0, 0, 1200000000}});
   run(task);
   EXPECT_EQ(task.pieces, (std::vector<unsigned long long>{512000000, 512000000, 176000000}));
   EXPECT_EQ(task.getNCurrent(), 1200000000u);
   EXPECT_EQ(task.getMD5().get(), "53ee5aa5e9322d0c993470fb70e5bdec");
}
#endif

} // namespace
