// A start where the toolkit's platform cannot connect to a display (DISPLAY
// unset in a shell over ssh, an X server that is gone). The toolkit would
// abort with its own advice; instead the program says in one line on
// stderr that it needs a graphical display, and ends with status 1.
#pragma once

#include <string>

// Watches the making of the application object: while it is held, the
// toolkit's fatal message (the platform could not be started) is replaced
// by NoDisplayText() on stderr and the exit status 1. The toolkit's other
// messages pass as they would.
class NoDisplayGuard {
 public:
  NoDisplayGuard();
  ~NoDisplayGuard() { Release(); }
  NoDisplayGuard(const NoDisplayGuard&) = delete;
  NoDisplayGuard& operator=(const NoDisplayGuard&) = delete;
  // The application is made: the toolkit's messages go their own way again.
  void Release();

 private:
  bool held_ = true;
};

// The line said when no display can be used, with what the environment
// tells of the reason: the platform chosen through QT_QPA_PLATFORM, the
// display named by DISPLAY or WAYLAND_DISPLAY, or none.
std::string NoDisplayText();
