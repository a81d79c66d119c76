// The foundation's mutex.

#include <sx/SxMutex.h>

void SxMutex::lock() {
   mutex_.lock();
}
void SxMutex::unlock() {
   mutex_.unlock();
}
