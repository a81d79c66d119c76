// The registry road: description file, capture import, driver path and batches.

#include <common/Messages.h>
#include <common/RegistryScratch.h>
#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sx/SxFS.h>
#include <vector>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

using Item = VoRegistry::Item;
using vo::test::messageOf;
using vo::test::messagesOf;
using vo::test::readFile;
using vo::test::RegistryScratch;
using vo::test::TempDir;

TEST(JsonExceptionTags, TheLibraryDescribesTheTagsOfTheJsonFoundation) {
   const struct {
      const char* group;
      const char* tag;
   } tags[] = {{"ParserKit", "FileIOError"},     {"ParserKit", "ParseError"},
               {"SxSymbol", "IOError"},          {"SxSymbol", "InvalidInput"},
               {"SxSymbol", "InvalidOperation"}, {"SchemaValidation", "ValidationError"}};
   for (const auto& t : tags) {
      EXPECT_EQ(SxExceptionEntry::getGroup(t.tag), t.group) << t.tag;
      EXPECT_EQ(SxExceptionEntry::getDescription(t.tag), "message : SxString") << t.tag;
   }
}

void expectSameItems(const VoRegistry::ItemList& a, const VoRegistry::ItemList& b) {
   ASSERT_EQ(a.getSize(), b.getSize());
   for (std::ptrdiff_t i = 0; i < a.getSize(); ++i) {
      EXPECT_EQ(a(i).key, b(i).key) << i;
      EXPECT_EQ(a(i).value, b(i).value) << i;
      EXPECT_EQ(a(i).type, b(i).type) << i;
      EXPECT_EQ(a(i).data, b(i).data) << i;
   }
}

// --- the description file ---------------------------------------------------------------------

class DescriptionFile : public ::testing::Test {
protected:
   SxString dir(const char* below = "") const {
      return (dir_.path().string() + "/" + below).c_str();
   }
   void writeRaw(const std::string& json) const {
      std::ofstream(dir_.file("registry.json"), std::ios::binary) << json;
   }
   TempDir dir_;
};

TEST_F(DescriptionFile, WriteThenReadGivesTheSameItemsInOrder) {
   const VoRegistry::ItemList items{{"HKLM/SOFTWARE/MORV", "Path", Item::Sz, "{{VODRIVE}}/tools"},
                                    {"HKCU/Software/T", "n", Item::DWord, "4294967295"},
                                    {"HKCU/Software/T", "", Item::Binary, "00ab10"},
                                    {"HKU/S-1-5-20/x", "\xC3\xA9t\xC3\xA9", Item::None, ""}};
   VoRegistry::write(dir("deep/er/"), items);
   expectSameItems(VoRegistry::read(dir("deep/er/")), items);

   VoRegistry::write(dir(), {});
   EXPECT_EQ(readFile(dir_.file("registry.json")), "{\n  \"version\": 2\n}\n");
   EXPECT_TRUE(VoRegistry::read(dir()).isEmpty());

   VoRegistry::write(dir("plain"), items);
   EXPECT_TRUE(std::filesystem::exists(dir_.file("plainregistry.json")))
       << "the directory text is used as given";
}

TEST_F(DescriptionFile, CaptureFormTextsArriveWithSingleBackslashesAndPlainQuotes) {
   VoRegistry::write(dir(), {{"HKCU/Software/T", "v", Item::Sz, "{{VODRIVE}}\\\\Tools \\\"x\\\""},
                             {"HKCU/Software/T", "w", Item::Sz, "C:\\raw \"quoted\""}});
   const VoRegistry::ItemList back = VoRegistry::read(dir());
   EXPECT_EQ(back(0).data, "{{VODRIVE}}\\Tools \"x\"");
   EXPECT_EQ(back(1).data, "C:\raw \"quoted\"") << "\\r is a JSON escape, \\\" a bare quote";
}

