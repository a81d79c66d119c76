// registry-diff SEED [CALLS]: a deterministic pseudo-random sequence of registry calls below
// HKCU\Software\VoutilDiff, one output line per call with everything the call reports (status,
// sizes, types, data bytes, names in enumeration order), never handle values. Built natively
// against our store and for Windows, run on both for the same seeds, and the outputs compared
// (compare.sh). Uses nothing but <windows.h> and the ten registry calls.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace {

using Name = std::basic_string<WCHAR>;

const auto toName = [](std::u16string_view text) { return Name(text.begin(), text.end()); };

// splitmix64: the same numbers from the same seed on every platform and library.
class Random {
public:
   explicit Random(uint64_t seed) : state_(seed) {}
   /// 0 <= result < n.
   unsigned below(unsigned n) {
      uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      return static_cast<unsigned>((z ^ (z >> 31)) % n);
   }
   bool oneIn(unsigned n) { return below(n) == 0; }
   template <class T>
   const T& pick(const std::vector<T>& from) {
      return from[below(static_cast<unsigned>(from.size()))];
   }

private:
   uint64_t state_;
};

// Names that fold alike in pairs (a/A, ä/Ä, σ/Σ, ж/Ж, ａ/Ａ), that sort differently by upper- and
// by lower-cased units ("_"), lone surrogates, a surrogate pair, ß (no single upper case) and
// the longest key name. Letters whose upper case is shared with a letter of another lower case
// (ς, ı, ſ, µ, the Kelvin sign) are left out: Wine folds names to lower case, Windows to upper.
const std::vector<Name> kKeyNames = [] {
   std::vector<Name> n;
   for (const char16_t* text :
        {u"a",      u"A",      u"b",          u"_",      u"_x",     u"Z",      u"\u00E4",
         u"\u00C4", u"\u00DF", u"SS",         u"\u03C3", u"\u03A3", u"\u0436", u"\u0416",
         u"\xD800", u"\xDC00", u"\U0001F600", u"\uFF41", u"\uFF21", u"x1",     u"X1"})
      n.push_back(toName(text));
   n.insert(n.end(), {Name(256, 'k'), Name(257, 'k')});
   return n;
}();

constexpr REGSAM kReadDelete = KEY_READ | DELETE;
constexpr REGSAM kClearRights = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
constexpr REGSAM kEmptyingRights = kClearRights | KEY_SET_VALUE;
const std::vector<REGSAM> kAccess = {
    KEY_READ,      KEY_WRITE,   KEY_ALL_ACCESS,         KEY_QUERY_VALUE,
    KEY_SET_VALUE, kReadDelete, KEY_ENUMERATE_SUB_KEYS, kClearRights};
const std::vector<DWORD> kTypes = {REG_SZ,    REG_DWORD,    REG_BINARY,   REG_NONE,
                                   REG_QWORD, REG_MULTI_SZ, REG_EXPAND_SZ};

// The decimal and hexadecimal forms of a status, count or right, alike on both platforms.
const auto dec = [](auto n) { return std::to_string(n); };
std::string hex(unsigned long n) {
   char buffer[24];
   std::snprintf(buffer, sizeof buffer, "0x%lx", n);
   return buffer;
}

// A name as printable ASCII: other units as \uXXXX, runs of one unit longer than 8 as unit*n.
std::string show(const Name& text) {
   std::string out = "\"";
   for (std::size_t i = 0, run = 1; i < text.size(); i += run, run = 1) {
      while (i + run < text.size() && text[i + run] == text[i])
         ++run;
      const unsigned unit = static_cast<uint16_t>(text[i]);
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", unit);
      const std::string one = unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\'
                                  ? std::string(1, static_cast<char>(unit))
                                  : code;
      for (std::size_t r = 0; r < (run > 8 ? 1 : run); ++r)
         out += one;
      out += run > 8 ? "*" + dec(run) : "";
   }
   return out + "\"";
}

std::string bytes(const BYTE* data, DWORD size) {
   static const char digits[] = "0123456789abcdef";
   std::string out;
   for (DWORD i = 0; i < size; ++i)
      out += {digits[data[i] >> 4], digits[data[i] & 15]};
   return out.empty() ? "-" : out;
}

const auto say = [](const std::string& line) { std::puts(line.c_str()); };

