// VoBase64: Base64 over caller buffers and over the library's arrays and texts. The bulk of the
// data goes through the fastest kernel the processor runs; the character-at-a-time state
// machine below decides everything else, so messages and positions do not depend on the kernel.

#include "VoBase64Kernels.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <voutil/VoBase64.h>

namespace {

constexpr char kSource[] = "src/util/VoBase64";
constexpr char const* voBase64 = vo::base64::kAlphabet;
constexpr char kPad = '=';
constexpr char kNoSpace[] = "Not enough space in the output buffer";
// How far the state machine reads on its own before it hands back to the kernel.
constexpr std::size_t kScalarStretch = 32;

// The decoder's state between characters: the place in the group, the bytes completed so far
// and the characters read so far (whitespace included).
//
// The text ends at its first NUL. A length of kUnknownLength makes the decoder find the NUL as
// it goes, a window ahead of the kernel, so that the text is read from memory once. A known
// length may count bytes beyond the NUL, since neither the kernels nor the state machine read
// past it. With foreignHighBytes, bytes above 127 are never whitespace, which is how the '?' of
// a text's ASCII form behaves.
class Decoder {
public:
   static constexpr std::size_t kUnknownLength = SIZE_MAX;

   Decoder(char const* src, std::size_t length, unsigned char* target, long long targetSize,
           bool foreignHighBytes)
       : src_(src), known_(length == kUnknownLength ? 0 : length),
         lengthFinal_(length != kUnknownLength), target_(target), size_(targetSize),
         foreignHighBytes_(foreignHighBytes) {}

   long long run() {
      vo::base64::Kernels const& kernels = vo::base64::active();
      for (;;) {
         if (state_ == 0)
            runKernel(kernels);
         switch (readCharacters(pos_ + kScalarStretch)) {
         case Stop::Boundary:
            continue;
         case Stop::Pad:
            return finishPadding();
         case Stop::End:
            if (state_ != 0)
               throw SxException("Partial bytes after the end of the string", kSource);
            return index_;
         }
      }
   }

private:
   enum class Stop { Boundary, Pad, End };

   // Reads until the NUL, a "=", or a group boundary at or after position until.
   Stop readCharacters(std::size_t until) {
      for (;;) {
         const char ch = src_[pos_];
         if (ch == '\0')
            return Stop::End;
         ++pos_;
         if (isSpace(ch))
            continue;
         if (ch == kPad)
            return Stop::Pad;
         const int value = vo::base64::valueOf(ch);
         if (value < 0)
            throw SxException("A non-base64 character at char " +
                                  SxString(static_cast<unsigned long long>(pos_)),
                              kSource);
         take(static_cast<unsigned>(value));
         if (state_ == 0 && pos_ >= until)
            return Stop::Boundary;
      }
   }

   // States 1 and 2 write the next byte's leading bits one byte ahead.
   void take(unsigned value) {
      switch (state_) {
      case 0:
         requireRoom(index_);
         if (target_)
            target_[index_] = static_cast<unsigned char>(value << 2);
         break;
      case 1: // the value's top 2 bits end this byte, its low 4 start the next
      case 2: // its top 4 bits end this byte, its low 2 start the next
         requireRoom(index_ + 1);
         if (target_) {
            target_[index_] |= static_cast<unsigned char>(value >> (6 - 2 * state_));
            target_[index_ + 1] = static_cast<unsigned char>(value << (2 * state_ + 2));
         }
         ++index_;
         break;
      default:
         requireRoom(index_);
         if (target_)
            target_[index_] |= static_cast<unsigned char>(value);
         ++index_;
         break;
      }
      state_ = (state_ + 1) % 4;
   }

   // Lets the kernel take what it can. It stops at a character it does not take, when the
   // output is full, or at the end of the window known to hold no NUL; only the last is worth
   // another window.
   void runKernel(vo::base64::Kernels const& kernels) {
      for (;;) {
         lookAhead();
         const std::size_t taken =
             kernels.decode(src_ + pos_, known_ - pos_, target_ ? target_ + index_ : nullptr,
                            target_ ? static_cast<std::size_t>(std::max(size_ - index_, 0LL)) : 0);
         pos_ += taken;
         index_ += static_cast<long long>(taken / 4 * 3);
         if (taken == 0 || lengthFinal_ || known_ - pos_ >= kScalarStretch)
            return;
      }
   }

   // Makes sure the next window of the text is known to hold no NUL.
   void lookAhead() {
      constexpr std::size_t kWindow = 8 * 1024;
      known_ = std::max(known_, pos_);
      if (lengthFinal_ || known_ - pos_ >= kWindow / 2)
         return;
      const std::size_t more = strnlen(src_ + known_, kWindow);
      known_ += more;
      lengthFinal_ = more < kWindow;
   }

   [[nodiscard]] bool isSpace(char ch) const {
      if (foreignHighBytes_ && static_cast<unsigned char>(ch) >= 0x80)
         return false;
      return std::isspace(static_cast<unsigned char>(ch)) != 0;
   }

