// One slice of a parallel loop, run as a thread.

#include <utility>
#include <voutil/VoForSlice.h>

VoForSlice::VoForSlice() = default;

VoForSlice::VoForSlice(Body loopBody, uint64_t first, uint64_t last)
    : body(std::move(loopBody)), begin(first), end(last) {}

VoForSlice& VoForSlice::operator=(const VoForSlice& other) {
   SxSystemThread::operator=(other);
   body = other.body;
   begin = other.begin;
   end = other.end;
   return *this;
}

VoForSlice::~VoForSlice() = default;

void VoForSlice::main() {
   body(begin, end);
}
