// The start of the toolkit's platform. Started without a display (DISPLAY
// unset in a shell over ssh, an X server that is gone), or where the
// platform cannot start for another cause (a platform that does not exist,
// a library its plugin needs that is missing), the toolkit would print its
// own lines and abort. Instead the program says in one line of its own on
// stderr what kept it from starting, and ends with status 1.
#pragma once

#include <QtGlobal>

#include <optional>
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

// What the toolkit is given to choose and open its platform: the
// environment, and its own command-line options, which come before it.
struct PlatformEnv {
  std::string platform;                                      // QT_QPA_PLATFORM ("" when unset)
  std::string display;                                       // DISPLAY
  std::string waylandDisplay;                                // WAYLAND_DISPLAY
  std::string sessionType;                                   // XDG_SESSION_TYPE
  std::optional<std::string> platformOption = std::nullopt;  // -platform NAME
  std::optional<std::string> displayOption = std::nullopt;   // -display NAME (the X platform's)
};
// The environment of this process, with the options of its command line
// as the toolkit will read them (read before the application object takes
// them out of argv).
PlatformEnv PlatformEnvOfProcess(int argc, const char* const* argv);

// Whether the user asked the toolkit for its diagnostics (QT_DEBUG_PLUGINS,
// QT_LOGGING_RULES, QT_FATAL_WARNINGS set, and not to 0): its messages then
// go out as they come, even while the platform starts.
bool ToolkitDiagnosticsAsked();

// Watches the making of the application object. While it is held, the
// toolkit's messages are held back (or pass at once where diagnostics were
// asked for); its fatal message (the platform could not be started) drops
// the held ones, puts PlatformFailureText on stderr instead and ends the
// process with status 1. A crash meanwhile (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT) writes the held messages to stderr, as the toolkit would have
// printed them, before the signal's own action. Released, the held messages
// go out to the handler that was there before, in their order, and later
// ones as before.
class PlatformStartGuard {
 public:
  PlatformStartGuard(int argc, const char* const* argv);
  ~PlatformStartGuard() { Release(); }
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
  // The application is made: the held messages are printed.
  void Release();

 private:
  bool held_ = true;
};

// The one line of a start that failed (without its newline), from what the
// toolkit was given, the messages held back and the toolkit's fatal message:
// - "Brenvolta needs a graphical display: ..." only where each platform
//   tried failed on its display: none is set for it, or the toolkit could
//   not connect to the one it was given (the -display option before
//   DISPLAY); a Wayland platform that the toolkit tried of its own accord
//   (WAYLAND_DISPLAY set, a Wayland session) and whose plugin is missing
//   does not count;
// - else that the graphical platform could not be started, naming it and
//   the first line of the toolkit's reason (its platform messages first,
//   else the fatal one), without the toolkit's empty plugin folder (in "").
std::string PlatformFailureText(const PlatformEnv& env, const std::vector<ToolkitMessage>& held,
                                const std::string& fatal);
