// .reg files: writing them as the registry editor exports, exporting a key tree, importing a
// checked file in one batch, and previewing a record list as a file.

#include "VoRegistryRegFile.h"

#include "VoRegistryInternal.h"

#include <sx/SxError.h>
#include <sx/SxException.h>
#include <sx/SxFileIO.h>
#include <voplatform/RegistryBatch.h>

using voplatform::RegKey;
using voregistry::kSource;

namespace voregfile {
namespace {

static_assert(sizeof(WCHAR) == sizeof(char16_t), "registry names are UTF-16 units");

// The registry calls take the platform's 16-bit character type; the units are the same.
LPCWSTR wide(std::u16string const& text) {
   return reinterpret_cast<LPCWSTR>(text.c_str());
}

// The text's UTF-16 units without the foundation's closing NUL.
std::u16string units(SxString const& text) {
   const SxArray<SxChar16> array = text.utf16();
   const auto size = static_cast<std::size_t>(array.getSize());
   return {reinterpret_cast<const char16_t*>(array.elements()), size > 0 ? size - 1 : 0};
}

// Hexadecimal text of number without leading zeros, or padded to width digits.
void appendHex(std::u16string* text, unsigned long number, int width) {
   static constexpr char16_t kDigits[] = u"0123456789abcdef";
   char16_t digits[8];
   int n = 0;
   do {
      digits[n++] = kDigits[number & 0xF];
      number >>= 4;
   } while (number != 0 && n < 8);
   while (n < width)
      digits[n++] = u'0';
   while (n > 0)
      *text += digits[--n];
}

} // namespace

std::u16string_view rootName(HKEY root) {
   if (root == HKEY_LOCAL_MACHINE)
      return u"HKEY_LOCAL_MACHINE";
   if (root == HKEY_CURRENT_USER)
      return u"HKEY_CURRENT_USER";
   if (root == HKEY_CLASSES_ROOT)
      return u"HKEY_CLASSES_ROOT";
   if (root == HKEY_USERS)
      return u"HKEY_USERS";
   return u"HKEY_CURRENT_CONFIG";
}

Writer::Writer() : text_(u"Windows Registry Editor Version 5.00\r\n") {}

void Writer::key(HKEY root, std::u16string_view subPath) {
   text_ += u"\r\n[";
   text_ += rootName(root);
   if (!subPath.empty()) {
      text_ += u'\\';
      text_ += subPath;
   }
   text_ += u"]\r\n";
}

void Writer::quoted(std::u16string_view text) {
   text_ += u'"';
   for (char16_t c : text) {
      if (c == u'\\' || c == u'"')
         text_ += u'\\';
      if (c == u'\n')
         text_ += u"\\n";
      else if (c == u'\r')
         text_ += u"\\r";
      else
         text_ += c;
   }
   text_ += u'"';
}

void Writer::value(std::u16string_view name, DWORD type, BYTE const* data, std::size_t size) {
   const std::size_t lineStart = text_.size();
   if (name.empty())
      text_ += u'@';
   else
      quoted(name);
   text_ += u'=';
   if (type == REG_SZ) {
      // Text up to its first NUL; a last odd byte is no character.
      std::u16string string;
      for (std::size_t i = 0; i + 1 < size; i += 2) {
         const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
         if (unit == 0)
            break;
         string += unit;
      }
      quoted(string);
   } else if (type == REG_DWORD && size == 4) {
      text_ += u"dword:";
      appendHex(&text_,
                static_cast<unsigned long>(data[0] | data[1] << 8 | data[2] << 16) |
                    static_cast<unsigned long>(data[3]) << 24,
                8);
   } else {
      hex(type, data, size, lineStart);
   }
   text_ += u"\r\n";
}

void Writer::hex(DWORD type, BYTE const* data, std::size_t size, std::size_t lineStart) {
   if (type == REG_BINARY) {
      text_ += u"hex:";
   } else {
      text_ += u"hex(";
      appendHex(&text_, type, 1);
      text_ += u"):";
   }
   // The editor breaks after the comma that ends past column 76.
   for (std::size_t i = 0; i < size; ++i) {
      appendHex(&text_, data[i], 2);
      if (i + 1 == size)
         break;
      text_ += u',';
      if (text_.size() - lineStart > 76) {
         text_ += u"\\\r\n  ";
         lineStart = text_.size() - 2;
      }
   }
}

std::string Writer::finish() {
   text_ += u"\r\n";
   std::string bytes = "\xFF\xFE";
   bytes.reserve(2 + 2 * text_.size());
   for (char16_t unit : text_) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
   }
   return bytes;
}

} // namespace voregfile

