// A capture either imports or raises SxException, and gives what the four patterns of the
// import give when matched line by line with SxRegex (the plain reading, kept here as the
// reference for the import's faster one): the same Items or the same message. The same capture
// with CRLF line ends gives the same outcome. What it imports survives the description file:
// write never produces a file that read refuses, and read gives as many Items of the same types.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sx/SxRegex.h>
#include <sx/SxUtf.h>
#include <unistd.h>
#include <vector>
#include <voutil/VoRegistry.h>

namespace {

const std::filesystem::path& workDir() {
   static const std::filesystem::path dir = [] {
      auto d = std::filesystem::temp_directory_path() /
               ("voutil-fuzz-capture-" + std::to_string(::getpid()));
      std::filesystem::create_directories(d);
      return d;
   }();
   return dir;
}

// The Items as texts, or the message of the failure.
struct Outcome {
   std::vector<std::string> texts;
   std::string message;
   bool operator==(const Outcome&) const = default;
};

Outcome outcomeOf(const VoRegistry::ItemList& items) {
   Outcome outcome;
   for (const VoRegistry::Item& item : items)
      outcome.texts.insert(outcome.texts.end(),
                           {item.key.str(), item.value.str(),
                            VoRegistry::Item::type2String(item.type).str(), item.data.str()});
   return outcome;
}

// The import read plainly: every line through the four patterns.
Outcome reference(const std::string& bytes, const SxString& drive) {
   std::string text = SxUtf::sanitize(bytes);
   if (text.rfind("\xEF\xBB\xBF", 0) == 0)
      text.erase(0, 3);
   const SxString operationPattern = "\"RegSetValue\",\"(.+)\",\"SUCCESS\"";
   const SxString pathPattern = "(.+)/([^/]+)";
   const SxString typePattern = "\"Type: (REG_\\w+), ";
   const SxRegex operation(operationPattern), path(pathPattern), type(typePattern),
       data("Data: (.*)\"");
   auto failure = [](const SxString& line, const SxString& pattern,
                     const SxList<SxString>& result) {
      return Outcome{{},
                     ("Applying Regular Expression failed! Incoming Line: " + line +
                      " Applying Regular Expression: " + pattern +
                      " Result: " + SxString::join(result, ""))
                         .str()};
   };
   VoRegistry::ItemList items;
   bool header = true;
   for (SxString line : SxString(text).tokenize("\n", false)) {
      if (line.str().back() == '\r')
         line = SxString(std::string_view(line.str()).substr(0, line.str().size() - 1));
      if (line.isEmpty())
         continue;
      if (std::exchange(header, false))
         continue;
      try {
         const SxList<SxString> op = operation.match(line);
         if (op.getSize() != 2)
            return failure(line, operationPattern, op);
         const SxString converted = op(1).substitute("\\", "/");
         const SxList<SxString> parts = path.match(converted);
         if (parts.getSize() != 3)
            return failure(converted, pathPattern, parts);
         const SxList<SxString> typeParts = type.match(line);
         if (typeParts.getSize() != 2)
            return failure(line, typePattern, typeParts);
         VoRegistry::Item item(parts(1).substitute(drive, "{{VODRIVE}}"), parts(2),
                               VoRegistry::Item::string2Type(typeParts(1)), "");
         const SxList<SxString> dataParts = data.match(line);
         const SxString dataText = dataParts.getSize() == 2 ? dataParts(1) : SxString();
         switch (item.type) {
         case VoRegistry::Item::ExpandSz:
         case VoRegistry::Item::MultiSz:
         case VoRegistry::Item::Sz:
            item.data = dataText.substitute(drive, "{{VODRIVE}}")
                            .substitute("\\", "\\\\")
                            .substitute("\"", "\\\"");
            break;
         case VoRegistry::Item::Binary:
            item.data = dataText.removeWhiteSpace();
            break;
         default:
            item.data = dataText;
         }
         items.append(item);
      } catch (const SxException& e) {
         return Outcome{{}, e.getMessage().str()};
      }
   }
   return outcomeOf(items);
}

Outcome import(const std::string& capture, const std::string& bytes, VoRegistry::ItemList* items) {
   std::ofstream(capture, std::ios::binary | std::ios::trunc)
       .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
   try {
      *items = VoRegistry::readCSV(capture.c_str(), "E:");
      return outcomeOf(*items);
   } catch (const SxException& e) {
      return Outcome{{}, e.getMessage().str()};
   }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
   const std::string capture = (workDir() / "capture.csv").string();
   const std::string bytes(reinterpret_cast<const char*>(data), size);
   VoRegistry::ItemList items;
   const Outcome outcome = import(capture, bytes, &items);
   if (outcome != reference(bytes, "E:"))
      std::abort();
   std::string crlf;
   for (char c : bytes)
      crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
   VoRegistry::ItemList ignored;
   if (bytes.find('\r') == std::string::npos && import(capture, crlf, &ignored) != outcome)
      std::abort();
   if (!outcome.message.empty())
      return 0;

   const SxString dir = (workDir().string() + "/").c_str();
   VoRegistry::write(dir, items);
   const VoRegistry::ItemList back = VoRegistry::read(dir); // must not raise
   if (back.getSize() != items.getSize())
      std::abort();
   for (std::ptrdiff_t i = 0; i < items.getSize(); ++i)
      if (back(i).type != items(i).type)
         std::abort();
   return 0;
}
