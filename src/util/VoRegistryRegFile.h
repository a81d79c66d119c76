#pragma once

// What the units of the .reg file share: the parsed form of a file, the reader that checks a
// whole file into it, and the writer of the text that the registry editor exports.

#include <cstddef>
#include <string>
#include <string_view>
#include <sx/SxString.h>
#include <vector>
#include <windows.h>

namespace voregfile {

/// Largest file read: the whole file is checked in memory before the first write.
inline constexpr std::size_t kMaxFileBytes = std::size_t{128} << 20;
/// Largest key name and deepest key path the registry takes.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;
/// Largest value name the registry takes.
inline constexpr std::size_t kMaxValueNameLength = 16383;

/// One value line: set a value (type and bytes) or delete it.
struct ValueOp {
   std::u16string name; ///< empty for the default value "@"
   bool remove = false;
   DWORD type = REG_NONE;
   std::vector<BYTE> bytes;
   int line = 0;
};

/// One key line with the value lines below it, or a tree deletion "[-KEY]".
struct KeyOp {
   HKEY root = nullptr;
   std::u16string subPath; ///< key names joined by backslashes; never empty for a deletion
   SxString text;          ///< the key as written, for messages
   bool removeTree = false;
   int line = 0;
   std::vector<ValueOp> values;
};

/// Checks the whole file and gives its key and value lines in file order. Accepts the version
/// 5 header (UTF-16LE with a byte-order mark, or UTF-8) and "REGEDIT4" (UTF-8 or, where the
/// bytes are not UTF-8, Latin-1), with CRLF or LF line ends. Raises "<name>:<line>: <what is
/// wrong>" for the first fault.
std::vector<KeyOp> parse(std::string_view bytes, SxString const& name);

/// The full root name of a predefined root key, such as u"HKEY_CURRENT_USER".
std::u16string_view rootName(HKEY root);

/// Builds the text of a version 5 file as the registry editor writes it: a header, then one
/// block per key, each value on its own line, long hexadecimal data wrapped near 80 columns.
class Writer {
public:
   Writer();
   /// Starts the block of a key: a blank line, then "[ROOT\sub\path]".
   void key(HKEY root, std::u16string_view subPath);
   /// One value line of the current key.
   void value(std::u16string_view name, DWORD type, BYTE const* data, std::size_t size);
   /// The file: UTF-16LE with a byte-order mark and CRLF line ends.
   std::string finish();

private:
   void quoted(std::u16string_view text);
   void hex(DWORD type, BYTE const* data, std::size_t size, std::size_t lineStart);
   std::u16string text_;
};

} // namespace voregfile
