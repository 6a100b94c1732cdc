// A save that was interrupted and cannot be finished or undone, and a save
// that meets another program's save, through File > Open Arr and File >
// Save as the user does: the open never fails because of it, and says so
// in one box naming the file and the reason; the save says so once and
// saves; a folder another program is saving in is waited for, then the
// save is refused with Retry and Cancel.
#include <QListWidget>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "files/styfile.h"
#include "platform/files.h"
#include "services/strings.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

namespace {

std::string StyleFile() { return StyFileBytes(StyGroupBytes({{"Alpha", 40}, {"Beta", 41}})); }
std::string NewStyleFile() { return StyFileBytes(StyGroupBytes({{"Gamma", 42}})); }
std::string Band() { return ArrFile({{0, Rec("Rock", 3)}, {1, Rec("Jazz", 4)}}); }
std::string Killed() { return ArrFile({{0, Rec("Killed", 5)}, {1, Rec("Other", 6)}}); }

// The hidden files of a folder whose names start with prefix.
std::vector<std::string> Hidden(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) names.push_back(e->d_name);
    ::closedir(dir);
  }
  return names;
}

// Boxes answered as ScriptedDialogs answers them, with something done the
// moment a box is shown.
class DialogsWithAction : public ScriptedDialogs {
 public:
  std::function<void()> onBox;
  int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) override {
    if (onBox) onBox();
    return ScriptedDialogs::MessageBox(title, text, icon, buttons);
  }
};

}  // namespace

class InterruptedSavesTest : public DocWindowTest {
 protected:
  std::string P(const std::string& name) const { return ProgFile(name); }
  std::string Prog() const { return QFile::encodeName(progDir_->path()).toStdString(); }
  frmArrU* OpenSong() {
    OpenThrough("mnuApriArr", "song.arr", false);
    return gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
  }
  static void DeleteLine(frmArrU* w, int line) {
    QListWidget* list = w->findChild<QListWidget*>("List1");
    ClickLine(list, line);
    QTest::keyClick(list, Qt::Key_Delete);
  }
  // A save of the style file and then the arrangement file (the file with
  // two names, written in place), ended between them.
  void KillASaveBetweenItsFiles() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      SetFileFaultHook(EndAt("rename", 2));
      WriteWholeFiles({{P("song.sty"), NewStyleFile()}, {P("song.arr"), Killed()}});
      ::_exit(1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not reach its second file";
  }
};

// The style file was put in place, the arrangement file not yet written;
// the roll-back needs the old style file kept aside, which is gone. The
// open of the arrangement file says so once (its window reads the style
// file too) and shows the files as they stand, changing none.
TEST_F(InterruptedSavesTest, AnOpenThatCannotPutAFileBackSaysSoOnceAndReadsTheFiles) {
  WriteBytes(P("song.arr"), Band());
  WriteBytes(P("song.sty"), StyleFile());
  ASSERT_EQ(::link(P("song.arr").c_str(), P("copy.arr").c_str()), 0);
  StartPlain();
  KillASaveBetweenItsFiles();
  const std::vector<std::string> asides = Hidden(Prog(), ".song.sty~brv");
  for (const std::string& n : asides)
    if (n.size() < 5 || n.compare(n.size() - 5, 5, ".save") != 0) ::unlink(P(n).c_str());
  dialogs_.Clear();

  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The interrupted save of " + P("song.sty") +
                                                 " could not be finished or undone: its files are left as they "
                                                 "stand.\r\nThe copy of its old content kept aside is gone"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening song.arr"});
  EXPECT_EQ(ReadBytes(P("song.arr")), Band());
  EXPECT_EQ(ReadBytes(P("song.sty")), NewStyleFile());
  EXPECT_EQ(Asc(w->Tag(), 9), 2);  // the style file was read

  // In Italian, at the next File > Open.
  Discard(w, 4);
  dialogs_.Clear();
  gLangBase = 0;
  w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Il salvataggio interrotto di " + P("song.sty") +
                                                 " non ha potuto essere completato n\xE9 annullato: i suoi file restano "
                                                 "come sono.\r\nLa copia del contenuto precedente, tenuta da parte, "
                                                 "non c'\xE8 pi\xF9"});  // the table's Latin-1
  Discard(w, 4);
}

// A killed save of the arrangement file and its style file in a folder that
// has since become read-only: the open says once that it cannot be
// finished, and shows the files as they stand; File > Save says so once
// and saves in place; the next save says nothing. As an ordinary user.
TEST_F(InterruptedSavesTest, AKilledSaveInAFolderLockedSinceStopsNeitherOpenNorSave) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as an ordinary user";
  WriteBytes(P("song.arr"), Band());
  WriteBytes(P("song.sty"), StyleFile());
  StartPlain();
  ASSERT_TRUE(ChownTree(Prog(), kTestUid, kTestGid));
  ASSERT_TRUE(ChownTree(QFile::encodeName(winDir_->path()).toStdString(), kTestUid, kTestGid));
  ASSERT_EQ(RunAsUser(kTestUid, kTestGid,
                      [&] {
                        SetFileFaultHook(EndAt("rename", 2));
                        WriteWholeFiles({{P("song.arr"), Killed()}, {P("song.sty"), NewStyleFile()}});
                        return 1;
                      }),
            0);
  ASSERT_EQ(::chmod(Prog().c_str(), 0555), 0);
  const std::string why = "The interrupted save of " + P("song.sty") +
                          " could not be finished or undone: its files are left as they stand.\r\nRead only file";
  {
    EffectiveUser user;
    ASSERT_TRUE(user.Switched());
    dialogs_.Clear();
    frmArrU* w = OpenSong();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{why});
    EXPECT_EQ(ReadBytes(P("song.arr")), Killed());
    EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());

    dialogs_.Clear();
    DeleteLine(w, 0);
    main_->Item("mnuSalva")->trigger();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{why});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Saving song.arr"});
    EXPECT_EQ(Asc(w->Tag(), 4), 0);
    const std::string saved = ReadBytes(P("song.arr"));
    EXPECT_TRUE(saved != Killed());

    dialogs_.Clear();
    DeleteLine(w, 1);
    main_->Item("mnuSalva")->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_TRUE(ReadBytes(P("song.arr")) != saved);
    EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());
    Discard(w, 4);
  }
  ::chmod(Prog().c_str(), 0755);
}

// Another program holds the lock of the song's folder, as another copy of
// this program does while it saves there. File > Save waits for it, a
// bounded time, then says so naming the file, with Retry and Cancel; the
// other save ends meanwhile, and Retry saves.
TEST_F(InterruptedSavesTest, ASaveMeetingAnotherProgramsSaveOffersRetry) {
  WriteBytes(P("song.arr"), Band());
  StartPlain();
  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  FolderLockHolder holder(Prog());
  ASSERT_TRUE(holder.Holds());

  DialogsWithAction boxes;
  boxes.boxAnswers = {kMsgRetry};
  boxes.onBox = [&] { holder.Release(); };
  SetDialogs(&boxes);
  SetSaveLockWait(100);
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  SetDialogs(&dialogs_);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Cannot write " + P("song.arr") + "\r\nAnother program is saving a file in this folder");
  EXPECT_EQ(boxes.boxes[0].title, "Saving song.arr");
  EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::RetryCancel);
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  EXPECT_TRUE(ReadBytes(P("song.arr")) != Band());
  Discard(w, 4);
}
