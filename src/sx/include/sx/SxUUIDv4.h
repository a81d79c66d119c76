#pragma once

#include <array>
#include <cstdint>
#include <sx/SxExport.h>
#include <sx/SxString.h>

/// A random (version 4) UUID, drawn from the system's secure random source when constructed.
class SXUTIL_API SxUUIDv4 {
public:
   /// Draws a new UUID. Raises SxException when the system's random source fails.
   SxUUIDv4();
   /// The canonical text: 32 lower-case hexadecimal digits in groups of 8-4-4-4-12, such as
   /// "0f8fad5b-d9cb-469f-a165-70867728950e".
   [[nodiscard]] SxString getStr() const;
   /// The 16 bytes, the version nibble 4 and the variant bits 10 set.
   [[nodiscard]] const std::array<uint8_t, 16>& getBytes() const { return bytes_; }

private:
   std::array<uint8_t, 16> bytes_{};
};

/// Fills n bytes at buffer from the system's secure random source. Returns false when the
/// source fails.
[[nodiscard]] SXUTIL_API bool sxSecureRandom(void* buffer, std::size_t n);
