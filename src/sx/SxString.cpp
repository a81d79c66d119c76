// Unicode text held as UTF-8: conversions, searching, cutting and formatting.

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <sx/SxString.h>
#include <sx/SxUtf.h>
#include <vector>

const SxString SxString::emptyString;

namespace {

constexpr SxUtf::Surrogates Keep = SxUtf::Surrogates::Keep;

bool isAscii(std::string_view text) {
   for (char ch : text)
      if (static_cast<unsigned char>(ch) >= 0x80)
         return false;
   return true;
}

} // namespace

SxString::SxString(const char* utf8) : text_(utf8 ? SxUtf::fromBytes(utf8) : std::string()) {}
SxString::SxString(std::string_view utf8) : text_(SxUtf::fromBytes(utf8)) {}
SxString::SxString(std::string&& utf8) {
   if (SxUtf::firstMalformed(utf8, Keep) == std::string_view::npos)
      text_ = std::move(utf8);
   else
      text_ = SxUtf::fromBytes(utf8);
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
      SxUtf::appendUtf8(s.text_, c < 0x80 ? c : SxUtf::kReplacement);
   }
   return s;
}

SxString SxString::adoptAscii(std::string&& ascii) {
   assert(std::all_of(ascii.begin(), ascii.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
   SxString s;
   s.text_ = std::move(ascii);
   return s;
}

SxString SxString::fromUtf16(const char16_t* utf16) {
   if (!utf16)
      return {};
   return fromUtf16(utf16, static_cast<std::ptrdiff_t>(std::char_traits<char16_t>::length(utf16)));
}

SxString SxString::fromUtf16(const char16_t* utf16, std::ptrdiff_t nUnits) {
   SxString s;
   s.text_ = SxUtf::utf16ToUtf8(std::u16string_view(utf16, static_cast<std::size_t>(nUnits)), Keep);
   return s;
}

SxString SxString::fromUtf16(const wchar_t* wide) {
   SxString s;
   if (!wide)
      return s;
   const std::size_t n = std::wcslen(wide);
   if constexpr (sizeof(wchar_t) == 2) {
      const std::u16string units(wide, wide + n);
      s.text_ = SxUtf::utf16ToUtf8(units, Keep);
   } else {
      for (std::size_t i = 0; i < n; ++i)
         SxUtf::appendUtf8(s.text_, static_cast<char32_t>(wide[i]), Keep);
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
      char16_t units[2];
      const int n = SxUtf::encodeUtf16(SxUtf::decodeUtf8(text_, pos, Keep), units, Keep);
      for (int i = 0; i < n; ++i)
         out.append(static_cast<SxChar16>(units[i]));
   }
   out.append(SxChar16(0));
   return out;
}

std::string SxString::bytes() const {
   return SxUtf::toBytes(text_);
}

std::string SxString::ascii() const {
   if (isAscii(text_))
      return text_;
   std::string out;
   for (std::size_t pos = 0; pos < text_.size();) {
      const char32_t c = SxUtf::decodeUtf8(text_, pos, Keep);
      out += c < 0x80 ? static_cast<char>(c) : '?';
   }
   return out;
}

std::ptrdiff_t SxString::getSize() const {
   return SxUtf::countChars(text_);
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
      text_.resize(SxUtf::byteOffset(text_, n));
   else
      text_.append(static_cast<std::size_t>(n - have), ' ');
}

SxString& SxString::append(const SxString& other) {
   text_ += other.text_;
   return *this;
}

SxString SxString::subString(std::ptrdiff_t start, std::ptrdiff_t n) const {
   const std::size_t from = SxUtf::byteOffset(text_, start);
   const std::size_t to =
       n < 0 ? text_.size() : from + SxUtf::byteOffset(std::string_view(text_).substr(from), n);
   SxString s;
   s.text_ = text_.substr(from, to - from);
   return s;
}

SxString SxString::tail(std::ptrdiff_t n) const {
   const std::ptrdiff_t size = getSize();
   return n >= size ? *this : subString(size - n);
}

std::ptrdiff_t SxString::find(const SxString& needle, std::ptrdiff_t from) const {
   const std::size_t pos = text_.find(needle.text_, SxUtf::byteOffset(text_, from));
   return pos == std::string::npos ? -1 : SxUtf::countChars(std::string_view(text_).substr(0, pos));
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
   return out << s.bytes();
}
