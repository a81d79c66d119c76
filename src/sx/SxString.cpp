#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <sx/SxString.h>
#include <vector>

const SxString SxString::emptyString;

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
   if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
      c = kReplacement;
   if (c < 0x80) {
      out += static_cast<char>(c);
   } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
   } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
   } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
   }
}

// Decodes one character at text[pos] and advances pos; malformed sequences give U+FFFD and
// advance by one byte.
char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
   const auto b0 = static_cast<unsigned char>(text[pos]);
   if (b0 < 0x80) {
      ++pos;
      return b0;
   }
   int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
   if (extra < 0 || b0 > 0xF4 || pos + extra >= text.size()) {
      ++pos;
      return kReplacement;
   }
   char32_t c = b0 & (0x3F >> extra);
   for (int i = 1; i <= extra; ++i) {
      const auto b = static_cast<unsigned char>(text[pos + i]);
      if ((b & 0xC0) != 0x80) {
         ++pos;
         return kReplacement;
      }
      c = (c << 6) | (b & 0x3F);
   }
   static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
   if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      ++pos;
      return kReplacement;
   }
   pos += extra + 1;
   return c;
}

// Index of the first byte that does not belong to a well-formed sequence, or npos. Runs of
// ASCII are checked 32 and then eight bytes at a time, since nearly all text is mostly ASCII.
std::size_t firstMalformed(std::string_view text) {
   std::size_t i = 0;
   const std::size_t n = text.size();
   while (i < n) {
      if (i + 32 <= n) {
         uint64_t words[4];
         std::memcpy(words, text.data() + i, 32);
         if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) == 0) {
            i += 32;
            continue;
         }
      }
      if (i + 8 <= n) {
         uint64_t word;
         std::memcpy(&word, text.data() + i, 8);
         if ((word & 0x8080808080808080ULL) == 0) {
            i += 8;
            continue;
         }
      }
      if (static_cast<unsigned char>(text[i]) < 0x80) {
         ++i;
         continue;
      }
      const std::size_t start = i;
      if (decodeUtf8(text, i) == kReplacement && i == start + 1)
         return start;
   }
   return std::string_view::npos;
}

std::string sanitizeUtf8(std::string_view text) {
   const std::size_t bad = firstMalformed(text);
   if (bad == std::string_view::npos)
      return std::string(text);
   std::string out(text.substr(0, bad));
   out.reserve(text.size());
   for (std::size_t pos = bad; pos < text.size();) {
      const std::size_t start = pos;
      const char32_t c = decodeUtf8(text, pos);
      if (c == kReplacement && pos == start + 1 && static_cast<unsigned char>(text[start]) >= 0x80)
         appendUtf8(out, kReplacement);
      else
         out.append(text.substr(start, pos - start));
   }
   return out;
}

template <class Unit>
std::string utf16ToUtf8(const Unit* units, std::size_t n) {
   std::string out;
   out.reserve(n);
   for (std::size_t i = 0; i < n; ++i) {
      char32_t c = static_cast<char16_t>(units[i]);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
         const char32_t low = static_cast<char16_t>(units[i + 1]);
         if (low >= 0xDC00 && low <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
         }
      }
      appendUtf8(out, c);
   }
   return out;
}

bool isAscii(std::string_view text) {
   for (char ch : text)
      if (static_cast<unsigned char>(ch) >= 0x80)
         return false;
   return true;
}

// Byte offset of character number index (clamped to the end of the text).
std::size_t byteOffset(std::string_view text, std::ptrdiff_t index) {
   if (index <= 0)
      return 0;
   std::size_t pos = 0;
   for (std::ptrdiff_t i = 0; i < index && pos < text.size(); ++i) {
      ++pos;
      while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
         ++pos;
   }
   return pos;
}

std::ptrdiff_t charCount(std::string_view text, std::size_t nBytes) {
   std::ptrdiff_t n = 0;
   for (std::size_t i = 0; i < nBytes; ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
         ++n;
   return n;
}

} // namespace

