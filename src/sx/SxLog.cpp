// Log channels that components switch on and off by name.

#include <cstdio>
#include <mutex>
#include <set>
#include <sx/SxLog.h>

namespace {
struct Channels {
   std::mutex mutex;
   std::set<SxString> enabled;
};

Channels& channels() {
   static Channels* c = new Channels; // usable from other statics' destructors
   return *c;
}
} // namespace

void SxLog::enable(const SxString& component) {
   Channels& c = channels();
   std::lock_guard<std::mutex> lock(c.mutex);
   c.enabled.insert(component);
}

void SxLog::disable(const SxString& component) {
   Channels& c = channels();
   std::lock_guard<std::mutex> lock(c.mutex);
   c.enabled.erase(component);
}

bool SxLog::isEnabled(const SxString& component) {
   Channels& c = channels();
   std::lock_guard<std::mutex> lock(c.mutex);
   return c.enabled.count(component) != 0;
}

void SxLog::print(const SxString& component, const SxString& message) {
   Channels& c = channels();
   // Held while writing, so the lines of different threads do not interleave.
   std::lock_guard<std::mutex> lock(c.mutex);
   if (c.enabled.count(component) == 0)
      return;
   std::fprintf(stderr, "[%s] %s\n", component.utf8(), message.utf8());
   std::fflush(stderr);
}