TEST_F(DescriptionFile, ReadFailuresNameTheFileAndTheirCause) {
   const std::string path = dir("registry.json").str(); // as the library joins it
   EXPECT_EQ(messagesOf([&] { (void)VoRegistry::read(dir()); }),
             std::vector<std::string>{"File " + path + " not found."});

   writeRaw(R"({"version": 1})");
   EXPECT_EQ(messagesOf([&] { (void)VoRegistry::read(dir()); }),
             (std::vector<std::string>{"Failed to read file " + path,
                                       "File version of '" + path + "' not supported."}));

   writeRaw(
       R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_FOO", "data": ""}]})");
   auto messages = messagesOf([&] { (void)VoRegistry::read(dir()); });
   ASSERT_EQ(messages.size(), 2u);
   EXPECT_EQ(messages[0], "Failed to read file " + path);
   EXPECT_NE(messages[1].find("regType"), std::string::npos) << messages[1];

   for (
       const char* bad :
       {R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_SZ"}]})",
        R"({"version": 2, "registry": [{"key": 1, "value": "V", "regType": "REG_SZ", "data": ""}]})",
        R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_SZ", "data": "", "x": 1}]})",
        R"({"version": "2"})", R"({"version": 2.0})", R"({"version": 2,)"}) {
      writeRaw(bad);
      messages = messagesOf([&] { (void)VoRegistry::read(dir()); });
      ASSERT_EQ(messages.size(), 2u) << bad;
      EXPECT_EQ(messages[0], "Failed to read file " + path) << bad;
   }
}

TEST_F(DescriptionFile, AMissingSchemaIsReportedEvenForAGoodFile) {
   VoRegistry::write(dir(), {});
   VoSysEnv::setRTERootDir(dir("no-schema-here").str().c_str());
   const SxString schema = VoSysEnv::getSchemaPath() + "voregistry-schema.json";
   EXPECT_EQ(messagesOf([&] { (void)VoRegistry::read(dir()); }),
             std::vector<std::string>{"Required schema file " + schema.str() + " not found"});
   VoSysEnv::setRTERootDir("");
}

TEST_F(DescriptionFile, AFailedWriteLeavesTheExistingFileAlone) {
   VoRegistry::write(dir(), {{"HKCU/a", "b", Item::Sz, "kept"}});
   const std::string before = readFile(dir_.file("registry.json"));
   const SxString abs = SxFile(dir() + "registry.json").getAbsPath();
   EXPECT_EQ(messagesOf([&] {
                VoRegistry::write(dir(), {{"HKCU/a", "b", static_cast<Item::RegValType>(12), ""}});
             }),
             (std::vector<std::string>{"Failed to write file " + abs.str(),
                                       "Unknown Registry Value Type 12"}));
   EXPECT_EQ(readFile(dir_.file("registry.json")), before);
}

// --- the capture import -----------------------------------------------------------------------

class CaptureImport : public ::testing::Test {
protected:
   SxString capture(const std::vector<std::string>& lines) {
      std::string text =
          "\"Time of Day\",\"Process Name\",\"PID\",\"Operation\",\"Path\",\"Result\","
          "\"Detail\"\n";
      for (const std::string& l : lines)
         text += l + "\n";
      const std::string name = dir_.file("capture.csv");
      std::ofstream(name, std::ios::binary) << text;
      return name.c_str();
   }
   static std::string line(const std::string& path, const std::string& detail,
                           const std::string& op = "RegSetValue",
                           const std::string& result = "SUCCESS") {
      return "\"10:00:00\",\"app.exe\",\"42\",\"" + op + "\",\"" + path + "\",\"" + result +
             "\",\"" + detail + "\"";
   }
   TempDir dir_;
};

TEST_F(CaptureImport, LinesBecomeItemsWithThePlaceholderAndEscapes) {
   const VoRegistry::ItemList items = VoRegistry::readCSV(
       capture({line("HKLM\\SOFTWARE\\MORV\\E:\\App\\Version",
                     "Type: REG_SZ, Length: 9, Data: E:\\Tools\\run.exe"),
                line("HKCU\\Software\\T\\Bin", "Type: REG_BINARY, Length: 3, Data: 0A 1b ff"),
                line("HKCU\\Software\\T\\E:", "Type: REG_DWORD, Length: 4, Data: 12"),
                line("HKCU\\Software\\T\\Q", "Type: REG_EXPAND_SZ, Length: 4, Data: say \"E:\""),
                line("HKCU\\Software\\T\\Empty", "Type: REG_NONE, Length: 0")}),
       "E:");
   const VoRegistry::ItemList expected{
       {"HKLM/SOFTWARE/MORV/{{VODRIVE}}/App", "Version", Item::Sz,
        "{{VODRIVE}}\\\\Tools\\\\run.exe"},
       {"HKCU/Software/T", "Bin", Item::Binary, "0A1bff"},
       {"HKCU/Software/T", "E:", Item::DWord, "12"},
       {"HKCU/Software/T", "Q", Item::ExpandSz, "say \\\"{{VODRIVE}}\\\""},
       {"HKCU/Software/T", "Empty", Item::None, ""}};
   expectSameItems(items, expected);
}

