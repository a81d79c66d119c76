#include "../SxProcessImpl.h"

#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxUtf.h>
#include <thread>
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

void readAll(HANDLE pipe, const std::function<void(const SxString&)>& hook) {
   std::string pending;
   char buffer[65536];
   DWORD got = 0;
   while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      pending.append(buffer, got);
      const std::size_t n = SxUtf::completePrefix(pending);
      if (n > 0) {
         hook(SxString(std::string_view(pending).substr(0, n)));
         pending.erase(0, n);
      }
   }
   if (!pending.empty())
      hook(SxString(std::string_view(pending)));
}
} // namespace

struct ChildProcess {
   HANDLE process = nullptr;
   HANDLE in = nullptr;
   HANDLE out = nullptr;
   HANDLE err = nullptr;

   ~ChildProcess() {
      closeHandle(in);
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

   STARTUPINFOW startup{};
   startup.cb = sizeof startup;
   startup.dwFlags = STARTF_USESTDHANDLES;
   startup.hStdInput = childIn ? childIn : ::GetStdHandle(STD_INPUT_HANDLE);
   startup.hStdOutput = childOut ? childOut : ::GetStdHandle(STD_OUTPUT_HANDLE);
   startup.hStdError = childErr ? childErr : ::GetStdHandle(STD_ERROR_HANDLE);
   if (hiddenWindow) {
      startup.dwFlags |= STARTF_USESHOWWINDOW;
      startup.wShowWindow = SW_HIDE;
   }

   std::wstring commandLine;
   for (const SxString& a : args) {
      if (!commandLine.empty())
         commandLine += L' ';
      commandLine += quoteArgument(wide(a));
   }
   const std::wstring application = wide(program);
   PROCESS_INFORMATION info{};
   const BOOL ok =
       ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        hiddenWindow ? CREATE_NO_WINDOW : 0, nullptr, nullptr, &startup, &info);
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
   // Both pipes are drained at once so that a child filling one of them never blocks.
   std::thread errReader;
   if (child.err)
      errReader = std::thread([&] { readAll(child.err, onErr); });
   if (child.out)
      readAll(child.out, onOut);
   if (errReader.joinable())
      errReader.join();
   closeHandle(child.in);
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
