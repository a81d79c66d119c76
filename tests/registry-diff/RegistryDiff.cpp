// registry-diff SEED [CALLS]: a deterministic pseudo-random sequence of registry calls below
// HKCU\Software\VoutilDiff, one output line per call with everything the call reports (status,
// sizes, types, data bytes, names in enumeration order), never handle values. Built natively
// against our store and for Windows, run on both for the same seeds, and the outputs compared
// (compare.sh). Uses nothing but <windows.h> and the ten registry calls.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using Name = std::basic_string<WCHAR>;

Name name(const char16_t* text) {
   Name out;
   for (; *text; ++text)
      out.push_back(static_cast<WCHAR>(*text));
   return out;
}

// splitmix64: the same numbers from the same seed on every platform and library.
class Random {
public:
   explicit Random(uint64_t seed) : state_(seed) {}
   uint64_t next() {
      uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      return z ^ (z >> 31);
   }
   /// 0 <= result < n.
   unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
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
const std::vector<Name>& keyNames() {
   static const std::vector<Name> names = [] {
      std::vector<Name> n;
      for (const char16_t* text :
           {u"a",      u"A",      u"b",          u"_",      u"_x",     u"Z",      u"\u00E4",
            u"\u00C4", u"\u00DF", u"SS",         u"\u03C3", u"\u03A3", u"\u0436", u"\u0416",
            u"\xD800", u"\xDC00", u"\U0001F600", u"\uFF41", u"\uFF21", u"x1",     u"X1"})
         n.push_back(name(text));
      n.push_back(Name(256, 'k'));
      n.push_back(Name(257, 'k'));
      return n;
   }();
   return names;
}

const std::vector<REGSAM> kAccess = {KEY_READ,
                                     KEY_WRITE,
                                     KEY_ALL_ACCESS,
                                     KEY_QUERY_VALUE,
                                     KEY_SET_VALUE,
                                     KEY_READ | DELETE,
                                     KEY_ENUMERATE_SUB_KEYS,
                                     DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE};
const std::vector<DWORD> kTypes = {REG_SZ,    REG_DWORD,    REG_BINARY,   REG_NONE,
                                   REG_QWORD, REG_MULTI_SZ, REG_EXPAND_SZ};

// A name as printable ASCII: other units as \uXXXX, runs of one unit longer than 8 as unit*n.
std::string show(const Name& text) {
   std::string out = "\"";
   for (std::size_t i = 0; i < text.size();) {
      std::size_t run = 1;
      while (i + run < text.size() && text[i + run] == text[i])
         ++run;
      const auto unit = static_cast<unsigned>(static_cast<uint16_t>(text[i]));
      const std::size_t repeat = run > 8 ? 1 : run;
      for (std::size_t r = 0; r < repeat; ++r) {
         char buffer[16];
         if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\')
            std::snprintf(buffer, sizeof buffer, "%c", static_cast<char>(unit));
         else
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unit);
         out += buffer;
      }
      if (run > 8)
         out += "*" + std::to_string(run);
      i += run;
   }
   return out + "\"";
}

std::string hex(const BYTE* data, DWORD size) {
   std::string out;
   char buffer[4];
   for (DWORD i = 0; i < size; ++i) {
      std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
      out += buffer;
   }
   return out.empty() ? "-" : out;
}

class Run {
public:
   Run(uint64_t seed, HKEY base) : random_(seed) { slots_.push_back({base, KEY_ALL_ACCESS}); }
   ~Run() {
      for (std::size_t i = 1; i < slots_.size(); ++i)
         if (slots_[i].handle)
            RegCloseKey(slots_[i].handle);
   }

   void step(int n) {
      std::printf("%d ", n);
      switch (random_.below(12)) {
      case 0:
      case 1:
         return createOrOpen(true);
      case 2:
         return createOrOpen(false);
      case 3:
         return close();
      case 4:
      case 5:
         return setValue();
      case 6:
         return queryValue();
      case 7:
         return deleteValue();
      case 8:
         return deleteTree();
      case 9:
         return queryInfo();
      case 10:
         return enumKeys();
      default:
         return enumValues();
      }
   }

private:
   struct Slot {
      HKEY handle;
      REGSAM access;
   };

   // An open handle with at least the rights needed, shown with its rights, which decide some
   // answers.
   std::size_t slot(std::string* shown, REGSAM needed = 0) {
      std::vector<std::size_t> open;
      for (std::size_t i = 0; i < slots_.size(); ++i)
         if (slots_[i].handle && (slots_[i].access & needed) == needed)
            open.push_back(i);
      const std::size_t chosen = random_.pick(open);
      char buffer[48];
      std::snprintf(buffer, sizeof buffer, "s%lu(0x%lx)", static_cast<unsigned long>(chosen),
                    static_cast<unsigned long>(slots_[chosen].access));
      *shown = buffer;
      return chosen;
   }

