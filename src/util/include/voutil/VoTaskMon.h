#pragma once

#include <sx/SxMutex.h>
#include <sx/SxThread.h>
#include <voutil/VoExport.h>

/// The base of the library's worker threads: a stop request that the worker polls, and
/// progress counters (units done, units in all, speed) that other threads read while it runs.
///
/// A derived class supplies main. The owner starts it with start and joins it with wait; the
/// destructor does neither, so the owner calls stop and wait first when the thread may still
/// run. Every operation may be called from any thread. The stop request and the counters have
/// a lock each, held for one read or one update only, so a thread that watches progress never
/// waits for the worker's real work.
class VOUTIL_API VoTaskMon : public SxSystemThread {
public:
   /// A monitor with all counters 0 and no stop request; the thread is not started.
   VoTaskMon();
   ~VoTaskMon() override;

   /// Units done so far.
   virtual unsigned long long getNCurrent();
   /// Units in all.
   virtual unsigned long long getNTotal();
   /// Units per time unit, as last set; the library never sets it.
   virtual unsigned long long getSpeed();
   /// The estimated time to completion in the speed's time unit: (total - done) / speed,
   /// truncated, from the three counters of one moment; 0 while the speed is 0. The difference
   /// is not clamped: with more done than in all it wraps to a large number.
   virtual unsigned long long getETA();
   virtual void setNCurrent(unsigned long long n);
   /// Adds n to the units done, as one step against concurrent callers.
   virtual void addNCurrent(unsigned long long n);
   virtual void setNTotal(unsigned long long n);
   virtual void setSpeed(unsigned long long unitsPerTime);

   /// Asks the worker to stop. It neither wakes, ends nor waits for the thread: the worker sees
   /// the request when it next polls stopRequested. The request cannot be withdrawn.
   void stop();
   /// True once stop has been called.
   [[nodiscard]] bool stopRequested() const;

protected:
   void main() override = 0;

private:
   mutable SxMutex stopMutex;
   bool stopFlag = false;

protected:
   /// Guards the counters; a derived class may put results of its own under it, holding it
   /// only briefly.
   mutable SxMutex dataMutex;

private:
   unsigned long long nCurrent = 0;
   unsigned long long nTotal = 0;
   unsigned long long speed = 0;
};
