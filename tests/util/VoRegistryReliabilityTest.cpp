// Several threads and processes writing one store, and a writer killed in mid-stream: every
// write whose call returned must be in the store afterwards. POSIX only.

#include <common/FaultInjectingRegistryBackend.h>
#include <common/TempDir.h>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <spawn.h>
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

TEST_F(VoRegistryReliability, AKilledWriterLosesNoReturnedWrite) {
   const SxString key = "HKCU/Software/Stream";
   long acknowledged = -1;
   {
      Writer writer(dir.path(), key.str(), "v", 0);
      // Reading runs behind the writer, so it is killed somewhere in the middle of a call.
      for (long i; (i = writer.next()) >= 0 && i < 400;)
         acknowledged = i;
      writer.kill();
      const int status = writer.wait();
      ASSERT_TRUE(WIFSIGNALED(status)) << status;
   }
   ASSERT_GE(acknowledged, 399);
   expectValues(key, "v", acknowledged + 1);
   VoRegistry::setVal(key, "after", Item::Sz, "the store still takes writes");
   EXPECT_EQ(VoRegistry::getVal(key, "after"), "the store still takes writes");
}

} // namespace
