#pragma once

#include <sx/SxArray.h>
#include <sx/SxException.h>
#include <sx/SxString.h>
#include <voutil/VoExport.h>

/// Encodes srcLength bytes of src as Base64 (standard alphabet, "=" padding, one unbroken line)
/// into target, followed by a NUL, and returns the length of the encoding without the NUL.
/// With a null target it only returns that length and targetSize is ignored. The target must
/// hold the encoding plus one byte; otherwise the call raises "Not enough space in the output
/// buffer" after writing every whole group that fits.
VOUTIL_API long long VoBase64_ntop(unsigned char const* src, long long srcLength, char* target,
                                   long long targetSize);

/// Decodes the NUL-terminated Base64 text src into target and returns the number of bytes
/// decoded. With a null target it checks the text and counts the bytes without writing.
///
/// Whitespace (isspace) is skipped anywhere before the padding, between the two "=" and after
/// them. Every malformation raises its own message: "A non-base64 character at char N" (N counts
/// every character read, whitespace included, from 1), "Invalid = in first position", "Invalid =
/// in second position", "Expected trailing =", "Expected nothing or whitespaces after trailing =",
/// "Partial bytes after the end of the string" and, with a target only, "Extra data after the
/// last full byte" when the padded group's unused bits are not zero. A target too small for the
/// next byte raises "Not enough space in the output buffer"; because a partial group writes one
/// byte ahead, a text that ends in padding needs one byte more than it decodes to. On failure
/// the target keeps what was written.
VOUTIL_API long long VoBase64_pton(char const* src, unsigned char* target, long long targetSize);

/// Base64 over the library's arrays and texts.
class VOUTIL_API VoBase64 {
public:
   /// The encoding of data's bytes; the empty text for an empty array. Failures arrive wrapped
   /// in "Base64 encode error".
   static SxString encode(SxArray<char> const& data);
   /// The bytes that text encodes; an empty array for an empty or whitespace-only text. Every
   /// malformation of VoBase64_pton arrives wrapped in "Base64 decode error".
   static SxArray<char> decode(SxString const& text);
};
