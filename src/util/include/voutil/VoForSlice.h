#pragma once

#include <cstdint>
#include <functional>
#include <sx/SxThread.h>
#include <voutil/VoExport.h>

/// One worker of VoSysEnv::parallelFor: a thread that calls its loop body once with its
/// half-open index range.
class VOUTIL_API VoForSlice : public SxSystemThread {
public:
   /// A loop body, called with (first index, index one past the last).
   using Body = std::function<void(uint64_t, uint64_t)>;

   /// An idle slice with no body and the empty range 0 to 0.
   VoForSlice();
   /// A slice that calls loopBody(first, last).
   VoForSlice(Body loopBody, uint64_t first, uint64_t last);
   /// Takes body and range of other; both threads must be idle.
   VoForSlice& operator=(const VoForSlice& other);
   ~VoForSlice() override;

   Body body;
   uint64_t begin = 0;
   uint64_t end = 0;

protected:
   /// Calls body(begin, end).
   void main() override;
};
