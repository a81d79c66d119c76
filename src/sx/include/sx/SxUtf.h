#pragma once

// Walking UTF-8 and UTF-16 text: one code point at a time, character boundaries, and whole
// conversions between the two. Every walker of the project goes through here.

#include <cstddef>
#include <string>
#include <string_view>
#include <sx/SxExport.h>

/// The one place that decodes and encodes UTF-8 and UTF-16.
///
/// Invalid input never raises; it follows one policy everywhere:
/// - UTF-8: a byte that does not begin a well-formed sequence (a stray continuation byte, a lead
///   byte C0, C1 or F5 to FF, an overlong form, a value above U+10FFFF, a sequence cut short by
///   the end of the text or by a byte that is not a continuation byte) decodes as U+FFFD and
///   consumes exactly that one byte, so the walk picks up again at the next byte.
/// - UTF-16: a high surrogate followed by a low surrogate is one code point; any other
///   surrogate unit is lone and decodes as U+FFFD, consuming that one unit.
/// - Encoding: values above U+10FFFF and surrogate code points are written as U+FFFD.
///
/// With Surrogates::Keep (the WTF-8 form) lone surrogates survive instead: a lone UTF-16
/// surrogate decodes as its own value and is encoded in UTF-8 as its three-byte form
/// (ED A0 80 to ED BF BF), which decodes back to the same unit. So UTF-16 -> UTF-8 -> UTF-16
/// with Keep gives back every sequence of units exactly, including names that are not valid
/// UTF-16. Keep never invents pairs on the UTF-16 side: a surrogate pair is always written as
/// its four-byte form, and an encoded high surrogate followed by an encoded low one (which Keep's
/// own encoding never writes) decodes to the two units of that pair.
class SXUTIL_API SxUtf {
public:
   enum class Surrogates {
      /// Lone surrogates become U+FFFD: the result is always valid Unicode.
      Replace,
      /// Lone surrogates are kept (WTF-8), so that any UTF-16 survives a UTF-8 round trip.
      Keep,
   };
   static constexpr char32_t kReplacement = 0xFFFD;
   static constexpr char32_t kMaxCodePoint = 0x10FFFF;

   [[nodiscard]] static constexpr bool isContinuation(char byte) {
      return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
   }
   [[nodiscard]] static constexpr bool isSurrogate(char32_t c) {
      return c >= 0xD800 && c <= 0xDFFF;
   }
   [[nodiscard]] static constexpr bool isHighSurrogate(char32_t c) {
      return c >= 0xD800 && c <= 0xDBFF;
   }
   [[nodiscard]] static constexpr bool isLowSurrogate(char32_t c) {
      return c >= 0xDC00 && c <= 0xDFFF;
   }

   /// Decodes the code point that starts at text[pos] (pos < text.size()) and moves pos past it.
   /// Malformed input gives kReplacement and moves pos by one byte.
   [[nodiscard]] static char32_t decodeUtf8(std::string_view text, std::size_t& pos,
                                            Surrogates surrogates = Surrogates::Replace);
   /// Appends the UTF-8 form of c to out.
   static void appendUtf8(std::string& out, char32_t c,
                          Surrogates surrogates = Surrogates::Replace);

   /// Decodes the code point that starts at units[pos] (pos < units.size()) and moves pos past
   /// it: two units for a surrogate pair, one otherwise.
   [[nodiscard]] static char32_t decodeUtf16(std::u16string_view units, std::size_t& pos,
                                             Surrogates surrogates = Surrogates::Replace);
   /// Writes the UTF-16 form of c to out and returns the number of units written (1 or 2).
   static int encodeUtf16(char32_t c, char16_t out[2], Surrogates surrogates = Surrogates::Replace);

   /// The whole text converted; see the class comment for what happens to invalid input.
   [[nodiscard]] static std::string utf16ToUtf8(std::u16string_view units,
                                                Surrogates surrogates = Surrogates::Replace);
   [[nodiscard]] static std::u16string utf8ToUtf16(std::string_view text,
                                                   Surrogates surrogates = Surrogates::Replace);

   /// Index of the first byte that does not begin a well-formed sequence, or npos. With Keep,
   /// encoded lone surrogates count as well formed.
   [[nodiscard]] static std::size_t firstMalformed(std::string_view text,
                                                   Surrogates surrogates = Surrogates::Replace);
   /// The text with every malformed byte replaced by U+FFFD (the text itself when it is valid).
   [[nodiscard]] static std::string sanitize(std::string_view text);

   /// Names are bytes: the first lone surrogate of the escapes, U+DC80 standing for the byte 0x80
   /// up to U+DCFF for 0xFF. Only bytes from 0x80 up can be undecodable.
   static constexpr char32_t kByteEscapes = 0xDC00;
   /// Bytes as WTF-8 text: well-formed sequences and encoded lone surrogates are kept, and every
   /// other byte B becomes the lone surrogate U+DC00 + B. toBytes gives the bytes back, so a
   /// name that is not UTF-8 passes through text unchanged. The one ambiguity: the input bytes
   /// of an encoded U+DC80 to U+DCFF read back as the single byte that it escapes.
   [[nodiscard]] static std::string fromBytes(std::string_view bytes);
   /// The bytes that text stands for: text with each encoded U+DC80 to U+DCFF turned back into
   /// its byte.
   [[nodiscard]] static std::string toBytes(std::string_view text);

   // Boundaries in text known to be valid UTF-8 (every position counts lead bytes only).

   /// The position just after the character that starts at pos (the end for pos at the end).
   [[nodiscard]] static std::size_t nextBoundary(std::string_view text, std::size_t pos);
   /// The last character boundary at or before pos (pos clamped to the end).
   [[nodiscard]] static std::size_t boundaryAtOrBefore(std::string_view text, std::size_t pos);
   /// The length of the longest prefix that does not end inside a character, so that a
   /// character split between two reads of a stream is handed on whole. Trailing bytes that
   /// cannot become a character any more stay in the prefix.
   [[nodiscard]] static std::size_t completePrefix(std::string_view bytes);
   /// Number of characters in the text.
   [[nodiscard]] static std::ptrdiff_t countChars(std::string_view text);
   /// Byte offset of character number index, clamped to [0, text.size()].
   [[nodiscard]] static std::size_t byteOffset(std::string_view text, std::ptrdiff_t index);
   /// Number of UTF-16 units the text needs (two for each four-byte character).
   [[nodiscard]] static std::size_t utf16Length(std::string_view text);
};
