// What another process sees: SIGTERM and SIGHUP run a copy's normal exit,
// and a second copy on the same settings folder is refused by the first
// one's lock. The copy is the real main window in a process of its own
// (tests/helpers/program_copy.cpp).
#include <QDir>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <map>
#include <sstream>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/userprogram.h"

namespace {

// A copy of the program on the fixture's folders.
class ProgramCopy {
 public:
  // asUser: the copy runs as the ordinary user kTestUid, from the copy of
  // the program made for that user (the suite must run as root).
  ProgramCopy(const std::string& winFolder, const std::string& progFolder, const QStringList& extra = {},
              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
              const ProgramForUser* asUser = nullptr) {
    process_.setProcessEnvironment(env);
    process_.setProgram(asUser ? QString::fromStdString(asUser->Path()) : QString(BRV_PROGRAM_COPY));
    process_.setArguments(QStringList{QString::fromStdString(winFolder), QString::fromStdString(progFolder)} +
                          extra);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    if (asUser) {
      started_ = StartAsUser(process_);
    } else {
      process_.start();
    }
  }
  ~ProgramCopy() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  // Waits until its event loop runs (generous: the machine may be loaded).
  // A failure says why the copy did not start, or what it printed.
  ::testing::AssertionResult WaitReady() {
    if (!started_) return started_;
    while (!out_.contains("ready\n")) {
      if (!process_.waitForReadyRead(20000)) {
        return ::testing::AssertionFailure()
               << "the copy never got ready (" << process_.errorString().toStdString() << "); stderr:\n"
               << process_.readAllStandardError().toStdString();
      }
      out_ += process_.readAllStandardOutput();
    }
    return ::testing::AssertionSuccess();
  }
  void Signal(int signo) { ::kill(static_cast<pid_t>(process_.processId()), signo); }
  bool Ended(int ms) {
    if (!process_.waitForFinished(ms)) return false;
    out_ += process_.readAllStandardOutput();
    return true;
  }
  int ExitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
  std::string Output() const { return out_.toStdString(); }

 private:
  QProcess process_;
  QByteArray out_;
  ::testing::AssertionResult started_ = ::testing::AssertionSuccess();
};

}  // namespace

class SecondProcessTest : public MainFixture {
 protected:
  std::string WinFolder() const { return QFile::encodeName(winDir_->path()).toStdString(); }
  std::string ProgFolder() const { return QFile::encodeName(progDir_->path()).toStdString(); }
  std::string Settings() const { return ReadBytes(WinFile("Brenvolta.ini")); }
};

// A logout or a shutdown ends the program as File > Exit does: the settings
// of the session are written and the device record is released.
TEST_F(SecondProcessTest, TermAndHangUpRunTheNormalExit) {
  for (int signo : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signo);
    const std::string before = Settings();
    ASSERT_EQ(Mid(before, 251, 250), Nuls(250));  // record 2: never written by an exit
    ProgramCopy copy(WinFolder(), ProgFolder());
    ASSERT_TRUE(copy.WaitReady()) << copy.Output();
    EXPECT_EQ(Asc(ReadBytes(WinFile("Veltrano")), 18), 1);  // the copy is running
    copy.Signal(signo);
    ASSERT_TRUE(copy.Ended(20000));
    EXPECT_EQ(copy.ExitCode(), 0);
    const std::string after = Settings();
    EXPECT_EQ(Mid(after, 251, 250), Space(250));  // gLastDir written at the exit
    EXPECT_EQ(Left(after, 10), Left(before, 10));
    const std::string dev = ReadBytes(WinFile("Veltrano"));
    EXPECT_EQ(Asc(dev, 14), 0);  // user count
    EXPECT_EQ(Asc(dev, 18), 0);  // running flag
    EXPECT_EQ(copy.Output().find("box "), std::string::npos) << copy.Output();
    WriteBytes(WinFile("Brenvolta.ini"), before);
  }
}

