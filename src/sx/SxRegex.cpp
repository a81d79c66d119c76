// Regular expressions and substitutions over PCRE2, with JIT and match limits.

#include <sx/SxException.h>
#include <sx/SxRegex.h>
#include <sx/SxUtf.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <mutex>
#include <pcre2.h>
#include <string>
#include <string_view>
#include <vector>

namespace {
constexpr char kSource[] = "src/sx/SxRegex";

// Generous for real patterns, small enough that catastrophic backtracking ends in well under a
// second instead of hanging.
constexpr uint32_t kMatchLimit = 10'000'000;
constexpr uint32_t kDepthLimit = 100'000;

SxString pcre2Message(int code) {
   PCRE2_UCHAR buffer[256];
   pcre2_get_error_message(code, buffer, sizeof buffer);
   return SxString(reinterpret_cast<const char*>(buffer));
}
} // namespace

namespace sx::detail {

struct CompiledPattern {
   SxString text;
   pcre2_code* code = nullptr;
   pcre2_match_context* context = nullptr;
   // Compiled to machine code on the first match, not when built: patterns built while the
   // library loads would otherwise cost every program's start-up.
   mutable std::once_flag jitted;

   ~CompiledPattern() {
      pcre2_match_context_free(context);
      pcre2_code_free(code);
   }

   // Matches text from offset; returns the match data (caller frees) or null when nothing
   // matches. Raises when a limit is hit. The subject comes from an SxString, which is always
   // valid UTF-8, so the matcher need not check it again.
   pcre2_match_data* matchAt(std::string_view subject, std::size_t offset) const {
      // JIT is an optimisation only: where it is unavailable the interpreter runs the pattern.
      std::call_once(jitted, [this] { (void)pcre2_jit_compile(code, PCRE2_JIT_COMPLETE); });
      pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
      const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                                 offset, PCRE2_NO_UTF_CHECK, data, context);
      if (rc >= 0)
         return data;
      pcre2_match_data_free(data);
      if (rc == PCRE2_ERROR_NOMATCH)
         return nullptr;
      throw SxException("Matching regular expression '" + text + "' failed: " + pcre2Message(rc),
                        kSource);
   }
};

} // namespace sx::detail

SxRegex::SxRegex(const SxString& pattern, const SxString& options)
    : pattern_(std::make_unique<sx::detail::CompiledPattern>()) {
   uint32_t flags = PCRE2_UTF;
   for (char c : options.str()) {
      switch (c) {
      case 'i':
         flags |= PCRE2_CASELESS;
         break;
      case 'm':
         flags |= PCRE2_MULTILINE;
         break;
      case 's':
         flags |= PCRE2_DOTALL;
         break;
      case 'x':
         flags |= PCRE2_EXTENDED;
         break;
      case 'g':
         break; // meaningful to SxSed only
      default:
         throw SxException("Invalid regular expression '" + pattern + "': unknown option '" +
                               SxString(std::string(1, c)) + "'",
                           kSource);
      }
   }
   int error = 0;
   PCRE2_SIZE offset = 0;
   pattern_->text = pattern;
   pattern_->code =
       pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.utf8()),
                     static_cast<PCRE2_SIZE>(pattern.getNBytes()), flags, &error, &offset, nullptr);
   if (!pattern_->code)
      throw SxException("Invalid regular expression '" + pattern + "' at offset " +
                            SxString(static_cast<unsigned long long>(offset)) + ": " +
                            pcre2Message(error),
                        kSource);
   pattern_->context = pcre2_match_context_create(nullptr);
   pcre2_set_match_limit(pattern_->context, kMatchLimit);
   pcre2_set_depth_limit(pattern_->context, kDepthLimit);
}

SxRegex::~SxRegex() = default;
SxRegex::SxRegex(SxRegex&&) noexcept = default;
SxRegex& SxRegex::operator=(SxRegex&&) noexcept = default;

std::ptrdiff_t SxRegex::matchViews(std::string_view text,
                                   std::vector<std::string_view>* parts) const {
   parts->clear();
   pcre2_match_data* data = pattern_->matchAt(text, 0);
   if (!data)
      return 0;
   const uint32_t n = pcre2_get_ovector_count(data);
   const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
   uint32_t groups = 0;
   pcre2_pattern_info(pattern_->code, PCRE2_INFO_CAPTURECOUNT, &groups);
   for (uint32_t i = 0; i <= groups; ++i) {
      if (i < n && ovector[2 * i] != PCRE2_UNSET)
         parts->push_back(text.substr(ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]));
      else
         parts->push_back(std::string_view());
   }
   pcre2_match_data_free(data);
   return static_cast<std::ptrdiff_t>(parts->size());
}

SxList<SxString> SxRegex::match(const SxString& text) const {
   std::vector<std::string_view> parts;
   matchViews(text.str(), &parts);
   SxList<SxString> result;
   for (std::string_view part : parts)
      result.append(SxString(part));
   return result;
}

SxSed::SxSed(const SxString& pattern, const SxString& replacement, const SxString& options)
    : regex_(pattern, options), replacement_(replacement),
      global_(options.str().find('g') != std::string::npos) {}

SxString SxSed::subst(const SxString& text, int* nMatches) const {
   if (regex_.pattern_->text.isEmpty()) {
      // An empty pattern would match between every two characters; it replaces nothing instead.
      if (nMatches)
         *nMatches = 0;
      return text;
   }
   const std::string& subject = text.str();
   const std::string& repl = replacement_.str();
   std::string out;
   std::size_t pos = 0;
   int count = 0;
   while (pos <= subject.size()) {
      pcre2_match_data* data = regex_.pattern_->matchAt(subject, pos);
      if (!data)
         break;
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
      const uint32_t nPairs = pcre2_get_ovector_count(data);
      const std::size_t start = ov[0], end = ov[1];
      out.append(subject, pos, start - pos);
      for (std::size_t i = 0; i < repl.size(); ++i) {
         if (repl[i] != '\\' || i + 1 == repl.size()) {
            out += repl[i];
            continue;
         }
         const char next = repl[++i];
         if (next >= '1' && next <= '9') {
            const uint32_t g = static_cast<uint32_t>(next - '0');
            if (g < nPairs && ov[2 * g] != PCRE2_UNSET)
               out.append(subject, ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
         } else {
            out += next;
         }
      }
      pcre2_match_data_free(data);
      ++count;
      if (end == start) {
         // An empty match: copy one character and move on, so the scan always advances.
         if (start == subject.size()) {
            pos = start;
            break;
         }
         const std::size_t next = SxUtf::nextBoundary(subject, start);
         out.append(subject, start, next - start);
         pos = next;
      } else {
         pos = end;
      }
      if (!global_)
         break;
   }
   if (pos < subject.size())
      out.append(subject, pos);
   if (nMatches)
      *nMatches = count;
   return SxString(std::string_view(out));
}
