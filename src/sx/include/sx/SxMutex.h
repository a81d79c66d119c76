#pragma once

#include <mutex>
#include <sx/SxExport.h>

/// A mutual-exclusion lock that is not recursive.
class SXIPC_API SxMutex {
public:
   void lock();
   void unlock();

private:
   std::mutex mutex_;
};

/// Holds an SxMutex for the lifetime of the block.
class [[nodiscard]] SxMutexBlock {
public:
   explicit SxMutexBlock(SxMutex& mutex) : mutex_(mutex) { mutex_.lock(); }
   explicit SxMutexBlock(SxMutex* mutex) : SxMutexBlock(*mutex) {}
   ~SxMutexBlock() { mutex_.unlock(); }
   SxMutexBlock(const SxMutexBlock&) = delete;
   SxMutexBlock& operator=(const SxMutexBlock&) = delete;

private:
   SxMutex& mutex_;
};