namespace {

using voregfile::KeyOp;
using voregfile::units;
using voregfile::wide;

SxArray<char> toArray(std::string const& bytes) {
   return SxArray<char>(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
}

// The whole file, refused unread past the size the reader takes.
SxArray<char> readFile(SxString const& file) {
   SxFileIO io;
   io.open(file, "rb", 0600);
   std::string bytes;
   SxArray<char> chunk(1 << 16);
   for (;;) {
      const int64_t got = io.read(chunk.elements(), chunk.getSize());
      if (got <= 0)
         break;
      bytes.append(chunk.elements(), static_cast<std::size_t>(got));
      if (bytes.size() > voregfile::kMaxFileBytes)
         throw SxException(file + ": larger than the " +
                               SxString(long{voregfile::kMaxFileBytes >> 20}) +
                               " MiB a .reg file may hold",
                           kSource);
   }
   io.close();
   return toArray(bytes);
}

// The file is opened only once its whole text is ready, so a failure before leaves it as it was.
void writeFile(SxString const& file, SxArray<char> const& bytes) {
   SxFileIO io;
   io.open(file, "wb", 0644);
   io.write(bytes);
   io.close();
}

// Walks a key and everything below it depth first, subkeys in enumeration order.
class Exporter {
public:
   explicit Exporter(SxString const& key) : key_(key), name_(16384), data_(4096) {}

   void walk(HKEY handle, HKEY root, std::u16string const& subPath) {
      writer_.key(root, subPath);
      for (DWORD i = 0;; ++i) {
         DWORD nameLength = static_cast<DWORD>(name_.size());
         DWORD type = 0;
         DWORD size = static_cast<DWORD>(data_.size());
         const LSTATUS status = RegEnumValueW(handle, i, name_.data(), &nameLength, nullptr, &type,
                                              data_.data(), &size);
         if (status == ERROR_MORE_DATA) {
            data_.resize(size);
            --i;
            continue;
         }
         if (status == ERROR_NO_MORE_ITEMS)
            break;
         require(status, subPath);
         writer_.value(
             std::u16string_view(reinterpret_cast<const char16_t*>(name_.data()), nameLength), type,
             data_.data(), size);
      }
      std::vector<std::u16string> subKeys;
      for (DWORD i = 0;; ++i) {
         DWORD nameLength = static_cast<DWORD>(name_.size());
         const LSTATUS status = RegEnumKeyExW(handle, i, name_.data(), &nameLength, nullptr,
                                              nullptr, nullptr, nullptr);
         if (status == ERROR_NO_MORE_ITEMS)
            break;
         require(status, subPath);
         subKeys.emplace_back(reinterpret_cast<const char16_t*>(name_.data()), nameLength);
      }
      for (std::u16string const& name : subKeys) {
         RegKey child;
         const std::u16string childPath = subPath.empty() ? name : subPath + u'\\' + name;
         require(RegOpenKeyExW(handle, wide(name), 0, KEY_READ, child.receive()), childPath);
         walk(child.get(), root, childPath);
      }
   }

   std::string finish() { return writer_.finish(); }

private:
   void require(LSTATUS status, std::u16string const& subPath) const {
      if (status != ERROR_SUCCESS)
         throw SxException("Can't export registry key '" + key_ + "' at '" +
                               SxString::fromUtf16(subPath.c_str()) + "' : " + sxstrerror(status),
                           kSource);
   }

   SxString key_;
   voregfile::Writer writer_;
   std::vector<WCHAR> name_;
   std::vector<BYTE> data_;
};

void applyKey(KeyOp const& key, SxString const& file) {
   auto fail = [&](int line, SxString const& what, LSTATUS status) {
      throw SxException(file + ":" + SxString(line) + ": " + what + " : " + sxstrerror(status),
                        kSource);
   };
   if (key.removeTree) {
      const LSTATUS status = RegDeleteTreeW(key.root, wide(key.subPath));
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
         fail(key.line, "Can't delete registry tree " + key.text, status);
      return;
   }
   RegKey handle;
   LSTATUS status =
       RegCreateKeyExW(key.root, wide(key.subPath), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                       nullptr, handle.receive(), nullptr);
   if (status != ERROR_SUCCESS)
      fail(key.line, "Can't create registry key '" + key.text + "'", status);
   for (voregfile::ValueOp const& value : key.values) {
      const SxString name = SxString::fromUtf16(value.name.c_str());
      if (value.remove) {
         status = RegDeleteKeyValueW(handle.get(), nullptr, wide(value.name));
         if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            fail(value.line, "Can't delete value '" + name + "' in '" + key.text + "'", status);
         continue;
      }
      status = RegSetValueExW(handle.get(), wide(value.name), 0, value.type,
                              value.bytes.empty() ? nullptr : value.bytes.data(),
                              static_cast<DWORD>(value.bytes.size()));
      if (status != ERROR_SUCCESS)
         fail(value.line, "Can't set value '" + name + "' in '" + key.text + "'", status);
   }
}

} // namespace

SxArray<char> VoRegistry::exportReg(SxString const& key) {
   const voregistry::KeyPath path = *voregistry::resolve(key, voregistry::RootPolicy::Value);
   RegKey handle;
   const LSTATUS status = voregistry::openKey(path, KEY_READ, &handle);
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + sxstrerror(status), kSource);
   Exporter exporter(key);
   exporter.walk(handle.get(), path.root, units(path.subPath));
   return toArray(exporter.finish());
}