SxString::SxString(const char* utf8) : text_(utf8 ? sanitizeUtf8(utf8) : std::string()) {}
SxString::SxString(std::string_view utf8) : text_(sanitizeUtf8(utf8)) {}
SxString::SxString(std::string&& utf8) {
   if (firstMalformed(utf8) == std::string_view::npos)
      text_ = std::move(utf8);
   else
      text_ = sanitizeUtf8(utf8);
}
SxString::SxString(int number) : text_(std::to_string(number)) {}
SxString::SxString(unsigned number) : text_(std::to_string(number)) {}
SxString::SxString(long number) : text_(std::to_string(number)) {}
SxString::SxString(unsigned long number) : text_(std::to_string(number)) {}
SxString::SxString(long long number) : text_(std::to_string(number)) {}
SxString::SxString(unsigned long long number) : text_(std::to_string(number)) {}
SxString::SxString(double number) {
   char buf[64];
   const auto result = std::to_chars(buf, buf + sizeof buf, number);
   text_.assign(buf, result.ptr);
}

SxString SxString::fromUtf8(const char* utf8) {
   return SxString(utf8);
}

SxString SxString::fromUtf8(const char* utf8, std::ptrdiff_t nBytes) {
   return SxString(std::string_view(utf8, static_cast<std::size_t>(nBytes)));
}

SxString SxString::fromAscii(const char* ascii) {
   SxString s;
   if (!ascii)
      return s;
   for (; *ascii; ++ascii) {
      const auto c = static_cast<unsigned char>(*ascii);
      appendUtf8(s.text_, c < 0x80 ? c : kReplacement);
   }
   return s;
}

SxString SxString::fromUtf16(const char16_t* utf16) {
   if (!utf16)
      return {};
   return fromUtf16(utf16, static_cast<std::ptrdiff_t>(std::char_traits<char16_t>::length(utf16)));
}

SxString SxString::fromUtf16(const char16_t* utf16, std::ptrdiff_t nUnits) {
   SxString s;
   s.text_ = utf16ToUtf8(utf16, static_cast<std::size_t>(nUnits));
   return s;
}

SxString SxString::fromUtf16(const wchar_t* wide) {
   SxString s;
   if (!wide)
      return s;
   const std::size_t n = std::wcslen(wide);
   if constexpr (sizeof(wchar_t) == 2) {
      s.text_ = utf16ToUtf8(wide, n);
   } else {
      for (std::size_t i = 0; i < n; ++i)
         appendUtf8(s.text_, static_cast<char32_t>(wide[i]));
   }
   return s;
}

SxString SxString::sprintf(const char* format, ...) {
   va_list args;
   va_start(args, format);
   va_list copy;
   va_copy(copy, args);
   const int n = std::vsnprintf(nullptr, 0, format, copy);
   va_end(copy);
   std::string out;
   if (n > 0) {
      out.resize(static_cast<std::size_t>(n) + 1);
      std::vsnprintf(out.data(), out.size(), format, args);
      out.resize(static_cast<std::size_t>(n));
   }
   va_end(args);
   return SxString(std::string_view(out));
}

SxString SxString::join(const SxList<SxString>& elems, const SxString& sep) {
   SxString out;
   bool first = true;
   for (const SxString& e : elems) {
      if (!first)
         out.text_ += sep.text_;
      out.text_ += e.text_;
      first = false;
   }
   return out;
}