class Run {
public:
   Run(uint64_t seed, HKEY base) : random_(seed) { slots_.push_back({base, KEY_ALL_ACCESS}); }
   ~Run() {
      for (std::size_t i = 1; i < slots_.size(); ++i)
         if (slots_[i].handle)
            RegCloseKey(slots_[i].handle);
   }

   // One call, chosen with these weights.
   void step(int n) {
      static constexpr void (Run::*kCalls[13])() = {
          &Run::create,   &Run::create,     &Run::open,        &Run::close,      &Run::setValue,
          &Run::setValue, &Run::queryValue, &Run::deleteValue, &Run::deleteTree, &Run::queryInfo,
          &Run::enumKeys, &Run::enumValues, &Run::openRoot};
      std::printf("%d ", n);
      (this->*kCalls[random_.below(13)])();
   }

private:
   struct Slot {
      HKEY handle;
      REGSAM access;
   };
   // A handle taken from a slot, as the output shows it: with its rights, which decide some
   // answers.
   struct Handle {
      std::size_t slot;
      HKEY h;
      std::string shown;
   };
   // A name or sub-path as passed: null, or these units.
   struct Text {
      bool null = true;
      Name units;
      std::string shown = "null";
      const WCHAR* get() const { return null ? nullptr : units.c_str(); }
   };

   // An open handle with at least the rights needed.
   Handle handle(REGSAM needed = 0) {
      std::vector<std::size_t> open;
      for (std::size_t i = 0; i < slots_.size(); ++i)
         if (slots_[i].handle && (slots_[i].access & needed) == needed)
            open.push_back(i);
      const std::size_t chosen = random_.pick(open);
      const Slot& slot = slots_[chosen];
      return {chosen, slot.handle, "s" + dec(chosen) + "(" + hex(slot.access) + ")"};
   }

   // A sub-path of one or two names, now and then with a leading, doubled or trailing
   // backslash; sometimes empty or null, sometimes up to 20 levels deep.
   Text subPath() {
      if (random_.oneIn(14))
         return {};
      Name path;
      if (random_.oneIn(8)) {
         static const std::vector<Name> kShort = {toName(u"a"), toName(u"B"), toName(u"x1")};
         for (unsigned level = 0, depth = 3 + random_.below(18); level < depth; ++level)
            path += (level ? Name(1, '\\') : Name()) + random_.pick(kShort);
         return {false, path, show(path)};
      }
      if (!random_.oneIn(14)) {
         if (random_.oneIn(12))
            path.push_back('\\');
         path += random_.pick(kKeyNames);
         // An overlong name stands alone: Windows creates the keys before it on the way, the
         // store checks the whole path first (deliberate-differences.txt).
         if (path.size() < 256 && random_.oneIn(3)) {
            path += random_.oneIn(10) ? Name(2, '\\') : Name(1, '\\');
            Name next;
            while ((next = random_.pick(kKeyNames)).size() > 256) {
            }
            path += next;
         }
         if (random_.oneIn(12))
            path.push_back('\\');
      }
      return {false, path, show(path)};
   }

   // A value name, the empty one or null.
   Text valueName() {
      if (random_.oneIn(10))
         return {};
      const Name name = random_.oneIn(8) ? Name() : random_.pick(kKeyNames);
      return {false, name, show(name)};
   }

   // Keeps a new handle in the first free slot and names the slot.
   std::string keep(HKEY handle, REGSAM access) {
      std::size_t i = 1;
      while (i < slots_.size() && slots_[i].handle)
         ++i;
      if (i == slots_.size())
         slots_.push_back({});
      slots_[i] = {handle, access};
      return " s" + dec(i);
   }

   void create() { createOrOpen(true); }
   void open() { createOrOpen(false); }
   void createOrOpen(bool create) {
      const Handle parent = handle();
      const Text path = subPath();
      const REGSAM access = random_.pick(kAccess);
      HKEY opened = nullptr;
      DWORD disposition = 0;
      const LSTATUS status = create ? RegCreateKeyExW(parent.h, path.get(), 0, nullptr, 0, access,
                                                      nullptr, &opened, &disposition)
                                    : RegOpenKeyExW(parent.h, path.get(), 0, access, &opened);
      std::string line = (create ? "create " : "open ") + parent.shown + " " + path.shown + " " +
                         hex(access) + " -> " + dec(status);
      if (status == ERROR_SUCCESS)
         line += (create ? " disp=" + dec(disposition) : "") + keep(opened, access);
      else
         line += opened ? " handle-kept" : " handle-null";
      say(line);
   }

