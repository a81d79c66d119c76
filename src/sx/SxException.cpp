#include <map>
#include <mutex>
#include <sx/SxException.h>

SxException::SxException(const SxString& message, const char* source, int line)
    : message_(message), source_(source), line_(line), what_(toString().str()) {}

SxException::SxException(const SxException& cause, const SxString& message, const char* source,
                         int line)
    : message_(message), source_(source), line_(line),
      cause_(std::make_shared<const SxException>(cause)), what_(toString().str()) {}

SxException::SxException(const char* tag, const SxString& message, const char* source, int line)
    : tag_(tag), message_(message), source_(source), line_(line), what_(toString().str()) {}

SxList<SxString> SxException::getMessages() const {
   SxList<SxString> messages;
   for (const SxException* e = this; e; e = e->getCause())
      messages.append(e->message_);
   return messages;
}

SxString SxException::toString(int level, const SxString& sep) const {
   SxList<SxString> entries;
   for (const SxException* e = this; e; e = e->getCause()) {
      if (level <= 0) {
         entries.append(e->message_);
         continue;
      }
      SxString entry = e->tag_.isEmpty() ? SxString() : "[" + e->tag_ + "] ";
      entries.append(entry + e->message_ + " (" + e->source_ + ":" + SxString(e->line_) + ")");
   }
   return SxString::join(entries, sep);
}

namespace {
struct TagTable {
   std::mutex mutex;
   std::map<SxString, SxString> descriptions;
};
TagTable& tagTable() {
   static TagTable table;
   return table;
}
} // namespace

SxExceptionEntry::SxExceptionEntry(const char* tag, const char* description) : tag_(tag) {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   t.descriptions[tag_] = SxString(description);
}

SxExceptionEntry::~SxExceptionEntry() {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   t.descriptions.erase(tag_);
}

SxString SxExceptionEntry::getDescription(const SxString& tag) {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   auto it = t.descriptions.find(tag);
   return it == t.descriptions.end() ? SxString() : it->second;
}
