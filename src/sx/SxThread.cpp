// Threads whose wait re-raises what ended their main function.

#include <cstdlib>
#include <sx/SxThread.h>
#include <utility>

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
   failure_ = nullptr;
   // An exception must not leave a thread's function (the process would end); it travels to
   // the owner through wait instead.
   thread_ = std::thread([this] {
      try {
         main();
      } catch (...) {
         failure_ = std::current_exception();
      }
   });
}

void SxSystemThread::wait() {
   if (thread_.joinable())
      thread_.join();
   if (failure_)
      std::rethrow_exception(std::exchange(failure_, nullptr));
}