   // A sub-path of one or two names, now and then with a leading, doubled or trailing
   // backslash; sometimes empty or null.
   bool subPath(Name* path, std::string* shown) {
      if (random_.oneIn(14)) {
         *shown = "null";
         return false;
      }
      path->clear();
      if (!random_.oneIn(14)) {
         if (random_.oneIn(12))
            path->push_back('\\');
         *path += random_.pick(keyNames());
         // An overlong name stands alone: Windows creates the keys before it on the way, the
         // store checks the whole path first (deliberate-differences.txt).
         if (path->size() < 256 && random_.oneIn(3)) {
            *path += random_.oneIn(10) ? Name(2, '\\') : Name(1, '\\');
            Name next;
            while ((next = random_.pick(keyNames())).size() > 256) {
            }
            *path += next;
         }
         if (random_.oneIn(12))
            path->push_back('\\');
      }
      *shown = show(*path);
      return true;
   }

   bool valueName(Name* valueName, std::string* shown) {
      if (random_.oneIn(10)) {
         *shown = "null";
         return false;
      }
      *valueName = random_.oneIn(8) ? Name() : random_.pick(keyNames());
      *shown = show(*valueName);
      return true;
   }

   void keep(HKEY handle, REGSAM access) {
      for (std::size_t i = 1; i < slots_.size(); ++i) {
         if (!slots_[i].handle) {
            slots_[i] = {handle, access};
            std::printf(" s%lu\n", static_cast<unsigned long>(i));
            return;
         }
      }
      slots_.push_back({handle, access});
      std::printf(" s%lu\n", static_cast<unsigned long>(slots_.size() - 1));
   }

   void createOrOpen(bool create) {
      std::string parentShown, pathShown;
      const std::size_t parent = slot(&parentShown);
      Name path;
      const bool hasPath = subPath(&path, &pathShown);
      const REGSAM access = random_.pick(kAccess);
      HKEY handle = nullptr;
      DWORD disposition = 0;
      const LSTATUS status =
          create ? RegCreateKeyExW(slots_[parent].handle, hasPath ? path.c_str() : nullptr, 0,
                                   nullptr, 0, access, nullptr, &handle, &disposition)
                 : RegOpenKeyExW(slots_[parent].handle, hasPath ? path.c_str() : nullptr, 0, access,
                                 &handle);
      std::printf("%s %s %s 0x%lx -> %ld", create ? "create" : "open", parentShown.c_str(),
                  pathShown.c_str(), static_cast<unsigned long>(access), static_cast<long>(status));
      if (status != ERROR_SUCCESS) {
         std::printf("\n");
         return;
      }
      if (create)
         std::printf(" disp=%lu", static_cast<unsigned long>(disposition));
      keep(handle, access);
   }

   void close() {
      std::string shown;
      const std::size_t chosen = slot(&shown);
      if (chosen == 0) {
         std::printf("close none\n");
         return;
      }
      std::printf("close %s -> %ld\n", shown.c_str(),
                  static_cast<long>(RegCloseKey(slots_[chosen].handle)));
      slots_[chosen].handle = nullptr;
   }

   void setValue() {
      std::string keyShown, nameShown;
      const std::size_t key = slot(&keyShown);
      Name valueNameText;
      const bool hasName = valueName(&valueNameText, &nameShown);
      const DWORD type = random_.pick(kTypes);
      std::vector<BYTE> data(random_.below(13));
      for (BYTE& byte : data)
         byte = static_cast<BYTE>(random_.oneIn(3) ? 0 : random_.below(256));
      const auto size = static_cast<DWORD>(data.size());
      // Windows lengthens string data whose count leaves out a NUL unit that follows it in
      // memory; the store keeps data exactly as written. Non-zero bytes after the data keep
      // that quirk out of the comparison.
      data.insert(data.end(), {0xAB, 0xAB, 0xAB});
      const LSTATUS status =
          RegSetValueExW(slots_[key].handle, hasName ? valueNameText.c_str() : nullptr, 0, type,
                         data.data(), size);
      std::printf("set %s %s %lu %s -> %ld\n", keyShown.c_str(), nameShown.c_str(),
                  static_cast<unsigned long>(type), hex(data.data(), size).c_str(),
                  static_cast<long>(status));
   }

