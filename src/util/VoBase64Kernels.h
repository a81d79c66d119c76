#pragma once

// The bulk loops of the Base64 codec. They handle the clean body of the data in whole groups
// and leave every decision about padding, whitespace, errors and buffer limits to the caller's
// character-at-a-time code, which takes over where a kernel stops.

#include <cstddef>
#include <voutil/VoExport.h>

namespace vo::base64 {

/// The Base64 alphabet; a character's value is its index.
inline constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/// The value of ch in the alphabet, or -1 for any other character (NUL included).
VOUTIL_API int valueOf(char ch);

/// The kernels a program can run on.
enum class Kernel { Portable, Avx2 };

struct Kernels {
   /// Encodes whole 3-byte groups of src while at least a block of input is left and the
   /// encoding fits in room. Returns the source bytes consumed (a multiple of 3); the output is
   /// 4 characters per 3 bytes.
   std::size_t (*encode)(unsigned char const* src, std::size_t length, char* dst, std::size_t room);
   /// Decodes whole groups of 4 alphabet characters of src (not NUL-terminated, length
   /// characters), stopping before the first block that holds anything else and before output
   /// that would not fit in room. With a null dst it only checks the characters. Returns the
   /// characters consumed (a multiple of 4); the output is 3 bytes per 4 characters.
   std::size_t (*decode)(char const* src, std::size_t length, unsigned char* dst, std::size_t room);
};

/// Whether the processor can run kernel.
VOUTIL_API bool isSupported(Kernel kernel);
/// The kernels in use: the fastest the processor supports, unless select chose others.
VOUTIL_API Kernels const& active();
/// Makes the codec use kernel, which must be supported; for tests that compare the kernels.
VOUTIL_API void select(Kernel kernel);
/// Makes the codec use kernels of the caller's, which must live until another choice; for
/// tests that make the two passes of the wrappers disagree.
VOUTIL_API void install(Kernels const& kernels);

} // namespace vo::base64
