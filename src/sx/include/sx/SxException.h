#pragma once

#include <exception>
#include <memory>
#include <string>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <sx/SxString.h>

/// The one failure type of the library and its foundation.
///
/// An exception carries a message, the source that raised it (a path such as
/// "src/util/VoRegistry") with a line, an optional tag naming the kind of failure, and
/// optionally the exception it was raised in response to (its cause).
class SXUTIL_API SxException : public std::exception {
public:
   /// The place that raises an exception: the line of the expression that constructs it.
   /// Works like std::source_location::current(), which not every compiler we build with has:
   /// as a default argument it takes the line of the call that the argument was left out of.
   struct Where {
      static constexpr Where current(int line = __builtin_LINE()) { return Where{line}; }
      [[nodiscard]] constexpr int line() const { return line_; }
      int line_;
   };

   /// A failure detected in source (a path such as "src/util/VoRegistry") at the caller's line.
   SxException(const SxString& message, const char* source, Where where = Where::current());
   /// A failure raised while handling cause; the new exception keeps a copy of cause.
   SxException(const SxException& cause, const SxString& message, const char* source,
               Where where = Where::current());
   /// A failure of the kind tag, such as "FileWriteError".
   SxException(const char* tag, const SxString& message, const char* source,
               Where where = Where::current());

   [[nodiscard]] const SxString& getTag() const { return tag_; }
   [[nodiscard]] const SxString& getMessage() const { return message_; }
   [[nodiscard]] const SxString& getSource() const { return source_; }
   [[nodiscard]] int getLine() const { return line_; }
   /// The exception this one wraps, or null.
   [[nodiscard]] const SxException* getCause() const { return cause_.get(); }
   /// The messages of the chain, this exception's first, then its cause's, and so on.
   [[nodiscard]] SxList<SxString> getMessages() const;

   /// The chain as text, outermost first, entries joined by sep. Level 0 gives the messages
   /// alone; a higher level adds the tag, the source and the line of each entry.
   [[nodiscard]] SxString toString(int level = 0, const SxString& sep = "\n") const;
   /// The text of toString().
   [[nodiscard]] const char* what() const noexcept override { return what_.c_str(); }

private:
   SxString tag_;
   SxString message_;
   SxString source_;
   int line_ = 0;
   std::shared_ptr<const SxException> cause_;
   std::string what_;
};

/// Registers a description for an exception tag for the lifetime of the object, so that
/// programs can explain a tag they meet. Meant for objects of static storage duration.
class SXUTIL_API SxExceptionEntry {
public:
   SxExceptionEntry(const char* tag, const char* description);
   /// The same for a tag that belongs to a group of related tags, such as "ParserKit".
   SxExceptionEntry(const char* group, const char* tag, const char* description);
   ~SxExceptionEntry();
   SxExceptionEntry(const SxExceptionEntry&) = delete;
   SxExceptionEntry& operator=(const SxExceptionEntry&) = delete;

   /// The description registered for tag, or the empty text.
   static SxString getDescription(const SxString& tag);
   /// The group registered for tag, or the empty text.
   static SxString getGroup(const SxString& tag);

private:
   SxString tag_;
};
