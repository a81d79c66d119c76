#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <sx/SxExport.h>
#include <sx/SxString.h>
#include <typeinfo>
#include <vector>

/// A table of named phase timers, addressed by id. Each id sums the intervals between its
/// start and stop calls.
///
/// Programs time their phases in the process-wide table (getGlobalTimer). A phase is an
/// enumerator of an enumeration type; each enumeration gets a block of ids of its own the first
/// time it is used, and its display names are registered then (see SxTimerNames).
class SXUTIL_API SxTimer {
public:
   /// A table with room for nTimers ids. With printAtExit, the table writes its printout to
   /// standard output when it is destroyed.
   SxTimer(int nTimers, bool printAtExit);
   ~SxTimer();
   SxTimer(const SxTimer&) = delete;
   SxTimer& operator=(const SxTimer&) = delete;

   /// The process-wide table, created with 64 ids on first use.
   static SxTimer& getGlobalTimer();

   /// The id of enumerator e in the global table: getStartId<E>() plus its value.
   template <class E>
   static int getTimerId(E e);
   /// The first id of enumeration E's block, the same in every module of the process. The first
   /// call for an enumeration type (whether through getTimerId or directly) registers the display
   /// names of all its enumerators, and so reserves the whole block before another enumeration
   /// can take an id of it.
   template <class E>
   static int getStartId();

   /// True while id is not running.
   [[nodiscard]] bool isIdle(int id) const;
   /// Starts an interval of id, or joins the one that is running: an id runs until every start
   /// has been matched by a stop. Phases started directly on the table from several threads at
   /// once are thus timed as one interval, from the first start to the last stop.
   void start(int id);
   /// Starts id if it is idle; returns whether it did (a false return needs no stop).
   bool startIfIdle(int id);
   /// Matches one start of id. The last one ends the interval and adds it to the id's total;
   /// stopping an idle id does nothing.
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
      int starts = 0; // starts not yet matched by a stop; running while above 0
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
      // Runs while getStartId<E>() fixes the start id, so it looks the start id up itself.
      SxTimer::registerName(SxTimer::registerEnum(typeid(E).name()), static_cast<int>(e), name);
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
   // Holding the registration lock while the names go in keeps another enumeration from taking
   // ids of this block before they are marked occupied.
   static const int start = [] {
      std::lock_guard lock(registrationMutex());
      const int first = registerEnum(typeid(E).name());
      SxTimerNames<E> names;
      return first;
   }();
   return start;
}

template <class E>
int SxTimer::getTimerId(E e) {
   return getStartId<E>() + static_cast<int>(e);
}
