// VoSysEnv: the parallel loop over an index range.

#include <algorithm>
#include <exception>
#include <sx/SxArray.h>
#include <voutil/VoSysEnv.h>
#include <windows.h>

namespace {
// The workers' scheduling hint, a fixed value of the foundation's priority scale.
constexpr SxSystemThread::Priority kSlicePriority{6};

uint32_t voGetHardwareConcurrency() {
   SYSTEM_INFO info;
   GetSystemInfo(&info);
   return info.dwNumberOfProcessors;
}
} // namespace

void VoSysEnv::parallelFor(uint64_t n, VoForSlice::Body body, bool parallel) {
   if (n == 0)
      return;
   const uint64_t slices = std::min<uint64_t>(std::max<uint32_t>(voGetHardwareConcurrency(), 2), n);
   const uint64_t chunk = n / slices;
   const uint64_t rest = n % slices;
   SxArray<VoForSlice> workers(static_cast<std::ptrdiff_t>(slices));
   // Workers use the body and whatever it refers to on the caller's stack, so every one that
   // was started is waited for before the first failure goes on to the caller.
   std::exception_ptr failure;
   auto keepFirst = [&failure] {
      if (!failure)
         failure = std::current_exception();
   };
   try {
      for (uint64_t i = 0; i < slices; ++i) {
         if (parallel) {
            VoForSlice& worker = workers(static_cast<std::ptrdiff_t>(i));
            worker = VoForSlice(body, i * chunk, i * chunk + chunk);
            worker.start(kSlicePriority);
         } else {
            body(i * chunk, i * chunk + chunk);
         }
      }
      // The rest runs here, even when empty, while the workers run.
      body(slices * chunk, slices * chunk + rest);
   } catch (...) {
      keepFirst();
   }
   // A worker that was never started returns from wait at once.
   if (parallel)
      for (VoForSlice& worker : workers)
         try {
            worker.wait();
         } catch (...) {
            keepFirst();
         }
   if (failure)
      std::rethrow_exception(failure);
}