   void queryValue() {
      std::string keyShown, nameShown;
      const std::size_t key = slot(&keyShown);
      Name valueNameText;
      const bool hasName = valueName(&valueNameText, &nameShown);
      // No buffer, or a buffer of a chosen size: too small for most data, or roomy.
      const unsigned bufferKind = random_.below(3);
      std::vector<BYTE> buffer(bufferKind == 1 ? 2 : 64, 0xEE);
      DWORD type = 0xFFFF, size = static_cast<DWORD>(buffer.size());
      const LSTATUS status =
          RegQueryValueExW(slots_[key].handle, hasName ? valueNameText.c_str() : nullptr, nullptr,
                           &type, bufferKind ? buffer.data() : nullptr, &size);
      std::printf("query %s %s buffer=%u -> %ld", keyShown.c_str(), nameShown.c_str(),
                  bufferKind ? static_cast<unsigned>(buffer.size()) : 0u,
                  static_cast<long>(status));
      if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)
         std::printf(" type=%lu size=%lu", static_cast<unsigned long>(type),
                     static_cast<unsigned long>(size));
      if (status == ERROR_SUCCESS && bufferKind)
         std::printf(" %s", hex(buffer.data(), size).c_str());
      std::printf("\n");
   }

   void deleteValue() {
      std::string keyShown, pathShown, nameShown;
      const std::size_t key = slot(&keyShown);
      Name path, valueNameText;
      const bool hasPath = random_.oneIn(2) && subPath(&path, &pathShown);
      if (!hasPath)
         pathShown = "null";
      const bool hasName = valueName(&valueNameText, &nameShown);
      const LSTATUS status =
          RegDeleteKeyValueW(slots_[key].handle, hasPath ? path.c_str() : nullptr,
                             hasName ? valueNameText.c_str() : nullptr);
      std::printf("delvalue %s %s %s -> %ld\n", keyShown.c_str(), pathShown.c_str(),
                  nameShown.c_str(), static_cast<long>(status));
   }

   void deleteTree() {
      std::string keyShown, pathShown;
      // Emptying a key through its handle only where the handle has every right it may need:
      // Windows checks them one by one as it goes and may stop half-way, the store checks
      // them first (deliberate-differences.txt).
      const bool emptying = random_.oneIn(4);
      const std::size_t key =
          slot(&keyShown,
               emptying ? DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE : 0);
      // An empty sub-path is left out: Windows then deletes the key itself as well, the store
      // keeps it (deliberate-differences.txt).
      Name path;
      bool hasPath = false;
      while (!emptying && !(hasPath = subPath(&path, &pathShown) && !path.empty())) {
      }
      if (!hasPath)
         pathShown = "null";
      const LSTATUS status = RegDeleteTreeW(slots_[key].handle, hasPath ? path.c_str() : nullptr);
      std::printf("deltree %s %s -> %ld\n", keyShown.c_str(), pathShown.c_str(),
                  static_cast<long>(status));
   }

   void queryInfo() {
      std::string shown;
      const std::size_t key = slot(&shown);
      DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
      const LSTATUS status =
          RegQueryInfoKeyW(slots_[key].handle, nullptr, nullptr, nullptr, &subKeys, &maxSubKey,
                           nullptr, &values, &maxValueName, &maxValue, nullptr, nullptr);
      std::printf("info %s -> %ld", shown.c_str(), static_cast<long>(status));
      if (status == ERROR_SUCCESS)
         std::printf(" keys=%lu maxkey=%lu values=%lu maxname=%lu maxdata=%lu",
                     static_cast<unsigned long>(subKeys), static_cast<unsigned long>(maxSubKey),
                     static_cast<unsigned long>(values), static_cast<unsigned long>(maxValueName),
                     static_cast<unsigned long>(maxValue));
      std::printf("\n");
   }

   void enumKeys() {
      std::string shown;
      const std::size_t key = slot(&shown);
      // A buffer as long as the name has no room for its NUL.
      const bool tight = random_.oneIn(4);
      std::printf("enumkeys %s%s ->", shown.c_str(), tight ? " tight" : "");
      std::vector<WCHAR> buffer(300);
      LSTATUS status = ERROR_SUCCESS;
      for (DWORD i = 0; status == ERROR_SUCCESS && i < 64; ++i) {
         DWORD cch = static_cast<DWORD>(buffer.size());
         status = RegEnumKeyExW(slots_[key].handle, i, buffer.data(), &cch, nullptr, nullptr,
                                nullptr, nullptr);
         if (status != ERROR_SUCCESS)
            break;
         std::printf(" %s", show(Name(buffer.data(), cch)).c_str());
         if (tight && i == 0) {
            DWORD tightCch = cch;
            const LSTATUS tightStatus =
                RegEnumKeyExW(slots_[key].handle, 0, buffer.data(), &tightCch, nullptr, nullptr,
                              nullptr, nullptr);
            std::printf("(tight:%ld:%lu)", static_cast<long>(tightStatus),
                        static_cast<unsigned long>(tightCch));
         }
      }
      std::printf(" end=%ld\n", static_cast<long>(status));
   }

   void enumValues() {
      std::string shown;
      const std::size_t key = slot(&shown);
      std::printf("enumvalues %s ->", shown.c_str());
      std::vector<WCHAR> nameBuffer(300);
      std::vector<BYTE> data(64);
      LSTATUS status = ERROR_SUCCESS;
      for (DWORD i = 0; status == ERROR_SUCCESS && i < 64; ++i) {
         DWORD cch = static_cast<DWORD>(nameBuffer.size()), type = 0;
         DWORD size = static_cast<DWORD>(data.size());
         status = RegEnumValueW(slots_[key].handle, i, nameBuffer.data(), &cch, nullptr, &type,
                                data.data(), &size);
         if (status != ERROR_SUCCESS)
            break;
         std::printf(" %s:%lu:%s", show(Name(nameBuffer.data(), cch)).c_str(),
                     static_cast<unsigned long>(type), hex(data.data(), size).c_str());
      }
      std::printf(" end=%ld\n", static_cast<long>(status));
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
   const Name basePath = name(u"Software\\VoutilDiff");
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
