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

// A start that fails puts exactly one line on stderr, the program's own, and
// ends with status 1, where the toolkit would print its own lines and abort.
// The display is blamed only where none is set or the one set cannot be
// opened; a platform that does not exist, or whose plugin cannot be loaded
// (a library it needs is damaged), is named with the toolkit's reason.
TEST_F(SecondProcessTest, AStartThatFailsSaysWhyInOneLine) {
  // A folder whose copy of a library the X platform's plugin needs, and the
  // program does not, is damaged.
  const std::string damaged = ProgFile("damaged");
  ASSERT_EQ(MakeDirs(damaged), 0);
  WriteBytes(damaged + "/libxcb-icccm.so.4", "");
  const std::string platformLine = "Brenvolta could not start the graphical platform ";
  struct Case {
    const char* label;
    const char* display;   // nullptr: unset
    const char* platform;  // nullptr: unset
    bool damagedLibrary;
    std::string line;      // the whole line, or its start up to the toolkit's reason
    bool reason;           // the toolkit's reason follows, naming reasonNames
    const char* reasonNames;
  } cases[] = {
      {"no display", nullptr, nullptr, false, "Brenvolta needs a graphical display: DISPLAY is not set.", false, ""},
      {"no display, X chosen", nullptr, "xcb", false, "Brenvolta needs a graphical display: DISPLAY is not set.",
       false, ""},
      {"a display that is not there", ":9876", nullptr, false,
       "Brenvolta needs a graphical display: the display \":9876\" could not be opened.", false, ""},
      {"no such platform", nullptr, "nosuchplatform", false, platformLine + "\"nosuchplatform\": ", true,
       "nosuchplatform"},
      {"no such platform, a display set", ":9876", "nosuchplatform", false,
       platformLine + "\"nosuchplatform\": ", true, "nosuchplatform"},
      {"a damaged library", ":9876", nullptr, true, platformLine + "\"xcb\": ", true, "xcb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) env.remove(name);
    if (c.display) env.insert("DISPLAY", c.display);
    if (c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
    if (c.damagedLibrary) env.insert("LD_LIBRARY_PATH", QString::fromStdString(damaged));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(progDir_->path());
    program.start(BRV_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    // One line, ended.
    const QStringList lines = err.split('\n');
    ASSERT_EQ(lines.size(), 2) << err.toStdString();
    EXPECT_TRUE(lines[1].isEmpty());
    const std::string line = lines[0].toStdString();
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
