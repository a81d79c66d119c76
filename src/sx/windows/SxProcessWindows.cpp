#include "../SxProcessImpl.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxUtf.h>
#include <thread>
#include <utility>
#include <vector>
#include <windows.h>

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxProcess";

void closeHandle(HANDLE& h) {
   if (h && h != INVALID_HANDLE_VALUE)
      ::CloseHandle(h);
   h = nullptr;
}

// Quotes one argument so that the child's runtime splits the command line back into exactly
// this argument: backslashes are literal except before a double quote.
std::wstring quoteArgument(const std::wstring& arg) {
   if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
      return arg;
   std::wstring out = L"\"";
   for (std::size_t i = 0;; ++i) {
      std::size_t backslashes = 0;
      while (i < arg.size() && arg[i] == L'\\') {
         ++i;
         ++backslashes;
      }
      if (i == arg.size()) {
         out.append(backslashes * 2, L'\\');
         break;
      }
      if (arg[i] == L'"') {
         out.append(backslashes * 2 + 1, L'\\');
         out += L'"';
      } else {
         out.append(backslashes, L'\\');
         out += arg[i];
      }
   }
   out += L'"';
   return out;
}

std::wstring wide(const SxString& s) {
   const SxArray<SxChar16> units = s.utf16();
   return std::wstring(units.elements(), static_cast<std::size_t>(units.getSize() - 1));
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

// The attribute list that limits what a child inherits to the handles given.
class InheritOnly {
public:
   explicit InheritOnly(const HANDLE (&candidates)[3]) {
      for (HANDLE h : candidates) {
         DWORD flags = 0;
         if (h && h != INVALID_HANDLE_VALUE && ::GetHandleInformation(h, &flags) &&
             (flags & HANDLE_FLAG_INHERIT) &&
             std::find(handles_, handles_ + count_, h) == handles_ + count_)
            handles_[count_++] = h;
      }
      SIZE_T size = 0;
      ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
      storage_.resize(size);
      list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
      if (!::InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
         list_ = nullptr;
         return;
      }
      if (count_ > 0 &&
          !::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_,
                                       count_ * sizeof(HANDLE), nullptr, nullptr)) {
         ::DeleteProcThreadAttributeList(list_);
         list_ = nullptr;
      }
   }
   ~InheritOnly() {
      if (list_)
         ::DeleteProcThreadAttributeList(list_);
   }
   InheritOnly(const InheritOnly&) = delete;
   InheritOnly& operator=(const InheritOnly&) = delete;

   /// The list, or null when it could not be built (GetLastError says why).
   [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }
   [[nodiscard]] bool inheritsAny() const { return count_ > 0; }

private:
   HANDLE handles_[3] = {};
   DWORD count_ = 0;
   std::vector<char> storage_;
   LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};
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
   SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
   HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
   auto fail = [&](const char* what, DWORD code) {
      closeHandle(childIn);
      closeHandle(childOut);
      closeHandle(childErr);
      throw SxException("Can't start process '" + program + "' : " + SxString(what) + ": " +
                            sxstrerror(static_cast<long>(code)),
                        kSource);
   };
   // Our ends must not be inherited, or the child would hold its own pipes open.
   auto makePipe = [&](HANDLE& ours, HANDLE& theirs, bool childReads) {
      HANDLE readEnd = nullptr, writeEnd = nullptr;
      if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
         fail("CreatePipe", ::GetLastError());
      ours = childReads ? writeEnd : readEnd;
      theirs = childReads ? readEnd : writeEnd;
      ::SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
   };
   if (pipes & SxProcess::StdIn)
      makePipe(child->in, childIn, true);
   if (pipes & SxProcess::StdOut)
      makePipe(child->out, childOut, false);
   if (pipes & SxProcess::StdErr)
      makePipe(child->err, childErr, false);

   STARTUPINFOEXW extended{};
   STARTUPINFOW& startup = extended.StartupInfo;
   startup.cb = sizeof extended;
   startup.dwFlags = STARTF_USESTDHANDLES;
   startup.hStdInput = childIn ? childIn : ::GetStdHandle(STD_INPUT_HANDLE);
   startup.hStdOutput = childOut ? childOut : ::GetStdHandle(STD_OUTPUT_HANDLE);
   startup.hStdError = childErr ? childErr : ::GetStdHandle(STD_ERROR_HANDLE);
   if (hiddenWindow) {
      startup.dwFlags |= STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_HIDE;
   }
   // The child inherits its own three handles and nothing else: with plain inheritance a child
   // started at the same moment on another thread would also get these pipe ends, and hold them
   // open until it ends.
   const InheritOnly inheritOnly({startup.hStdInput, startup.hStdOutput, startup.hStdError});
   if (!inheritOnly.list())
      fail("UpdateProcThreadAttribute", ::GetLastError());
   extended.lpAttributeList = inheritOnly.list();

   std::wstring commandLine;
   for (const SxString& a : args) {
      if (!commandLine.empty())
         commandLine += L' ';
      commandLine += quoteArgument(wide(a));
   }
   const std::wstring application = wide(program);
   PROCESS_INFORMATION info{};
   const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | (hiddenWindow ? CREATE_NO_WINDOW : 0);
   const BOOL ok =
       ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr,
                        inheritOnly.inheritsAny(), flags, nullptr, nullptr, &startup, &info);
   if (!ok)
      fail("CreateProcessW", ::GetLastError());
   closeHandle(childIn);
   closeHandle(childOut);
   closeHandle(childErr);
   ::CloseHandle(info.hThread);
   child->process = info.hProcess;
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
