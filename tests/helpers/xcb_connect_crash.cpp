// A stand-in for the X library's xcb_connect that crashes, preloaded
// (LD_PRELOAD) into the program to make a crash inside the toolkit's start:
// the X platform's plugin calls it while the application object is made.
// BRV_XCB_CONNECT_CRASH says how: "abort" calls abort(), "fault" writes
// through a null pointer, anything else raises SIGSEGV.
#include <csignal>
#include <cstdlib>
#include <cstring>

extern "C" void* xcb_connect(const char* /*displayname*/, int* /*screenp*/) {
  const char* how = std::getenv("BRV_XCB_CONNECT_CRASH");
  if (how && std::strcmp(how, "abort") == 0) std::abort();
  if (how && std::strcmp(how, "fault") == 0) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  std::raise(SIGSEGV);
  return nullptr;
}
