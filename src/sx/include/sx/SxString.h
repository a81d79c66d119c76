#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <iosfwd>
#include <limits>
#include <string>
#include <string_view>
#include <sx/SxArray.h>
#include <sx/SxExport.h>
#include <sx/SxList.h>
#include <type_traits>

/// The UTF-16 code unit of the platform's wide API: wchar_t where it is 16 bits wide (Windows),
/// char16_t elsewhere. Arrays of it can be handed to the wide Windows calls unchanged.
using SxChar16 = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

// The C++ runtime of MinGW formats with its own C99 printf, so the compiler must check
// formats against that one rather than the system's older one.
#if defined(__MINGW32__)
#define SX_PRINTF_FORMAT(formatIndex, firstArg) [[gnu::format(gnu_printf, formatIndex, firstArg)]]
#else
#define SX_PRINTF_FORMAT(formatIndex, firstArg) [[gnu::format(printf, formatIndex, firstArg)]]
#endif

/// Text of Unicode characters, held as UTF-8.
///
/// Positions and lengths count characters (code points), not bytes.
///
/// Names are bytes on POSIX and UTF-16 units on Windows, and neither need be valid Unicode, so
/// the text is WTF-8: lone surrogates survive. A byte of UTF-8 input that does not decode is
/// kept as the lone surrogate U+DC00 plus the byte (U+DC80..U+DCFF), and bytes() gives it back
/// at the POSIX edge; utf16() keeps lone surrogates for the Windows edge. Two names that differ
/// in any byte or unit therefore stay two texts.
class SXUTIL_API SxString {
public:
   /// The empty text.
   static const SxString emptyString;

   SxString() = default;
   /// Takes NUL-terminated UTF-8 text; a null pointer gives the empty text. Bytes that do not
   /// decode are kept as U+DC80..U+DCFF.
   SxString(const char* utf8);
   SxString(std::string_view utf8);
   /// Takes over UTF-8 text without copying it when it is well formed.
   explicit SxString(std::string&& utf8);
   explicit SxString(int number);
   explicit SxString(unsigned number);
   explicit SxString(long number);
   explicit SxString(unsigned long number);
   explicit SxString(long long number);
   explicit SxString(unsigned long long number);
   /// The shortest decimal text that reads back as the same double.
   explicit SxString(double number);

   static SxString fromUtf8(const char* utf8);
   static SxString fromUtf8(const char* utf8, std::ptrdiff_t nBytes);
   /// Takes NUL-terminated 7-bit text; bytes above 127 become U+FFFD.
   static SxString fromAscii(const char* ascii);
   /// Takes over text that its maker guarantees to be ASCII, such as an encoder's output, without
   /// reading it again: every byte must be below 0x80.
   static SxString adoptAscii(std::string&& ascii);
   /// Takes UTF-16 text up to its first NUL unit; lone surrogates are kept.
   static SxString fromUtf16(const char16_t* utf16);
   /// Takes exactly nUnits UTF-16 units; NUL units are kept.
   static SxString fromUtf16(const char16_t* utf16, std::ptrdiff_t nUnits);
   /// Takes platform wide text up to its first NUL: UTF-16 on Windows, UTF-32 elsewhere.
   static SxString fromUtf16(const wchar_t* wide);
   /// printf-style formatting, with the C99 conversions (such as %zd and %lld) on every platform.
   SX_PRINTF_FORMAT(1, 2) static SxString sprintf(const char* format, ...);
   /// The elements joined with sep between neighbours.
   static SxString join(const SxList<SxString>& elems, const SxString& sep);

   /// The bytes the text stands for at a POSIX interface: its UTF-8 with each byte that did not
   /// decode put back.
   [[nodiscard]] std::string bytes() const;
   /// The UTF-8 (WTF-8) bytes, NUL-terminated. Valid until the text changes.
   [[nodiscard]] const char* utf8() const { return text_.c_str(); }
   /// The text's own character data (its UTF-8 bytes), NUL-terminated.
   [[nodiscard]] const char* getElems() const { return text_.c_str(); }
   /// The UTF-16 units followed by one NUL unit; lone surrogates are kept.
   [[nodiscard]] SxArray<SxChar16> utf16() const;
   /// The text with every character above 127 replaced by '?'.
   [[nodiscard]] std::string ascii() const;
   [[nodiscard]] const std::string& str() const { return text_; }

