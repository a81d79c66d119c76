// The registry road: description file, capture import, driver path and batches.

#include <common/FaultInjectingOS.h>
#include <common/Messages.h>
#include <common/RegistryScratch.h>
#include <common/ScopedEnv.h>
#include <common/TempDir.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sx/SxFS.h>
#include <voutil/VoRegistry.h>
#include <voutil/VoSysEnv.h>

namespace {

using Item = VoRegistry::Item;
using namespace vo::test;

TEST(JsonExceptionTags, TheLibraryDescribesTheTagsOfTheJsonFoundation) {
   const std::pair<const char*, const char*> tags[] = {
       {"ParserKit", "FileIOError"},     {"ParserKit", "ParseError"},
       {"SxSymbol", "IOError"},          {"SxSymbol", "InvalidInput"},
       {"SxSymbol", "InvalidOperation"}, {"SchemaValidation", "ValidationError"}};
   for (const auto& [group, tag] : tags) {
      EXPECT_EQ(SxExceptionEntry::getGroup(tag), group) << tag;
      EXPECT_EQ(SxExceptionEntry::getDescription(tag), "message : SxString") << tag;
   }
}

const std::string kFailed = "Applying Regular Expression failed! Incoming Line: ";
const std::string kByOperation =
    " Applying Regular Expression: \"RegSetValue\",\"(.+)\",\"SUCCESS\" Result: ";

// Items as text, one line each with the fields between bars.
std::string describe(const VoRegistry::ItemList& items) {
   std::string text;
   for (const Item& i : items)
      text += i.key.str() + "|" + i.value.str() + "|" + Item::type2String(i.type).str() + "|" +
              i.data.str() + "\n";
   return text;
}

// A scratch directory and registry key, a machine key of its own, and a trace of what the
// device-control library was asked.
class RegistryRoad : public ::testing::Test {
protected:
   ~RegistryRoad() override { VoRegistry::rm_rf(machineKey_); }

   SxString dir(const char* below = "") const { return dir_.file(below).c_str(); }
   void writeFile(const std::string& name, const std::string& text) const {
      vo::test::writeFile(dir_.file(name), text);
   }
   static std::string line(const std::string& path, const std::string& detail,
                           const std::string& op = "RegSetValue") {
      return "\"10:00:00\",\"app.exe\",\"42\",\"" + op + "\",\"" + path + "\",\"SUCCESS\",\"" +
             detail + "\"";
   }
   // What the import of a capture with these lines gives: its Items, or the message it raised.
   std::string import(const std::vector<std::string>& lines, const SxString& drive = "E:") {
      std::string text = "\"Time of Day\",\"Process Name\",\"PID\",\"Operation\",\"Path\","
                         "\"Result\",\"Detail\"\n";
      for (const std::string& l : lines)
         text += l + "\n";
      return importFile(text, drive);
   }
   std::string importFile(const std::string& text, const SxString& drive = "E:") {
      writeFile("capture.csv", text);
      std::string items;
      const std::string message = messageOf(
          [&] { items = describe(VoRegistry::readCSV(dir_.file("capture.csv").c_str(), drive)); });
      return message == "<nothing thrown>" ? items : message;
   }
   std::string calls() {
      std::string text = readFile(trace_);
      std::remove(trace_.c_str());
      return text;
   }

