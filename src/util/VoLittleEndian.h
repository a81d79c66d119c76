#pragma once

// Little-endian integers in byte arrays, as the key files and the transforms store them. On a
// little-endian processor each access is one plain load or store.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vo::le {

template <class T>
T load(char const* at) {
   T value = 0;
   if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&value, at, sizeof value);
   } else {
      for (std::size_t i = sizeof value; i-- > 0;)
         value = static_cast<T>((value << 8) | static_cast<unsigned char>(at[i]));
   }
   return value;
}

template <class T>
void store(char* at, T value) {
   if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(at, &value, sizeof value);
   } else {
      for (std::size_t i = 0; i < sizeof value; ++i, value = static_cast<T>(value >> 8))
         at[i] = static_cast<char>(value & 0xFF);
   }
}

} // namespace vo::le
