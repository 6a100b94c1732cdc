#include "ui/main/nodisplay.h"

#include <QString>
#include <QStringList>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

namespace {

// The handler before the guard, the messages held back (those passed at
// once too: the failure line reads them all), whether they still are, and
// whether they pass at once (a message of another thread that comes in
// while the held ones go out follows them).
QtMessageHandler gToolkitHandler = nullptr;
std::mutex gHeldMutex;
std::vector<ToolkitMessage> gHeld;
bool gHolding = false;
bool gPassAtOnce = false;
PlatformEnv gStartEnv;

// The held messages as the toolkit would print them, for a crash: the
// signal handler may only write bytes that are already there. The length
// is published once a line is whole, so a crash in the middle of adding
// one writes the lines before it.
constexpr size_t kCrashTextSize = 256 * 1024;
char gCrashText[kCrashTextSize];
std::atomic<size_t> gCrashLength{0};
std::atomic<bool> gCrashTextFull{false};
std::atomic<bool> gCrashTextWritten{false};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction gCrashBefore[std::size(kCrashSignals)];
static_assert(std::atomic<size_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the crash handler reads these without a lock");

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The first line of a text, without the blanks around it.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// The platforms the toolkit tries, in its order, as it reads them: the
// -platform option, else QT_QPA_PLATFORM; else, of its own accord, Wayland
// where WAYLAND_DISPLAY is set or in a Wayland session, then X.
struct PlatformsGiven {
  std::vector<std::string> names;
  bool chosen = false;  // by the option or QT_QPA_PLATFORM
};
std::string ChosenPlatformText(const PlatformEnv& env) {
  if (env.platformOption) return *env.platformOption;
  return env.platform;
}
std::string DefaultPlatformText(const std::string& waylandDisplay, const std::string& sessionType) {
  return !waylandDisplay.empty() || sessionType == "wayland" ? "wayland;xcb" : "xcb";
}
PlatformsGiven PlatformsTried(const PlatformEnv& env) {
  PlatformsGiven given;
  given.chosen = env.platformOption.has_value() || !env.platform.empty();
  const std::string text =
      given.chosen ? ChosenPlatformText(env) : DefaultPlatformText(env.waylandDisplay, env.sessionType);
  for (const QString& name : QString::fromStdString(text).split(';', Qt::SkipEmptyParts))
    given.names.push_back(name.toStdString());
  return given;
}

// A platform's name without its options (after a colon), as the toolkit
// looks it up.
std::string BaseName(const std::string& name) {
  return QString::fromStdString(name.substr(0, name.find(':'))).toLower().toStdString();
}

// What the toolkit said of a platform's plugin and of its display.
bool PluginMissing(const std::vector<ToolkitMessage>& held, const std::string& base) {
  const std::string text = "Could not find the Qt platform plugin \"" + base + "\"";
  for (const ToolkitMessage& m : held)
    if (StartsWith(m.category, "qt.qpa") && StartsWith(m.text, text)) return true;
  return false;
}
bool XDisplayRefused(const std::vector<ToolkitMessage>& held) {
  for (const ToolkitMessage& m : held)
    if (m.category == "qt.qpa.xcb" && StartsWith(m.text, "could not connect to display")) return true;
  return false;
}
bool WaylandDisplayRefused(const std::vector<ToolkitMessage>& held) {
  for (const ToolkitMessage& m : held)
    if (StartsWith(m.category, "qt.qpa.wayland") && m.text.find("wl_display") != std::string::npos)
      return true;
  return false;
}

// The toolkit names the folder it looked in for a plugin, which is empty
// unless one was given: ` in ""` says nothing.
std::string WithoutEmptyFolder(std::string text) {
  const std::string empty = " in \"\"";
  for (size_t at = text.find(empty); at != std::string::npos; at = text.find(empty, at))
    text.erase(at, empty.size());
  return text;
}

ToolkitMessage Copy(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  ToolkitMessage m;
  m.type = type;
  m.category = context.category ? context.category : "";
  m.text = text.toLocal8Bit().toStdString();
  m.file = context.file ? context.file : "";
  m.function = context.function ? context.function : "";
  m.line = context.line;
  return m;
}

void Pass(const ToolkitMessage& m) {
  const QMessageLogContext context(m.file.empty() ? nullptr : m.file.c_str(), m.line,
                                   m.function.empty() ? nullptr : m.function.c_str(),
                                   m.category.empty() ? nullptr : m.category.c_str());
  gToolkitHandler(m.type, context, QString::fromLocal8Bit(m.text.c_str()));
}

// Adds a held message to the text a crash writes (under gHeldMutex).
void KeepForCrash(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  const std::string line = qFormatLogMessage(type, context, text).toLocal8Bit().toStdString() + "\n";
  const size_t length = gCrashLength.load(std::memory_order_relaxed);
  if (line.size() > kCrashTextSize - length) {
    gCrashTextFull.store(true, std::memory_order_release);
    return;
  }
  std::memcpy(gCrashText + length, line.data(), line.size());
  gCrashLength.store(length + line.size(), std::memory_order_release);
}

void WriteAll(const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(STDERR_FILENO, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

// A crash while the platform starts: the held messages go out with write
// (nothing here may allocate or lock), once, and then the signal's action
// from before the guard (the default one, as a rule) ends the process:
// the signal is raised again and arrives as this handler returns.
void WriteHeldOnCrash(int signo) {
  const int savedErrno = errno;
  if (!gCrashTextWritten.exchange(true)) {
    WriteAll(gCrashText, gCrashLength.load(std::memory_order_acquire));
    if (gCrashTextFull.load(std::memory_order_acquire)) {
      static const char kMore[] = "(more messages of the toolkit were held than could be kept)\n";
      WriteAll(kMore, sizeof kMore - 1);
    }
  }
  for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
    if (kCrashSignals[i] != signo) continue;
    struct sigaction before = gCrashBefore[i];
    if (before.sa_handler == SIG_IGN) before.sa_handler = SIG_DFL;  // a crash cannot be ignored
    ::sigaction(signo, &before, nullptr);
  }
  ::raise(signo);
  errno = savedErrno;
}

void InstallCrashHandlers() {
  gCrashLength.store(0);
  gCrashTextFull.store(false);
  gCrashTextWritten.store(false);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = WriteHeldOnCrash;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kCrashSignals); ++i)
    ::sigaction(kCrashSignals[i], &action, &gCrashBefore[i]);
}

void RemoveCrashHandlers() {
  for (size_t i = 0; i < std::size(kCrashSignals); ++i)
    ::sigaction(kCrashSignals[i], &gCrashBefore[i], nullptr);
}

void HoldBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  if (!gHolding) {
    gToolkitHandler(type, context, text);
    return;
  }
  if (type != QtFatalMsg) {
    gHeld.push_back(Copy(type, context, text));
    if (gPassAtOnce)
      gToolkitHandler(type, context, text);
    else
      KeepForCrash(type, context, text);
    return;
  }
  if (gPassAtOnce) {
    // The toolkit's own handler prints it; the abort that would follow is
    // the program's line and status instead.
    gToolkitHandler(type, context, text);
  }
  const std::string line = PlatformFailureText(gStartEnv, gHeld, text.toLocal8Bit().toStdString()) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(1);  // the application object is half made: nothing more may run
}

