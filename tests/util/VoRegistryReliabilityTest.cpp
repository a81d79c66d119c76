// Several threads and processes writing one store, and writers killed in mid-stream: every
// write whose call returned must be in the store afterwards. POSIX only.

#include <chrono>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/TempDir.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>
#include <voutil/VoRegistry.h>

namespace {

using Item = VoRegistry::Item;

// A registry-writer process on the store in storeDir, with its standard output on a pipe.
class Writer {
public:
   Writer(const std::string& storeDir, const std::string& key, const std::string& prefix,
          long count)
       : out_(::popen(("exec env VOUTIL_REGISTRY_DIR='" + storeDir + "' '" REGISTRY_WRITER "' '" +
                       key + "' " + prefix + " " + std::to_string(count))
                          .c_str(),
                      "r")),
         pid_(next()) {}
   ~Writer() {
      if (out_)
         (void)wait();
   }
   Writer(const Writer&) = delete;
   Writer& operator=(const Writer&) = delete;

   /// The next number the writer printed, or -1 at the end of its output.
   long next() {
      long i = -1;
      return std::fscanf(out_, "%ld", &i) == 1 ? i : -1;
   }
   /// The last number the writer printed before its output ended, or last when none.
   long lastPrinted(long last = -1) {
      for (long i; (i = next()) >= 0;)
         last = i;
      return last;
   }
   void kill() const { ::kill(pid_, SIGKILL); }
   /// The wait status of the process.
   int wait() { return ::pclose(std::exchange(out_, nullptr)); }

private:
   FILE* out_;
   pid_t pid_;
};

// The load and crash figures: small by default, as the suite runs several times in CI;
// VOUTIL_STRESS=1 runs the full ones.
const bool kStress =
    std::getenv("VOUTIL_STRESS") && std::getenv("VOUTIL_STRESS") == std::string("1");

class VoRegistryReliability : public ::testing::Test {
protected:
   vo::test::ScratchStore store;
   const vo::test::TempDir& dir = store.dir;

   void expectValues(const SxString& key, const std::string& prefix, long count) {
      for (long i = 0; i < count; ++i)
         ASSERT_EQ(VoRegistry::getVal(key, SxString(prefix) + SxString(i)), SxString(i))
             << prefix << i;
   }
};

TEST_F(VoRegistryReliability, ThreadsAndProcessesWritingTogetherLoseNothing) {
   const long perWriter = kStress ? 10000 : 400;
   const SxString key = "HKCU/Software/Load";
   std::deque<Writer> writers; // a deque holds what cannot move
   for (int w = 0; w < 4; ++w)
      writers.emplace_back(dir.path(), key.str(), "p" + std::to_string(w) + "-", perWriter);
   std::vector<std::thread> threads;
   for (int t = 0; t < 2; ++t)
      threads.emplace_back([&key, t, perWriter] {
         for (long i = 0; i < perWriter; ++i)
            VoRegistry::setVal(key, "t" + SxString(t) + "-" + SxString(i), Item::DWord,
                               SxString(i));
      });
   // Reading every writer to its end keeps their pipes from filling up.
   for (Writer& writer : writers) {
      EXPECT_EQ(writer.lastPrinted(), perWriter - 1);
      EXPECT_EQ(writer.wait(), 0) << "wait status of a writer that did not exit with 0";
   }
   for (std::thread& thread : threads)
      thread.join();
   for (const char* prefix : {"p0-", "p1-", "p2-", "p3-", "t0-", "t1-"})
      expectValues(key, prefix, perWriter);
   EXPECT_EQ(VoRegistry::getNElems(key), 6 * perWriter);
}

// Writers killed with SIGKILL at random moments, four at a time, also while they open the
// store: every write whose call had returned is there, and the file is sound.
TEST_F(VoRegistryReliability, KilledWritersLoseNoReturnedWrite) {
   const int writerCount = kStress ? 200 : 16;
   const unsigned seed = std::random_device()();
   SCOPED_TRACE("seed " + std::to_string(seed));
   std::mt19937 random(seed);
   const SxString key = "HKCU/Software/Crash";
   std::vector<long> acknowledged(writerCount, -1);
   for (int first = 0; first < writerCount; first += 4) {
      std::deque<Writer> batch;
      for (int w = first; w < first + 4; ++w)
         batch.emplace_back(dir.path(), key.str(), "w" + std::to_string(w) + "-", 0);
      for (int b = 0; b < 4; ++b) {
         long& last = acknowledged[first + b];
         const long killAfter = std::uniform_int_distribution<long>(-1, 40)(random);
         for (long i; last < killAfter && (i = batch[b].next()) >= 0;)
            last = i;
         std::this_thread::sleep_for(
             std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(random)));
         batch[b].kill();
         last = batch[b].lastPrinted(last); // what it printed before it died had returned too
         const int status = batch[b].wait();
         ASSERT_TRUE(WIFSIGNALED(status)) << status;
      }
   }
   for (int w = 0; w < writerCount; ++w)
      expectValues(key, "w" + std::to_string(w) + "-", acknowledged[w] + 1);
   sqlite3* db = nullptr;
   ASSERT_EQ(
       sqlite3_open_v2((dir.path() / "user.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
       SQLITE_OK);
   sqlite3_stmt* check = nullptr;
   sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
   EXPECT_EQ(sqlite3_step(check), SQLITE_ROW);
   EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
   sqlite3_finalize(check);
   sqlite3_close(db);
   VoRegistry::setVal(key, "after", Item::Sz, "the store still takes writes");
   EXPECT_EQ(VoRegistry::getVal(key, "after"), "the store still takes writes");
}

} // namespace
