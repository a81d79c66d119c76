#include "../SxProcessImpl.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
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
   char buffer[65536];
   DWORD got = 0;
   while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      pending.append(buffer, got);
      const std::size_t n = SxUtf::completePrefix(pending);
      if (n > 0) {
         deliver(std::string_view(pending).substr(0, n));
         pending.erase(0, n);
      }
   }
   if (!pending.empty())
      deliver(pending);
}

// Reads the pipe to its end into text; the reader of a child's output while its input is written.
void drainInto(HANDLE pipe, std::string& text) {
   char buffer[65536];
   DWORD got = 0;
   while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
      text.append(buffer, got);
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
      child.outDrain = std::thread(drainInto, child.out, std::ref(child.outRead));
   if (child.err && !child.errDrain.joinable())
      child.errDrain = std::thread(drainInto, child.err, std::ref(child.errRead));
   while (n > 0) {
      DWORD written = 0;
      const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      if (!::WriteFile(child.in, data, chunk, &written, nullptr) || written == 0)
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
