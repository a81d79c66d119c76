// Walking, checking and converting UTF-8 and UTF-16, optionally keeping lone surrogates.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sx/SxUtf.h>
#include <vector>

namespace {
unsigned char byteAt(std::string_view text, std::size_t pos) {
   return static_cast<unsigned char>(text[pos]);
}
} // namespace

char32_t SxUtf::decodeUtf8(std::string_view text, std::size_t& pos, Surrogates surrogates) {
   const unsigned char b0 = byteAt(text, pos);
   if (b0 < 0x80) {
      ++pos;
      return b0;
   }
   const int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
   if (extra < 0 || b0 > 0xF4 || pos + extra >= text.size()) {
      ++pos;
      return kReplacement;
   }
   char32_t c = b0 & (0x3F >> extra);
   for (int i = 1; i <= extra; ++i) {
      const unsigned char b = byteAt(text, pos + i);
      if ((b & 0xC0) != 0x80) {
         ++pos;
         return kReplacement;
      }
      c = (c << 6) | (b & 0x3F);
   }
   static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
   if (c < kShortest[extra] || c > kMaxCodePoint ||
       (isSurrogate(c) && surrogates == Surrogates::Replace)) {
      ++pos;
      return kReplacement;
   }
   pos += extra + 1;
   return c;
}

