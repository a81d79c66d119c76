#pragma once

#include <cstdint>
#include <sx/SxArray.h>
#include <sx/SxException.h>
#include <sx/SxList.h>
#include <sx/SxString.h>

/// Access to the registry through slash-separated key paths such as "HKLM/SOFTWARE/MORV".
///
/// A key path is a root abbreviation ("HKCR", "HKCU", "HKLM", "HKU" or "HKCC", compared
/// case-sensitively) followed by key names, all joined by "/". Value names are separate
/// arguments. "REGISTRY" is a reserved root: recognised but never opened. Every operation opens
/// what it needs and closes it again before it returns or throws; nothing is kept between calls.
class VoRegistry {
public:
   /// One registry value: its key path, its name, its type and its data written as text.
   class Item {
   public:
      /// The value types, numbered in the alphabetical order of their names. The numbering is
      /// the library's own; the Windows type codes are used only where values are read or
      /// written.
      enum RegValType : int32_t {
         Binary = 0,            ///< "REG_BINARY": two hexadecimal digits per byte
         DWord = 1,             ///< "REG_DWORD": a decimal integer
         DWordLittleEndian = 2, ///< "REG_DWORD_LITTLE_ENDIAN": cannot be written
         ExpandSz = 3,          ///< "REG_EXPAND_SZ": the text itself
         Link = 4,              ///< "REG_LINK": cannot be written
         MultiSz = 5,           ///< "REG_MULTI_SZ": the text itself, as one string
         None = 6,              ///< "REG_NONE": data ignored
         QWord = 7,             ///< "REG_QWORD": a decimal integer
         QWordLittleEndian = 8, ///< "REG_QWORD_LITTLE_ENDIAN": cannot be written
         Sz = 9                 ///< "REG_SZ": the text itself
      };

      /// Empty key, value name and data, type None.
      Item();
      Item(SxString const& key, SxString const& value, RegValType type, SxString const& data);
      ~Item();
      Item(Item const& other);
      Item& operator=(Item const& other);

      /// Writes the record to the log as five "util" messages: a frame line, then key, value,
      /// type and data, each behind a label eight characters wide. A type outside the table
      /// raises after the key and value lines.
      void print() const;

      /// The name of a type, such as "REG_SZ". Raises "Unknown Registry Value Type <n>" for a
      /// number outside the table.
      static SxString type2String(RegValType type);
      /// The type of a name, compared whole and case-sensitively. Raises
      /// "Unknown Registry Value Type: <name>" when no name matches.
      static RegValType string2Type(SxString const& name);
      /// Two lower-case hexadecimal digits per byte, without separators.
      static SxString binary2String(SxArray<unsigned char> bytes);
      /// One byte per pair of hexadecimal digits; a last odd character is ignored. Raises
      /// "Cannot convert <text> (<pair>) to binary data." for the first pair that is not a
      /// base-16 number of at most 255.
      static SxArray<unsigned char> string2Binary(SxString const& text);

      SxString key;
      SxString value;
      RegValType type;
      SxString data;
   };

   /// True when the key exists and can be opened for reading. False for the reserved root.
   static bool contains(SxString const& key);
   /// True when the key holds a value called value or has a direct subkey of that name.
   static bool contains(SxString const& key, SxString const& value);
   /// True when the key can be opened for reading. Raises for the reserved and unknown roots.
   static bool isReadable(SxString const& key);
   /// True when the key can be opened or created for writing; a missing key is created and stays.
   static bool isWritable(SxString const& key);
   /// True when the key holds a value called value; a subkey of that name does not count.
   static bool isVal(SxString const& key, SxString const& value);
   /// The value's data as text: strings as they are (the first one of a REG_MULTI_SZ), numbers
   /// in unsigned decimal, binary data as lower-case hexadecimal, REG_NONE and REG_LINK empty.
   static SxString getVal(SxString const& key, SxString const& value);
   /// The number of direct subkeys plus the number of values of the key; 0 for the reserved root.
   static int32_t getNElems(SxString const& key);

   /// Sets the value to type and data (written as Item describes), creating the key path first
   /// when it is missing.
   static void setVal(SxString const& key, SxString const& value, Item::RegValType type,
                      SxString const& data);
   /// Creates the key and every missing key above it; existing keys are left as they are.
   static void mkdir_p(SxString const& key);
   /// Removes one value; a missing value is no error.
   static void rm(SxString const& key, SxString const& value);
   /// Removes the key with everything below it; a missing key is no error.
   static void rm_rf(SxString const& key);
   /// Removes the key when it has no subkeys and no values; otherwise does nothing.
   static void rmdir(SxString const& key);
};
