// A child for the process tests: sleeps for the milliseconds given (a minute by default), so a
// test can find it by name, wait for it and end it. It exits with 3 when its sleep runs out, so
// that a test can tell a child it ended from one that was never ended.

#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
   std::this_thread::sleep_for(std::chrono::milliseconds(argc > 1 ? std::atol(argv[1]) : 60000));
   return 3;
}
