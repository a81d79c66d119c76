#pragma once

#include <sx/SxMutex.h>
#include <sx/SxProcess.h>
#include <voutil/VoExport.h>

/// A child process whose standard output and standard error are, by default, captured and
/// thrown away, so that nothing it prints reaches the caller's console.
///
/// When switched to non-silent the streams are no longer captured; text that still reaches the
/// hooks is appended, with a line feed after each piece, to the collected texts of SxProcess.
class VOUTIL_API VoSilentProcess : public SxProcess {
public:
   /// A silent process for the program, with standard output and standard error captured.
   explicit VoSilentProcess(SxString const& program);
   VoSilentProcess(SxString const& program, SxList<SxString, SxListIterators> const& args);
   ~VoSilentProcess() override;

   /// Switches silence on (streams captured and dropped) or off (streams not captured).
   void setSilent(bool silent);
   [[nodiscard]] bool isSilent() const;

   void readFromStdout(SxString const& text) override;
   void readFromStderr(SxString const& text) override;

private:
   bool silent;
   mutable SxMutex mutex;
};
