#pragma once

#include <cstdint>
#include <memory>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <sx/SxMutex.h>
#include <sx/SxString.h>

namespace sx::detail {
struct ChildProcess;
/// Ends the platform's hold on a child (its handles and pipes); defined per platform.
struct SXIPC_API ChildDeleter {
   void operator()(ChildProcess* child) const;
};
} // namespace sx::detail

/// A child program started from an argument vector, never through a shell.
///
/// With standard output or standard error captured (setCommunication), every piece the child
/// writes there is handed to readFromStdout or readFromStderr, which by default append it to the
/// collected texts (getStdout, getStderr). The hooks run while wait runs and never after it
/// returns; they may run on a thread of the object's own, so derived hooks guard their state. A
/// hook that raises ends wait with its exception, and the rest of the output is not handed on. Call
/// wait before destroying an object whose child was started; the destructor closes the child's
/// standard input and waits as a last resort, and then only the base hooks run.
class SXIPC_API SxProcess {
public:
   /// How the child is started. Only the ordinary mode exists.
   enum Mode : int { Normal = 0 };
   /// Which of the child's standard streams are piped to this object; the others are inherited
   /// from this process.
   enum Channels : int { NoChannel = 0, StdIn = 1, StdOut = 2, StdErr = 4 };

   explicit SxProcess(const SxString& program, Mode mode = Normal);
   SxProcess(const SxString& program, const SxList<SxString, SxListIterators>& args,
             Mode mode = Normal);
   virtual ~SxProcess();
   SxProcess(const SxProcess&) = delete;
   SxProcess& operator=(const SxProcess&) = delete;

   /// Starts the child with the constructor's arguments followed by extraArgs. Raises
   /// "Can't start process '<program>' : <reason>" when the program cannot be run.
   virtual void start(const SxList<SxString, SxListIterators>& extraArgs);
   /// Starts the child with extraArgs, waits for it and returns its exit code.
   virtual int run(const SxList<SxString, SxListIterators>& extraArgs);
   /// Takes the standard-output text collected so far, leaving the collection empty.
   virtual SxString read();
   /// Takes at most nBytes of the collected standard-output text (whole characters).
   virtual SxString readBuffer(int nBytes);
   /// Writes text to the child's standard input (channel StdIn), reading its captured output
   /// meanwhile (kept for the hooks in wait), so that a child that echoes its input never
   /// blocks the write. Raises "Can't write to the standard input of process '<program>'" when
   /// the input is not open or the child has gone; no signal ends this process. Raises
   /// "Can't read from child process: <reason>" when reading the output fails.
   virtual void write(const SxString& text);
   virtual void write(const char* data, long long nBytes);
   /// Waits until the child has ended, after handing all its captured output to the hooks, and
   /// returns its exit code (128 plus the signal number for a child ended by a signal). Raises
   /// "Can't read from child process: <reason>" when reading the output fails.
   virtual int wait();
   /// Closes the child's standard input, then waits as wait does.
   virtual void finishExecution();
   /// Closes the child's standard input, so that it reads the end of its input.
   virtual void writeToStdin();
   /// Called with each piece the child writes to standard output; appends it by default.
   virtual void readFromStdout(const SxString& text);
   /// Called with each piece the child writes to standard error; appends it by default.
   virtual void readFromStderr(const SxString& text);

   /// Chooses the piped channels, a sum of Channels values; takes effect at the next start.
   void setCommunication(int channels);
   [[nodiscard]] int getCommunication() const { return channels_; }
   /// Starts the child without a visible window where the platform has windows.
   void setHiddenWindow(bool hidden) { hiddenWindow_ = hidden; }

   /// The texts collected by the default hooks.
   [[nodiscard]] SxString getStdout() const;
   [[nodiscard]] SxString getStderr() const;

protected:
   /// Appends text to the collected standard-output or standard-error text.
   void appendStdout(const SxString& text);
   void appendStderr(const SxString& text);

private:
   SxString program_;
   SxList<SxString, SxListIterators> args_;
   int channels_ = NoChannel;
   bool hiddenWindow_ = false;
   mutable SxMutex textMutex_;
   SxString stdoutText_;
   SxString stderrText_;
   std::unique_ptr<sx::detail::ChildProcess, sx::detail::ChildDeleter> child_;
   int exitCode_ = -1;
};
