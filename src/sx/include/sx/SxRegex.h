#pragma once

#include <memory>
#include <string_view>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <vector>

namespace sx::detail {
struct CompiledPattern;
}

/// A compiled regular expression (Perl syntax, UTF-8).
///
/// Options are letters: "i" ignores case, "m" lets ^ and $ match at line ends, "s" lets the dot
/// match a newline, "x" allows blanks and comments in the pattern. Matching runs under a match
/// and depth limit, so that a hostile pattern or text raises instead of hanging the process.
class SXUTIL_API SxRegex {
public:
   /// Compiles pattern. Raises "Invalid regular expression '<pattern>' at offset <n>: <reason>"
   /// for a pattern that does not compile or an unknown option letter.
   explicit SxRegex(const SxString& pattern, const SxString& options = "");
   ~SxRegex();
   SxRegex(SxRegex&&) noexcept;
   SxRegex& operator=(SxRegex&&) noexcept;

   /// The first match in text: the whole match, then each group in order (a group that took no
   /// part is empty). Gives an empty list when nothing matches. Raises when the match limit is
   /// exceeded.
   [[nodiscard]] SxList<SxString> match(const SxString& text) const;
   /// The same match as views into text, without copying: parts receives the whole match and
   /// the groups, and the result is their number (0 when nothing matches). text must be valid
   /// UTF-8, such as a piece of an SxString cut at ASCII characters; the views live as long as
   /// text. For loops over large inputs, where copies would dominate.
   std::ptrdiff_t matchViews(std::string_view text, std::vector<std::string_view>* parts) const;

private:
   friend class SxSed;
   std::unique_ptr<sx::detail::CompiledPattern> pattern_;
};

/// A search-and-replace command in the manner of sed's s/pattern/replacement/options.
///
/// In the replacement, "\1" to "\9" insert the groups of the match and a backslash before any
/// other character inserts that character, so "\\" gives one backslash. Options are those of
/// SxRegex plus "g", which replaces every match instead of the first only.
class SXUTIL_API SxSed {
public:
   SxSed(const SxString& pattern, const SxString& replacement, const SxString& options = "");

   /// The text with the matches replaced. When nMatches is given it receives the number of
   /// replacements made. An empty pattern replaces nothing.
   [[nodiscard]] SxString subst(const SxString& text, int* nMatches = nullptr) const;

private:
   SxRegex regex_;
   SxString replacement_;
   bool global_ = false;
};
