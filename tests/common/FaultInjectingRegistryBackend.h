#pragma once

// Test tools for the registry backend seam (POSIX only): a wrapper that makes one chosen call
// fail with a chosen status, a guard that installs a backend for the length of a test, and a
// scratch store installed with both.

#include <common/TempDir.h>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <voplatform/RegistryBackend.h>

namespace vo::test {

class FaultInjectingRegistryBackend : public voplatform::ForwardingRegistryBackend {
public:
   // The calls the tests make fail; the others always reach the store.
   enum class Op { OpenKey, CreateKey, QueryValue, SetValue, DeleteTree, QueryInfo, EnumKey };

   using ForwardingRegistryBackend::ForwardingRegistryBackend;

   /// Makes the call of op that comes after skip further calls of op return status, once,
   /// without reaching the store.
   void failCall(Op op, LSTATUS status, int skip = 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      armed_ = Armed{op, status, skip};
   }

   /// Whether the armed failure has been delivered.
   bool fired() {
      std::lock_guard<std::mutex> lock(mutex_);
      return !armed_;
   }

   using KeyRef = voplatform::KeyRef;
   using KeyPath = voplatform::KeyPath;
   using RegName = voplatform::RegName;

   LSTATUS openKey(KeyRef base, const KeyPath& path, bool forWriting, KeyRef* result) override {
      return inject(Op::OpenKey, [&] { return target().openKey(base, path, forWriting, result); });
   }
   LSTATUS createKey(KeyRef base, const KeyPath& path, KeyRef* result, bool* created) override {
      return inject(Op::CreateKey, [&] { return target().createKey(base, path, result, created); });
   }
   LSTATUS queryValue(KeyRef key, const RegName& name, voplatform::ValueData* value) override {
      return inject(Op::QueryValue, [&] { return target().queryValue(key, name, value); });
   }
   LSTATUS setValue(KeyRef key, const voplatform::ValueData& value) override {
      return inject(Op::SetValue, [&] { return target().setValue(key, value); });
   }
   LSTATUS deleteTree(KeyRef base, const KeyPath& path) override {
      return inject(Op::DeleteTree, [&] { return target().deleteTree(base, path); });
   }
   LSTATUS queryInfo(KeyRef key, voplatform::KeyInfo* info) override {
      return inject(Op::QueryInfo, [&] { return target().queryInfo(key, info); });
   }
   LSTATUS enumKey(KeyRef key, DWORD index, RegName* name,
                   voplatform::EnumCursor* cursor) override {
      return inject(Op::EnumKey, [&] { return target().enumKey(key, index, name, cursor); });
   }

private:
   struct Armed {
      Op op;
      LSTATUS status;
      int skip;
   };

   template <class Call>
   LSTATUS inject(Op op, Call&& call) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (armed_ && armed_->op == op && armed_->skip-- == 0) {
         return std::exchange(armed_, std::nullopt)->status;
      }
      lock.unlock();
      return call();
   }

   std::mutex mutex_;
   std::optional<Armed> armed_;
};

/// Makes backend the registry's backend until the guard goes, then restores the one before.
class ScopedRegistryBackend {
public:
   explicit ScopedRegistryBackend(std::shared_ptr<voplatform::RegistryBackend> backend)
       : previous_(voplatform::setRegistryBackend(std::move(backend))) {}
   ~ScopedRegistryBackend() { voplatform::setRegistryBackend(previous_); }
   ScopedRegistryBackend(const ScopedRegistryBackend&) = delete;
   ScopedRegistryBackend& operator=(const ScopedRegistryBackend&) = delete;

private:
   std::shared_ptr<voplatform::RegistryBackend> previous_;
};

/// Store files in dir, as VOUTIL_REGISTRY_DIR would place them.
inline voplatform::SqliteStoreFiles storeFilesIn(const std::string& dir,
                                                 bool machineReadOnly = false) {
   return {dir + "/user.sqlite", dir + "/machine.sqlite", machineReadOnly};
}

/// A store of its own in a temporary directory, the registry's backend until the object goes;
/// faults can make its calls fail.
struct ScratchStore {
   TempDir dir;
   std::shared_ptr<FaultInjectingRegistryBackend> faults =
       std::make_shared<FaultInjectingRegistryBackend>(
           voplatform::makeSqliteRegistryBackend(storeFilesIn(dir.path())));
   ScopedRegistryBackend installed{faults};
};

} // namespace vo::test
