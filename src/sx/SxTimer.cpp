// Phase timers: ids reserved per enumeration, intervals and the report at exit.

#include <algorithm>
#include <cstdio>
#include <sx/SxTimer.h>

namespace {
struct EnumRegistry {
   std::map<std::string, int> startIds; // the registered enumerations, by type name
   int nextFreeId = 0;                  // one after the highest id any block occupies
};
EnumRegistry& enumRegistry() {
   static EnumRegistry registry;
   return registry;
}
} // namespace

SxTimer::SxTimer(int nTimers, bool printAtExit)
    : entries_(static_cast<std::size_t>(std::max(nTimers, 0))), printAtExit_(printAtExit) {}

SxTimer::~SxTimer() {
   if (printAtExit_)
      std::fputs(printout().utf8(), stdout);
}

SxTimer& SxTimer::getGlobalTimer() {
   static SxTimer global(64, false);
   return global;
}

std::recursive_mutex& SxTimer::registrationMutex() {
   static std::recursive_mutex mutex;
   return mutex;
}

int SxTimer::registerEnum(const char* typeName) {
   std::lock_guard lock(registrationMutex());
   EnumRegistry& r = enumRegistry();
   auto [it, inserted] = r.startIds.emplace(typeName, r.nextFreeId);
   if (inserted)
      r.nextFreeId = std::max(r.nextFreeId, it->second + 1);
   return it->second;
}

void SxTimer::registerName(int start, int value, const SxString& name) {
   std::lock_guard lock(registrationMutex());
   EnumRegistry& r = enumRegistry();
   const int id = start + value;
   r.nextFreeId = std::max(r.nextFreeId, id + 1);
   SxTimer& table = getGlobalTimer();
   if (table.getSize() < id + 1)
      table.resize(std::max(id + 1, 2 * table.getSize()));
   table.setName(id, name);
}

bool SxTimer::isIdle(int id) const {
   std::lock_guard lock(mutex_);
   return entries_.at(static_cast<std::size_t>(id)).starts == 0;
}

void SxTimer::start(int id) {
   const auto now = std::chrono::steady_clock::now();
   std::lock_guard lock(mutex_);
   Entry& e = entries_.at(static_cast<std::size_t>(id));
   if (e.starts++ == 0)
      e.since = now;
}

bool SxTimer::startIfIdle(int id) {
   std::lock_guard lock(mutex_);
   Entry& e = entries_.at(static_cast<std::size_t>(id));
   if (e.starts > 0)
      return false;
   e.starts = 1;
   e.since = std::chrono::steady_clock::now();
   return true;
}

void SxTimer::stop(int id) {
   const auto now = std::chrono::steady_clock::now();
   std::lock_guard lock(mutex_);
   Entry& e = entries_.at(static_cast<std::size_t>(id));
   if (e.starts == 0 || --e.starts > 0)
      return;
   e.total += now - e.since;
   ++e.count;
}

int SxTimer::getSize() const {
   std::lock_guard lock(mutex_);
   return static_cast<int>(entries_.size());
}

void SxTimer::resize(int n) {
   std::lock_guard lock(mutex_);
   entries_.resize(static_cast<std::size_t>(std::max(n, 0)));
}

void SxTimer::setName(int id, const SxString& name) {
   std::lock_guard lock(mutex_);
   entries_.at(static_cast<std::size_t>(id)).name = name;
}

SxString SxTimer::getName(int id) const {
   std::lock_guard lock(mutex_);
   return entries_.at(static_cast<std::size_t>(id)).name;
}

double SxTimer::getTotal(int id) const {
   std::lock_guard lock(mutex_);
   return std::chrono::duration<double>(entries_.at(static_cast<std::size_t>(id)).total).count();
}

int64_t SxTimer::getCount(int id) const {
   std::lock_guard lock(mutex_);
   return entries_.at(static_cast<std::size_t>(id)).count;
}

SxString SxTimer::printout() const {
   std::lock_guard lock(mutex_);
   SxString out;
   for (const Entry& e : entries_) {
      if (e.name.isEmpty() || e.count == 0)
         continue;
      out += SxString::sprintf("%s : %.3f s (%lld calls)\n", e.name.utf8(),
                               std::chrono::duration<double>(e.total).count(),
                               static_cast<long long>(e.count));
   }
   return out;
}
