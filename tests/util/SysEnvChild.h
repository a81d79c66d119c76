#pragma once

// A sleeping child program under a name of its own, for tests that look for processes by name.

#include <common/TempDir.h>
#include <filesystem>
#include <string>
#include <sx/SxProcess.h>
#include <sx/SxString.h>
#include <unistd.h>
#include <voutil/VoSysEnv.h>

namespace vo::test {

class SleepingChild {
public:
   /// Copies the child program under a name unique to this test and process, and starts it
   /// sleeping for ms milliseconds.
   explicit SleepingChild(const TempDir& dir, long ms = 60000) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      name_ = "vochild-" + std::string(info ? info->name() : "t") + "-" +
              std::to_string(::getpid()) + VO_TEST_EXE_SUFFIX;
      const std::string path = dir.file(name_);
      std::filesystem::copy_file(SYSENV_CHILD, path);
      process_ = std::make_unique<SxProcess>(SxString(path), SxList<SxString>{SxString(ms)});
      process_->start({});
   }
   /// Ends the child if it still runs, then reaps it.
   ~SleepingChild() {
      const uint64_t pid = VoSysEnv::getProcessID(name(), 1);
      if (pid != VoSysEnv::kProcessNotFound)
         VoSysEnv::killProcess(pid);
      (void)process_->wait();
   }
   SleepingChild(const SleepingChild&) = delete;
   SleepingChild& operator=(const SleepingChild&) = delete;

   /// The executable name, as process snapshots show it.
   [[nodiscard]] SxString name() const { return SxString(name_); }
   /// Waits for the child and returns its exit code.
   int wait() { return process_->wait(); }

private:
   std::string name_;
   std::unique_ptr<SxProcess> process_;
};

} // namespace vo::test
