// The registry value record: its fields, its log printout, the type names and the hexadecimal
// text of binary data.

#include "VoRegistryInternal.h"

#include <string>
#include <string_view>
#include <sx/SxException.h>
#include <sx/SxUtf.h>
#include <voutil/VoLog.h>

using voregistry::kSource;

namespace {

// Indexed by RegValType.
constexpr const char* kTypeNames[] = {"REG_BINARY",    "REG_DWORD", "REG_DWORD_LITTLE_ENDIAN",
                                      "REG_EXPAND_SZ", "REG_LINK",  "REG_MULTI_SZ",
                                      "REG_NONE",      "REG_QWORD", "REG_QWORD_LITTLE_ENDIAN",
                                      "REG_SZ"};
constexpr int kNTypes = static_cast<int>(sizeof kTypeNames / sizeof kTypeNames[0]);

} // namespace

VoRegistry::Item::Item() : type(None) {}

VoRegistry::Item::Item(SxString const& key_, SxString const& value_, RegValType type_,
                       SxString const& data_)
    : key(key_), value(value_), type(type_), data(data_) {}

VoRegistry::Item::~Item() = default;

VoRegistry::Item::Item(Item const& other) = default;

VoRegistry::Item& VoRegistry::Item::operator=(Item const& other) = default;

VoRegistry::Item::Item(Item&& other) noexcept = default;

VoRegistry::Item& VoRegistry::Item::operator=(Item&& other) noexcept = default;

void VoRegistry::Item::print() const {
   voLogMsg("util",
            "+-----------------------------------------------------------------------------\n");
   voLogMsg("util", "key   : " + key);
   voLogMsg("util", "value : " + value);
   voLogMsg("util", "type  : " + type2String(type));
   voLogMsg("util", "data  : " + data);
}

SxString VoRegistry::Item::type2String(RegValType type) {
   const int number = static_cast<int>(type);
   if (number < 0 || number >= kNTypes)
      throw SxException("Unknown Registry Value Type " + SxString(number), kSource);
   return kTypeNames[number];
}

VoRegistry::Item::RegValType VoRegistry::Item::string2Type(SxString const& name) {
   for (int i = 0; i < kNTypes; ++i)
      if (name == kTypeNames[i])
         return static_cast<RegValType>(i);
   throw SxException("Unknown Registry Value Type: " + name, kSource);
}

SxString VoRegistry::Item::binary2String(SxArray<unsigned char> bytes) {
   static constexpr char kDigits[] = "0123456789abcdef";
   std::string text;
   text.reserve(static_cast<std::size_t>(bytes.getSize()) * 2);
   for (unsigned char octet : bytes) {
      text += kDigits[octet >> 4];
      text += kDigits[octet & 0x0F];
   }
   return SxString(std::string_view(text));
}

SxArray<unsigned char> VoRegistry::Item::string2Binary(SxString const& text) {
   // Walks the UTF-8 bytes once, taking two characters at a time, so long data stays linear.
   const std::string_view utf8 = text.str();
   const std::ptrdiff_t n = text.getSize() / 2;
   SxArray<unsigned char> bytes(n);
   std::size_t pos = 0;
   for (std::ptrdiff_t i = 0; i < n; ++i) {
      const std::size_t end = SxUtf::nextBoundary(utf8, SxUtf::nextBoundary(utf8, pos));
      const SxString pair(utf8.substr(pos, end - pos));
      pos = end;
      bool error = false;
      const auto octet = pair.toNumber<unsigned char>(&error, 16);
      if (error)
         throw SxException("Cannot convert " + text + " (" + pair + ") to binary data.", kSource);
      bytes[i] = octet;
   }
   return bytes;
}
