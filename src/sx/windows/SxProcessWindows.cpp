#include "../SxProcessImpl.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxOS.h>
#include <sx/SxUtf.h>
#include <thread>
#include <utility>
#include <windows.h>

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxProcess";

void closeHandle(HANDLE& h) {
   if (h && h != INVALID_HANDLE_VALUE)
      ::CloseHandle(h);
   h = nullptr;
}

// Reads the pipe to its end, handing each piece to take; false when the reads stopped at a
// failure, which is then kept in failure. An interrupted read is tried again.
bool readPipe(HANDLE pipe, const std::function<void(std::string_view)>& take,
              std::exception_ptr& failure) {
   SxOS& os = SxOS::current();
   char buffer[65536];
   for (;;) {
      const int64_t got = os.readPipe(reinterpret_cast<SxOS::Handle>(pipe), buffer, sizeof buffer);
      if (got > 0)
         take(std::string_view(buffer, static_cast<std::size_t>(got)));
      else if (got == 0)
         return true;
      else if (errno != EINTR) {
         if (!failure)
            failure = std::make_exception_ptr(SxException(
                "Can't read from child process: " + SxString(std::strerror(errno)), kSource));
         return false;
      }
   }
}

// Reads the pipe to its end, handing whole characters to hook. A hook that raises is not called
// again and its exception is kept in failure; the pipe is still drained, so that the child never
// blocks on a full pipe (and an exception never escapes the reader thread).
void readAll(HANDLE pipe, const std::function<void(const SxString&)>& hook,
             std::exception_ptr& failure) {
   auto deliver = [&](std::string_view piece) {
      if (failure)
         return;
      try {
         hook(SxString(piece));
      } catch (...) {
         failure = std::current_exception();
      }
   };
   std::string pending;
   const bool whole = readPipe(
       pipe,
       [&](std::string_view piece) {
          pending.append(piece);
          const std::size_t n = SxUtf::completePrefix(pending);
          if (n > 0) {
             deliver(std::string_view(pending).substr(0, n));
             pending.erase(0, n);
          }
       },
       failure);
   if (whole && !pending.empty())
      deliver(pending);
}

// Reads the pipe to its end into text; the reader of a child's output while its input is written.
void drainInto(HANDLE pipe, std::string& text, std::exception_ptr& failure) {
   readPipe(
       pipe, [&](std::string_view piece) { text.append(piece); }, failure);
}

} // namespace

struct ChildProcess {
   HANDLE process = nullptr;
   HANDLE in = nullptr;
   HANDLE out = nullptr;
   HANDLE err = nullptr;
   // Started by the first write: an echoing child fills its output pipe long before it has read
   // its whole input, so the output is read while the input is written. waitChild hands it on.
   std::thread outDrain, errDrain;
   std::string outRead, errRead;
   std::exception_ptr outFailure, errFailure;

   void joinDrains() {
      for (std::thread* drain : {&outDrain, &errDrain})
         if (drain->joinable())
            drain->join();
   }

   ~ChildProcess() {
      closeHandle(in);
      joinDrains();
      closeHandle(out);
      closeHandle(err);
      closeHandle(process);
   }
};

void ChildDeleter::operator()(ChildProcess* child) const {
   delete child;
}

std::unique_ptr<ChildProcess, ChildDeleter>
spawnChild(const SxString& program, const SxList<SxString>& args, int pipes, bool hiddenWindow) {
   std::unique_ptr<ChildProcess, ChildDeleter> child(new ChildProcess);
   HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
   auto fail = [&](const char* what, int err) {
      closeHandle(childIn);
      closeHandle(childOut);
      closeHandle(childErr);
      throw SxException("Can't start process '" + program + "' : " + SxString(what) + ": " +
                            SxString(std::strerror(err)),
                        kSource);
   };
   SxOS& os = SxOS::current();
   auto makePipe = [&](HANDLE& ours, HANDLE& theirs, bool childReads) {
      SxOS::Handle ends[2];
      if (os.pipe(ends) != 0)
         fail("pipe", errno);
      const auto readEnd = reinterpret_cast<HANDLE>(ends[0]);
      const auto writeEnd = reinterpret_cast<HANDLE>(ends[1]);
      ours = childReads ? writeEnd : readEnd;
      theirs = childReads ? readEnd : writeEnd;
   };
   if (pipes & SxProcess::StdIn)
      makePipe(child->in, childIn, true);
   if (pipes & SxProcess::StdOut)
      makePipe(child->out, childOut, false);
   if (pipes & SxProcess::StdErr)
      makePipe(child->err, childErr, false);

   auto handleOf = [](HANDLE h) { return h ? reinterpret_cast<SxOS::Handle>(h) : SxOS::kNoHandle; };
   const SxOS::Handle stdio[3] = {handleOf(childIn), handleOf(childOut), handleOf(childErr)};
   SxOS::Handle process = SxOS::kNoHandle;
   if (os.spawn(program, args, stdio, hiddenWindow, &process) != 0)
      fail("spawn", errno);
   closeHandle(childIn);
   closeHandle(childOut);
   closeHandle(childErr);
   child->process = reinterpret_cast<HANDLE>(process);
   return child;
}

bool writeChild(ChildProcess& child, const char* data, long long n) {
   if (!child.in)
      return false;
   if (child.out && !child.outDrain.joinable())
      child.outDrain =
          std::thread(drainInto, child.out, std::ref(child.outRead), std::ref(child.outFailure));
   if (child.err && !child.errDrain.joinable())
      child.errDrain =
          std::thread(drainInto, child.err, std::ref(child.errRead), std::ref(child.errFailure));
   SxOS& os = SxOS::current();
   while (n > 0) {
      const int64_t written = os.writePipe(reinterpret_cast<SxOS::Handle>(child.in), data, n);
      if (written < 0 && errno == EINTR)
         continue;
      if (written <= 0)
         return false;
      data += written;
      n -= written;
   }
   return true;
}

void closeChildStdin(ChildProcess& child) {
   closeHandle(child.in);
}

int waitChild(ChildProcess& child, const std::function<void(const SxString&)>& onOut,
              const std::function<void(const SxString&)>& onErr) {
   child.joinDrains();
   for (const std::exception_ptr& failure : {child.outFailure, child.errFailure})
      if (failure)
         std::rethrow_exception(failure);
   if (!child.outRead.empty())
      onOut(SxString(std::exchange(child.outRead, {})));
   if (!child.errRead.empty())
      onErr(SxString(std::exchange(child.errRead, {})));
   // Both pipes are drained at once so that a child filling one of them never blocks.
   std::exception_ptr outFailure, errFailure;
   std::thread errReader;
   if (child.err)
      errReader = std::thread([&] { readAll(child.err, onErr, errFailure); });
   if (child.out)
      readAll(child.out, onOut, outFailure);
   if (errReader.joinable())
      errReader.join();
   closeHandle(child.in);
   for (const std::exception_ptr& failure : {outFailure, errFailure})
      if (failure)
         std::rethrow_exception(failure);
   ::WaitForSingleObject(child.process, INFINITE);
   DWORD code = 0;
   if (!::GetExitCodeProcess(child.process, &code))
      throw SxException("Can't wait for child process: " +
                            sxstrerror(static_cast<long>(::GetLastError())),
                        kSource);
   closeHandle(child.process);
   return static_cast<int>(code);
}

} // namespace sx::detail