   // A predefined root, as Windows defines it or with other upper bits, opened or created with
   // no sub-path, an empty one, a lone backslash or the test's own key, and closed again.
   void openRoot() {
      const bool classes = random_.oneIn(3);
      const auto low = static_cast<uint32_t>(classes ? 0x80000000u : 0x80000001u);
      const uintptr_t forms[] = {
          static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(low))), uintptr_t{low},
          uintptr_t{low} | (uintptr_t{0x5A5A} << 32)};
      const unsigned form = random_.below(3);
      const auto root = reinterpret_cast<HKEY>(sizeof(uintptr_t) > 4 ? forms[form] : forms[0]);
      static const std::vector<Text> kPaths = {
          {},
          {false, Name(), "\"\""},
          {false, toName(u"\\"), "\"\\u005C\""},
          {false, toName(u"Software\\VoutilDiff"), "\"Software\\u005CVoutilDiff\""}};
      const Text& path = kPaths[random_.below(classes ? 3 : 4)];
      const bool create = random_.oneIn(2);
      HKEY opened = nullptr;
      const LSTATUS status = create ? RegCreateKeyExW(root, path.get(), 0, nullptr, 0, KEY_READ,
                                                      nullptr, &opened, nullptr)
                                    : RegOpenKeyExW(root, path.get(), 0, KEY_READ, &opened);
      std::string line = std::string(create ? "createroot " : "openroot ") +
                         (classes ? "HKCR" : "HKCU") + "/" + dec(form) + " " + path.shown + " -> " +
                         dec(status);
      if (status == ERROR_SUCCESS) {
         line += opened == root ? " itself" : " new";
         if (opened != root)
            RegCloseKey(opened);
      }
      say(line);
   }

   void close() {
      const Handle key = handle();
      if (key.slot == 0)
         return say("close none");
      say("close " + key.shown + " -> " + dec(RegCloseKey(key.h)));
      slots_[key.slot].handle = nullptr;
   }

   void setValue() {
      const Handle key = handle();
      const Text name = valueName();
      const DWORD type = random_.pick(kTypes);
      std::vector<BYTE> data(random_.below(13));
      for (BYTE& byte : data)
         byte = static_cast<BYTE>(random_.oneIn(3) ? 0 : random_.below(256));
      const auto size = static_cast<DWORD>(data.size());
      // Windows lengthens string data whose count leaves out a NUL unit that follows it in
      // memory; the store keeps data exactly as written. Non-zero bytes after the data keep
      // that quirk out of the comparison.
      data.insert(data.end(), {0xAB, 0xAB, 0xAB});
      const bool nullData = size && random_.oneIn(12);
      const LSTATUS status =
          RegSetValueExW(key.h, name.get(), 0, type, nullData ? nullptr : data.data(), size);
      say("set " + key.shown + " " + name.shown + " " + dec(type) + " " +
          (nullData ? "null" : bytes(data.data(), size)) + " -> " + dec(status));
   }

   void queryValue() {
      const Handle key = handle();
      const Text name = valueName();
      // No buffer, or a buffer of a chosen size: too small for most data, or roomy.
      const unsigned bufferKind = random_.below(3);
      std::vector<BYTE> buffer(bufferKind == 1 ? 2 : 64, 0xEE);
      DWORD type = 0xFFFF, size = static_cast<DWORD>(buffer.size());
      const LSTATUS status = RegQueryValueExW(key.h, name.get(), nullptr, &type,
                                              bufferKind ? buffer.data() : nullptr, &size);
      std::string line = "query " + key.shown + " " + name.shown +
                         " buffer=" + dec(bufferKind ? buffer.size() : 0) + " -> " + dec(status);
      if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)
         line += " type=" + dec(type);
      line += " size=" + dec(size);
      // With the two bytes after the data: a NUL where string data was stored without one.
      if (status == ERROR_SUCCESS && bufferKind)
         line += " " + bytes(buffer.data(), size) + "+" +
                 bytes(buffer.data() + std::min<std::size_t>(size, buffer.size()),
                       size + 2 <= buffer.size() ? 2 : 0);
      say(line);
   }

   void deleteValue() {
      const Handle key = handle();
      const Text path = random_.oneIn(2) ? subPath() : Text{};
      const Text name = valueName();
      say("delvalue " + key.shown + " " + path.shown + " " + name.shown + " -> " +
          dec(RegDeleteKeyValueW(key.h, path.get(), name.get())));
   }

   void deleteTree() {
      // Emptying a key through its handle only where the handle has every right it may need:
      // Windows checks them one by one as it goes and may stop half-way, the store checks
      // them first (deliberate-differences.txt).
      const bool emptying = random_.oneIn(4);
      const Handle key = handle(emptying ? kEmptyingRights : 0);
      // An empty sub-path is left out: Windows then deletes the key itself as well, the store
      // keeps it (deliberate-differences.txt).
      Text path;
      while (!emptying && ((path = subPath()).null || path.units.empty())) {
      }
      say("deltree " + key.shown + " " + path.shown + " -> " +
          dec(RegDeleteTreeW(key.h, path.get())));
   }

   void queryInfo() {
      const Handle key = handle();
      DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
      const LSTATUS status =
          RegQueryInfoKeyW(key.h, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                           &maxValueName, &maxValue, nullptr, nullptr);
      std::string line = "info " + key.shown + " -> " + dec(status);
      if (status == ERROR_SUCCESS)
         line += " keys=" + dec(subKeys) + " maxkey=" + dec(maxSubKey) + " values=" + dec(values) +
                 " maxname=" + dec(maxValueName) + " maxdata=" + dec(maxValue);
      say(line);
   }

   void enumKeys() {
      const Handle key = handle();
      // A buffer as long as the name has no room for its NUL.
      const bool tight = random_.oneIn(4);
      std::string line = "enumkeys " + key.shown + (tight ? " tight" : "") + " ->";
      WCHAR name[300];
      LSTATUS status = ERROR_SUCCESS;
      for (DWORD i = 0; status == ERROR_SUCCESS && i < 64; ++i) {
         DWORD cch = 300;
         status = RegEnumKeyExW(key.h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
         if (status != ERROR_SUCCESS)
            break;
         line += " " + show(Name(name, cch));
         if (tight && i == 0) {
            const LSTATUS tightStatus =
                RegEnumKeyExW(key.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
            line += "(tight:" + dec(tightStatus) + ":" + dec(cch) + ")";
         }
      }
      say(line + " end=" + dec(status));
   }

   void enumValues() {
      const Handle key = handle();
      // A name buffer of one unit: room for the empty name only.
      const bool tight = random_.oneIn(4);
      std::string line = "enumvalues " + key.shown + (tight ? " tight" : "") + " ->";
      WCHAR name[300];
      BYTE data[64];
      LSTATUS status = ERROR_SUCCESS;
      for (DWORD i = 0; status == ERROR_SUCCESS && i < 64; ++i) {
         DWORD cch = tight && i == 0 ? 1 : 300, type = 0, size = 64;
         std::fill(std::begin(data), std::end(data), BYTE{0xEE});
         status = RegEnumValueW(key.h, i, name, &cch, nullptr, &type, data, &size);
         if (status == ERROR_SUCCESS)
            line += " " + show(Name(name, cch)) + ":" + dec(type) + ":" + bytes(data, size) + "+" +
                    bytes(data + size, 2);
         else if (tight && i == 0 && status == ERROR_MORE_DATA)
            line += " (tight:" + dec(cch) + ":" + dec(type) + ":" + dec(size) + ":" +
                    (data[0] == 0xEE ? "untouched" : "written") + ")";
      }
      say(line + " end=" + dec(status));
   }

   Random random_;
   std::vector<Slot> slots_;
};

} // namespace

int main(int argc, char** argv) {
   if (argc < 2) {
      std::fprintf(stderr, "usage: registry-diff SEED [CALLS]\n");
      return 2;
   }
   const uint64_t seed = std::strtoull(argv[1], nullptr, 10);
   const int calls = argc > 2 ? std::atoi(argv[2]) : 400;
   const Name basePath = toName(u"Software\\VoutilDiff");
   RegDeleteTreeW(HKEY_CURRENT_USER, basePath.c_str());
   HKEY base = nullptr;
   if (RegCreateKeyExW(HKEY_CURRENT_USER, basePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                       &base, nullptr) != ERROR_SUCCESS) {
      std::fprintf(stderr, "registry-diff: cannot create HKCU\\Software\\VoutilDiff\n");
      return 1;
   }
   {
      Run run(seed, base);
      for (int n = 0; n < calls; ++n)
         run.step(n);
   }
   RegCloseKey(base);
   RegDeleteTreeW(HKEY_CURRENT_USER, basePath.c_str());
   return 0;
}
