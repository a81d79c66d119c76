// Child processes: arguments, piped standard input, captured output and exit codes.

#include "SxProcessImpl.h"

#include <algorithm>
#include <sx/SxException.h>
#include <sx/SxProcess.h>
#include <sx/SxUtf.h>

namespace {
constexpr char kSource[] = "src/sx/SxProcess";
}

SxProcess::SxProcess(const SxString& program, Mode /*mode*/) : program_(program) {}

SxProcess::SxProcess(const SxString& program, const SxList<SxString, SxListIterators>& args,
                     Mode /*mode*/)
    : program_(program), args_(args) {}

SxProcess::~SxProcess() {
   if (!child_)
      return;
   try {
      // A child that reads its input to the end would never end while our end stays open.
      sx::detail::closeChildStdin(*child_);
      // Only the base hooks are reachable here; a derived class must wait before it goes.
      (void)SxProcess::wait();
   } catch (const SxException&) {
      // A destructor has nobody to report to; the child's handles are released below.
   }
}

void SxProcess::start(const SxList<SxString, SxListIterators>& extraArgs) {
   if (child_)
      throw SxException("Process '" + program_ + "' is already running", kSource);
   SxList<SxString> argv;
   argv.append(program_);
   for (const SxString& a : args_)
      argv.append(a);
   for (const SxString& a : extraArgs)
      argv.append(a);
   child_ = sx::detail::spawnChild(program_, argv, channels_, hiddenWindow_);
   exitCode_ = -1;
}

int SxProcess::run(const SxList<SxString, SxListIterators>& extraArgs) {
   start(extraArgs);
   return wait();
}

SxString SxProcess::read() {
   SxMutexBlock lock(textMutex_);
   SxString taken = stdoutText_;
   stdoutText_ = SxString();
   return taken;
}

SxString SxProcess::readBuffer(int nBytes) {
   SxMutexBlock lock(textMutex_);
   const std::string& all = stdoutText_.str();
   std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(nBytes, 0)), all.size());
   n = SxUtf::boundaryAtOrBefore(all, n); // never split a character
   SxString taken(std::string_view(all).substr(0, n));
   stdoutText_ = SxString(std::string_view(all).substr(n));
   return taken;
}

void SxProcess::write(const SxString& text) {
   write(text.utf8(), text.getNBytes());
}

void SxProcess::write(const char* data, long long nBytes) {
   if (!child_ || !sx::detail::writeChild(*child_, data, nBytes))
      throw SxException("Can't write to the standard input of process '" + program_ + "'", kSource);
}

int SxProcess::wait() {
   if (!child_)
      return exitCode_;
   auto child = std::move(child_);
   exitCode_ = sx::detail::waitChild(
       *child, [this](const SxString& piece) { readFromStdout(piece); },
       [this](const SxString& piece) { readFromStderr(piece); });
   return exitCode_;
}

void SxProcess::finishExecution() {
   writeToStdin();
   (void)wait();
}

void SxProcess::writeToStdin() {
   if (child_)
      sx::detail::closeChildStdin(*child_);
}

void SxProcess::readFromStdout(const SxString& text) {
   appendStdout(text);
}

void SxProcess::readFromStderr(const SxString& text) {
   appendStderr(text);
}

void SxProcess::setCommunication(int channels) {
   channels_ = channels;
}

SxString SxProcess::getStdout() const {
   SxMutexBlock lock(textMutex_);
   return stdoutText_;
}

SxString SxProcess::getStderr() const {
   SxMutexBlock lock(textMutex_);
   return stderrText_;
}

void SxProcess::appendStdout(const SxString& text) {
   SxMutexBlock lock(textMutex_);
   stdoutText_ += text;
}

void SxProcess::appendStderr(const SxString& text) {
   SxMutexBlock lock(textMutex_);
   stderrText_ += text;
}
