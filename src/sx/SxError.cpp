// The process exits of the foundation: the plain exit and the fatal stop with its banner.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sx/SxError.h>

void sxExit(int code) {
   std::cout.flush();
   std::cerr.flush();
   std::fflush(nullptr);
   std::exit(code);
}

void sxFatalStop(const char* file, int line) {
   std::fputs("\n+---------------------------------------------", stderr);
   std::fputs("--------------------------------\n", stderr);
   std::fputs("| Abnormal program stop in file ", stderr);
   std::fputs(file, stderr);
   std::fputs(" at line ", stderr);
   std::fprintf(stderr, "%d", line);
   std::fputs(".\n", stderr);
   std::fputs("+---------------------------------------------", stderr);
   std::fputs("--------------------------------\n", stderr);
   sxExit(1);
}
