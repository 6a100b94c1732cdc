#include "ui/main/nodisplay.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// The handler before the guard, the messages held back, and whether they
// still are (a message of another thread that comes in while the held ones
// go out follows them).
QtMessageHandler gToolkitHandler = nullptr;
std::mutex gHeldMutex;
std::vector<ToolkitMessage> gHeld;
bool gHolding = false;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The first line of a text, without the blanks around it.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// The platforms the toolkit tries, in its order: the one chosen through
// QT_QPA_PLATFORM, else Wayland in a Wayland session, then X.
std::vector<std::string> PlatformsTried(const PlatformEnv& env) {
  std::vector<std::string> names;
  if (!env.platform.empty()) {
    for (const QString& name : QString::fromStdString(env.platform).split(';', Qt::SkipEmptyParts))
      names.push_back(name.toStdString());
    return names;
  }
  if (!env.waylandDisplay.empty() || env.sessionType == "wayland") names.push_back("wayland");
  names.push_back("xcb");
  return names;
}

// A platform that needs a display: X or Wayland (a name may carry the
// platform's options after a colon).
bool IsDisplayPlatform(const std::string& name) {
  const std::string base = name.substr(0, name.find(':'));
  return base == "xcb" || StartsWith(base, "wayland");
}

// Whether the toolkit said it could not connect to an X display, or to a
// Wayland display.
bool XDisplayRefused(const std::vector<ToolkitMessage>& held) {
  for (const ToolkitMessage& m : held)
    if (m.category == "qt.qpa.xcb" && StartsWith(m.text, "could not connect to display")) return true;
  return false;
}
bool WaylandDisplayRefused(const std::vector<ToolkitMessage>& held) {
  for (const ToolkitMessage& m : held)
    if (StartsWith(m.category, "qt.qpa.wayland") && m.text.find("wl_display") != std::string::npos) return true;
  return false;
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

void HoldBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  if (!gHolding) {
    gToolkitHandler(type, context, text);
    return;
  }
  if (type != QtFatalMsg) {
    gHeld.push_back(Copy(type, context, text));
    return;
  }
  const std::string line = PlatformFailureText(PlatformEnvOfProcess(), gHeld, text.toLocal8Bit().toStdString()) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(1);  // the application object is half made: nothing more may run
}

}  // namespace

PlatformEnv PlatformEnvOfProcess() {
  return PlatformEnv{Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE")};
}

std::string PlatformFailureText(const PlatformEnv& env, const std::vector<ToolkitMessage>& held,
                                const std::string& fatal) {
  const std::vector<std::string> platforms = PlatformsTried(env);
  bool displayOnly = true;
  for (const std::string& name : platforms) displayOnly = displayOnly && IsDisplayPlatform(name);
  const bool xRefused = XDisplayRefused(held);
  const bool waylandRefused = WaylandDisplayRefused(held);

  const std::string needs = "Brenvolta needs a graphical display: ";
  if (env.display.empty() && env.waylandDisplay.empty() && (displayOnly || xRefused || waylandRefused))
    return needs + "DISPLAY is not set.";
  if (xRefused && !env.display.empty()) return needs + "the display \"" + env.display + "\" could not be opened.";
  if (waylandRefused && !env.waylandDisplay.empty())
    return needs + "the display \"" + env.waylandDisplay + "\" could not be opened.";

  // The platform's own words come first; the fatal message only says that
  // no platform could be started.
  std::string reason;
  for (const ToolkitMessage& m : held) {
    if (m.type == QtDebugMsg || !StartsWith(m.category, "qt.qpa")) continue;
    reason = FirstLine(m.text);
    if (!reason.empty()) break;
  }
  if (reason.empty()) reason = FirstLine(fatal);
  std::string names;
  for (const std::string& name : platforms) names += (names.empty() ? "" : ";") + name;
  return "Brenvolta could not start the graphical platform \"" + names + "\"" + (reason.empty() ? "." : ": " + reason);
}

PlatformStartGuard::PlatformStartGuard() {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  gHeld.clear();
  gHolding = true;
  gToolkitHandler = qInstallMessageHandler(HoldBack);
}

void PlatformStartGuard::Release() {
  if (!held_) return;
  held_ = false;
  std::lock_guard<std::mutex> lock(gHeldMutex);
  for (const ToolkitMessage& m : gHeld) Pass(m);
  gHeld.clear();
  gHolding = false;
  qInstallMessageHandler(gToolkitHandler);
}
