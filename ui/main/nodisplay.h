// The start of the toolkit's platform. Started without a display (DISPLAY
// unset in a shell over ssh, an X server that is gone), or where the
// platform cannot start for another cause (a platform that does not exist,
// a library its plugin needs that is missing), the toolkit would print its
// own lines and abort. Instead the program says in one line of its own on
// stderr what kept it from starting, and ends with status 1.
#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

// A message of the toolkit, as it was given to the message handler.
struct ToolkitMessage {
  QtMsgType type = QtDebugMsg;
  std::string category;
  std::string text;
  std::string file;
  std::string function;
  int line = 0;
};

// What the environment tells of the platform to be started.
struct PlatformEnv {
  std::string platform;        // QT_QPA_PLATFORM ("" when unset)
  std::string display;         // DISPLAY
  std::string waylandDisplay;  // WAYLAND_DISPLAY
  std::string sessionType;     // XDG_SESSION_TYPE
};
PlatformEnv PlatformEnvOfProcess();

// Watches the making of the application object. While it is held, the
// toolkit's messages are held back; its fatal message (the platform could
// not be started) drops them, puts PlatformFailureText on stderr instead and
// ends the process with status 1. Released, the held messages go out to the
// handler that was there before, in their order, and later ones as before.
class PlatformStartGuard {
 public:
  PlatformStartGuard();
  ~PlatformStartGuard() { Release(); }
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
  // The application is made: the held messages are printed.
  void Release();

 private:
  bool held_ = true;
};

// The one line of a start that failed (without its newline), from the
// environment, the messages held back and the toolkit's fatal message:
// - "Brenvolta needs a graphical display: ..." only where the display is at
//   fault: none is set (and a display platform was to start, or the
//   toolkit could not connect to one), or the toolkit could not connect to
//   the one set;
// - else that the graphical platform could not be started, naming it and
//   the first line of the toolkit's reason (its platform messages first,
//   else the fatal one).
std::string PlatformFailureText(const PlatformEnv& env, const std::vector<ToolkitMessage>& held,
                                const std::string& fatal);