// Whether an environment variable asks for something: set, not empty, not 0.
bool Asks(const char* name) {
  const std::string value = Env(name);
  return !value.empty() && value != "0";
}

}  // namespace

PlatformEnv PlatformEnvOfProcess(int argc, const char* const* argv) {
  PlatformEnv env{
      Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE"), {}, {}};
  // The toolkit's own options, read as the toolkit reads them: "--name" is
  // "-name", the last one counts, and an option that takes a value takes
  // the next argument whatever it is. -geometry, -title and -icon are the
  // toolkit's only where X is the platform so far.
  std::string platformSoFar =
      env.platform.empty() ? DefaultPlatformText(env.waylandDisplay, env.sessionType) : env.platform;
  std::vector<const char*> rest;  // what the toolkit leaves to the X platform
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!arg) continue;
    if (arg[0] != '-') {
      rest.push_back(arg);
      continue;
    }
    const std::string name = arg[1] == '-' ? std::string(arg + 1) : std::string(arg);
    const bool xSoFar = StartsWith(platformSoFar, "xcb");
    if (name == "-platform") {
      if (++i < argc) {
        env.platformOption = argv[i];
        platformSoFar = argv[i];
      }
    } else if (name == "-platformpluginpath" || name == "-platformtheme" || name == "-qwindowgeometry" ||
               name == "-qwindowtitle" || name == "-qwindowicon" ||
               (xSoFar && (name == "-geometry" || name == "-title" || name == "-icon"))) {
      ++i;
    } else {
      rest.push_back(arg);
    }
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    std::string name = rest[i];
    if (StartsWith(name, "--")) name.erase(0, 1);
    if ((name == "-display" || name == "-name" || name == "-visual") && i + 1 < rest.size()) {
      if (name == "-display") env.displayOption = rest[i + 1];
      ++i;
    }
  }
  return env;
}