   TempDir dir_;
   const std::string trace_ = dir_.file("driver.trace");
   const ScopedEnv traced_{"VODEVCTL_TRACE", trace_.c_str()}; // where the driver traces its calls
   RegistryScratch scratch_;
   const SxString machineKey_ = scratch_.key().substitute("HKCU/Software", "HKLM/SOFTWARE");
};

// --- the description file ---------------------------------------------------------------------

TEST_F(RegistryRoad, DescriptionsWriteAndReadBackInOrder) {
   const VoRegistry::ItemList items{{"HKLM/SOFTWARE/MORV", "Path", Item::Sz, "{{VODRIVE}}/tools"},
                                    {"HKCU/Software/T", "n", Item::DWord, "4294967295"},
                                    {"HKCU/Software/T", "", Item::Binary, "00ab10"},
                                    {"HKU/S-1-5-20/x", "\xC3\xA9t\xC3\xA9", Item::None, ""}};
   VoRegistry::write(dir("deep/er/"), items);
   EXPECT_EQ(describe(VoRegistry::read(dir("deep/er/"))), describe(items));
   VoRegistry::write(dir("plain"), items);
   EXPECT_TRUE(std::filesystem::exists(dir_.file("plainregistry.json"))) << "dir used as given";

   VoRegistry::write(dir(), {});
   EXPECT_EQ(readFile(dir_.file("registry.json")), "{\n  \"version\": 2\n}\n");
   EXPECT_TRUE(VoRegistry::read(dir()).isEmpty());
}

TEST_F(RegistryRoad, DescriptionReadFailuresNameTheFileAndTheirCause) {
   const std::string path = dir("registry.json").str(); // as the library joins it
   const auto readFailure = [&] { return messagesOf([&] { (void)VoRegistry::read(dir()); }); };
   EXPECT_EQ(readFailure(), std::vector<std::string>{"File " + path + " not found."});
   writeFile("registry.json", R"({"version": 1})");
   EXPECT_EQ(readFailure(),
             (std::vector<std::string>{"Failed to read file " + path,
                                       "File version of '" + path + "' not supported."}));
   for (
       const char* bad :
       {R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_FOO", "data": ""}]})",
        R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_SZ"}]})",
        R"({"version": 2, "registry": [{"key": 1, "value": "V", "regType": "REG_SZ", "data": ""}]})",
        R"({"version": 2, "registry": [{"key": "K", "value": "V", "regType": "REG_SZ", "data": "", "x": 1}]})",
        R"({"version": "2"})", R"({"version": 2.0})", R"({"version": 2,)"}) {
      writeFile("registry.json", bad);
      const auto messages = readFailure();
      ASSERT_EQ(messages.size(), 2u) << bad;
      EXPECT_EQ(messages[0], "Failed to read file " + path) << bad;
   }

   VoRegistry::write(dir(), {});
   VoSysEnv::setRTERootDir(dir("no-schema-here").str().c_str());
   const SxString schema = VoSysEnv::getSchemaPath() + "voregistry-schema.json";
   EXPECT_EQ(readFailure(),
             std::vector<std::string>{"Required schema file " + schema.str() + " not found"});
   VoSysEnv::setRTERootDir("");
}

TEST_F(RegistryRoad, AFailedDescriptionWriteLeavesTheExistingFileAlone) {
   const std::string file = SxFile(dir() + "registry.json").getAbsPath().str();
   VoRegistry::write(dir(), {{"HKCU/a", "b", Item::Sz, "kept"}});
   const std::string before = readFile(file);
   const VoRegistry::ItemList bad{{"HKCU/a", "b", Item::RegValType(12), ""}};
   EXPECT_EQ(messagesOf([&] { VoRegistry::write(dir(), bad); }),
             (std::vector<std::string>{"Failed to write file " + file,
                                       "Unknown Registry Value Type 12"}));
   EXPECT_EQ(readFile(file), before);

   // The file is replaced whole or not at all, so a failed write leaves one that still reads.
   const VoRegistry::ItemList next{{"HKCU/a", "b", Item::Sz, std::string(100000, 'n').c_str()}};
   for (const WriteFault& fault : writeFaults(false)) {
      const auto messages = fault.messagesOf([&] { VoRegistry::write(dir(), next); });
      if (fault.harmless()) {
         EXPECT_EQ(describe(VoRegistry::read(dir())), describe(next)) << fault.what;
         VoRegistry::write(dir(), {{"HKCU/a", "b", Item::Sz, "kept"}});
         continue;
      }
      EXPECT_EQ(messages, (std::vector<std::string>{"Failed to write file " + file,
                                                    "Cannot write JSON file '" + file +
                                                        "' : " + fault.on(file)}))
          << fault.what;
      EXPECT_EQ(readFile(file), before) << fault.what;
   }
}

// --- the capture import -----------------------------------------------------------------------

// The drive becomes the placeholder in keys and in string data only, which take their JSON
// string form; binary data loses its blanks.
TEST_F(RegistryRoad, CaptureLinesBecomeItems) {
   EXPECT_EQ(
       import({line("HKLM\\E:\\App\\E:", "Type: REG_EXPAND_SZ, Length: 9, Data: say \"E:\\x\""),
               line("HKCU\\T\\Bin", "Type: REG_BINARY, Length: 3, Data: 0A E:\tff"),
               line("HKCU\\T\\D", "Type: REG_DWORD, Length: 4, Data: E:1")}),
       "HKLM/{{VODRIVE}}/App|E:|REG_EXPAND_SZ|say \\\"{{VODRIVE}}\\\\x\\\"\n"
       "HKCU/T|Bin|REG_BINARY|0AE:ff\nHKCU/T|D|REG_DWORD|E:1\n");
   EXPECT_EQ(importFile(""), "");
   const std::string missing = dir_.file("missing.csv");
   EXPECT_EQ(messageOf([&] { (void)VoRegistry::readCSV(missing.c_str(), "E:"); }),
             "File " + missing + " does not exists.\nCannot create registry entries by CSV.");
#ifndef _WIN32
   // A regular file that opens but cannot be read from its start.
   EXPECT_EQ(
       messagesOf([] { (void)VoRegistry::readCSV("/proc/self/mem", "E:"); }),
       (std::vector<std::string>{"Cannot read /proc/self/mem",
                                 "Can't read from file '/proc/self/mem' : Input/output error"}));
#endif
}

TEST_F(RegistryRoad, CrlfCapturesGiveTheSameItemsAndFailures) {
   const std::string header = "\"Time of Day\",\"Operation\",\"Path\",\"Result\",\"Detail\"";
   const std::string a = line("HKCU\\T\\a", "Type: REG_SZ, Data: E:\\x");
   const std::string b = line("HKCU\\T\\b", "Type: REG_DWORD, Data: 7");
   const std::string query = line("HKCU\\T\\q", "Type: REG_SZ, Data: x", "RegQueryValue");
   const std::string bom = "\xEF\xBB\xBF";
   const std::string itemA = "HKCU/T|a|REG_SZ|{{VODRIVE}}\\\\x\n";
   const std::string itemB = "HKCU/T|b|REG_DWORD|7\n";
   // Captures with LF line ends, and what they give.
   const std::pair<std::string, std::string> cases[] = {
       {header + "\n" + a + "\n\n" + b + "\n", itemA + itemB},
       {header + "\n" + a + "\n" + b, itemA + itemB},
       {header + "\n\n\n", ""},
       {bom + header + "\n" + a + "\n", itemA},
       {bom + "\n" + header + "\n" + a + "\n", itemA},
       {header + "\n" + a + "\n" + query + "\n" + b + "\n", kFailed + query + kByOperation}};
   for (const auto& [lf, expected] : cases)
      for (const std::string& text : {lf, std::regex_replace(lf, std::regex("\n"), "\r\n")})
         EXPECT_EQ(importFile(text), expected) << text;
}

// Lines out of the usual shape follow the four patterns exactly (leftmost matches, greedy
// groups), and the drive is taken literally; a line that fails a pattern stops the import.
TEST_F(RegistryRoad, CaptureLinesFollowThePatternsAndTakeTheDriveLiterally) {
   const auto setV = [](const std::string& detail) { return line("HKCU\\T\\v", detail); };
   const auto sz = [&](const std::string& data) { return setV("Type: REG_SZ, Data: " + data); };
   const auto at = [](const std::string& path) { return line(path, "Type: REG_SZ, Data: x"); };
   const std::string byPath = " Applying Regular Expression: (.+)/([^/]+) Result: ";
   const std::string noType = line("HKCU\\a\\b", "Length: 3, Data: x");
   const std::string empty = "\"RegSetValue\",\"\",\"SUCCESS\",\"Type: REG_SZ, \"";
   const struct {
      std::string line;
      std::string expected;
      const char* drive = "E:";
   } cases[] = {
       {sz("C:\\Tools"), "HKCU/T|v|REG_SZ|{{VODRIVE}}Tools\n", "C:\\"},
       {sz("a.b"), "HKCU/T|v|REG_SZ|a{{VODRIVE}}b\n", "."},
       {sz("ab"), "HKCU/T|v|REG_SZ|ab\n", "."},
       {sz("x(y"), "HKCU/T|v|REG_SZ|x{{VODRIVE}}y\n", "("},
       {sz("$D/x"), "HKCU/T|v|REG_SZ|{{VODRIVE}}/x\n", "$D"},
       {sz("\\1x"), "HKCU/T|v|REG_SZ|{{VODRIVE}}x\n", "\\1"},
       {sz("E:x"), "HKCU/T|v|REG_SZ|E:x\n", ""},
       {sz("a\"b"), "HKCU/T|v|REG_SZ|a\\\"b\n"},
       {at("HKCU\\T\\a\\"), "HKCU/T|a|REG_SZ|x\n"},
       {at("HKCU\\T\\\\v"), "HKCU/T/|v|REG_SZ|x\n"},
       {at("\\v"), kFailed + "/v" + byPath},
       {at("a\\\\"), kFailed + "a//" + byPath},
       {at("NoSlash"), kFailed + "NoSlash" + byPath},
       {noType, kFailed + noType + " Applying Regular Expression: \"Type: (REG_\\w+),  Result: "},
       {setV("Type: REG_SZ x\",\"Type: REG_DWORD, Data: 5"), "HKCU/T|v|REG_DWORD|5\n"},
       {setV("Type: REG_, \"Type: REG_QWORD, Data: 6\" tail"), "HKCU/T|v|REG_QWORD|6\" tail\n"},
       {line("HKCU\\T\\v\",\"SUCCESS\",\"x\",\"y", "Type: REG_NONE, "),
        "HKCU/T|v\",\"SUCCESS\",\"x\",\"y|REG_NONE|\n"},
       {"\"RegSetValue\",\"HKCU\\T\\v\",\"SUCCESS\",\"SUCCESS\",\"x\",\"Type: REG_SZ, Data: q\"",
        "HKCU/T|v\",\"SUCCESS|REG_SZ|q\n"},
       {empty, kFailed + empty + kByOperation},
       {line("HKCU\\T\\\xC3\xA9", "Type: REG_SZ, Data: \xC3\xA9\r\xC2\x85"),
        "HKCU/T|\xC3\xA9|REG_SZ|\xC3\xA9\r\xC2\x85\n"},
   };
   for (const auto& c : cases)
      EXPECT_EQ(import({c.line}, c.drive), c.expected) << c.line;
}

// --- the driver path and the batches ----------------------------------------------------------

TEST_F(RegistryRoad, MachineKeysGoThroughTheDriverLevelByLevel) {
   VoRegistry::mkdir_pAsAdmin(machineKey_ + "/X");
   const std::string base =
       "\\Registry\\Machine\\" + machineKey_.substitute("/", "\\").str().substr(5);
   EXPECT_EQ(calls(), "voDriveCreateRegKey\t\\Registry\\Machine\\\tSOFTWARE\t0\n"
                      "voDriveCreateRegKey\t\\Registry\\Machine\\SOFTWARE\tVoutilTest\t0\n"
                      "voDriveCreateRegKey\t\\Registry\\Machine\\SOFTWARE\\VoutilTest\t" +
                          machineKey_.str().substr(sizeof("HKLM/SOFTWARE/VoutilTest/") - 1) +
                          "\t0\nvoDriveCreateRegKey\t" + base + "\tX\t0\n");
   VoRegistry::setValAsAdmin(machineKey_ + "/X", "v", Item::Sz, "t");
   EXPECT_EQ(calls(), "voDriveSetRegKeyValue\t" + base + "\\X\tv\t0\n");
   VoRegistry::rmAsAdmin(machineKey_ + "/X", "missing");
   EXPECT_EQ(calls(), "") << "nothing to remove, nothing called";
   VoRegistry::rmAsAdmin(machineKey_ + "/X", "v");
   EXPECT_EQ(calls(), "voDriveRemoveRegKeyValue\t" + base + "\\X\tv\t0\n");

   VoRegistry::setValAsAdmin(scratch_.key("A/B"), "v", Item::QWord, "5");
   VoRegistry::rmAsAdmin(scratch_.key("A/B"), "v");
   EXPECT_EQ(calls(), "") << "user keys take the direct path";
}

TEST_F(RegistryRoad, BatchesFillTheDriveLiterallyAndStopAtTheFirstFailure) {
   const VoRegistry::ItemList items{{scratch_.key("{{VODRIVE}}"), "p{{VODRIVE}}", Item::Sz,
                                     "{{VODRIVE}}\\Tools;{{VODRIVE}}\\bin"},
                                    {scratch_.key("K"), "bad", Item::Link, ""},
                                    {scratch_.key("K"), "never", Item::Sz, "x"}};
   EXPECT_EQ(messageOf([&] { VoRegistry::createRegEntries(items, "D:"); }),
             "Link' Registry Value Type not supported!");
   EXPECT_EQ(VoRegistry::getVal(scratch_.key("D:"), "pD:"), "D:\\Tools;D:\\bin");
   EXPECT_FALSE(VoRegistry::isVal(scratch_.key("K"), "never"));

   for (const char* drive : {"C:\\mnt", "\\1", "$0", "&", "."}) {
      VoRegistry::createRegEntries({{scratch_.key("K"), "v", Item::Sz, "{{VODRIVE}}\\x"}}, drive);
      EXPECT_EQ(VoRegistry::getVal(scratch_.key("K"), "v").str(), std::string(drive) + "\\x");
   }

   const VoRegistry::ItemList reserved{{"REGISTRY/MACHINE", "v", Item::Sz, ""}};
   const std::string rights = "VoRegistry : Insufficient rights to ";
   EXPECT_EQ(messageOf([&] { VoRegistry::createRegEntries(reserved, "D:"); }),
             rights + "write [REGISTRY/MACHINE], please run as admin. \n");
   EXPECT_EQ(messageOf([&] { VoRegistry::removeRegEntries(reserved); }),
             rights + "remove [REGISTRY/MACHINE], please run as admin.\n");
}

} // namespace
