// Random (version 4) UUIDs from the platform's secure random source.

#include <sx/SxException.h>
#include <sx/SxUUIDv4.h>

SxUUIDv4::SxUUIDv4() {
   if (!sxSecureRandom(bytes_.data(), bytes_.size()))
      throw SxException("The system's random source failed", "src/sx/SxUUIDv4");
   bytes_[6] = static_cast<uint8_t>((bytes_[6] & 0x0F) | 0x40); // version 4
   bytes_[8] = static_cast<uint8_t>((bytes_[8] & 0x3F) | 0x80); // variant 10
}

SxString SxUUIDv4::getStr() const {
   static constexpr char kDigits[] = "0123456789abcdef";
   std::string text;
   text.reserve(36);
   for (std::size_t i = 0; i < bytes_.size(); ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10)
         text += '-';
      text += kDigits[bytes_[i] >> 4];
      text += kDigits[bytes_[i] & 0x0F];
   }
   return SxString(std::move(text));
}