void VoRegistry::exportReg(SxString const& key, SxString const& file) {
   writeFile(file, exportReg(key));
}

void VoRegistry::importReg(SxArray<char> const& bytes, SxString const& name) {
   const std::vector<KeyOp> keys = voregfile::parse(
       std::string_view(bytes.elements(), static_cast<std::size_t>(bytes.getSize())), name);
   const LSTATUS status = voplatform::registryBatch([&] {
      for (KeyOp const& key : keys)
         applyKey(key, name);
   });
   if (status != ERROR_SUCCESS)
      throw SxException(name + ": Can't complete the import : " + sxstrerror(status), kSource);
}

void VoRegistry::importReg(SxString const& file) {
   importReg(readFile(file), file);
}

SxArray<char> VoRegistry::toReg(ItemList const& items, SxString const& drive) {
   voregfile::Writer writer;
   SxString current;
   bool first = true;
   for (Item const& item : items) {
      const SxString key = item.key.substitute(voregistry::kPlaceholder, drive);
      const voregistry::KeyPath path = *voregistry::resolve(key, voregistry::RootPolicy::Set);
      if (first || key != current)
         writer.key(path.root, units(path.subPath));
      first = false;
      current = key;
      std::vector<BYTE> bytes;
      const DWORD type = voregistry::textToData(
          item.type, item.data.substitute(voregistry::kPlaceholder, drive), &bytes);
      writer.value(units(item.value.substitute(voregistry::kPlaceholder, drive)), type,
                   bytes.data(), bytes.size());
   }
   return toArray(writer.finish());
}

void VoRegistry::toReg(ItemList const& items, SxString const& drive, SxString const& file) {
   writeFile(file, toReg(items, drive));
}
