// The start of the toolkit's platform: its messages wait while the
// application object is made, and go out in their order once it is made;
// the line of a start that failed names what kept it from starting.
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/main/nodisplay.h"

namespace {

std::vector<std::string> gSeen;

void Record(QtMsgType, const QMessageLogContext& context, const QString& text) {
  gSeen.push_back(std::string(context.category ? context.category : "") + ": " + text.toStdString());
}

Q_LOGGING_CATEGORY(lcTestQpa, "qt.qpa.test")

}  // namespace

TEST(PlatformStartTest, ASuccessfulStartPrintsTheHeldMessagesThenLaterOnesAsBefore) {
  gSeen.clear();
  const QtMessageHandler before = qInstallMessageHandler(Record);
  {
    PlatformStartGuard guard;
    qWarning("first");
    qCWarning(lcTestQpa) << "second";
    EXPECT_TRUE(gSeen.empty());  // held back while the platform starts
    guard.Release();
    EXPECT_EQ(gSeen, (std::vector<std::string>{"default: first", "qt.qpa.test: second"}));
    qWarning("later");
    EXPECT_EQ(gSeen.back(), "default: later");
  }
  qWarning("after the guard");
  EXPECT_EQ(gSeen.size(), 4u);
  qInstallMessageHandler(before);
}

// What the child processes of the start cannot show: a Wayland display, and
// a platform whose plugin gives its own reason before the fatal message.
TEST(PlatformStartTest, TheFailureLineNamesTheDisplayOrThePlatform) {
  const auto msg = [](const char* category, const char* text) {
    ToolkitMessage m;
    m.type = QtWarningMsg;
    m.category = category;
    m.text = text;
    return m;
  };
  const std::string fatal = "This application failed to start because no Qt platform plugin could be initialized.\n\nMore";
  const struct {
    const char* label;
    PlatformEnv env;
    std::vector<ToolkitMessage> held;
    std::string line;
  } cases[] = {
      {"a Wayland display that cannot be opened", {"wayland", "", "wayland-9", ""},
       {msg("qt.qpa.wayland", "Failed to create wl_display (No such file or directory)")},
       "Brenvolta needs a graphical display: the display \"wayland-9\" could not be opened."},
      {"the plugin's reason first", {"", ":0", "", ""},
       {msg("default", "QStandardPaths: XDG_RUNTIME_DIR not set"),
        msg("qt.qpa.plugin", "  From 6.5.0, xcb-cursor0 is needed to load the Qt xcb platform plugin.\nMore"),
        msg("qt.qpa.plugin", "Could not load the Qt platform plugin \"xcb\" in \"\" even though it was found.")},
       "Brenvolta could not start the graphical platform \"xcb\": From 6.5.0, xcb-cursor0 is needed to load the Qt "
       "xcb platform plugin."},
      {"the fatal message's first line", {"eglfs", ":0", "", ""}, {msg("default", "QStandardPaths: not set")},
       "Brenvolta could not start the graphical platform \"eglfs\": This application failed to start because no Qt "
       "platform plugin could be initialized."},
      {"a Wayland session without a display", {"", "", "", "wayland"}, {},
       "Brenvolta needs a graphical display: DISPLAY is not set."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(PlatformFailureText(c.env, c.held, fatal), c.line);
  }
}
