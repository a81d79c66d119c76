// Threads whose wait re-raises what ended their main function.

#include <cerrno>
#include <cstring>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxOS.h>
#include <sx/SxThread.h>
#include <utility>

namespace {
constexpr char kSource[] = "src/sx/SxThread";
}

SxSystemThread::~SxSystemThread() {
   // The thread runs code of this object, and often uses its owner's stack: going on would be a
   // use after free, so the process ends here as a joinable std::thread would end it.
   if (thread_.joinable())
      sxFatalStop(kSource, __LINE__);
}

void SxSystemThread::start(Priority priority) {
   if (thread_.joinable())
      return;
   priority_ = priority;
   failure_ = nullptr;
   // An exception must not leave a thread's function (the process would end); it travels to
   // the owner through wait instead.
   const auto run = [this] {
      try {
         main();
      } catch (...) {
         failure_ = std::current_exception();
      }
   };
   if (SxOS::current().startThread([&run] { return std::thread(run); }, &thread_) != 0)
      throw SxException("Can't start a thread : " + SxString(std::strerror(errno)), kSource);
}

void SxSystemThread::wait() {
   if (thread_.joinable())
      thread_.join();
   if (failure_)
      std::rethrow_exception(std::exchange(failure_, nullptr));
}
