// Large blocks: the portable part of the huge-page allocation.

#include <cstdlib>
#include <cstring>
#include <sx/SxLargeBlock.h>

bool sxHugePagesWanted() noexcept {
   const char* setting = std::getenv("VOUTIL_HUGE_PAGES");
   return !setting || std::strcmp(setting, "0") != 0;
}

std::string sxLargeString(std::size_t n) {
   std::string text;
   text.reserve(n);
   sxAdviseHugePages(text.data(), n);
   text.resize(n);
   return text;
}