TEST_F(CaptureImport, AHeaderAloneOrAnEmptyFileGivesNothing) {
   EXPECT_TRUE(VoRegistry::readCSV(capture({}), "E:").isEmpty());
   std::ofstream(dir_.file("empty.csv")).flush();
   EXPECT_TRUE(VoRegistry::readCSV(dir_.file("empty.csv").c_str(), "E:").isEmpty());
}

TEST_F(CaptureImport, TheDriveIsTakenLiterally) {
   const struct {
      const char* drive;
      const char* data;
      const char* expected;
   } cases[] = {{"C:\\", "C:\\Tools", "{{VODRIVE}}Tools"},
                {".", "a.b", "a{{VODRIVE}}b"},
                {".", "ab", "ab"},
                {"(", "x(y", "x{{VODRIVE}}y"},
                {"$D", "$D/x", "{{VODRIVE}}/x"},
                {"\\1", "\\1x", "{{VODRIVE}}x"},
                {"", "E:x", "E:x"}};
   for (const auto& c : cases) {
      const VoRegistry::ItemList items =
          VoRegistry::readCSV(capture({line(std::string("HKCU\\T\\") + c.drive + "\\v",
                                            std::string("Type: REG_SZ, Data: ") + c.data)}),
                              c.drive);
      ASSERT_EQ(items.getSize(), 1) << c.drive;
      EXPECT_EQ(items(0).data, c.expected) << c.drive;
   }
   EXPECT_TRUE(VoRegistry::readCSV(capture({}), "(").isEmpty()) << "a header alone";
}

TEST_F(CaptureImport, CrlfCapturesGiveTheSameItemsAndFailures) {
   const std::string header = "\"Time of Day\",\"Operation\",\"Path\",\"Result\",\"Detail\"";
   const std::string a = line("HKCU\\T\\a", "Type: REG_SZ, Data: E:\\x");
   const std::string b = line("HKCU\\T\\b", "Type: REG_DWORD, Data: 7");
   const std::string query = line("HKCU\\T\\q", "Type: REG_SZ, Data: x", "RegQueryValue");
   const std::string bom = "\xEF\xBB\xBF";
   const struct {
      std::string text; // with LF line ends
      std::ptrdiff_t items;
   } cases[] = {{header + "\n" + a + "\n\n" + b + "\n", 2},
                {header + "\n" + a + "\n" + b, 2},
                {header + "\n\n\n", 0},
                {bom + header + "\n" + a + "\n", 1},
                {bom + "\n" + header + "\n" + a + "\n", 1},
                {header + "\n" + a + "\n" + query + "\n" + b + "\n", -1}};
   const std::string name = dir_.file("lines.csv");
   auto import = [&](const std::string& text) {
      std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
      VoRegistry::ItemList items;
      const std::string message =
          messageOf([&] { items = VoRegistry::readCSV(name.c_str(), "E:"); });
      return std::make_pair(items, message);
   };
   for (const auto& c : cases) {
      std::string crlf;
      for (char ch : c.text)
         crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
      const auto [lfItems, lfMessage] = import(c.text);
      const auto [crlfItems, crlfMessage] = import(crlf);
      if (c.items < 0)
         EXPECT_EQ(lfMessage, "Applying Regular Expression failed! Incoming Line: " + query +
                                  " Applying Regular Expression: "
                                  "\"RegSetValue\",\"(.+)\",\"SUCCESS\" Result: ");
      else
         EXPECT_EQ(lfItems.getSize(), c.items) << c.text << lfMessage;
      EXPECT_EQ(crlfMessage, lfMessage) << c.text;
      expectSameItems(crlfItems, lfItems);
   }
}

