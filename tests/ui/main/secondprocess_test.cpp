// What another process sees: SIGTERM and SIGHUP run a copy's normal exit,
// and a second copy on the same settings folder is refused by the first
// one's lock. The copy is the real main window in a process of its own
// (tests/helpers/program_copy.cpp).
#include <QProcess>
#include <QStringList>

#include <sys/types.h>
#include <csignal>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"

namespace {

// A copy of the program on the fixture's folders.
class ProgramCopy {
 public:
  ProgramCopy(const std::string& winFolder, const std::string& progFolder, const QStringList& extra = {}) {
    process_.setProgram(BRV_PROGRAM_COPY);
    process_.setArguments(QStringList{QString::fromStdString(winFolder), QString::fromStdString(progFolder)} +
                          extra);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
  }
  ~ProgramCopy() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  // Waits until its event loop runs (generous: the machine may be loaded).
  bool WaitReady() {
    while (!out_.contains("ready\n")) {
      if (!process_.waitForReadyRead(20000)) return false;
      out_ += process_.readAllStandardOutput();
    }
    return true;
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
