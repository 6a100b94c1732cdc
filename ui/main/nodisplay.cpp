#include "ui/main/nodisplay.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler gToolkitHandler = nullptr;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void WatchStart(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (gToolkitHandler) gToolkitHandler(type, context, text);
    return;
  }
  const std::string line = NoDisplayText() + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(1);  // the application object is half made: nothing more may run
}

}  // namespace

std::string NoDisplayText() {
  const std::string text = "Brenvolta needs a graphical display: ";
  if (const std::string platform = Env("QT_QPA_PLATFORM"); !platform.empty())
    return text + "the platform \"" + platform + "\" could not be started.";
  std::string display = Env("DISPLAY");
  if (display.empty()) display = Env("WAYLAND_DISPLAY");
  if (display.empty()) return text + "DISPLAY is not set.";
  return text + "the display \"" + display + "\" could not be opened.";
}

NoDisplayGuard::NoDisplayGuard() {
  gToolkitHandler = qInstallMessageHandler(WatchStart);
}

void NoDisplayGuard::Release() {
  if (!held_) return;
  held_ = false;
  qInstallMessageHandler(gToolkitHandler);
  gToolkitHandler = nullptr;
}