// Lines whose columns are out of the usual shape still follow the four patterns exactly:
// leftmost matches, greedy groups.
TEST_F(CaptureImport, OddLinesFollowThePatterns) {
   const std::string twoResults = "\"RegSetValue\",\"HKCU\\T\\v\",\"SUCCESS\",\"SUCCESS\",\"x\"";
   const struct {
      std::string line;
      Item item; // type None with a key "!" stands for the message below
      std::string message;
   } cases[] = {
       {line("HKCU\\T\\a\\", "Type: REG_SZ, Data: x"), {"HKCU/T", "a", Item::Sz, "x"}, ""},
       {line("HKCU\\T\\\\v", "Type: REG_SZ, Data: x"), {"HKCU/T/", "v", Item::Sz, "x"}, ""},
       {line("\\v", "Type: REG_SZ, Data: x"),
        {"!", "", Item::None, ""},
        "Applying Regular Expression failed! Incoming Line: /v Applying Regular Expression: "
        "(.+)/([^/]+) Result: "},
       {line("a\\\\", "Type: REG_SZ, Data: x"),
        {"!", "", Item::None, ""},
        "Applying Regular Expression failed! Incoming Line: a// Applying Regular Expression: "
        "(.+)/([^/]+) Result: "},
       {line("HKCU\\T\\v", "Type: REG_SZ x\",\"Type: REG_DWORD, Data: 5"),
        {"HKCU/T", "v", Item::DWord, "5"},
        ""},
       {line("HKCU\\T\\v", "Type: REG_, \"Type: REG_QWORD, Data: 6\" tail"),
        {"HKCU/T", "v", Item::QWord, "6\" tail"},
        ""},
       {line("HKCU\\T\\v", "Type: REG_SZ, Data: a\"b"), {"HKCU/T", "v", Item::Sz, "a\\\"b"}, ""},
       {line("HKCU\\T\\v\",\"SUCCESS\",\"x\",\"y", "Type: REG_NONE, "),
        {"HKCU/T", "v\",\"SUCCESS\",\"x\",\"y", Item::None, ""},
        ""},
       {twoResults + ",\"Type: REG_SZ, Data: q\"", {"HKCU/T", "v\",\"SUCCESS", Item::Sz, "q"}, ""},
       {"\"RegSetValue\",\"\",\"SUCCESS\",\"Type: REG_SZ, \"",
        {"!", "", Item::None, ""},
        "Applying Regular Expression failed! Incoming Line: \"RegSetValue\",\"\",\"SUCCESS\","
        "\"Type: REG_SZ, \" Applying Regular Expression: \"RegSetValue\",\"(.+)\",\"SUCCESS\" "
        "Result: "},
       {line("HKCU\\T\\\xC3\xA9", "Type: REG_SZ, Data: \xC3\xA9\r\xC2\x85"),
        {"HKCU/T", "\xC3\xA9", Item::Sz, "\xC3\xA9\r\xC2\x85"},
        ""},
   };
   for (const auto& c : cases) {
      VoRegistry::ItemList items;
      const std::string message =
          messageOf([&] { items = VoRegistry::readCSV(capture({c.line}), "E:"); });
      if (c.item.key == "!" || !c.message.empty()) {
         EXPECT_EQ(message, c.message) << c.line;
         continue;
      }
      EXPECT_EQ(message, "<nothing thrown>") << c.line;
      expectSameItems(items, {c.item});
   }
}

