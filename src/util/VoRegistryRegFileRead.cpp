// Reading .reg files: the encodings, the key and value lines and their escapes, checked whole
// before anything is written.

#include "VoRegistryInternal.h"
#include "VoRegistryRegFile.h"

#include <sx/SxException.h>
#include <sx/SxUtf.h>

using voregistry::kSource;

namespace voregfile {
namespace {

constexpr std::u16string_view kVersion5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kVersion4 = u"REGEDIT4";

const struct {
   std::u16string_view full;
   std::u16string_view abbreviation;
   HKEY root;
} kRoots[] = {
    {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
    {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
    {u"HKEY_USERS", u"HKU", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG},
};

bool isBlank(char16_t c) {
   return c == u' ' || c == u'\t';
}

std::u16string_view trimmed(std::u16string_view text) {
   while (!text.empty() && isBlank(text.front()))
      text.remove_prefix(1);
   while (!text.empty() && isBlank(text.back()))
      text.remove_suffix(1);
   return text;
}

char16_t upper(char16_t c) {
   return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
   if (a.size() != b.size())
      return false;
   for (std::size_t i = 0; i < a.size(); ++i)
      if (upper(a[i]) != upper(b[i]))
         return false;
   return true;
}

bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
   return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int hexDigit(char16_t c) {
   if (c >= u'0' && c <= u'9')
      return c - u'0';
   if (c >= u'a' && c <= u'f')
      return c - u'a' + 10;
   if (c >= u'A' && c <= u'F')
      return c - u'A' + 10;
   return -1;
}

SxString shown(std::u16string_view text) {
   return SxString::fromUtf16(text.data(), static_cast<std::ptrdiff_t>(text.size()));
}

void appendUnits(std::vector<BYTE>* bytes, std::u16string_view units) {
   for (char16_t unit : units) {
      bytes->push_back(static_cast<BYTE>(unit & 0xFF));
      bytes->push_back(static_cast<BYTE>(unit >> 8));
   }
}

// 8-bit text as UTF-16: UTF-8 where it is well formed, Latin-1 otherwise.
std::u16string widen(std::string_view bytes) {
   if (SxUtf::firstMalformed(bytes) == std::string_view::npos)
      return SxUtf::utf8ToUtf16(bytes, SxUtf::Surrogates::Keep);
   return std::u16string(bytes.begin(), bytes.end());
}

class Reader {
public:
   Reader(std::string_view bytes, SxString const& name) : name_(name) {
      if (bytes.size() > kMaxFileBytes)
         throw SxException(name_ + ": larger than the " + SxString(long{kMaxFileBytes >> 20}) +
                               " MiB a .reg file may hold",
                           kSource);
      decode(bytes);
   }

   std::vector<KeyOp> parse() {
      std::u16string_view line;
      if (!nextLine(&line))
         failAt(1, "empty file: no header");
      const std::u16string_view header = trimmed(line);
      version4_ = header == kVersion4;
      if (header != kVersion5 && !version4_)
         fail("unknown header '" + shown(header.substr(0, 80)) + "'");
      std::vector<KeyOp> keys;
      while (nextLine(&line)) {
         const std::u16string_view text = trimmed(line);
         if (text.empty() || text.front() == u';')
            continue;
         if (text.front() == u'[') {
            keys.push_back(keyLine(text));
         } else if (text.front() == u'"' || text.front() == u'@') {
            if (keys.empty() || keys.back().removeTree)
               fail("value line outside a key");
            keys.back().values.push_back(valueLine(text));
         } else {
            fail("not a key, value or comment line");
         }
      }
      return keys;
   }

private:
   [[noreturn]] void fail(SxString const& what) const { failAt(line_, what); }
   [[noreturn]] void failAt(int line, SxString const& what) const {
      throw SxException(name_ + ":" + SxString(line) + ": " + what, kSource);
   }

   void decode(std::string_view bytes) {
      if (bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF &&
          static_cast<BYTE>(bytes[1]) == 0xFE) {
         const std::size_t units = (bytes.size() - 2) / 2;
         text_.resize(units);
         for (std::size_t i = 0; i < units; ++i)
            text_[i] = static_cast<char16_t>(static_cast<BYTE>(bytes[2 + 2 * i]) |
                                             static_cast<BYTE>(bytes[3 + 2 * i]) << 8);
         if (bytes.size() % 2 != 0) {
            int lines = 1;
            for (char16_t unit : text_)
               lines += unit == u'\n';
            failAt(lines, "UTF-16 file with an odd number of bytes");
         }
         return;
      }
      if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
         bytes.remove_prefix(3);
      text_ = widen(bytes);
   }

   // The next line without its line end; false at the end of the text.
   bool nextLine(std::u16string_view* line) {
      if (pos_ >= text_.size())
         return false;
      const std::u16string_view rest = std::u16string_view(text_).substr(pos_);
      const std::size_t end = rest.find(u'\n');
      std::u16string_view found = rest.substr(0, end);
      pos_ = end == std::u16string_view::npos ? text_.size() : pos_ + end + 1;
      if (!found.empty() && found.back() == u'\r')
         found.remove_suffix(1);
      ++line_;
      *line = found;
      return true;
   }

   KeyOp keyLine(std::u16string_view text) {
      if (text.size() < 2 || text.back() != u']')
         fail("unterminated key line");
      KeyOp key;
      key.line = line_;
      std::u16string_view path = text.substr(1, text.size() - 2);
      if (!path.empty() && path.front() == u'-') {
         key.removeTree = true;
         path.remove_prefix(1);
      }
      key.text = shown(path);
      const std::size_t slash = path.find(u'\\');
      const std::u16string_view rootText = path.substr(0, slash);
      for (const auto& root : kRoots)
         if (equalsIgnoringCase(rootText, root.full) ||
             equalsIgnoringCase(rootText, root.abbreviation))
            key.root = root.root;
      if (!key.root)
         fail("unknown root '" + shown(rootText) + "'");
      std::size_t depth = 0;
      std::u16string_view names = slash == std::u16string_view::npos ? u"" : path.substr(slash + 1);
      while (!names.empty()) {
         const std::size_t end = names.find(u'\\');
         const std::u16string_view name = names.substr(0, end);
         names = end == std::u16string_view::npos ? u"" : names.substr(end + 1);
         if (name.empty())
            continue;
         if (name.size() > kMaxKeyNameLength)
            fail("key name longer than " + SxString(long{kMaxKeyNameLength}) + " characters");
         if (++depth > kMaxKeyDepth)
            fail("key path deeper than " + SxString(long{kMaxKeyDepth}) + " levels");
         if (!key.subPath.empty())
            key.subPath += u'\\';
         key.subPath += name;
      }
      if (key.removeTree && key.subPath.empty())
         fail("refusing to delete the root key " + key.text);
      return key;
   }

   // A quoted text starting at text[*pos] == '"', with its escapes undone; *pos moves past it.
   std::u16string quoted(std::u16string_view text, std::size_t* pos) {
      std::u16string result;
      for (std::size_t i = *pos + 1; i < text.size(); ++i) {
         const char16_t c = text[i];
         if (c == u'"') {
            *pos = i + 1;
            return result;
         }
         if (c != u'\\') {
            result += c;
            continue;
         }
         if (++i == text.size())
            break;
         switch (text[i]) {
         case u'\\':
         case u'"':
            result += text[i];
            break;
         case u'n':
            result += u'\n';
            break;
         case u'r':
            result += u'\r';
            break;
         default:
            fail("unknown escape '\\" + shown(text.substr(i, 1)) + "'");
         }
      }
      fail("unterminated string");
   }

   ValueOp valueLine(std::u16string_view text) {
      ValueOp value;
      value.line = line_;
      std::size_t pos = 1;
      if (text.front() == u'"') {
         pos = 0;
         value.name = quoted(text, &pos);
         if (value.name.size() > kMaxValueNameLength)
            fail("value name longer than " + SxString(long{kMaxValueNameLength}) + " characters");
      }
      std::u16string_view rest = trimmed(text.substr(pos));
      if (rest.empty() || rest.front() != u'=')
         fail("'=' expected after the value name");
      rest = trimmed(rest.substr(1));
      if (rest == u"-") {
         value.remove = true;
      } else if (!rest.empty() && rest.front() == u'"') {
         std::size_t end = 0;
         const std::u16string data = quoted(rest, &end);
         if (!trimmed(rest.substr(end)).empty())
            fail("unexpected text after the string");
         value.type = REG_SZ;
         appendUnits(&value.bytes, data);
         appendUnits(&value.bytes, std::u16string_view(u"\0", 1));
      } else if (startsWithIgnoringCase(rest, u"dword:")) {
         const std::u16string_view digits = rest.substr(6);
         if (digits.empty() || digits.size() > 8)
            fail("dword data needs 1 to 8 hex digits");
         uint32_t number = 0;
         for (char16_t c : digits) {
            if (hexDigit(c) < 0)
               fail("bad hex digit '" + shown(std::u16string_view(&c, 1)) + "'");
            number = number << 4 | static_cast<uint32_t>(hexDigit(c));
         }
         value.type = REG_DWORD;
         for (int i = 0; i < 4; ++i)
            value.bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
      } else if (startsWithIgnoringCase(rest, u"hex")) {
         hexData(rest.substr(3), &value);
      } else {
         fail("unknown value data '" + shown(rest.substr(0, 20)) + "'");
      }
      return value;
   }

   // "hex:" or "hex(N):" data, continued on the next line after a trailing backslash.
   void hexData(std::u16string_view rest, ValueOp* value) {
      value->type = REG_BINARY;
      if (!rest.empty() && rest.front() == u'(') {
         const std::size_t close = rest.find(u')');
         const std::u16string_view digits = rest.substr(1, close - 1);
         if (close == std::u16string_view::npos || digits.empty() || digits.size() > 8)
            fail("hex(N) needs a type number of 1 to 8 hex digits");
         value->type = 0;
         for (char16_t c : digits) {
            if (hexDigit(c) < 0)
               fail("bad hex digit '" + shown(std::u16string_view(&c, 1)) + "' in the type");
            value->type = value->type << 4 | static_cast<DWORD>(hexDigit(c));
         }
         rest = rest.substr(close + 1);
      }
      if (rest.empty() || rest.front() != u':')
         fail("':' expected after hex");
      std::u16string data(trimmed(rest.substr(1)));
      while (!data.empty() && data.back() == u'\\') {
         data.pop_back();
         std::u16string_view next;
         if (!nextLine(&next))
            fail("continuation at end of file");
         data += trimmed(next);
      }
      std::string raw;
      std::u16string_view items = data;
      while (!items.empty()) {
         const std::size_t comma = items.find(u',');
         const std::u16string_view item = trimmed(items.substr(0, comma));
         items = comma == std::u16string_view::npos ? u"" : items.substr(comma + 1);
         for (char16_t c : item)
            if (hexDigit(c) < 0)
               fail("bad hex digit '" + shown(std::u16string_view(&c, 1)) + "'");
         if (item.size() != 2)
            fail("'" + shown(item) + "' is not a byte of two hex digits");
         raw += static_cast<char>(hexDigit(item[0]) << 4 | hexDigit(item[1]));
      }
      const bool utf16Type =
          value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
      if (utf16Type && version4_) {
         appendUnits(&value->bytes, widen(raw));
         return;
      }
      if (utf16Type && raw.size() % 2 != 0)
         fail("odd number of bytes for UTF-16 text of type hex(" +
              SxString::sprintf("%lx", static_cast<unsigned long>(value->type)) + ")");
      value->bytes.assign(raw.begin(), raw.end());
   }

   SxString name_;
   std::u16string text_;
   std::size_t pos_ = 0;
   int line_ = 0;
   bool version4_ = false;
};

} // namespace

std::vector<KeyOp> parse(std::string_view bytes, SxString const& name) {
   return Reader(bytes, name).parse();
}

} // namespace voregfile
