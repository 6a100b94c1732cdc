// The start of the toolkit's platform: its messages wait while the
// application object is made, and go out in their order once it is made;
// the line of a start that failed names what kept it from starting.
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <optional>
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
    PlatformStartGuard guard(0, nullptr);
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

// The toolkit's diagnostics, where the user asked for them, go out as they
// come even while the platform starts, and only once; a variable set to 0
// or empty asks for nothing.
TEST(PlatformStartTest, AskedForDiagnosticsPassAtOnce) {
  const struct {
    const char* name;
    const char* value;
    bool asked;
  } cases[] = {
      {"QT_DEBUG_PLUGINS", "1", true},       {"QT_LOGGING_RULES", "qt.qpa.*=true", true},
      {"QT_FATAL_WARNINGS", "1", true},      {"QT_DEBUG_PLUGINS", "0", false},
      {"QT_LOGGING_RULES", "", false},       {"QT_FATAL_WARNINGS", "0", false},
  };
  const QtMessageHandler before = qInstallMessageHandler(Record);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    const QByteArray saved = qgetenv(c.name);
    const bool wasSet = qEnvironmentVariableIsSet(c.name);
    qputenv(c.name, c.value);
    EXPECT_EQ(ToolkitDiagnosticsAsked(), c.asked);
    // Fatal warnings must not turn the test's own message into an abort.
    if (std::string(c.name) != "QT_FATAL_WARNINGS") {
      gSeen.clear();
      {
        PlatformStartGuard guard(0, nullptr);
        qCInfo(lcTestQpa) << "plugin line";
        EXPECT_EQ(gSeen.size(), c.asked ? 1u : 0u);
        guard.Release();
      }
      EXPECT_EQ(gSeen, std::vector<std::string>{"qt.qpa.test: plugin line"});
    }
    if (wasSet)
      qputenv(c.name, saved);
    else
      qunsetenv(c.name);
  }
  qInstallMessageHandler(before);
}

// The toolkit's own options on the command line, read as it reads them
// before the application object takes them out of argv.
TEST(PlatformStartTest, TheToolkitsOptionsAreReadAsTheToolkitReadsThem) {
  const struct {
    std::vector<const char*> args;
    std::optional<std::string> platform;
    std::optional<std::string> display;
  } cases[] = {
      {{"-platform", "nosuchplatform"}, "nosuchplatform", std::nullopt},
      {{"--platform", "a", "-platform", "b;xcb"}, "b;xcb", std::nullopt},  // the last one
      {{"-display", ":43"}, std::nullopt, ":43"},
      {{"song.arr", "--display", ":43", "-display", ":44"}, std::nullopt, ":44"},
      {{"-platform", "xcb", "-title", "-display", ":5"}, "xcb", std::nullopt},  // the title is "-display"
      {{"-display"}, std::nullopt, std::nullopt},                                // no value: not an option
      {{"-platform"}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"Brenvolta"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string label;
    for (const char* a : argv) label += std::string(a) + " ";
    SCOPED_TRACE(label);
    const PlatformEnv env = PlatformEnvOfProcess(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(env.platformOption, c.platform);
    EXPECT_EQ(env.displayOption, c.display);
  }
}

// What the child processes of the start cannot show: a Wayland display, and
// a platform whose plugin gives its own reason before the fatal message; and
// the choices between the options, the environment and the toolkit's own
// guesses, from the messages the toolkit gives for each.
TEST(PlatformStartTest, TheFailureLineNamesTheDisplayOrThePlatform) {
  const auto msg = [](const char* category, const char* text) {
    ToolkitMessage m;
    m.type = QtWarningMsg;
    m.category = category;
    m.text = text;
    return m;
  };
  const ToolkitMessage noWaylandPlugin =
      msg("qt.qpa.plugin", "Could not find the Qt platform plugin \"wayland\" in \"\"");
  const ToolkitMessage xNotLoaded =
      msg("qt.qpa.plugin", "Could not load the Qt platform plugin \"xcb\" in \"\" even though it was found.");
  const auto xRefused = [&](const char* display) {
    return msg("qt.qpa.xcb", (std::string("could not connect to display ") + display).c_str());
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
      // A stale WAYLAND_DISPLAY makes the toolkit try Wayland first; its
      // plugin is not there, and X has no display, or a display that is gone.
      {"a stale Wayland display, no DISPLAY", {"", "", "wayland-0", ""}, {noWaylandPlugin, xRefused(""), xNotLoaded},
       "Brenvolta needs a graphical display: DISPLAY is not set."},
      {"a stale Wayland display, a DISPLAY that is gone", {"", ":42", "wayland-0", ""},
       {noWaylandPlugin, xRefused(":42"), xNotLoaded},
       "Brenvolta needs a graphical display: the display \":42\" could not be opened."},
      {"a stale Wayland display, the X plugin broken", {"", ":42", "wayland-0", ""}, {noWaylandPlugin, xNotLoaded},
       "Brenvolta could not start the graphical platform \"xcb\": Could not load the Qt platform plugin \"xcb\" "
       "even though it was found."},
      // Wayland chosen by the user: its missing plugin is the reason.
      {"Wayland chosen, its plugin missing", {"wayland", "", "wayland-0", ""}, {noWaylandPlugin},
       "Brenvolta could not start the graphical platform \"wayland\": Could not find the Qt platform plugin "
       "\"wayland\"."},
      {"Wayland chosen, no display at all", {"wayland", "", "", ""}, {noWaylandPlugin},
       "Brenvolta could not start the graphical platform \"wayland\": Could not find the Qt platform plugin "
       "\"wayland\"."},
      // The options come before the environment.
      {"-platform before QT_QPA_PLATFORM", {"xcb", "", "", "", "nosuchplatform", std::nullopt},
       {msg("qt.qpa.plugin", "Could not find the Qt platform plugin \"nosuchplatform\" in \"\"")},
       "Brenvolta could not start the graphical platform \"nosuchplatform\": Could not find the Qt platform plugin "
       "\"nosuchplatform\"."},
      {"-platform xcb where QT_QPA_PLATFORM says otherwise", {"eglfs", "", "", "", "xcb", std::nullopt},
       {xRefused(""), xNotLoaded}, "Brenvolta needs a graphical display: DISPLAY is not set."},
      {"-display before DISPLAY", {"", ":42", "", "", std::nullopt, ":43"}, {xRefused(":43"), xNotLoaded},
       "Brenvolta needs a graphical display: the display \":43\" could not be opened."},
      {"-display without DISPLAY", {"", "", "", "", std::nullopt, ":43"}, {xRefused(":43"), xNotLoaded},
       "Brenvolta needs a graphical display: the display \":43\" could not be opened."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(PlatformFailureText(c.env, c.held, fatal), c.line);
  }
}