TEST_F(CaptureImport, TheFirstBadLineStopsTheImportWithItsPattern) {
   const std::string query = line("HKCU\\Software\\T\\v", "Type: REG_SZ, Data: x", "RegQueryValue");
   EXPECT_EQ(messageOf([&] {
                (void)VoRegistry::readCSV(
                    capture({line("HKCU\\a\\b", "Type: REG_SZ, Data: x"), query}), "E:");
             }),
             "Applying Regular Expression failed! Incoming Line: " + query +
                 " Applying Regular Expression: \"RegSetValue\",\"(.+)\",\"SUCCESS\" Result: ");
   EXPECT_EQ(messageOf([&] {
                (void)VoRegistry::readCSV(capture({line("NoSlash", "Type: REG_SZ, Data: x")}),
                                          "E:");
             }),
             "Applying Regular Expression failed! Incoming Line: NoSlash Applying Regular "
             "Expression: (.+)/([^/]+) Result: ");
   const std::string noType = line("HKCU\\a\\b", "Length: 3, Data: x");
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::readCSV(capture({noType}), "E:"); }),
             "Applying Regular Expression failed! Incoming Line: " + noType +
                 " Applying Regular Expression: \"Type: (REG_\\w+),  Result: ");
   EXPECT_EQ(messageOf([&] {
                (void)VoRegistry::readCSV(capture({line("HKCU\\a\\b", "Type: REG_FOO, Data: x")}),
                                          "E:");
             }),
             "Unknown Registry Value Type: REG_FOO");
#ifndef _WIN32
   // A regular file that opens but cannot be read from its start.
   EXPECT_EQ(
       messagesOf([] { (void)VoRegistry::readCSV("/proc/self/mem", "E:"); }),
       (std::vector<std::string>{"Cannot read /proc/self/mem",
                                 "Can't read from file '/proc/self/mem' : Input/output error"}));
#endif
   const SxString missing = dir_.file("missing.csv").c_str();
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::readCSV(missing, "E:"); }),
             "File " + missing.str() + " does not exists.\nCannot create registry entries by CSV.");
}

// --- the driver path and the batches ----------------------------------------------------------

// A machine key of its own, and a trace of what the device-control library was asked.
class DriverPath : public ::testing::Test {
protected:
   DriverPath()
       : machineKey_("HKLM/SOFTWARE/VoutilTest/" +
                     SxString(static_cast<long long>(
                         std::chrono::steady_clock::now().time_since_epoch().count()))) {
      trace_ = dir_.file("driver.trace");
#ifdef _WIN32
      _putenv_s("VODEVCTL_TRACE", trace_.c_str());
#else
      ::setenv("VODEVCTL_TRACE", trace_.c_str(), 1);
#endif
   }
   ~DriverPath() override {
      VoRegistry::rm_rf(machineKey_);
#ifdef _WIN32
      _putenv_s("VODEVCTL_TRACE", "");
#else
      ::unsetenv("VODEVCTL_TRACE");
#endif
   }
   std::string calls() {
      std::string text = readFile(trace_);
      std::remove(trace_.c_str());
      return text;
   }
   static std::string nt(const SxString& key) {
      return "\\Registry\\Machine\\" + key.substitute("/", "\\").str().substr(5);
   }

   TempDir dir_;
   std::string trace_;
   SxString machineKey_;
   RegistryScratch scratch_;
};

TEST_F(DriverPath, MachineKeysGoThroughTheDriverLevelByLevel) {
   VoRegistry::mkdir_pAsAdmin(machineKey_ + "/X");
   const std::string base = nt(machineKey_);
   EXPECT_EQ(calls(), "voDriveCreateRegKey\t\\Registry\\Machine\\\tSOFTWARE\t0\n"
                      "voDriveCreateRegKey\t\\Registry\\Machine\\SOFTWARE\tVoutilTest\t0\n"
                      "voDriveCreateRegKey\t\\Registry\\Machine\\SOFTWARE\\VoutilTest\t" +
                          machineKey_.str().substr(sizeof("HKLM/SOFTWARE/VoutilTest/") - 1) +
                          "\t0\nvoDriveCreateRegKey\t" + base + "\tX\t0\n");
   EXPECT_TRUE(VoRegistry::contains(machineKey_ + "/X"));

   VoRegistry::setValAsAdmin(machineKey_ + "/X", "v", Item::Sz, "t");
   EXPECT_EQ(calls(), "voDriveSetRegKeyValue\t" + base + "\\X\tv\t0\n");
   EXPECT_EQ(VoRegistry::getVal(machineKey_ + "/X", "v"), "t");

   VoRegistry::rmAsAdmin(machineKey_ + "/X", "missing");
   EXPECT_EQ(calls(), "") << "nothing to remove, nothing called";
   VoRegistry::rmAsAdmin(machineKey_ + "/X", "v");
   EXPECT_EQ(calls(), "voDriveRemoveRegKeyValue\t" + base + "\\X\tv\t0\n");
   EXPECT_FALSE(VoRegistry::isVal(machineKey_ + "/X", "v"));
}

