// voutil reg: reading, listing, writing and deleting registry keys and values.

#include "Cli.h"

#include <cstdio>
#include <string>
#include <sx/SxError.h>
#include <sx/SxException.h>
#include <vector>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#include <windows.h>

namespace voutil::cli {
namespace {

constexpr char kSource[] = "tools/voutil/RegVerb";

// Names of the Windows type codes, indexed by code.
constexpr const char* kWindowsTypeNames[] = {"REG_NONE",
                                             "REG_SZ",
                                             "REG_EXPAND_SZ",
                                             "REG_BINARY",
                                             "REG_DWORD",
                                             "REG_DWORD_BIG_ENDIAN",
                                             "REG_LINK",
                                             "REG_MULTI_SZ",
                                             "REG_RESOURCE_LIST",
                                             "REG_FULL_RESOURCE_DESCRIPTOR",
                                             "REG_RESOURCE_REQUIREMENTS_LIST",
                                             "REG_QWORD"};

SxString windowsTypeName(DWORD type) {
   return type < sizeof kWindowsTypeNames / sizeof kWindowsTypeNames[0]
              ? SxString(kWindowsTypeNames[type])
              : SxString::sprintf("REG_%lu", static_cast<unsigned long>(type));
}

// The library reads numbers leniently (wrapping, stopping at junk) and binary data two digits
// at a time; what it would store must be what the user typed.
void requireExactData(VoRegistry::Item::RegValType type, const SxString& data) {
   using Item = VoRegistry::Item;
   // The library makes the key before it finds that it cannot write these types.
   if (type == Item::Link || type == Item::DWordLittleEndian || type == Item::QWordLittleEndian)
      throw BadCommandLine(Item::type2String(type).str() + " values cannot be written");
   if (type == Item::DWord)
      (void)parseUnsigned(data, "REG_DWORD data", 0, 0xFFFFFFFFu);
   else if (type == Item::QWord)
      (void)parseUnsigned(data, "REG_QWORD data", 0, ~uint64_t{0});
   else if (type == Item::Binary &&
            (data.getNBytes() % 2 != 0 ||
             data.str().find_first_not_of("0123456789abcdefABCDEF") != std::string::npos))
      throw BadCommandLine("REG_BINARY data must be pairs of hexadecimal digits, not '" +
                           data.str() + "'");
}

// An enumeration ends with ERROR_NO_MORE_ITEMS; any other status is a failure of the listing.
void requireAllListed(LSTATUS status, const SxString& key) {
   if (status != ERROR_NO_MORE_ITEMS)
      throw SxException("Can't list registry key '" + key + "' : " + sxstrerror(status), kSource);
}

// voutil reg list KEY: subkeys as "name/", then values as name, TAB, type, TAB, text.
int listKey(const SxString& key) {
   // The library checks the root and that the key can be read, with its own messages; the
   // reserved root has nothing to list.
   if (VoRegistry::getNElems(key) == 0)
      return Success;
   SxList<SxString> names = key.tokenize("/", false);
   const HKEY root = voplatform::predefinedRoot(names.first().str());
   SxList<SxString> below;
   for (std::ptrdiff_t i = 1; i < names.getSize(); ++i)
      below.append(names(i));
   voplatform::RegKey handle;
   LSTATUS status = RegOpenKeyExW(root, SxString::join(below, "\\").utf16().elements(), 0, KEY_READ,
                                  handle.receive());
   if (status != ERROR_SUCCESS)
      throw SxException("Can't open registry key '" + key + "' : " + sxstrerror(status), kSource);

   std::vector<SxChar16> name(16384);
   for (DWORD i = 0;; ++i) {
      DWORD length = static_cast<DWORD>(name.size());
      status =
          RegEnumKeyExW(handle.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (status != ERROR_SUCCESS)
         break;
      std::printf("%s/\n", escapeControls(SxString::fromUtf16(name.data())).utf8());
   }
   requireAllListed(status, key);
   std::vector<BYTE> data(256);
   for (DWORD i = 0;; ++i) {
      DWORD length = static_cast<DWORD>(name.size());
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      status =
          RegEnumValueW(handle.get(), i, name.data(), &length, nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
         data.resize(size);
         --i;
         continue;
      }
      if (status != ERROR_SUCCESS)
         break;
      const SxString valueName = SxString::fromUtf16(name.data());
      SxString text;
      try {
         text = VoRegistry::getVal(key, valueName);
      } catch (const SxException&) {
         // Types the library does not read are shown as their bytes.
         text = VoRegistry::Item::binary2String(SxArray<unsigned char>(data.data(), size));
      }
      std::printf("%s\t%s\t%s\n", escapeControls(valueName).utf8(), windowsTypeName(type).utf8(),
                  escapeControls(text).utf8());
   }
   requireAllListed(status, key);
   return Success;
}

// The library removes a whole root when asked to; one typo on the command line must not.
void refuseBareRoot(const SxString& key) {
   const SxList<SxString> names = key.tokenize("/", false);
   if (names.getSize() == 1 && voplatform::predefinedRoot(names.first().str()))
      throw BadCommandLine("refusing to delete the whole root " + names.first().str() +
                           ": name a key below it");
}

} // namespace

// voutil reg query KEY VALUE | set KEY VALUE TYPE DATA | delete KEY [VALUE] | mkdir KEY |
// list KEY, and the description-file and .reg verbs
int runReg(const Args& rawArgs) {
   // The .reg verbs read their own arguments ("apply ... --to-reg FILE" among them).
   if (isRegFileAction(rawArgs))
      return runRegFile(rawArgs);
   const CommandLine line(rawArgs, {{"--admin", false}});
   const Args& args = line.operands();
   const SxString action = args.isEmpty() ? SxString() : args.first();
   if (isRegRoadAction(action))
      return runRegRoad(args, line.has("--admin"));
   if (line.has("--admin"))
      throw BadCommandLine("--admin is for apply and remove");
   const std::ptrdiff_t n = args.getSize() - 1;
   if (action == "query" && n == 2) {
      std::printf("%s\n", VoRegistry::getVal(args(1), args(2)).utf8());
   } else if (action == "set" && n == 4) {
      VoRegistry::Item::RegValType type;
      try {
         type = VoRegistry::Item::string2Type(args(3));
      } catch (const SxException& e) {
         throw BadCommandLine(e.getMessage().str());
      }
      requireExactData(type, args(4));
      VoRegistry::setVal(args(1), args(2), type, args(4));
   } else if (action == "delete" && n == 2) {
      VoRegistry::rm(args(1), args(2));
   } else if (action == "delete" && n == 1) {
      refuseBareRoot(args(1));
      VoRegistry::rm_rf(args(1));
   } else if (action == "mkdir" && n == 1) {
      VoRegistry::mkdir_p(args(1));
   } else if (action == "list" && n == 1) {
      return listKey(args(1));
   } else {
      throw BadCommandLine("unknown action or wrong number of arguments");
   }
   return Success;
}

} // namespace voutil::cli
