#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <sx/SxString.h>
#include <typeinfo>
#include <vector>

/// A table of named phase timers, addressed by id. Each id sums the intervals between its
/// start and stop calls.
///
/// Programs time their phases in the process-wide table (getGlobalTimer). A phase is an
/// enumerator of an enumeration type; each enumeration gets a block of ids of its own the first
/// time it is used, and its display names are registered then (see SxTimerNames).
class SxTimer {
public:
   /// A table with room for nTimers ids. With printAtExit, the table writes its printout to
   /// standard output when it is destroyed.
   SxTimer(int nTimers, bool printAtExit);
   ~SxTimer();
   SxTimer(const SxTimer&) = delete;
   SxTimer& operator=(const SxTimer&) = delete;

   /// The process-wide table, created with 64 ids on first use.
   static SxTimer& getGlobalTimer();

   /// The id of enumerator e in the global table. The first call for an enumeration type
   /// registers the display names of all its enumerators.
   template <class E>
   static int getTimerId(E e);
   /// The first id of enumeration E's block, fixed on the first call and the same in every
   /// module of the process.
   template <class E>
   static int getStartId();

   /// True while id is not running.
   [[nodiscard]] bool isIdle(int id) const;
   /// Starts id, which must be idle.
   void start(int id);
   /// Starts id if it is idle; returns whether it did.
   bool startIfIdle(int id);
   /// Stops id and adds the interval to its total; stopping an idle id does nothing.
   void stop(int id);
   [[nodiscard]] int getSize() const;
   /// Makes room for n ids; existing ids keep their names and totals.
   void resize(int n);
   void setName(int id, const SxString& name);
   [[nodiscard]] SxString getName(int id) const;
   /// Seconds summed over the finished intervals of id.
   [[nodiscard]] double getTotal(int id) const;
   /// Number of finished intervals of id.
   [[nodiscard]] int64_t getCount(int id) const;
   /// One line per named id with at least one finished interval:
   /// "<name> : <seconds> s (<count> calls)", in id order.
   [[nodiscard]] SxString printout() const;

   /// Fixes the start id of the enumeration called typeName: the stored one when it was
   /// registered before, else the first id after every block registered so far.
   static int registerEnum(const char* typeName);
   /// Registers the display name of id start + value in the global table, growing the table
   /// when needed, and marks that id as occupied by the enumeration's block.
   static void registerName(int start, int value, const SxString& name);
   /// Serialises the registration of enumerations across threads.
   static std::recursive_mutex& registrationMutex();

private:
   struct Entry {
      SxString name;
      bool running = false;
      std::chrono::steady_clock::time_point since;
      std::chrono::steady_clock::duration total{};
      int64_t count = 0;
   };
   mutable std::mutex mutex_;
   std::vector<Entry> entries_;
   bool printAtExit_;
};

/// The display names of one enumeration. The library that owns an enumeration defines the
/// constructor of SxTimerNames<ThatEnum>, calling regTimer once per enumerator in order.
template <class E>
class SxTimerNames {
public:
   SxTimerNames();
   void regTimer(E e, const SxString& name) {
      SxTimer::registerName(SxTimer::getStartId<E>(), static_cast<int>(e), name);
   }
};

/// Times a phase for the lifetime of the scope. If the phase is already running (nested or on
/// another thread), only the outermost entry is measured.
class [[nodiscard]] SxTakeTime {
public:
   explicit SxTakeTime(int id) : id_(SxTimer::getGlobalTimer().startIfIdle(id) ? id : -1) {}
   ~SxTakeTime() {
      if (id_ != -1)
         SxTimer::getGlobalTimer().stop(id_);
   }
   SxTakeTime(const SxTakeTime&) = delete;
   SxTakeTime& operator=(const SxTakeTime&) = delete;

private:
   int id_;
};

template <class E>
int SxTimer::getStartId() {
   static const int start = [] {
      std::lock_guard lock(registrationMutex());
      return registerEnum(typeid(E).name());
   }();
   return start;
}

template <class E>
int SxTimer::getTimerId(E e) {
   // Holding the registration lock while the names go in keeps another enumeration from taking
   // ids of this block before they are marked occupied.
   static const bool registered = [] {
      std::lock_guard lock(registrationMutex());
      SxTimerNames<E> names;
      return true;
   }();
   (void)registered;
   return getStartId<E>() + static_cast<int>(e);
}