// A Cancel in a close prompt keeps the program open, as it would for File >
// Exit; the next signal ends it.
TEST_F(SecondProcessTest, ACancelledExitKeepsTheProgramRunning) {
  const std::string before = Settings();
  ProgramCopy copy(WinFolder(), ProgFolder(), {"--refuse-first-close"});
  ASSERT_TRUE(copy.WaitReady()) << copy.Output();
  copy.Signal(SIGTERM);
  EXPECT_FALSE(copy.Ended(1500));
  EXPECT_EQ(Settings(), before);
  copy.Signal(SIGTERM);
  ASSERT_TRUE(copy.Ended(20000));
  EXPECT_EQ(copy.ExitCode(), 0);
  EXPECT_NE(Settings(), before);
}

// Two copies on one settings folder would write their settings over each
// other's: while one runs, a second is refused before it changes any file.
TEST_F(SecondProcessTest, ASecondCopyIsRefusedWhileTheFirstRuns) {
  for (int language : {2, 1}) {
    SCOPED_TRACE(language);
    dialogs_.Clear();
    WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(language).bytes());
    ProgramCopy first(WinFolder(), ProgFolder());
    ASSERT_TRUE(first.WaitReady()) << first.Output();
    const std::string settings = Settings();
    const std::string dev = ReadBytes(WinFile("Veltrano"));
    const std::string info = ReadBytes(WinFile("TessaroInfo"));

    EXPECT_EQ(RunMain(), nullptr);
    if (language == 2) {
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Not more than one instance is allowed"});
      EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening Brenvolta"});
    } else {
      EXPECT_EQ(BoxTexts(),
                std::vector<std::string>{Utf8ToLatin1("Non è ammessa più di una istanza del programma")});
      EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Apertura di Brenvolta"});
    }
    EXPECT_EQ(Settings(), settings);
    EXPECT_EQ(ReadBytes(WinFile("Veltrano")), dev);
    EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), info);

    first.Signal(SIGTERM);
    ASSERT_TRUE(first.Ended(20000));
    ResetProgramState();
    SetTwipsPerPixel(15);
  }
  // Once the first has ended, the program starts.
  Start();
}

// The lock is the program's own: a copy that cannot take it ends before any
// file is made, even at a first start; one that holds it keeps starting.
TEST_F(SecondProcessTest, TheLockIsTakenBeforeAnyFileIsMade) {
  KillFile(WinFile("Brenvolta.ini"));
  FileLock other;
  ASSERT_EQ(other.TryLock(InstanceLockPath()), FileLock::Taken);
  EXPECT_EQ(RunMain(), nullptr);
  // No language yet: the texts of the start, in Italian.
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{Utf8ToLatin1("Non è ammessa più di una istanza del programma")});
  EXPECT_EQ(dialogs_.languageCalls, 0);
  EXPECT_FALSE(Exists(WinFile("Brenvolta.ini")));
  EXPECT_FALSE(Exists(WinFile("Veltrano")));
  EXPECT_FALSE(Exists(WinFile("TessaroInfo")));
  other.Unlock();

  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(2).bytes());
  Start();
  // The running program's own lock does not stop it, and it holds it.
  EXPECT_EQ(other.TryLock(InstanceLockPath()), FileLock::Held);
}

namespace {

// The plain files of a folder, hidden ones too, with their bytes.
std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  const QDir dir(QFile::decodeName(folder.c_str()));
  for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
    std::string bytes;
    ReadWholeFile(folder + "/" + QFile::encodeName(name).toStdString(), bytes);
    files[QFile::encodeName(name).toStdString()] = bytes;
  }
  return files;
}

}  // namespace

