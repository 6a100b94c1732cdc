// The database lives in the settings folder: while that folder cannot be
// written (here a full disk), the database is read but never written. The
// automatic add of an opened file is skipped without a box (the start's box
// has said the folder takes nothing); an explicit database command says once
// that the folder cannot be written, naming it, and writes nothing.
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

#include "app/dbarr.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/winfolder.h"
#include "tests/ui/documents/dbarrwintest.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmeditdbarr.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

using arrwintest::ClickLine;

namespace {

// A disk that takes no byte more: every write fails as full.
int DiskFull(const std::string& op, const std::string&, int) {
  return op == "put" || op == "write" ? kErrDiskFull : 0;
}

}  // namespace

class DBArrUnwritableTest : public DBArrWinTest {
 protected:
  // Starts on a full disk with the settings of language and the database
  // given (none when entries is null); the start's one box is cleared.
  void StartFull(int language, const std::vector<DBArrEntry>* entries) {
    WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(language).bytes());
    if (entries) PutDb(*entries);
    full_ = std::make_unique<FaultHook>(DiskFull);
    Start();
    Settle();
    ASSERT_EQ(dialogs_.boxes.size(), 1u);  // the start's box of the folder
    UntickPlainOptions();
    dialogs_.Clear();
  }
  void TearDown() override {
    full_.reset();
    DBArrWinTest::TearDown();
  }
  // File > Open Arr on a file of the songs folder.
  frmArrU* OpenSong(const std::string& file) {
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = Song(file);
    dialogs_.fileAnswers.push_back(answer);
    main_->Item("mnuApriArr")->trigger();
    return gArrUForms[gArrSlotIdx];
  }
  static std::string IdBox(frmArrU* w) { return w->findChild<QLineEdit*>("Text1")->text().toStdString(); }
  std::string Folder() const { return WinFolderPath(); }

  std::unique_ptr<FaultHook> full_;
};

// Update Automatically ticked, a file opened: without a database nothing is
// asked (the answer could not be kept) and none is made.
TEST_F(DBArrUnwritableTest, TheAutomaticAddAsksNothingAndMakesNoDatabase) {
  PutSong("song.arr");
  StartFull(2, nullptr);
  main_->Item("mnuAddi40DBArr")->trigger();
  dialogs_.boxAnswers = {kMsgYes};  // were the question asked
  frmArrU* w = OpenSong("song.arr");
  ASSERT_NE(w, nullptr);
  Settle();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_FALSE(Exists(WinFile("r40DBArr")));
  EXPECT_EQ(IdBox(w), " 0");
}

// With a database, a file it lacks is not entered and one it has shows its
// ID, read from it.
TEST_F(DBArrUnwritableTest, TheAutomaticAddLeavesTheDatabaseAsItIs) {
  PutSong("song.arr");
  PutSong("known.arr");
  const std::vector<DBArrEntry> entries{{"known", 3}};
  StartFull(2, &entries);
  main_->Item("mnuAddi40DBArr")->trigger();
  const std::string db = Db();
  frmArrU* song = OpenSong("song.arr");
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(IdBox(song), " 0");
  frmArrU* known = OpenSong("known.arr");
  ASSERT_NE(known, nullptr);
  EXPECT_EQ(IdBox(known), " 3");
  Settle();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Db(), db);
}

class DBArrUnwritableCommandTest;

namespace {

QListWidget* EditorList() { return gEditDBArrForm->findChild<QListWidget*>("List1"); }
QPushButton* EditorButton(const char* name) { return gEditDBArrForm->findChild<QPushButton*>(name); }

struct CommandCase {
  const char* name;
  int language;
  const char* title;
  // Runs the command as the user gives it, on a started program whose
  // database holds alpha (3) and beta (4), with song.arr in its folder.
  void (*run)(DBArrUnwritableCommandTest& t);
};

std::ostream& operator<<(std::ostream& out, const CommandCase& c) { return out << c.name; }

}  // namespace

class DBArrUnwritableCommandTest : public DBArrUnwritableTest,
                                   public ::testing::WithParamInterface<CommandCase> {
 public:
  using DBArrUnwritableTest::ClickEditItem;
  using DBArrUnwritableTest::OpenSong;
  using DBArrUnwritableTest::Settle;
  using DBArrUnwritableTest::Status;
  using DBArrUnwritableTest::dialogs_;
  using DBArrUnwritableTest::main_;
  // View > r40DBArr.
  void OpenEditor() {
    main_->Item("mnuWEditDBArr")->trigger();
    ASSERT_NE(gEditDBArrForm, nullptr);
    Settle(0);
  }
  void WaitForBox() {
    WaitFor([this] { return !dialogs_.boxes.empty(); });
    Settle(50);
  }
};

// + r40DBArr, Update r40DBArr, Add All and Delete (the button, the key,
// Edit > Cut): one box that names the folder and the reason, in the
// language in use, and the database, the buffer and the editor's list as
// they were.
TEST_P(DBArrUnwritableCommandTest, SaysTheFolderCannotBeWrittenOnceAndWritesNothing) {
  const CommandCase& c = GetParam();
  PutSong("song.arr");
  PutSong("alpha.arr");
  PutSong("gamma.arr");
  const std::vector<DBArrEntry> entries{{"alpha", 3}, {"beta", 4}};
  StartFull(c.language, &entries);
  const std::string db = Db();
  c.run(*this);
  const std::string text =
      c.language == 2
          ? "The settings folder " + Folder() + " cannot be written:\r\nDisk full"
          : "Impossibile scrivere nella cartella delle impostazioni " + Folder() + ":\r\nDisco pieno";
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{text});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{c.title});
  EXPECT_EQ(Db(), db);
  if (gEditDBArrForm) {
    EXPECT_EQ(DBArrBuf, db);
    EXPECT_EQ(EditorList()->count(), 4);
  }
}

namespace {

const CommandCase kCommandCases[] = {
    {"AddButton", 2, "Reading r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       frmArrU* w = t.OpenSong("song.arr");
       ASSERT_NE(w, nullptr);
       t.main_->MdiArea()->setActiveSubWindow(w);
       QTest::mouseClick(w->findChild<QPushButton*>("CommAdd"), Qt::LeftButton);
       t.WaitForBox();
       EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), " 0");
       EXPECT_EQ(t.Status(), "");
     }},
    {"UpdateMenu", 2, "Reading r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.main_->Item("mnuAggArr")->trigger();
       t.WaitForBox();
     }},
    {"UpdateMenuItalian", 1, "Lettura di r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.main_->Item("mnuAggArr")->trigger();
       t.WaitForBox();
     }},
    {"AddAll", 2, "Opening r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.OpenEditor();
       EditorButton("CommAddAll")->click();
       t.WaitForBox();
     }},
    {"DeleteButton", 2, "Edit r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.OpenEditor();
       ClickLine(EditorList(), 3);
       EditorButton("CommDelete")->click();
       t.Settle(0);
     }},
    {"DeleteKeyItalian", 1, "Edit r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.OpenEditor();
       ClickLine(EditorList(), 2);
       QTest::keyClick(EditorList(), Qt::Key_Delete);
       t.Settle(0);
     }},
    {"EditCut", 2, "Edit r40DBArr",
     [](DBArrUnwritableCommandTest& t) {
       t.OpenEditor();
       ClickLine(EditorList(), 3);
       t.ClickEditItem("mnuTaglia");
       t.WaitForBox();
     }},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Commands, DBArrUnwritableCommandTest, ::testing::ValuesIn(kCommandCases),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                           return std::string(info.param.name);
                         });