SxArray<SxChar16> SxString::utf16() const {
   SxArray<SxChar16> out;
   for (std::size_t pos = 0; pos < text_.size();) {
      const char32_t c = decodeUtf8(text_, pos);
      if (c >= 0x10000) {
         out.append(static_cast<SxChar16>(0xD800 + ((c - 0x10000) >> 10)));
         out.append(static_cast<SxChar16>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
         out.append(static_cast<SxChar16>(c));
      }
   }
   out.append(SxChar16(0));
   return out;
}

std::string SxString::ascii() const {
   if (isAscii(text_))
      return text_;
   std::string out;
   for (std::size_t pos = 0; pos < text_.size();) {
      const char32_t c = decodeUtf8(text_, pos);
      out += c < 0x80 ? static_cast<char>(c) : '?';
   }
   return out;
}

std::ptrdiff_t SxString::getSize() const {
   return charCount(text_, text_.size());
}

void SxString::resize(std::ptrdiff_t n, bool keep) {
   if (n < 0)
      n = 0;
   if (!keep) {
      text_.assign(static_cast<std::size_t>(n), ' ');
      return;
   }
   const std::ptrdiff_t have = getSize();
   if (n <= have)
      text_.resize(byteOffset(text_, n));
   else
      text_.append(static_cast<std::size_t>(n - have), ' ');
}

SxString& SxString::append(const SxString& other) {
   text_ += other.text_;
   return *this;
}

SxString SxString::subString(std::ptrdiff_t start, std::ptrdiff_t n) const {
   const std::size_t from = byteOffset(text_, start);
   const std::size_t to =
       n < 0 ? text_.size() : from + byteOffset(std::string_view(text_).substr(from), n);
   SxString s;
   s.text_ = text_.substr(from, to - from);
   return s;
}

SxString SxString::tail(std::ptrdiff_t n) const {
   const std::ptrdiff_t size = getSize();
   return n >= size ? *this : subString(size - n);
}

std::ptrdiff_t SxString::find(const SxString& needle, std::ptrdiff_t from) const {
   const std::size_t pos = text_.find(needle.text_, byteOffset(text_, from));
   return pos == std::string::npos ? -1 : charCount(text_, pos);
}

SxString SxString::substitute(const SxString& from, const SxString& to) const {
   if (from.text_.empty())
      return *this;
   SxString out;
   std::size_t pos = 0;
   for (std::size_t hit; (hit = text_.find(from.text_, pos)) != std::string::npos;
        pos = hit + from.text_.size()) {
      out.text_.append(text_, pos, hit - pos);
      out.text_ += to.text_;
   }
   out.text_.append(text_, pos);
   return out;
}

SxList<SxString> SxString::tokenize(const SxString& sep, bool keepEmpty) const {
   SxList<SxString> pieces;
   auto add = [&](std::size_t from, std::size_t to) {
      if (to > from || keepEmpty) {
         SxString piece;
         piece.text_ = text_.substr(from, to - from);
         pieces.append(std::move(piece));
      }
   };
   if (sep.text_.empty()) {
      add(0, text_.size());
      return pieces;
   }
   std::size_t pos = 0;
   for (std::size_t hit; (hit = text_.find(sep.text_, pos)) != std::string::npos;
        pos = hit + sep.text_.size())
      add(pos, hit);
   add(pos, text_.size());
   return pieces;
}

SxString SxString::removeWhiteSpace() const {
   SxString out;
   for (char c : text_)
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
         out.text_ += c;
   return out;
}

int32_t SxString::toInt(bool* error, int base) const {
   bool failed = false;
   const int64_t wide = toNumber<int64_t>(&failed, base);
   if (!failed && (wide < std::numeric_limits<int32_t>::min() || wide > 0xFFFFFFFFLL))
      failed = true;
   if (error)
      *error = failed;
   return static_cast<int32_t>(static_cast<uint32_t>(wide));
}

int64_t SxString::toInt64(bool* error, int base) const {
   bool failed = false;
   int64_t value = toNumber<int64_t>(&failed, base);
   if (failed) {
      // Accept the unsigned range too, so a QWORD's decimal text reads back as its bits.
      bool unsignedFailed = false;
      const uint64_t u = toNumber<uint64_t>(&unsignedFailed, base);
      if (!unsignedFailed) {
         value = static_cast<int64_t>(u);
         failed = false;
      }
   }
   if (error)
      *error = failed;
   return value;
}

bool sx::detail::parseInteger(std::string_view text, int base, bool allowMinus, bool& negative,
                              uint64_t& magnitude) {
   negative = false;
   magnitude = 0;
   if (base < 2 || base > 36)
      return false;
   auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
   std::size_t i = 0;
   while (i < text.size() && isBlank(text[i]))
      ++i;
   if (i < text.size() && (text[i] == '+' || (allowMinus && text[i] == '-'))) {
      negative = text[i] == '-';
      ++i;
   }
   bool digits = false;
   bool ok = true;
   for (; i < text.size(); ++i) {
      const char c = text[i];
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'z' ? c - 'a' + 10
              : c >= 'A' && c <= 'Z' ? c - 'A' + 10
                                     : 99;
      if (d >= base)
         break;
      digits = true;
      if (magnitude > (std::numeric_limits<uint64_t>::max() - d) / base)
         ok = false;
      else if (ok)
         magnitude = magnitude * base + d;
   }
   while (i < text.size() && isBlank(text[i]))
      ++i;
   return ok && digits && i == text.size();
}

std::ostream& operator<<(std::ostream& out, const SxString& s) {
   return out << s.str();
}
