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