// A settings folder that cannot be written takes no lock file, and none was
// left there: the copy running there holds the folder itself, so a second
// copy is refused all the same, without writing there, whether it finds the
// folder still locked or opened up since (it then makes the lock file, as a
// copy that may write there does, and finds the folder held).
TEST_F(SecondProcessTest, ASecondCopyIsRefusedInAFolderThatCannotBeWritten) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "the copies run as an ordinary user, which needs root";
  const ProgramForUser program(BRV_PROGRAM_COPY);
  if (!program.Made()) GTEST_SKIP() << program.Why();
  WriteBytes(WinFile("Veltrano"), "Veltrano" + Nuls(137));
  WriteBytes(WinFile("TessaroInfo"), PadRight("TessaroInfo", 1000));
  ASSERT_TRUE(ChownTree(WinFolder(), kTestUid, kTestGid));
  ASSERT_EQ(::chmod(ProgFolder().c_str(), 0755), 0);
  for (bool openedUp : {false, true}) {
    SCOPED_TRACE(openedUp ? "opened up" : "locked");
    dialogs_.Clear();
    KillFile(WinFile("Brenvolta.lock"));
    ASSERT_EQ(::chmod(WinFolder().c_str(), 0555), 0);
    const auto before = FolderFiles(WinFolder());
    ASSERT_EQ(before.count("Brenvolta.lock"), 0u);
    ProgramCopy first(WinFolder(), ProgFolder(), {}, program.Environment(), &program);
    ASSERT_TRUE(first.WaitReady()) << first.Output();
    EXPECT_EQ(FolderFiles(WinFolder()), before);
    if (openedUp) {
      ASSERT_EQ(::chmod(WinFolder().c_str(), 0755), 0);
    }

    {
      EffectiveUser user;
      ASSERT_TRUE(user.Switched());
      EXPECT_EQ(RunMain(), nullptr);
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Not more than one instance is allowed"});
    auto after = FolderFiles(WinFolder());
    if (openedUp) {
      EXPECT_EQ(after["Brenvolta.lock"], "");
      after.erase("Brenvolta.lock");
    }
    EXPECT_EQ(after, before);

    first.Signal(SIGTERM);
    ASSERT_TRUE(first.Ended(20000));
    EXPECT_EQ(first.ExitCode(), 0);
    // The first copy said once that the folder cannot be written.
    EXPECT_NE(first.Output().find("box Opening Brenvolta | The settings folder "), std::string::npos)
        << first.Output();
    ResetProgramState();
    SetTwipsPerPixel(15);
  }
  ::chmod(WinFolder().c_str(), 0755);
}

namespace {

// The geometry the copy reports with --report-windows: "screen", "main",
// "area", and "window KIND" for each child window.
std::map<std::string, QRect> ReportedGeometry(const std::string& output) {
  std::map<std::string, QRect> rects;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string name;
    in >> name;
    if (name == "window") {
      int kind = 0;
      in >> kind;
      name += " " + std::to_string(kind);
    }
    int n[4] = {0, 0, 0, 0};
    if (name == "screen" || name == "area") {
      in >> n[2] >> n[3];
    } else if (name == "main" || name.rfind("window ", 0) == 0) {
      in >> n[0] >> n[1] >> n[2] >> n[3];
    } else {
      continue;
    }
    rects[name] = QRect(n[0], n[1], n[2], n[3]);
  }
  return rects;
}

}  // namespace

