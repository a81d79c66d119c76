// A program outside the tree that uses the installed library: it logs through VoLog and
// converts registry Item types, and checks what it gets.

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <voutil/voutil.h>

namespace {
int failures = 0;

void check(bool ok, const char* what) {
   if (!ok) {
      std::fprintf(stderr, "FAILED: %s\n", what);
      ++failures;
   }
}

std::string raiseMessage(void (*f)()) {
   try {
      f();
   } catch (const SxException& e) {
      return e.getMessage().str();
   }
   return "(no exception)";
}
} // namespace

int main(int argc, char** argv) {
   if (argc != 2) {
      std::fprintf(stderr, "usage: consumer LOGFILE\n");
      return 2;
   }
   {
      VoLog log(argv[1]);
      log.disableLogToStdOut();
      voLogMsg("util", "a\nb");
   }
   std::ifstream in(argv[1], std::ios::binary);
   std::stringstream content;
   content << in.rdbuf();
   const std::string text = content.str();
   static const std::regex twoLines(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) \[util\] : a\n)"
                                    R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) \[util\] : b\n)");
   std::smatch m;
   check(std::regex_match(text, m, twoLines) && m[1] == m[2], "two log lines with one stamp");

   using Item = VoRegistry::Item;
   for (int t = Item::Binary; t <= Item::Sz; ++t) {
      const auto type = static_cast<Item::RegValType>(t);
      check(Item::string2Type(Item::type2String(type)) == type, "type names round-trip");
   }
   check(Item::binary2String({0x00, 0xAB, 0x10}) == "00ab10", "binary2String");
   check(Item::string2Binary("00AB10") == SxArray<unsigned char>{0x00, 0xAB, 0x10},
         "string2Binary");
   check(raiseMessage([] { (void)Item::type2String(static_cast<Item::RegValType>(12)); }) ==
             "Unknown Registry Value Type 12",
         "type2String message");
   check(raiseMessage([] { (void)Item::string2Type("reg_sz"); }) ==
             "Unknown Registry Value Type: reg_sz",
         "string2Type message");
   check(raiseMessage([] { (void)Item::string2Binary("0g12"); }) ==
             "Cannot convert 0g12 (0g) to binary data.",
         "string2Binary message");
   if (failures == 0)
      std::puts("consumer: all checks passed");
   return failures == 0 ? 0 : 1;
}
