#pragma once

// Test tools for the foundation's file-system seam: a double that makes a chosen call fail with
// a chosen errno, deliver a short count or report an interruption, and a guard that installs it
// for the length of a test.

#include <array>
#include <cerrno>
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

   /// Makes the call of kind that comes after skip further calls of kind take effect, once; with
   /// sticky, every call of kind from then on (a disk that stays full).
   void inject(Call kind, Effect effect, int error = 0, int skip = 0, bool sticky = false) {
      std::lock_guard<std::mutex> lock(mutex_);
      armed_ = Armed{kind, effect, error, skip, sticky};
   }
   void fail(Call kind, int error, int skip = 0, bool sticky = false) {
      inject(kind, Effect::Fail, error, skip, sticky);
   }

   /// Whether the armed effect has happened at least once.
   bool fired() {
      std::lock_guard<std::mutex> lock(mutex_);
      return fired_;
   }
   /// How many calls of kind were made, including the ones that were made to fail.
   int calls(Call kind) {
      std::lock_guard<std::mutex> lock(mutex_);
      return counts_[static_cast<std::size_t>(kind)];
   }

   std::FILE* open(const SxString& name, const char* mode, int permissions) override {
      if (const auto e = take(Call::Open))
         return errno = *e, nullptr;
      return target().open(name, mode, permissions);
   }
   int64_t read(std::FILE* file, void* buffer, int64_t n) override {
      return transfer(Call::Read, n, [&](int64_t m) { return target().read(file, buffer, m); });
   }
   int64_t write(std::FILE* file, const void* data, int64_t n) override {
      return transfer(Call::Write, n, [&](int64_t m) { return target().write(file, data, m); });
   }
   int flush(std::FILE* file) override {
      return status(Call::Flush, [&] { return target().flush(file); });
   }
   int sync(std::FILE* file) override {
      return status(Call::Sync, [&] { return target().sync(file); });
   }
   int close(std::FILE* file) override {
      // A failing close still closes the file, as the contract says.
      const auto e = take(Call::Close);
      const int result = target().close(file);
      return e ? (errno = *e, -1) : result;
   }
   int rename(const SxString& from, const SxString& to) override {
      return status(Call::Rename, [&] { return target().rename(from, to); });
   }
   int unlink(const SxString& name) override {
      return status(Call::Unlink, [&] { return target().unlink(name); });
   }
   int stat(const SxString& name, FileStat* result) override {
      return status(Call::Stat, [&] { return target().stat(name, result); });
   }
   int stat(std::FILE* file, FileStat* result) override {
      return status(Call::Stat, [&] { return target().stat(file, result); });
   }
   const char* map(std::FILE* file, std::size_t size, void** mapping) override {
      if (const auto e = take(Call::Map))
         return errno = *e, nullptr;
      return target().map(file, size, mapping);
   }

private:
   struct Armed {
      Call kind;
      Effect effect;
      int error;
      int skip;
      bool sticky;
   };

   // Counts the call and returns the error it must fail with, or nothing when it proceeds;
   // *cut tells a transfer to pass on only part of its bytes.
   std::optional<int> take(Call kind, bool* cut = nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++counts_[static_cast<std::size_t>(kind)];
      if (!armed_ || armed_->kind != kind || armed_->skip-- > 0)
         return std::nullopt;
      fired_ = true;
      const Armed hit = *armed_;
      if (!hit.sticky)
         armed_.reset();
      else
         armed_->skip = 0;
      if (hit.effect == Effect::Short) {
         if (cut)
            *cut = true;
         return std::nullopt;
      }
      return hit.effect == Effect::Interrupt ? EINTR : hit.error;
   }

   template <class Transfer>
   int64_t transfer(Call kind, int64_t n, Transfer&& transfer) {
      bool cut = false;
      if (const auto e = take(kind, &cut))
         return errno = *e, -1;
      return transfer(cut && n > 1 ? n / 2 : n);
   }

   template <class Work>
   int status(Call kind, Work&& work) {
      if (const auto e = take(kind))
         return errno = *e, -1;
      return work();
   }

   std::mutex mutex_;
   std::optional<Armed> armed_;
   bool fired_ = false;
   std::array<int, 12> counts_{};
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
   void arm(FaultInjectingOS& os) const { os.inject(SxOS::Call::Write, effect, error, skip); }
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
