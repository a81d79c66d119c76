// .reg files: the text the registry editor writes, round trips through the registry, and the
// faults that stop an import before its first write.

#include <common/Messages.h>
#include <common/RegistryScratch.h>
#include <gtest/gtest.h>
#include <string>
#include <sx/SxError.h>
#include <sx/SxUtf.h>
#include <voplatform/RegKey.h>
#include <voutil/VoRegistry.h>
#ifndef _WIN32
#include <common/FaultInjectingRegistryBackend.h>
#include <thread>
#endif

namespace {

using Item = VoRegistry::Item;
using namespace vo::test;

std::string utf8Of(SxArray<char> const& file) {
   std::u16string units;
   for (std::ptrdiff_t i = 2; i + 1 < file.getSize(); i += 2)
      units += static_cast<char16_t>(static_cast<unsigned char>(file[i]) |
                                     static_cast<unsigned char>(file[i + 1]) << 8);
   return SxUtf::utf16ToUtf8(units);
}

SxArray<char> bytesOf(std::string const& text) {
   return SxArray<char>(text.data(), static_cast<std::ptrdiff_t>(text.size()));
}

// The key path as a .reg file writes it.
std::string regKey(SxString const& key) {
   return "HKEY_CURRENT_USER\\" + key.substitute("HKCU/", "").substitute("/", "\\").str();
}

class VoRegFile : public ::testing::Test {
protected:
   RegistryScratch scratch;
   const SxString key = scratch.key();
   const std::string k = regKey(key);
};

TEST_F(VoRegFile, TheRecordsPreviewIsWhatApplyWritesAndExportGives) {
   const VoRegistry::ItemList items{{key, "top", Item::Sz, "t"},
                                    {key + "/A", "", Item::Sz, "{{VODRIVE}}\\Tools \"q\"\n"},
                                    {key + "/A", "b", Item::Binary, std::string(60, 'a').c_str()},
                                    {key + "/A", "m", Item::MultiSz, "a"},
                                    {key + "/A", "n", Item::None, ""},
                                    {key + "/A", "q\"\\", Item::DWord, "10"},
                                    {key + "/A", "w", Item::QWord, "5"},
                                    {key + "/A", "x", Item::ExpandSz, "%P%"},
                                    {key + "/B", "{{VODRIVE}}s", Item::Sz, ""}};
   const SxArray<char> preview = VoRegistry::toReg(items, "D:");
   const std::string aa = "aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,";
   EXPECT_EQ(
       utf8Of(preview),
       "Windows Registry Editor Version 5.00\r\n\r\n[" + k + "]\r\n" + "\"top\"=\"t\"\r\n\r\n[" +
           k + "\\A]\r\n" + "@=\"D:\\\\Tools \\\"q\\\"\\n\"\r\n\"b\"=hex:" + aa +
           "\\\r\n  aa,aa,aa,aa,aa,aa,aa\r\n" + "\"m\"=hex(7):61,00,00,00\r\n" +
           "\"n\"=hex(0):\r\n\"q\\\"\\\\\"=dword:0000000a\r\n" +
           "\"w\"=hex(b):05,00,00,00,00,00,00,00\r\n" +
           "\"x\"=hex(2):25,00,50,00,25,00,00,00\r\n\r\n[" + k + "\\B]\r\n\"D:s\"=\"\"\r\n\r\n");
   EXPECT_FALSE(VoRegistry::contains(key)) << "the preview touches no registry";
   VoRegistry::createRegEntries(items, "D:");
   EXPECT_EQ(utf8Of(VoRegistry::exportReg(key)), utf8Of(preview));
}

TEST_F(VoRegFile, AnExportImportsBackToTheSameFileInEveryEncoding) {
   VoRegistry::setVal(key + "/k\"[]=;@ \xC3\xA9\xE2\x82\xAC", "line\r\nbreak\\", Item::Sz,
                      "tab\there");
   VoRegistry::setVal(key + "/Empty", "", Item::Binary, "");
   std::string big;
   for (int i = 0; i < 3000; ++i)
      big += "0123456789abcdef"[i % 16];
   VoRegistry::setVal(key, "big", Item::Binary, big.c_str());
   // Types and sizes the Item types do not write.
   const voplatform::RegKey handle = scratch.open(KEY_WRITE);
   const BYTE data[] = {1, 2, 3, 4, 5};
   const struct {
      const char* name;
      DWORD type;
      DWORD size;
   } raw[] = {{"be", REG_DWORD_BIG_ENDIAN, 4},
              {"short", REG_DWORD, 2},
              {"t99", 0x99, 5},
              {"high", 0xFFFFFFFF, 1}};
   for (const auto& value : raw)
      ASSERT_EQ(RegSetValueExW(handle.get(), SxString(value.name).utf16().elements(), 0, value.type,
                               data, value.size),
                ERROR_SUCCESS);

   const SxArray<char> exported = VoRegistry::exportReg(key);
   const std::string text = utf8Of(exported);
   // UTF-8 with LF line ends, with and without a byte-order mark, and abbreviated roots.
   std::string lf;
   for (char c : text)
      if (c != '\r')
         lf += c;
   const std::string abbreviated = SxString(lf).substitute("[HKEY_CURRENT_USER", "[HKCU").str();
   for (const std::string& variant : {std::string(), "\xEF\xBB\xBF" + lf, lf, abbreviated}) {
      VoRegistry::rm_rf(key);
      VoRegistry::importReg(variant.empty() ? exported : bytesOf(variant), "in.reg");
      EXPECT_EQ(utf8Of(VoRegistry::exportReg(key)), text);
   }
   // Deletions: a value, and a tree that then comes back empty.
   VoRegistry::importReg(bytesOf("REGEDIT4\n\n[" + k + "]\n\"big\"=-\n\n[-" + k +
                                 "\\Empty]\n; comment\n[" + k + "\\Empty]\n"),
                         "in.reg");
   EXPECT_FALSE(VoRegistry::isVal(key, "big"));
   EXPECT_EQ(VoRegistry::getNElems(key + "/Empty"), 0);
}

TEST_F(VoRegFile, ABadFileFailsWithItsLineAndWritesNothing) {
   const std::string good =
       "Windows Registry Editor Version 5.00\r\n\r\n[" + k + "\\written]\r\n\"v\"=\"1\"\r\n";
   std::string odd16 = "\xFF\xFE";
   for (char c : good)
      odd16 += std::string{c, '\0'};
   const struct {
      std::string file;
      std::string message;
   } cases[] = {
       {"REGEDIT5\r\n" + good, "1: unknown header 'REGEDIT5'"},
       {"", "1: empty file: no header"},
       {good + "\"a\"=\"open\r\n", "5: unterminated string"},
       {good + "\"a\"=\"t\\tb\"\r\n", "5: unknown escape '\\t'"},
       {good + "[HKEY_CURRENT_USER\\x\r\n", "5: unterminated key line"},
       {good + "\"a\"=hex:00,0g\r\n", "5: bad hex digit 'g'"},
       {good + "\"a\"=hex:1\r\n", "5: '1' is not a byte of two hex digits"},
       {good + "\"a\"=hex(2):41,00,\\\r\n  42\r\n",
        "6: odd number of bytes for UTF-16 text of type hex(2)"},
       {good + "\"a\"=hex:01,\\\r\n", "5: continuation at end of file"},
       {good + "\"a\"=dword:123456789\r\n", "5: dword data needs 1 to 8 hex digits"},
       {good + "\"a\"=str:x\r\n", "5: unknown value data 'str:x'"},
       {good + "\"a\"\r\n", "5: '=' expected after the value name"},
       {good + "junk\r\n", "5: not a key, value or comment line"},
       {odd16 + "!", "5: UTF-16 file with an odd number of bytes"},
       {good + "[HKEY_NOWHERE\\x]\r\n", "5: unknown root 'HKEY_NOWHERE'"},
       {good + "[-HKCU]\r\n", "5: refusing to delete the root key HKCU"},
       {good + "[-HKCU\\x]\r\n\"a\"=\"1\"\r\n", "6: value line outside a key"},
       {good + "[HKCU\\" + std::string(256, 'n') + "]\r\n",
        "5: key name longer than 255 characters"},
       {good + "[HKCU", "5: unterminated key line"},
   };
   std::string deep = good + "[HKCU";
   for (int i = 0; i < 513; ++i)
      deep += "\\k";
   for (const auto& c : cases) {
      EXPECT_EQ(messageOf([&] { VoRegistry::importReg(bytesOf(c.file), "bad.reg"); }),
                "bad.reg:" + c.message);
      EXPECT_FALSE(VoRegistry::contains(key + "/written")) << c.message;
   }
   EXPECT_EQ(messageOf([&] { VoRegistry::importReg(bytesOf(deep + "]\r\n"), "bad.reg"); }),
             "bad.reg:5: key path deeper than 512 levels");
}

#ifndef _WIN32
TEST(VoRegFileBatch, AnImportThatFailsMidwayLeavesNothingOfIt) {
   const ScratchStore store;
   VoRegistry::setVal("HKCU/Software/Kept", "v", Item::Sz, "old");
   const std::string file =
       "REGEDIT4\n[HKLM\\Software\\New]\n\"a\"=\"1\"\n[-HKCU\\Software\\Kept]\n"
       "[HKCU\\Software\\New]\n\"b\"=\"2\"\n\"c\"=\"3\"\n";
   store.faults->failCall(FaultInjectingRegistryBackend::Op::SetValue, ERROR_DISK_FULL, 2);
   EXPECT_EQ(messageOf([&] { VoRegistry::importReg(bytesOf(file), "f.reg"); }),
             "f.reg:7: Can't set value 'c' in 'HKCU\\Software\\New' : " +
                 sxstrerror(ERROR_DISK_FULL).str());
   EXPECT_FALSE(VoRegistry::contains("HKLM/Software/New"));
   EXPECT_FALSE(VoRegistry::contains("HKCU/Software/New"));
   EXPECT_EQ(VoRegistry::getVal("HKCU/Software/Kept", "v").str(), "old");
   VoRegistry::importReg(bytesOf(file), "f.reg");
   EXPECT_EQ(VoRegistry::getVal("HKCU/Software/New", "c").str(), "3");
   EXPECT_FALSE(VoRegistry::contains("HKCU/Software/Kept"));
}

TEST(VoRegFileBatch, OtherThreadsWaitForAnImportAndGoOn) {
   const ScratchStore store;
   std::string file = "REGEDIT4\n";
   for (int i = 0; i < 200; ++i)
      file += "[HKCU\\Software\\Batch\\K" + std::to_string(i) + "]\n\"v\"=dword:1\n";
   std::thread writer([] {
      for (int i = 0; i < 50; ++i)
         VoRegistry::setVal("HKCU/Software/Other", SxString(i), Item::DWord, "1");
   });
   VoRegistry::importReg(bytesOf(file), "f.reg");
   writer.join();
   EXPECT_EQ(VoRegistry::getNElems("HKCU/Software/Batch"), 200);
   EXPECT_EQ(VoRegistry::getNElems("HKCU/Software/Other"), 50);
}
#endif

} // namespace