   void requireRoom(long long at) const {
      if (target_ && at >= size_)
         throw SxException(kNoSpace, kSource);
   }

   long long finishPadding() {
      char ch = src_[pos_++];
      switch (state_) {
      case 0:
         throw SxException("Invalid = in first position", kSource);
      case 1:
         throw SxException("Invalid = in second position", kSource);
      case 2:
         while (ch != '\0' && isSpace(ch))
            ch = src_[pos_++];
         if (ch != kPad)
            throw SxException("Expected trailing =", kSource);
         ch = src_[pos_++];
         [[fallthrough]];
      default:
         for (; ch != '\0'; ch = src_[pos_++])
            if (!isSpace(ch))
               throw SxException("Expected nothing or whitespaces after trailing =", kSource);
         // The bits after the last whole byte must be zero, or the text is not canonical.
         if (target_ && target_[index_] != 0)
            throw SxException("Extra data after the last full byte", kSource);
         return index_;
      }
   }

   char const* src_;
   std::size_t known_; // the characters before known_ are not NUL
   bool lengthFinal_;
   unsigned char* target_;
   long long size_;
   bool foreignHighBytes_;
   std::size_t pos_ = 0;
   long long index_ = 0;
   int state_ = 0;
};

void writeGroup(unsigned char const in[3], char* out, int bytes) {
   out[0] = voBase64[in[0] >> 2];
   out[1] = voBase64[((in[0] & 0x03) << 4) + (in[1] >> 4)];
   out[2] = bytes == 1 ? kPad : voBase64[((in[1] & 0x0F) << 2) + (in[2] >> 6)];
   out[3] = bytes < 3 ? kPad : voBase64[in[2] & 0x3F];
}

} // namespace

long long VoBase64_ntop(unsigned char const* src, long long srcLength, char* target,
                        long long targetSize) {
   if (target == nullptr)
      return srcLength / 3 * 4 + (srcLength % 3 != 0 ? 4 : 0);
   const std::size_t bulk =
       vo::base64::active().encode(src, static_cast<std::size_t>(std::max(srcLength, 0LL)), target,
                                   targetSize > 0 ? static_cast<std::size_t>(targetSize) : 0);
   long long read = static_cast<long long>(bulk);
   long long length = read / 3 * 4;
   for (; srcLength - read > 0; read += 3) {
      const int bytes = static_cast<int>(std::min<long long>(srcLength - read, 3));
      unsigned char group[3] = {0, 0, 0};
      std::memcpy(group, src + read, static_cast<std::size_t>(bytes));
      if (length + 4 > targetSize)
         throw SxException(kNoSpace, kSource);
      writeGroup(group, target + length, bytes);
      length += 4;
   }
   if (length >= targetSize)
      throw SxException(kNoSpace, kSource);
   target[length] = '\0';
   return length;
}

long long VoBase64_pton(char const* src, unsigned char* target, long long targetSize) {
   return Decoder(src, Decoder::kUnknownLength, target, targetSize, false).run();
}

SxString VoBase64::encode(SxArray<char> const& data) {
   if (data.isEmpty())
      return {};
   try {
      auto const* bytes = reinterpret_cast<unsigned char const*>(data.elements());
      const long long length = VoBase64_ntop(bytes, data.getSize(), nullptr, 0);
      std::string text = sxLargeString(static_cast<std::size_t>(length));
      // The terminating NUL goes into the string's own terminator.
      if (VoBase64_ntop(bytes, data.getSize(), text.data(), length + 1) != length)
         throw SxException("Invalid size of encoded output", kSource);
      return SxString::adoptAscii(std::move(text));
   } catch (SxException const& e) {
      throw SxException(e, "Base64 encode error", kSource);
   }
}

SxArray<char> VoBase64::decode(SxString const& text) {
   SxArray<char> bytes;
   long long length = 0;
   if (!text.isEmpty()) {
      try {
         // The text's ASCII form, in which every other character is a '?', decodes exactly as
         // its UTF-8 bytes do when those above 127 are foreign: the first one met is reported
         // at the same position, and nothing is decoded after it.
         auto pass = [&text](unsigned char* target, long long size) {
            return Decoder(text.getElems(), static_cast<std::size_t>(text.getNBytes()), target,
                           size, true)
                .run();
         };
         // One pass into room for the longest result: every four characters give at most
         // three bytes, and a partial group writes one byte ahead.
         bytes.resizeForOverwrite(text.getNBytes() / 4 * 3 + 3);
         try {
            length = pass(reinterpret_cast<unsigned char*>(bytes.elements()), bytes.getSize());
         } catch (SxException const&) {
            // The counting pass reports a text's first fault; the writing pass can meet the
            // check of a padded group's unused bits before it.
            pass(nullptr, 0);
            throw;
         }
      } catch (SxException const& e) {
         throw SxException(e, "Base64 decode error", kSource);
      }
   }
   bytes.resize(length);
   return bytes;
}