   /// Number of characters.
   [[nodiscard]] std::ptrdiff_t getSize() const;
   /// Number of UTF-8 bytes.
   [[nodiscard]] std::ptrdiff_t getNBytes() const {
      return static_cast<std::ptrdiff_t>(text_.size());
   }
   [[nodiscard]] bool isEmpty() const { return text_.empty(); }

   /// Makes the text n characters long. With keep, the first characters stay and new ones are
   /// blanks; without, the text becomes n blanks.
   void resize(std::ptrdiff_t n, bool keep = true);
   SxString& append(const SxString& other);
   SxString& operator+=(const SxString& other) { return append(other); }

   /// n characters from position start (to the end when n is negative).
   [[nodiscard]] SxString subString(std::ptrdiff_t start, std::ptrdiff_t n = -1) const;
   /// The last n characters (the whole text when it is shorter).
   [[nodiscard]] SxString tail(std::ptrdiff_t n) const;
   /// Position of the first occurrence of needle at or after from, or -1.
   [[nodiscard]] std::ptrdiff_t find(const SxString& needle, std::ptrdiff_t from = 0) const;
   [[nodiscard]] bool contains(const SxString& needle) const { return find(needle) >= 0; }
   /// The text with every occurrence of from replaced by to, scanning left to right.
   [[nodiscard]] SxString substitute(const SxString& from, const SxString& to) const;
   /// The pieces between occurrences of sep. Without keepEmpty, empty pieces are dropped, so
   /// the empty text gives no piece at all.
   [[nodiscard]] SxList<SxString> tokenize(const SxString& sep, bool keepEmpty = false) const;
   /// The text without blanks, tabs, carriage returns and newlines.
   [[nodiscard]] SxString removeWhiteSpace() const;

   /// Reads an integer in the given base (2 to 36). Blanks and tabs may surround the digits and
   /// one sign may lead them ('-' only for signed T). Without a digit, with any other character,
   /// or with a value outside T, *error is set to true and the result is the value read so far
   /// converted to T; on success *error is set to false.
   template <class T>
   [[nodiscard]] T toNumber(bool* error = nullptr, int base = 10) const;
   /// Reads a 32-bit integer. Values up to 4294967295 are accepted and wrap, so that the
   /// decimal text of every DWORD reads back as its bit pattern.
   [[nodiscard]] int32_t toInt(bool* error = nullptr, int base = 10) const;
   /// Reads a 64-bit integer. Values up to 18446744073709551615 are accepted and wrap.
   [[nodiscard]] int64_t toInt64(bool* error = nullptr, int base = 10) const;

   friend SxString operator+(const SxString& a, const SxString& b) {
      SxString r(a);
      return r.append(b);
   }
   friend bool operator==(const SxString& a, const SxString& b) { return a.text_ == b.text_; }
   friend std::strong_ordering operator<=>(const SxString& a, const SxString& b) {
      return a.text_.compare(b.text_) <=> 0;
   }
   friend bool operator==(const SxString& a, const char* b) { return a.text_ == (b ? b : ""); }

private:
   std::string text_;
};

SXUTIL_API std::ostream& operator<<(std::ostream& out, const SxString& s);

template <>
struct std::hash<SxString> {
   std::size_t operator()(const SxString& s) const noexcept {
      return std::hash<std::string>{}(s.str());
   }
};

namespace sx::detail {
/// Parses the magnitude and sign of an integer text. Returns false on any syntax error or when
/// the magnitude exceeds 64 bits.
SXUTIL_API bool parseInteger(std::string_view text, int base, bool allowMinus, bool& negative,
                             uint64_t& magnitude);
} // namespace sx::detail

template <class T>
T SxString::toNumber(bool* error, int base) const {
   static_assert(std::is_integral_v<T>, "toNumber reads integers");
   bool negative = false;
   uint64_t magnitude = 0;
   bool ok = sx::detail::parseInteger(text_, base, std::is_signed_v<T>, negative, magnitude);
   T value;
   if constexpr (std::is_signed_v<T>) {
      using U = std::make_unsigned_t<T>;
      const uint64_t limit = negative ? uint64_t(std::numeric_limits<T>::max()) + 1
                                      : uint64_t(std::numeric_limits<T>::max());
      if (magnitude > limit)
         ok = false;
      value =
          static_cast<T>(negative ? U(0) - static_cast<U>(magnitude) : static_cast<U>(magnitude));
   } else {
      if (magnitude > uint64_t(std::numeric_limits<T>::max()))
         ok = false;
      value = static_cast<T>(magnitude);
   }
   if (error)
      *error = !ok;
   return value;
}