// A session at scale 1, then a start at scale 2 on the same screen, where
// everything is twice as large: the places of the last run may reach
// outside the main window's area, and the main window past the screen.
// Each is kept inside, moved as far as it reached out and cut only where it
// is larger; what still fits keeps its place.
TEST_F(SecondProcessTest, ARestartAtTwiceTheScaleKeepsTheWindowsInside) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(1, 0, 0, 11700, 11700, 0);      // 780 x 780: fits the screen at scale 1 only
  s.Window(10, 300, 300, 1500, 1500, 1);   // percussion kits: 100 x 100 at 20, 20
  s.Window(9, 900, 7500, 1500, 3000, 1);   // drum kits: 200 x 100 at 500, 60
  s.Window(4, 1500, 1500, 4810, 7780, 1);  // program bank A: 519 x 321 at 100, 100
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", QString::number(scale));
    ProgramCopy copy(WinFolder(), ProgFolder(), {"--report-windows"}, env);
    ASSERT_TRUE(copy.WaitReady()) << copy.Output();
    std::map<std::string, QRect> got = ReportedGeometry(copy.Output());
    for (const char* name : {"screen", "main", "area", "window 10", "window 9", "window 4"})
      ASSERT_EQ(got.count(name), 1u) << name << "\n" << copy.Output();
    const QSize screen = got["screen"].size();
    const QRect room(QPoint(0, 0), got["area"].size());
    EXPECT_EQ(screen.width(), 800 / scale);
    for (const char* name : {"window 10", "window 9", "window 4"}) EXPECT_TRUE(room.contains(got[name])) << name;
    EXPECT_TRUE(QRect(QPoint(0, 0), screen).contains(got["main"]));
    EXPECT_EQ(got["window 10"], QRect(20, 20, 100, 100));
    if (scale == 1) {
      EXPECT_EQ(got["main"], QRect(0, 0, 780, 780));
      EXPECT_EQ(got["window 9"], QRect(500, 60, 200, 100));
      EXPECT_EQ(got["window 4"], QRect(100, 100, 519, 321));
    } else {
      EXPECT_EQ(got["main"], QRect(QPoint(0, 0), screen));
      ASSERT_LT(room.width(), 519);
      EXPECT_EQ(got["window 9"], QRect(room.width() - 200, 60, 200, 100));
      EXPECT_EQ(got["window 4"], QRect(0, std::max(0, std::min(100, room.height() - 321)), room.width(),
                                       std::min(321, room.height())));
    }
    copy.Signal(SIGTERM);
    ASSERT_TRUE(copy.Ended(20000));
    WriteBytes(WinFile("Brenvolta.ini"), s.bytes());  // the same last run for the next start
  }
}

namespace {

// How a start of the program ended, and what it printed.
struct StartRun {
  bool crashed = false;  // ended by a signal
  int code = 0;          // its exit status, or the signal
  std::string out;
  std::string err;
};

// The environment of a start: this one without anything that chooses or
// opens a platform, then `set` (name, value).
QProcessEnvironment StartEnv(const std::vector<std::pair<const char*, std::string>>& set) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "QT_DEBUG_PLUGINS",
                           "QT_LOGGING_RULES", "QT_FATAL_WARNINGS", "LD_PRELOAD"})
    env.remove(name);
  for (const auto& [name, value] : set) env.insert(name, QString::fromStdString(value));
  return env;
}