bool ToolkitDiagnosticsAsked() {
  return Asks("QT_DEBUG_PLUGINS") || Asks("QT_LOGGING_RULES") || Asks("QT_FATAL_WARNINGS");
}

std::string PlatformFailureText(const PlatformEnv& env, const std::vector<ToolkitMessage>& held,
                                const std::string& fatal) {
  PlatformsGiven given = PlatformsTried(env);
  // A Wayland platform the toolkit only guessed at, whose plugin is not
  // there, is not what kept the program from starting.
  bool guessMissing = false;
  if (!given.chosen && PluginMissing(held, "wayland")) {
    std::erase_if(given.names, [](const std::string& name) { return BaseName(name) == "wayland"; });
    guessMissing = true;
  }
  const std::string xDisplay = env.displayOption ? *env.displayOption : env.display;
  const bool xRefused = XDisplayRefused(held);
  const bool waylandRefused = WaylandDisplayRefused(held);

  // Whether each platform failed on its display, and which display set
  // for one could not be opened.
  bool displayOnly = !given.names.empty();
  bool xNamed = false;
  bool waylandNamed = false;
  for (const std::string& name : given.names) {
    const std::string base = BaseName(name);
    if (PluginMissing(held, base)) {
      displayOnly = false;
    } else if (base == "xcb") {
      displayOnly = displayOnly && (xRefused || xDisplay.empty());
      xNamed = xNamed || (xRefused && !xDisplay.empty());
    } else if (StartsWith(base, "wayland")) {
      displayOnly = displayOnly && (waylandRefused || env.waylandDisplay.empty());
      waylandNamed = waylandNamed || (waylandRefused && !env.waylandDisplay.empty());
    } else {
      displayOnly = false;
    }
  }

  const std::string needs = "Brenvolta needs a graphical display: ";
  if (displayOnly) {
    if (xNamed) return needs + "the display \"" + xDisplay + "\" could not be opened.";
    if (waylandNamed) return needs + "the display \"" + env.waylandDisplay + "\" could not be opened.";
    return needs + "DISPLAY is not set.";
  }

  // The platform's own words come first; the fatal message only says that
  // no platform could be started.
  std::string reason;
  for (const ToolkitMessage& m : held) {
    if (m.type == QtDebugMsg || !StartsWith(m.category, "qt.qpa")) continue;
    if (guessMissing && StartsWith(m.text, "Could not find the Qt platform plugin \"wayland\"")) continue;
    reason = FirstLine(m.text);
    if (!reason.empty()) break;
  }
  if (reason.empty()) reason = FirstLine(fatal);
  reason = WithoutEmptyFolder(reason);
  if (!reason.empty() && std::strchr(".!?:", reason.back()) == nullptr) reason += ".";
  std::string names;
  for (const std::string& name : given.names) names += (names.empty() ? "" : ";") + name;
  return "Brenvolta could not start the graphical platform \"" + names + "\"" +
         (reason.empty() ? "." : ": " + reason);
}

PlatformStartGuard::PlatformStartGuard(int argc, const char* const* argv) {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  gStartEnv = PlatformEnvOfProcess(argc, argv);
  gPassAtOnce = ToolkitDiagnosticsAsked();
  gHeld.clear();
  gHolding = true;
  InstallCrashHandlers();
  gToolkitHandler = qInstallMessageHandler(HoldBack);
}

void PlatformStartGuard::Release() {
  if (!held_) return;
  held_ = false;
  std::lock_guard<std::mutex> lock(gHeldMutex);
  RemoveCrashHandlers();
  if (!gPassAtOnce)
    for (const ToolkitMessage& m : gHeld) Pass(m);
  gHeld.clear();
  gHolding = false;
  qInstallMessageHandler(gToolkitHandler);
}
