// Several threads and processes writing one store, and writers killed in mid-stream: every
// write whose call returned must be in the store afterwards. POSIX only.

#include <chrono>
#include <common/FaultInjectingRegistryBackend.h>
#include <common/TempDir.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <voutil/VoRegistry.h>

extern char** environ;

namespace {

using Item = VoRegistry::Item;

// A registry-writer process with its standard output on a pipe.
class Writer {
public:
   Writer(const std::string& storeDir, const std::string& key, const std::string& prefix,
          int count) {
      int fds[2];
      EXPECT_EQ(::pipe(fds), 0);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
      posix_spawn_file_actions_addclose(&actions, fds[0]);
      const std::string exe = REGISTRY_WRITER;
      const std::string countText = std::to_string(count);
      std::vector<char*> argv = {const_cast<char*>(exe.c_str()), const_cast<char*>(key.c_str()),
                                 const_cast<char*>(prefix.c_str()),
                                 const_cast<char*>(countText.c_str()), nullptr};
      std::vector<std::string> env = {"VOUTIL_REGISTRY_DIR=" + storeDir};
      for (char** e = environ; *e; ++e)
         if (std::string(*e).rfind("VOUTIL_REGISTRY_DIR=", 0) != 0)
            env.emplace_back(*e);
      std::vector<char*> envp;
      for (std::string& e : env)
         envp.push_back(e.data());
      envp.push_back(nullptr);
      EXPECT_EQ(::posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
      posix_spawn_file_actions_destroy(&actions);
      ::close(fds[1]);
      out_ = ::fdopen(fds[0], "r");
   }
   ~Writer() {
      if (out_)
         std::fclose(out_);
      if (pid_ > 0)
         wait();
   }
   Writer(const Writer&) = delete;
   Writer& operator=(const Writer&) = delete;

   /// The next index the writer reported as written, or -1 at the end of its output.
   long next() {
      long i = -1;
      return std::fscanf(out_, "%ld", &i) == 1 ? i : -1;
   }
   void kill() { ::kill(pid_, SIGKILL); }
   /// The wait status of the process.
   int wait() {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return status;
   }

private:
   pid_t pid_ = -1;
   FILE* out_ = nullptr;
};

class VoRegistryReliability : public ::testing::Test {
protected:
   vo::test::TempDir dir;
   vo::test::ScopedRegistryBackend store{
       voplatform::makeSqliteRegistryBackend(vo::test::storeFilesIn(dir.path().string()))};

   void expectValues(const SxString& key, const std::string& prefix, long count) {
      SCOPED_TRACE(prefix);
      for (long i = 0; i < count; ++i)
         ASSERT_EQ(VoRegistry::getVal(key, SxString(prefix) + SxString(i)), SxString(i))
             << prefix << i;
   }
};

TEST_F(VoRegistryReliability, ThreadsAndProcessesWritingTogetherLoseNothing) {
   constexpr int kPerWriter = 150;
   const SxString key = "HKLM/SOFTWARE/Shared";
   Writer first(dir.path(), key.str(), "p1-", kPerWriter);
   Writer second(dir.path(), key.str(), "p2-", kPerWriter);
   std::vector<std::thread> threads;
   for (int t = 0; t < 3; ++t)
      threads.emplace_back([&key, t] {
         const SxString prefix = "t" + SxString(t) + "-";
         for (long i = 0; i < kPerWriter; ++i)
            VoRegistry::setVal(key, prefix + SxString(i), Item::DWord, SxString(i));
      });
   for (std::thread& thread : threads)
      thread.join();
   for (Writer* writer : {&first, &second}) {
      const int status = writer->wait();
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
   }
   for (const char* prefix : {"p1-", "p2-", "t0-", "t1-", "t2-"})
      expectValues(key, prefix, kPerWriter);
   EXPECT_EQ(VoRegistry::getNElems(key), 5 * kPerWriter);
}

// The load and crash figures: small by default, as the suite runs several times in CI;
// VOUTIL_STRESS=1 runs the full ones.
bool stressRun() {
   const char* stress = std::getenv("VOUTIL_STRESS");
   return stress && std::string(stress) == "1";
}

TEST_F(VoRegistryReliability, ProcessesWritingOneStoreAtOnceLoseNothing) {
   const long perWriter = stressRun() ? 10000 : 500;
   const SxString key = "HKCU/Software/Load";
   std::vector<std::unique_ptr<Writer>> writers;
   for (int w = 0; w < 4; ++w)
      writers.push_back(std::make_unique<Writer>(dir.path(), key.str(),
                                                 "w" + std::to_string(w) + "-", perWriter));
   // Reading every writer to its end keeps their pipes from filling up.
   for (auto& writer : writers) {
      long last = -1;
      for (long i; (i = writer->next()) >= 0;)
         last = i;
      EXPECT_EQ(last, perWriter - 1);
      const int status = writer->wait();
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
   }
   for (int w = 0; w < 4; ++w)
      expectValues(key, "w" + std::to_string(w) + "-", perWriter);
   EXPECT_EQ(VoRegistry::getNElems(key), 4 * perWriter);
}

// Writers killed with SIGKILL at random moments, four at a time, also while they open the
// store: every write whose call had returned is there, and the file is sound.
TEST_F(VoRegistryReliability, KilledWritersLoseNoReturnedWrite) {
   const int writerCount = stressRun() ? 200 : 16;
   const unsigned seed = std::random_device()();
   SCOPED_TRACE("seed " + std::to_string(seed));
   std::mt19937 random(seed);
   const SxString key = "HKCU/Software/Crash";
   std::vector<long> acknowledged(writerCount, -1);
   for (int first = 0; first < writerCount; first += 4) {
      std::vector<std::unique_ptr<Writer>> batch;
      for (int w = first; w < std::min(first + 4, writerCount); ++w)
         batch.push_back(
             std::make_unique<Writer>(dir.path(), key.str(), "w" + std::to_string(w) + "-", 0));
      for (std::size_t b = 0; b < batch.size(); ++b) {
         Writer& writer = *batch[b];
         long& last = acknowledged[first + b];
         const long killAfter = std::uniform_int_distribution<long>(-1, 40)(random);
         for (long i; last < killAfter && (i = writer.next()) >= 0;)
            last = i;
         std::this_thread::sleep_for(
             std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(random)));
         writer.kill();
         // What the writer printed before it died had returned too.
         for (long i; (i = writer.next()) >= 0;)
            last = i;
         const int status = writer.wait();
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
   ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
   ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
   EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
   sqlite3_finalize(check);
   sqlite3_close(db);
   VoRegistry::setVal(key, "after", Item::Sz, "the store still takes writes");
   EXPECT_EQ(VoRegistry::getVal(key, "after"), "the store still takes writes");
}

} // namespace