// Starts the program in folder with env and args and waits for its end
// (a crash leaves no core file).
StartRun RunProgram(const QString& folder, const QProcessEnvironment& env, const QStringList& args) {
  QProcess program;
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(folder);
  program.setChildProcessModifier([] {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
  });
  program.start(BRV_PROGRAM, args);
  StartRun run;
  if (!program.waitForFinished(20000)) {
    ADD_FAILURE() << "the program did not end";
    return run;
  }
  run.crashed = program.exitStatus() == QProcess::CrashExit;
  run.code = program.exitCode();  // the signal, after a crash
  run.out = program.readAllStandardOutput().toStdString();
  run.err = program.readAllStandardError().toStdString();
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

// A start that fails puts exactly one line on stderr, the program's own, and
// ends with status 1, where the toolkit would print its own lines and abort.
// The display is blamed only where none is set or the one set cannot be
// opened; a platform that does not exist, or whose plugin cannot be loaded
// (a library it needs is damaged), is named with the toolkit's reason. The
// toolkit's own options (-platform, -display) come before the environment.
TEST_F(SecondProcessTest, AStartThatFailsSaysWhyInOneLine) {
  // A folder whose copy of a library the X platform's plugin needs, and the
  // program does not, is damaged.
  const std::string damaged = ProgFile("damaged");
  ASSERT_EQ(MakeDirs(damaged), 0);
  WriteBytes(damaged + "/libxcb-icccm.so.4", "");
  const std::string platformLine = "Brenvolta could not start the graphical platform ";
  struct Case {
    const char* label;
    std::vector<std::pair<const char*, std::string>> env;
    QStringList args;
    std::string line;  // the whole line, or its start up to the toolkit's reason
    bool reason;       // the toolkit's reason follows, naming reasonNames
    const char* reasonNames;
  } cases[] = {
      {"no display", {}, {}, "Brenvolta needs a graphical display: DISPLAY is not set.", false, ""},
      {"no display, X chosen", {{"QT_QPA_PLATFORM", "xcb"}}, {},
       "Brenvolta needs a graphical display: DISPLAY is not set.", false, ""},
      {"a display that is not there", {{"DISPLAY", ":9876"}}, {},
       "Brenvolta needs a graphical display: the display \":9876\" could not be opened.", false, ""},
      {"no such platform", {{"QT_QPA_PLATFORM", "nosuchplatform"}}, {}, platformLine + "\"nosuchplatform\": ", true,
       "nosuchplatform"},
      {"no such platform, a display set", {{"DISPLAY", ":9876"}, {"QT_QPA_PLATFORM", "nosuchplatform"}}, {},
       platformLine + "\"nosuchplatform\": ", true, "nosuchplatform"},
      {"a damaged library", {{"DISPLAY", ":9876"}, {"LD_LIBRARY_PATH", damaged}}, {}, platformLine + "\"xcb\": ", true,
       "xcb"},
      {"-platform, no display", {}, {"-platform", "nosuchplatform"}, platformLine + "\"nosuchplatform\": ", true,
       "nosuchplatform"},
      {"--platform before QT_QPA_PLATFORM", {{"QT_QPA_PLATFORM", "offscreen"}}, {"--platform", "nosuchplatform"},
       platformLine + "\"nosuchplatform\": ", true, "nosuchplatform"},
      {"-display before DISPLAY", {{"DISPLAY", ":9876"}}, {"-display", ":9877"},
       "Brenvolta needs a graphical display: the display \":9877\" could not be opened.", false, ""},
      {"-platform xcb before QT_QPA_PLATFORM", {{"QT_QPA_PLATFORM", "offscreen"}}, {"-platform", "xcb"},
       "Brenvolta needs a graphical display: DISPLAY is not set.", false, ""},
      // The toolkit tries Wayland first, whose plugin is not there.
      {"only a stale WAYLAND_DISPLAY", {{"WAYLAND_DISPLAY", "wayland-0"}}, {},
       "Brenvolta needs a graphical display: DISPLAY is not set.", false, ""},
      {"a stale WAYLAND_DISPLAY and a display that is not there",
       {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":9876"}}, {},
       "Brenvolta needs a graphical display: the display \":9876\" could not be opened.", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const StartRun run = RunProgram(progDir_->path(), StartEnv(c.env), c.args);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.out.empty());
    // One line, ended.
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    ASSERT_EQ(run.err.back(), '\n');
    const std::string& line = lines[0];
    // The toolkit's empty plugin folder says nothing.
    EXPECT_EQ(line.find("in \"\""), std::string::npos) << line;
    if (!c.reason) {
      EXPECT_EQ(line, c.line);
      continue;
    }
    // The toolkit's reason, its first line: it names the platform.
    ASSERT_EQ(Left(line, static_cast<int>(c.line.size())), c.line);
    const std::string reason = Mid(line, static_cast<int>(c.line.size()) + 1);
    EXPECT_NE(reason.find(c.reasonNames), std::string::npos) << line;
    EXPECT_EQ(reason.find("display"), std::string::npos) << line;
  }
}

