#pragma once

#include <exception>
#include <memory>
#include <sx/SxExport.h>
#include <thread>

/// A thread of the system that runs the virtual main of a derived class.
///
/// The owner starts it with start and joins it with wait; the destructor does neither, so wait
/// must be called before the object goes away. Destroying an object whose thread was started
/// and not waited for ends the process with the fatal-stop banner.
class SXIPC_API SxSystemThread {
public:
   /// Scheduling hint for a started thread. The standard library offers no portable priority,
   /// so the value is recorded only; values beyond the named ones are recorded as given.
   enum Priority : int { Low, Normal, High };

   SxSystemThread() = default;
   virtual ~SxSystemThread();
   SxSystemThread(const SxSystemThread&) = delete;
   /// A thread cannot be copied: assigning keeps this object's own thread and priority, so
   /// that derived classes can assign their own members between idle objects.
   SxSystemThread& operator=(const SxSystemThread&) { return *this; }

   /// Starts a thread running main. Starting a running thread does nothing. Raises SxException
   /// "Can't start a thread : <reason>" when the system starts no thread.
   virtual void start(Priority priority = Normal);
   /// Blocks until main has returned; returns at once when the thread was never started. When
   /// main ended by an exception, wait raises that exception (once), so that the owner learns
   /// of the failure on its own thread.
   virtual void wait();
   [[nodiscard]] Priority getPriority() const { return priority_; }

protected:
   /// The thread's work.
   virtual void main() = 0;

private:
   std::thread thread_;
   Priority priority_ = Normal;
   std::exception_ptr failure_; // written by the thread, read after the join
};
