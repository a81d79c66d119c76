#include <cstdlib>
#include <sx/SxThread.h>

SxSystemThread::~SxSystemThread() {
   // A joinable std::thread would terminate the process here; an owner that forgot to wait
   // gets its thread detached instead, and the thread must not touch this object any more.
   if (thread_.joinable())
      thread_.detach();
}

void SxSystemThread::start(Priority priority) {
   if (thread_.joinable())
      return;
   priority_ = priority;
   thread_ = std::thread([this] { main(); });
}

void SxSystemThread::wait() {
   if (thread_.joinable())
      thread_.join();
}
