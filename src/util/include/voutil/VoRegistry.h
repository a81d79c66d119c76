#pragma once

#include <cstdint>
#include <sx/SxArray.h>
#include <sx/SxException.h>
#include <sx/SxList.h>
#include <sx/SxString.h>
#include <voutil/VoExport.h>

/// Access to the registry through slash-separated key paths such as "HKLM/SOFTWARE/MORV".
///
/// A key path is a root abbreviation ("HKCR", "HKCU", "HKLM", "HKU" or "HKCC", compared
/// case-sensitively) followed by key names, all joined by "/". Value names are separate
/// arguments. "REGISTRY" is a reserved root: recognised but never opened. Every operation opens
/// what it needs and closes it again before it returns or throws; nothing is kept between calls.
class VOUTIL_API VoRegistry {
public:
   /// One registry value: its key path, its name, its type and its data written as text.
   class VOUTIL_API Item {
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
      Item(Item&& other) noexcept;
      Item& operator=(Item&& other) noexcept;

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
   /// Removes the key with everything below it; a missing key is no error. A root alone, such as
   /// "HKCU" or "HKCU/", names the root key itself: everything below that root is removed.
   static void rm_rf(SxString const& key);
   /// Removes the key when it has no subkeys and no values; otherwise does nothing.
   static void rmdir(SxString const& key);

   /// A list of Items, as the description file, the capture import and the batches use it.
   using ItemList = SxList<Item, SxListIterators>;

   /// Saves items to dir + "registry.json" (dir must end in a separator), creating the directory
   /// with its parents. Texts are written between quotes as they are: they are taken to be in
   /// JSON string form, as readCSV produces them, so their escapes reach read unchanged and read
   /// undoes them. A backslash that begins no valid escape, a bare double quote and a control
   /// character are escaped, so that read never refuses a file write produced. Raises "Failed to
   /// write file <absolute path>" around the cause; an existing file is then left as it was
   /// unless the failure came while writing it.
   static void write(SxString const& dir, ItemList const& items);
   /// Loads dir + "registry.json", checked against "voregistry-schema.json" in the schema
   /// directory, with JSON escapes undone. Raises "File <path> not found." or "Required schema
   /// file <path> not found" directly, and "Failed to read file <path>" around every other
   /// cause, such as "File version of '<path>' not supported." for a version other than 2.
   static ItemList read(SxString const& dir);
   /// Turns a CSV capture of registry activity into Items: one per line after the header, each
   /// of which must be a successful RegSetValue. Lines end in LF or CRLF, blank lines are
   /// skipped, and a byte-order mark at the start is dropped. Every occurrence of the drive text in
   /// key paths and string data becomes "{{VODRIVE}}"; the drive is taken literally, as plain
   /// characters (an empty drive replaces nothing). String data gets its backslashes doubled and
   /// its double quotes escaped (JSON string form); binary data loses its whitespace. The first bad
   /// line ends the import with the pattern-failure message naming it.
   static ItemList readCSV(SxString const& file, SxString const& drive);

   /// Writes the key, its values and all its subkeys as a .reg file, byte for byte as the
   /// registry editor exports: the "Windows Registry Editor Version 5.00" header, UTF-16LE with
   /// a byte-order mark, CRLF line ends, full root names, keys and values in enumeration order.
   /// The file is opened only once the whole text is ready. Raises "Can't open registry key
   /// '<key>' : <error>" for a missing key, and the root messages of getVal.
   static void exportReg(SxString const& key, SxString const& file);
   /// The bytes exportReg(key, file) writes.
   static SxArray<char> exportReg(SxString const& key);
   /// Applies a .reg file: version 5 (UTF-16LE with a byte-order mark, or UTF-8) or REGEDIT4
   /// (UTF-8 or Latin-1), CRLF or LF line ends, full or abbreviated root names, "[-KEY]" and
   /// "name"=- deletions, ";" comments. The whole file is checked before the first write; a
   /// fault raises "<file>:<line>: <what is wrong>" and writes nothing. On the POSIX store the
   /// writes run in one transaction, so they stay all or none; on Windows a failing write, or a
   /// kill, leaves the writes before it in place.
   static void importReg(SxString const& file);
   /// importReg of a file's bytes; name stands for the file in messages.
   static void importReg(SxArray<char> const& bytes, SxString const& name);
   /// Writes items as a .reg file in exportReg's form, with "{{VODRIVE}}" replaced by drive, as
   /// createRegEntries would write them; touches no registry. Consecutive Items of one key share
   /// its block. Raises the root and type messages of setVal.
   static void toReg(ItemList const& items, SxString const& drive, SxString const& file);
   /// The bytes toReg(items, drive, file) writes.
   static SxArray<char> toReg(ItemList const& items, SxString const& drive);

   /// setVal through the device-control library for keys below HKLM and HKU (the driver path);
   /// setVal itself for the other roots. A missing key path is created first.
   ///
   /// On POSIX the device-control library is a stand-in that writes the machine store (HKLM and
   /// HKU) with the caller's own rights: it raises no one's rights. A caller who may not write
   /// that store, which with the default store is every user but root, gets the driver errors
   /// ("Cannot set registry value: VARGEN Driver error" and its siblings) for HKLM and HKU,
   /// from this operation, mkdir_pAsAdmin, rmAsAdmin and the AsAdmin batches.
   static void setValAsAdmin(SxString const& key, SxString const& value, Item::RegValType type,
                             SxString const& data);
   /// mkdir_p through the device-control library for keys below HKLM and HKU, passing every
   /// level, existing ones included.
   static void mkdir_pAsAdmin(SxString const& key);
   /// rm through the device-control library for keys below HKLM and HKU.
   static void rmAsAdmin(SxString const& key, SxString const& value);
   /// Writes every Item on the direct path, in order, with "{{VODRIVE}}" replaced by drive in
   /// key paths, value names and data; the drive is inserted literally, so backslashes, "$" and
   /// "\1" in it stay as they are. Stops at the first failure; nothing is undone.
   static void createRegEntries(ItemList const& items, SxString const& drive);
   /// Removes every Item's value on the direct path, in order. Stops at the first failure.
   static void removeRegEntries(ItemList const& items);
   /// createRegEntries through setValAsAdmin, without a rights test.
   static void createRegEntriesAsAdmin(ItemList const& items, SxString const& drive);
   /// removeRegEntries through rmAsAdmin, without a rights test.
   static void removeRegEntriesAsAdmin(ItemList const& items);
};
