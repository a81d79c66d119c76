// The implementation of the file-system calls in use.

#include <atomic>
#include <sx/SxOS.h>

namespace {
std::atomic<SxOS*> installed{nullptr};
} // namespace

SxOS& SxOS::current() {
   SxOS* os = installed.load(std::memory_order_acquire);
   return os ? *os : platform();
}

SxOS* SxOS::install(SxOS* os) {
   SxOS* before = installed.exchange(os, std::memory_order_acq_rel);
   return before ? before : &platform();
}