void SxUtf::appendUtf8(std::string& out, char32_t c, Surrogates surrogates) {
   if (c > kMaxCodePoint || (isSurrogate(c) && surrogates == Surrogates::Replace))
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

char32_t SxUtf::decodeUtf16(std::u16string_view units, std::size_t& pos, Surrogates surrogates) {
   const char32_t c = units[pos++];
   if (isHighSurrogate(c) && pos < units.size() && isLowSurrogate(units[pos]))
      return 0x10000 + ((c - 0xD800) << 10) + (units[pos++] - 0xDC00);
   return isSurrogate(c) && surrogates == Surrogates::Replace ? kReplacement : c;
}

int SxUtf::encodeUtf16(char32_t c, char16_t out[2], Surrogates surrogates) {
   if (c > kMaxCodePoint || (isSurrogate(c) && surrogates == Surrogates::Replace))
      c = kReplacement;
   if (c < 0x10000) {
      out[0] = static_cast<char16_t>(c);
      return 1;
   }
   out[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
   out[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
   return 2;
}

std::string SxUtf::utf16ToUtf8(std::u16string_view units, Surrogates surrogates) {
   std::string out;
   out.reserve(units.size());
   for (std::size_t pos = 0; pos < units.size();)
      appendUtf8(out, decodeUtf16(units, pos, surrogates), surrogates);
   return out;
}

std::u16string SxUtf::utf8ToUtf16(std::string_view text, Surrogates surrogates) {
   std::u16string out;
   out.reserve(text.size());
   char16_t pair[2];
   for (std::size_t pos = 0; pos < text.size();)
      out.append(pair, static_cast<std::size_t>(
                           encodeUtf16(decodeUtf8(text, pos, surrogates), pair, surrogates)));
   return out;
}

// Runs of ASCII are checked 32 and then eight bytes at a time, since nearly all text is mostly
// ASCII.
std::size_t SxUtf::firstMalformed(std::string_view text, Surrogates surrogates) {
   // Most text is ASCII: it is checked a word at a time, and a tail shorter than a word by the
   // last word of the text, overlapping what was already checked.
   const std::size_t n = text.size();
   auto asciiWord = [&](std::size_t at) {
      uint64_t word;
      std::memcpy(&word, text.data() + at, 8);
      return (word & 0x8080808080808080ULL) == 0;
   };
   std::size_t i = 0;
   while (i < n) {
      while (i + 32 <= n && asciiWord(i) && asciiWord(i + 8) && asciiWord(i + 16) &&
             asciiWord(i + 24))
         i += 32;
      while (i + 8 <= n && asciiWord(i))
         i += 8;
      if (i + 8 > n && n >= 8 && asciiWord(n - 8))
         return std::string_view::npos;
      if (i == n)
         break;
      if (byteAt(text, i) < 0x80) {
         ++i;
         continue;
      }
      const std::size_t start = i;
      if (decodeUtf8(text, i, surrogates) == kReplacement && i == start + 1)
         return start;
   }
   return std::string_view::npos;
}

std::string SxUtf::sanitize(std::string_view text) {
   const std::size_t bad = firstMalformed(text);
   if (bad == std::string_view::npos)
      return std::string(text);
   std::string out(text.substr(0, bad));
   out.reserve(text.size());
   for (std::size_t pos = bad; pos < text.size();) {
      const std::size_t start = pos;
      const char32_t c = decodeUtf8(text, pos);
      // A U+FFFD of the input is three bytes long; a one-byte one stands for a malformed byte.
      if (c == kReplacement && pos == start + 1)
         appendUtf8(out, kReplacement);
      else
         out.append(text.substr(start, pos - start));
   }
   return out;
}

std::string SxUtf::fromBytes(std::string_view bytes) {
   const std::size_t bad = std::min(firstMalformed(bytes, Surrogates::Keep), bytes.find('\xED'));
   if (bad == std::string_view::npos)
      return std::string(bytes);
   // The characters from the first doubtful byte on, each either kept as it is or kept byte by
   // byte as U+DC80..U+DCFF: a byte that does not decode, and a high surrogate before what
   // becomes a low one, which would pair up with it in UTF-16 and come back as another
   // character. That is decided from the end, since a high surrogate's follower may itself be
   // kept byte by byte.
   struct Piece {
      std::size_t start, end;
      char32_t c;
      bool byBytes;
   };
   std::vector<Piece> pieces;
   for (std::size_t pos = bad; pos < bytes.size();) {
      const std::size_t start = pos;
      const char32_t c = decodeUtf8(bytes, pos, Surrogates::Keep);
      pieces.push_back({start, pos, c, c == kReplacement && pos == start + 1});
   }
   bool nextStartsLow = false;
   for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
      if (piece->c >= 0xD800 && piece->c <= 0xDBFF && nextStartsLow)
         piece->byBytes = true;
      nextStartsLow = piece->byBytes || (piece->c >= 0xDC00 && piece->c <= 0xDFFF);
   }
   std::string out(bytes.substr(0, bad));
   out.reserve(bytes.size() + 8);
   for (const Piece& piece : pieces) {
      if (!piece.byBytes) {
         out.append(bytes.substr(piece.start, piece.end - piece.start));
         continue;
      }
      for (std::size_t i = piece.start; i < piece.end; ++i)
         appendUtf8(out, kByteEscapes + byteAt(bytes, i), Surrogates::Keep);
   }
   return out;
}

std::string SxUtf::toBytes(std::string_view text) {
   // U+DC80 to U+DCFF are ED B2 80 to ED B3 BF.
   auto isEscape = [&](std::size_t i) {
      return byteAt(text, i) == 0xED && i + 2 < text.size() &&
             (byteAt(text, i + 1) & 0xFE) == 0xB2 && isContinuation(text[i + 2]);
   };
   std::size_t i = text.find('\xED');
   if (i == std::string_view::npos)
      return std::string(text);
   std::string out(text.substr(0, i));
   while (i < text.size()) {
      if (isEscape(i)) {
         out += static_cast<char>(0x80 | ((byteAt(text, i + 1) & 1) << 6) |
                                  (byteAt(text, i + 2) & 0x3F));
         i += 3;
      } else {
         out += text[i++];
      }
   }
   return out;
}

std::size_t SxUtf::nextBoundary(std::string_view text, std::size_t pos) {
   if (pos >= text.size())
      return text.size();
   for (++pos; pos < text.size() && isContinuation(text[pos]);)
      ++pos;
   return pos;
}

std::size_t SxUtf::boundaryAtOrBefore(std::string_view text, std::size_t pos) {
   if (pos >= text.size())
      return text.size();
   while (pos > 0 && isContinuation(text[pos]))
      --pos;
   return pos;
}

std::size_t SxUtf::completePrefix(std::string_view bytes) {
   const std::size_t n = bytes.size();
   std::size_t back = 0;
   while (back < 3 && back < n && isContinuation(bytes[n - 1 - back]))
      ++back;
   if (back == n)
      return n;
   const unsigned char lead = byteAt(bytes, n - 1 - back);
   const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
   return need > back + 1 ? n - 1 - back : n;
}

std::ptrdiff_t SxUtf::countChars(std::string_view text) {
   std::ptrdiff_t n = 0;
   for (char c : text)
      if (!isContinuation(c))
         ++n;
   return n;
}

std::size_t SxUtf::byteOffset(std::string_view text, std::ptrdiff_t index) {
   std::size_t pos = 0;
   for (std::ptrdiff_t i = 0; i < index && pos < text.size(); ++i)
      pos = nextBoundary(text, pos);
   return pos;
}

std::size_t SxUtf::utf16Length(std::string_view text) {
   std::size_t n = 0;
   for (char c : text) {
      if (!isContinuation(c))
         ++n;
      if (static_cast<unsigned char>(c) >= 0xF0)
         ++n;
   }
   return n;
}