// The diagnostics a user sets to find why a start fails are printed as the
// toolkit gives them, the program's own line last.
TEST_F(SecondProcessTest, TheToolkitsDiagnosticsOfAFailedStartArePrinted) {
  const StartRun run = RunProgram(progDir_->path(), StartEnv({{"QT_DEBUG_PLUGINS", "1"}}), {});
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.code, 1);
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_GT(lines.size(), 10u) << run.err;
  EXPECT_NE(run.err.find("qt.core.plugin.factoryloader: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("qt.qpa.xcb: could not connect to display"), std::string::npos) << run.err;
  EXPECT_EQ(lines.back(), "Brenvolta needs a graphical display: DISPLAY is not set.");
}

// A crash inside the toolkit's start (here in the X library's connect, with
// a display set) writes what the toolkit said up to then, then the signal
// ends the program as it would have: the messages held back while the
// platform starts, or, with diagnostics asked for, the lines printed as
// they came, once.
TEST_F(SecondProcessTest, ACrashInTheToolkitsStartLeavesItsMessagesOnStderr) {
  const std::string preload = BRV_XCB_CONNECT_CRASH;
  if (!Exists(preload)) GTEST_SKIP() << "the stand-in for xcb_connect was not built: " << preload;
  // Preloaded before a sanitizer's runtime, which would refuse to start.
  const std::string asan =
      QProcessEnvironment::systemEnvironment().value("ASAN_OPTIONS").toStdString() + ":verify_asan_link_order=0";
  const std::string heldLine = "qt.qpa.plugin: Could not find the Qt platform plugin \"nosuchplatform\" in \"\"";
  struct Case {
    const char* label;
    std::vector<std::pair<const char*, std::string>> env;
    QStringList args;
    int signo;
    bool diagnostics;  // else stderr is exactly heldLine
  } cases[] = {
      {"a SIGSEGV raised, a message held", {{"BRV_XCB_CONNECT_CRASH", "raise"}}, {"-platform", "nosuchplatform;xcb"},
       SIGSEGV, false},
      {"a fault, a message held", {{"BRV_XCB_CONNECT_CRASH", "fault"}}, {"-platform", "nosuchplatform;xcb"}, SIGSEGV,
       false},
      {"an abort, a message held", {{"BRV_XCB_CONNECT_CRASH", "abort"}}, {"-platform", "nosuchplatform;xcb"}, SIGABRT,
       false},
      {"a SIGSEGV with the plugin loader's diagnostics", {{"QT_DEBUG_PLUGINS", "1"}}, {}, SIGSEGV, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto env = c.env;
    env.push_back({"DISPLAY", ":42"});
    env.push_back({"LD_PRELOAD", preload});
    env.push_back({"ASAN_OPTIONS", asan});
    const StartRun run = RunProgram(progDir_->path(), StartEnv(env), c.args);
    if (!run.crashed && run.err.find("platform plugin \"xcb\"") != std::string::npos)
      GTEST_SKIP() << "the toolkit's X platform cannot be loaded here: " << run.err;
    ASSERT_TRUE(run.crashed) << run.code << "\n" << run.err;
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own report ends the program its own way
    EXPECT_EQ(run.code, c.signo);
#endif
    if (!c.diagnostics) {
      ASSERT_FALSE(run.err.empty());
      EXPECT_EQ(Lines(run.err).front(), heldLine) << run.err;
#ifndef __SANITIZE_ADDRESS__
      EXPECT_EQ(run.err, heldLine + "\n");
#endif
      continue;
    }
    // The plugin loader's lines up to the X platform's library, each once.
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_GT(lines.size(), 10u) << run.err;
    EXPECT_NE(run.err.find("qt.core.plugin.factoryloader: "), std::string::npos) << run.err;
    const std::string loaded = "libqxcb.so\" loaded library";
    const size_t at = run.err.find(loaded);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(loaded, at + 1), std::string::npos) << run.err;
  }
}
