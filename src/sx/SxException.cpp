// Exceptions with chained messages, tags and source lines, and the table of tag descriptions.

#include <map>
#include <mutex>
#include <sx/SxException.h>

SxException::SxException(const SxString& message, const char* source, Where where)
    : message_(message), source_(source), line_(where.line()), what_(toString().str()) {}

SxException::SxException(const SxException& cause, const SxString& message, const char* source,
                         Where where)
    : message_(message), source_(source), line_(where.line()),
      cause_(std::make_shared<const SxException>(cause)), what_(toString().str()) {}

SxException::SxException(const char* tag, const SxString& message, const char* source, Where where)
    : tag_(tag), message_(message), source_(source), line_(where.line()), what_(toString().str()) {}

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
   struct Entry {
      SxString group;
      SxString description;
   };
   std::map<SxString, Entry> entries;
};
TagTable& tagTable() {
   static TagTable table;
   return table;
}
} // namespace

SxExceptionEntry::SxExceptionEntry(const char* tag, const char* description)
    : SxExceptionEntry("", tag, description) {}

SxExceptionEntry::SxExceptionEntry(const char* group, const char* tag, const char* description)
    : tag_(tag) {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   t.entries[tag_] = {SxString(group), SxString(description)};
}

SxExceptionEntry::~SxExceptionEntry() {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   t.entries.erase(tag_);
}

SxString SxExceptionEntry::getDescription(const SxString& tag) {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   auto it = t.entries.find(tag);
   return it == t.entries.end() ? SxString() : it->second.description;
}

SxString SxExceptionEntry::getGroup(const SxString& tag) {
   TagTable& t = tagTable();
   std::lock_guard lock(t.mutex);
   auto it = t.entries.find(tag);
   return it == t.entries.end() ? SxString() : it->second.group;
}
