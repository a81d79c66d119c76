#pragma once

// Test tools for the foundation's system-call seam: a double that makes a chosen call fail with
// a chosen errno, deliver a short count or report an interruption; a guard that installs it for
// the length of a test; and the table of write faults every write path must survive.

#include <cerrno>
#include <common/Messages.h>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <sx/SxOS.h>
#include <utility>
#include <vector>

namespace vo::test {

class FaultInjectingOS : public SxForwardingOS {
public:
   using Call = SxOS::Call;
   /// What the chosen call does instead of its work: fail with the error, pass on only part of
   /// a read or write (at least one byte), or return EINTR before doing anything.
   enum class Effect { Fail, Short, Interrupt };

   FaultInjectingOS() : SxForwardingOS(SxOS::platform()) {}

   /// Makes the call of kind that comes after skip further calls of kind take effect, once.
   void inject(Call kind, Effect effect, int error = 0, int skip = 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      armed_ = Armed{kind, effect, error, skip};
   }
   void fail(Call kind, int error) { inject(kind, Effect::Fail, error); }
   /// Whether the armed effect has happened.
   bool fired() {
      std::lock_guard<std::mutex> lock(mutex_);
      return fired_;
   }

   int64_t write(std::FILE* file, const void* data, int64_t n) override {
      return transfer(Call::Write, n, [&](int64_t m) { return target().write(file, data, m); });
   }
   int sync(std::FILE* file) override { return refused(Call::Sync) ? -1 : target().sync(file); }
   int close(std::FILE* file) override {
      // A failing close still closes the file, as the contract says.
      const auto e = take(Call::Close);
      const int result = target().close(file);
      return e ? (errno = *e, -1) : result;
   }
   int rename(const SxString& from, const SxString& to) override {
      return refused(Call::Rename) ? -1 : target().rename(from, to);
   }
   int pipe(Handle ends[2]) override { return refused(Call::Pipe) ? -1 : target().pipe(ends); }
   int64_t readPipe(Handle end, void* buffer, int64_t n) override {
      return transfer(Call::ReadPipe, n,
                      [&](int64_t m) { return target().readPipe(end, buffer, m); });
   }
   int64_t writePipe(Handle end, const void* data, int64_t n) override {
      return transfer(Call::WritePipe, n,
                      [&](int64_t m) { return target().writePipe(end, data, m); });
   }
   int spawn(const SxString& program, const SxList<SxString>& args, const Handle stdio[3],
             bool hiddenWindow, Handle* child) override {
      return refused(Call::Spawn) ? -1 : target().spawn(program, args, stdio, hiddenWindow, child);
   }
   int startThread(const std::function<std::thread()>& create, std::thread* thread) override {
      return refused(Call::StartThread) ? -1 : target().startThread(create, thread);
   }

private:
   struct Armed {
      Call kind;
      Effect effect;
      int error;
      int skip;
   };

   // The error the call must fail with, or nothing when it proceeds; *cut tells a transfer to
   // pass on only part of its bytes.
   std::optional<int> take(Call kind, bool* cut = nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!armed_ || armed_->kind != kind || armed_->skip-- > 0)
         return std::nullopt;
      fired_ = true;
      const Armed hit = *std::exchange(armed_, std::nullopt);
      if (hit.effect == Effect::Short && cut)
         *cut = true;
      if (hit.effect == Effect::Short)
         return std::nullopt;
      return hit.effect == Effect::Interrupt ? EINTR : hit.error;
   }

   // Whether the call must fail; errno then holds its error.
   bool refused(Call kind) {
      const auto e = take(kind);
      if (e)
         errno = *e;
      return e.has_value();
   }

   template <class Transfer>
   int64_t transfer(Call kind, int64_t n, Transfer&& transfer) {
      bool cut = false;
      if (const auto e = take(kind, &cut))
         return errno = *e, -1;
      return transfer(cut && n > 1 ? n / 2 : n);
   }

   std::mutex mutex_;
   std::optional<Armed> armed_;
   bool fired_ = false;
};

/// Makes os the foundation's file-system calls until the guard goes, then restores the ones
/// before.
class ScopedOS {
public:
   explicit ScopedOS(SxOS& os) : before_(SxOS::install(&os)) {}
   ~ScopedOS() { SxOS::install(before_); }
   ScopedOS(const ScopedOS&) = delete;
   ScopedOS& operator=(const ScopedOS&) = delete;

private:
   SxOS* before_;
};

/// One way for the writes of an operation to go wrong.
struct WriteFault {
   const char* what;
   FaultInjectingOS::Effect effect;
   int error;
   int skip; ///< how many writes pass before it
   /// The operation still succeeds: short and interrupted writes are carried on.
   [[nodiscard]] bool harmless() const { return effect != FaultInjectingOS::Effect::Fail; }
   /// The text of the failed write to file.
   [[nodiscard]] std::string on(const std::string& file) const {
      return "Can't write to file '" + file + "' : " + std::strerror(error);
   }

   /// Runs call with this fault armed, and returns the messages it fails with.
   template <class Run>
   Messages messagesOf(Run&& run) const {
      FaultInjectingOS os;
      Messages messages;
      {
         ScopedOS installed(os);
         os.inject(SxOS::Call::Write, effect, error, skip);
         messages = vo::test::messagesOf(run);
      }
      EXPECT_TRUE(os.fired()) << what;
      return messages;
   }
};

/// The write faults every write path must survive, at the first write and, for paths that make
/// several, a later one.
inline std::vector<WriteFault> writeFaults(bool severalWrites) {
   using E = FaultInjectingOS::Effect;
   std::vector<WriteFault> faults = {{"ENOSPC at the first write", E::Fail, ENOSPC, 0},
                                     {"short first write", E::Short, 0, 0},
                                     {"EINTR at the first write", E::Interrupt, 0, 0}};
   if (severalWrites)
      faults.insert(faults.end(), {{"EIO at a later write", E::Fail, EIO, 1},
                                   {"short later write", E::Short, 0, 1},
                                   {"EINTR at a later write", E::Interrupt, 0, 1}});
   return faults;
}

} // namespace vo::test