TEST_F(DriverPath, UserKeysTakeTheDirectPathAndBadRootsAreRefused) {
   VoRegistry::setValAsAdmin(scratch_.key("A/B"), "v", Item::QWord, "5");
   VoRegistry::rmAsAdmin(scratch_.key("A/B"), "v");
   EXPECT_EQ(calls(), "");
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_pAsAdmin("REGISTRY/MACHINE/x"); }),
             "Forbidden registry root key.");
   EXPECT_EQ(messageOf([] { VoRegistry::mkdir_pAsAdmin("XYZ/a"); }),
             "Unknown registry root key XYZ/a");
   EXPECT_EQ(messageOf([] { VoRegistry::setValAsAdmin("hklm/a", "v", Item::Sz, ""); }),
             "Unknown registry root key 'hklm' in key 'hklm/a'.");
}

TEST_F(DriverPath, BatchesFillTheDriveAndStopAtTheFirstFailure) {
   const VoRegistry::ItemList items{
       {scratch_.key("{{VODRIVE}}"), "p", Item::Sz, "{{VODRIVE}}\\Tools;{{VODRIVE}}\\bin"},
       {scratch_.key("K"), "bad", Item::Link, ""},
       {scratch_.key("K"), "never", Item::Sz, "x"}};
   EXPECT_EQ(messageOf([&] { VoRegistry::createRegEntries(items, "D:"); }),
             "Link' Registry Value Type not supported!");
   EXPECT_EQ(VoRegistry::getVal(scratch_.key("D:"), "p"), "D:\\Tools;D:\\bin");
   EXPECT_FALSE(VoRegistry::isVal(scratch_.key("K"), "never"));

   VoRegistry::createRegEntriesAsAdmin({{machineKey_ + "/{{VODRIVE}}", "m", Item::DWord, "7"}},
                                       "F:");
   EXPECT_EQ(VoRegistry::getVal(machineKey_ + "/F:", "m"), "7");
   VoRegistry::removeRegEntriesAsAdmin({{machineKey_ + "/F:", "m", Item::DWord, ""}});
   EXPECT_FALSE(VoRegistry::isVal(machineKey_ + "/F:", "m"));

   EXPECT_EQ(
       messageOf([] {
          VoRegistry::createRegEntries({{"REGISTRY/MACHINE", "v", Item::Sz, ""}}, "D:");
       }),
       "VoRegistry : Insufficient rights to write [REGISTRY/MACHINE], please run as admin. \n");
   EXPECT_EQ(
       messageOf([] {
          VoRegistry::removeRegEntries({{"REGISTRY/MACHINE", "v", Item::Sz, ""}});
       }),
       "VoRegistry : Insufficient rights to remove [REGISTRY/MACHINE], please run as admin.\n");
   VoRegistry::removeRegEntries({{scratch_.key("Fresh"), "v", Item::Sz, ""}});
   EXPECT_TRUE(VoRegistry::contains(scratch_.key("Fresh"))) << "the rights test creates the key";
   EXPECT_EQ(VoRegistry::getNElems(scratch_.key("Fresh")), 0);
}

TEST_F(DriverPath, TheDriveIsFilledInLiterally) {
   for (const char* drive : {"C:\\mnt", "\\1", "$0", "&", "."}) {
      VoRegistry::createRegEntries({{scratch_.key("K"), "v", Item::Sz, "{{VODRIVE}}\\x"}}, drive);
      EXPECT_EQ(VoRegistry::getVal(scratch_.key("K"), "v").str(), std::string(drive) + "\\x");
      VoRegistry::createRegEntriesAsAdmin({{machineKey_, "v", Item::Sz, "{{VODRIVE}}"}}, drive);
      EXPECT_EQ(VoRegistry::getVal(machineKey_, "v"), drive);
   }
}

} // namespace
