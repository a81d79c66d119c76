// Child processes whose output is swallowed while silent and reaches the terminal otherwise.

#include <voutil/VoSilentProcess.h>

namespace {
constexpr int kCaptureOutput = SxProcess::StdOut | SxProcess::StdErr; // 6
}

VoSilentProcess::VoSilentProcess(SxString const& program)
    : SxProcess(program, SxProcess::Normal), silent(true) {
   setCommunication(kCaptureOutput);
}

VoSilentProcess::VoSilentProcess(SxString const& program,
                                 SxList<SxString, SxListIterators> const& args)
    : SxProcess(program, args, SxProcess::Normal), silent(true) {
   setCommunication(kCaptureOutput);
}

VoSilentProcess::~VoSilentProcess() = default;

void VoSilentProcess::setSilent(bool newSilent) {
   {
      SxMutexBlock lock(mutex);
      silent = newSilent;
   }
   setCommunication(newSilent ? kCaptureOutput : SxProcess::NoChannel);
}

bool VoSilentProcess::isSilent() const {
   SxMutexBlock lock(mutex);
   return silent;
}

void VoSilentProcess::readFromStdout(SxString const& text) {
   if (!isSilent())
      appendStdout(text + "\n");
}

void VoSilentProcess::readFromStderr(SxString const& text) {
   if (!isSilent())
      appendStderr(text + "\n");
}
