// The database editor: the load and its checks, the list and its columns,
// the selection rules of its buttons and of Edit > Cut, Delete, Add All over
// the database folder, Open of bank and file entries, and its record.
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "app/slots.h"
#include "files/clipboard.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "services/paths.h"
#include "tests/ui/documents/dbarrwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmeditdbarr.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

class FrmEditDBArrTest : public DBArrWinTest {
 protected:
  // Starts with the database given.
  void StartWith(const std::vector<DBArrEntry>& entries) {
    PutDb(entries);
    StartClean();
  }
  // View > r40DBArr.
  frmEditDBArr* OpenEditor() {
    main_->Item("mnuWEditDBArr")->trigger();
    return gEditDBArrForm;
  }

  static QListWidget* List() { return gEditDBArrForm->findChild<QListWidget*>("List1"); }
  static std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (int i = 0; i < List()->count(); ++i) out.push_back(ListItemText(List(), i));
    return out;
  }
  static std::string LabelText(const char* name) {
    return gEditDBArrForm->findChild<QLabel*>(name)->text().toStdString();
  }
  static QPushButton* Button(const char* name) { return gEditDBArrForm->findChild<QPushButton*>(name); }
  static bool On(const char* name) { return Button(name)->isEnabled(); }
  static int Selected() {
    const QList<QListWidgetItem*> items = List()->selectedItems();
    return items.size() == 1 ? List()->row(items[0]) : -1;
  }
  // A double click as the user makes it: press, release, the second press,
  // release.
  static void DoubleClick(int line) {
    QListWidget* list = List();
    const QPoint at = list->visualItemRect(list->item(line)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
  }
  // Until the timed step on timer has run its second phase.
  static bool StepDone(const char* timer) {
    return WaitFor([timer] {
      auto* t = gEditDBArrForm ? gEditDBArrForm->findChild<StepTimer*>(timer) : nullptr;
      return !t || (!t->isActive() && t->interval() == 10);
    });
  }
};

TEST_F(FrmEditDBArrTest, TheEditorListsTheDatabase) {
  StartWith({{"alpha", 4}, {"Song", 3}});
  ASSERT_TRUE(Enabled("mnuWEditDBArr"));
  frmEditDBArr* w = OpenEditor();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "Edit r40DBArr");
  EXPECT_EQ(w->Tag(), Chr(12) + Chr(0));
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 4\talpha.arr", " 3\tSong.arr"}));
  EXPECT_EQ(LabelText("Label3"), " 4/999");
  QLabel* label4 = w->findChild<QLabel*>("Label4");
  EXPECT_EQ(label4->text(), DBArrFolderText(QString::fromStdString(dir_), label4->fontMetrics()));
  EXPECT_TRUE(dir_.find(label4->text().mid(6).toStdString()) != std::string::npos);
  EXPECT_EQ(LabelText("Label1"), "File Name");
  EXPECT_EQ(LabelText("Label2"), "ID");
  EXPECT_EQ(Button("CommDelete")->text().toStdString(), "&Delete");
  EXPECT_EQ(Button("CommApri")->text().toStdString(), "&Open");
  EXPECT_EQ(Button("CommAddAll")->text().toStdString(), "Add All");
  EXPECT_EQ(Button("CommClose")->text().toStdString(), "&Close");
  EXPECT_EQ(Selected(), -1);
  EXPECT_FALSE(On("CommDelete"));
  EXPECT_FALSE(On("CommApri"));
  EXPECT_TRUE(On("CommClose"));
  EXPECT_FALSE(Enabled("mnuWEditDBArr"));
  EXPECT_TRUE(gDBArrEditOpen);
  EXPECT_EQ(gToolWinCount, 1);
  EXPECT_EQ(gWinPosTab[12].State, 1);
  // The buttons stand in one row at 5248 twips, 110 twips apart.
  const QRect del = Button("CommDelete")->geometry(), open = Button("CommApri")->geometry();
  EXPECT_EQ(del.top(), TwipsToPixels(5248));
  EXPECT_EQ(open.top(), del.top());
  EXPECT_EQ(open.left() - del.right() - 1, TwipsToPixels(110));
  EXPECT_TRUE(midi_->Calls().empty());

  // The window never grows beyond 4308 x 6072 twips.
  w->SetSizeTwips(9000, 9000);
  Settle();
  EXPECT_NEAR(w->HeightTwips(), 6072, 15);
  EXPECT_NEAR(w->WidthTwips(), 4308, 15);
  EXPECT_NEAR(gWinPosTab[12].Height, 6072, 15);
  w->SetSizeTwips(4000, 3000);
  Settle();
  EXPECT_NEAR(gWinPosTab[12].Width, 3000, 15);

  // Closing stores the place and size with state 0 and gives the item back.
  w->move(30, 45);
  w->findChild<QPushButton*>("CommClose")->click();
  Settle();
  EXPECT_EQ(gEditDBArrForm, nullptr);
  EXPECT_FALSE(gDBArrEditOpen);
  EXPECT_TRUE(Enabled("mnuWEditDBArr"));
  EXPECT_EQ(gToolWinCount, 0);
  EXPECT_EQ(gWinPosTab[12].State, 0);
  EXPECT_NEAR(gWinPosTab[12].Left, 450, 15);
  EXPECT_NEAR(gWinPosTab[12].Top, 675, 15);
  EXPECT_NEAR(gWinPosTab[12].Height, 4000, 15);
  EXPECT_NEAR(gWinPosTab[12].Width, 3000, 15);
}

TEST_F(FrmEditDBArrTest, TheListEndsAtTheFirstEndMarkAndANewDatabaseShowsTheBanks) {
  // Record 4 has a first byte 0 but keeps its ID; record 5 lies past it.
  std::string image = DBArrBytes(dir_, {{"a", 3}, {"b", 4}, {"c", 5}});
  MidAssign(image, DBArrRecPos(4), Chr(0));
  WriteBytes(WinFile("r40DBArr"), image);
  Start();
  OpenEditor();
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 3\ta.arr"}));
  EXPECT_EQ(LabelText("Label3"), " 3/999");
  gEditDBArrForm->close();
  Settle();

  WriteBytes(WinFile("r40DBArr"), DBArrBytes(dir_, {}));
  OpenEditor();
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB"}));
  EXPECT_EQ(LabelText("Label3"), " 2/999");
}

TEST_F(FrmEditDBArrTest, AMissingOrDamagedDatabaseOpensNoWindow) {
  const std::string good = DBArrBytes(dir_, {{"song", 3}});
  std::string badMagic = good;
  MidAssign(badMagic, 4, "x");
  struct Case {
    const char* what;
    bool present;
    std::string bytes;
    const char* box;
  };
  const Case cases[] = {
      {"missing", false, "", "File r40DBArr not found"},
      {"empty", true, "", "File r40DBArr not found"},
      {"wrong magic", true, badMagic, "File r40DBArr data error"},
      {"short", true, Left(good, 27000), "File r40DBArr data error"},
      {"long", true, good + "x", "File r40DBArr data error"},
  };
  StartWith({{"held", 3}});
  const std::string held = DBArrBuf;
  for (const Case& c : cases) {
    KillFile(WinFile("r40DBArr"));
    if (c.present) WriteBytes(WinFile("r40DBArr"), c.bytes);
    dialogs_.Clear();
    EXPECT_EQ(OpenEditor(), nullptr) << c.what;
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box}) << c.what;
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Edit r40DBArr"}) << c.what;
    // The file is left exactly as it was, a missing one is not made, and
    // nothing is counted or stored.
    EXPECT_EQ(Exists(WinFile("r40DBArr")), c.present) << c.what;
    EXPECT_EQ(Db(), c.bytes) << c.what;
    EXPECT_FALSE(gDBArrEditOpen) << c.what;
    EXPECT_EQ(gToolWinCount, 0) << c.what;
    EXPECT_EQ(gWinPosTab[12].State, 0) << c.what;
    EXPECT_EQ(DBArrBuf, held) << c.what;
  }
}

TEST_F(FrmEditDBArrTest, TheSelectionSetsOpenDeleteAndCut) {
  StartWith({{"alpha", 3}, {"beta", 4}});
  OpenEditor();
  EXPECT_FALSE(Enabled("mnuCancella"));
  EXPECT_FALSE(Enabled("mnuDBArrApri"));
  EXPECT_TRUE(Enabled("mnuAddAll"));

  ClickLine(List(), 1);  // bank B: open, but no delete and no cut
  EXPECT_TRUE(On("CommApri"));
  EXPECT_FALSE(On("CommDelete"));
  EXPECT_TRUE(Enabled("mnuDBArrApri"));
  EXPECT_FALSE(Enabled("mnuCancella"));
  EXPECT_FALSE(Enabled("mnuTaglia"));

  ClickLine(List(), 3);
  EXPECT_TRUE(On("CommApri"));
  EXPECT_TRUE(On("CommDelete"));
  EXPECT_TRUE(Enabled("mnuDBArrApri"));
  EXPECT_TRUE(Enabled("mnuCancella"));
  EXPECT_TRUE(Enabled("mnuTaglia"));

  // One line at a time.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    List()->visualItemRect(List()->item(2)).center());
  EXPECT_EQ(List()->selectedItems().size(), 1);

  // Activation: Cut follows the selected line.
  ClickLine(List(), 0);
  EXPECT_FALSE(Enabled("mnuTaglia"));
  main_->mnuArrA_Click();
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  EXPECT_TRUE(On("CommApri"));
  EXPECT_FALSE(Enabled("mnuTaglia"));
  ClickLine(List(), 2);
  main_->MdiArea()->setActiveSubWindow(gArrABForms[2]);
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  EXPECT_TRUE(Enabled("mnuTaglia"));
  EXPECT_TRUE(Enabled("mnuCancella"));
}

// The list holds one line at most: a Ctrl+click on the selected line
// unselects it and leaves nothing for Open, Delete or Cut.
TEST_F(FrmEditDBArrTest, ACtrlClickThatUnselectsTheLineTurnsOpenAndDeleteOff) {
  StartWith({{"alpha", 3}, {"beta", 4}});
  OpenEditor();
  const std::string before = Db();
  for (int line : {3, 1}) {
    SCOPED_TRACE(line);
    ClickLine(List(), line);
    ASSERT_TRUE(On("CommApri"));
    ASSERT_EQ(On("CommDelete"), line >= 2);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      List()->visualItemRect(List()->item(line)).center());
    ASSERT_EQ(Selected(), -1);
    EXPECT_FALSE(On("CommApri"));
    EXPECT_FALSE(On("CommDelete"));
    EXPECT_FALSE(Enabled("mnuDBArrApri"));
    EXPECT_FALSE(Enabled("mnuCancella"));
    EXPECT_FALSE(Enabled("mnuTaglia"));
    EXPECT_TRUE(On("CommAddAll"));
    // The Delete key has nothing to delete either.
    QTest::keyClick(List(), Qt::Key_Delete);
  }
  // A click selects again.
  ClickLine(List(), 2);
  EXPECT_TRUE(On("CommApri"));
  EXPECT_TRUE(On("CommDelete"));
  EXPECT_EQ(Db(), before);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmEditDBArrTest, DeleteRemovesTheSelectedEntryAndWritesTheDatabase) {
  PutSong("beta.arr");
  StartWith({{"alpha", 3}, {"beta", 5}, {"gamma", 4}});
  OpenEditor();
  // An open window of beta shows its ID until the entry goes.
  DoubleClick(3);
  ASSERT_TRUE(StepDone("Timer_2"));
  frmArrU* beta = gArrUForms[1];
  ASSERT_NE(beta, nullptr);
  EXPECT_EQ(beta->findChild<QLineEdit*>("Text1")->text().toStdString(), " 5");
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);

  ClickLine(List(), 3);
  Button("CommDelete")->click();
  EXPECT_EQ(Db(), DBArrBytes(dir_, {{"alpha", 3}, {"gamma", 4}}));
  EXPECT_EQ(DBArrBuf, Db());
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 3\talpha.arr", " 4\tgamma.arr"}));
  EXPECT_EQ(LabelText("Label3"), " 4/999");
  // The same line is selected again; Delete waits for a new click, Cut not.
  EXPECT_EQ(Selected(), 3);
  EXPECT_FALSE(On("CommDelete"));
  EXPECT_TRUE(On("CommApri"));
  EXPECT_TRUE(Enabled("mnuTaglia"));
  EXPECT_FALSE(Enabled("mnuCancella"));
  EXPECT_EQ(beta->findChild<QLineEdit*>("Text1")->text().toStdString(), " 0");
  EXPECT_EQ(gArrSlots[1].DbId, 0);

  // The Delete key on the last line: the line before it is selected.
  QTest::keyClick(List(), Qt::Key_Delete);
  EXPECT_EQ(Db(), DBArrBytes(dir_, {{"alpha", 3}}));
  EXPECT_EQ(Selected(), 2);

  // Edit > Delete (the relay) on the only entry: the bank lines stay, line
  // 1 is selected, and Cut goes off with it.
  ClickLine(List(), 2);
  main_->Item("mnuCancella")->trigger();
  ASSERT_TRUE(WaitFor([] { return List()->count() == 2; }));
  EXPECT_EQ(Db(), DBArrBytes(dir_, {}));
  EXPECT_EQ(Selected(), 1);
  EXPECT_EQ(LabelText("Label3"), " 2/999");
  EXPECT_FALSE(Enabled("mnuTaglia"));

  // The key on a bank line, and with nothing selected, does nothing.
  const std::string before = Db();
  QTest::keyClick(List(), Qt::Key_Delete);
  List()->clearSelection();
  gEditDBArrForm->findChild<StepTimer*>("TimerCancella")->start();
  Settle();
  EXPECT_EQ(Db(), before);
  EXPECT_EQ(List()->count(), 2);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmEditDBArrTest, EditCutDeletesTheSelectedEntryWhateverTheDeleteButtonShows) {
  StartWith({{"alpha", 3}, {"beta", 5}, {"gamma", 4}});
  OpenEditor();
  ClickLine(List(), 3);
  ClickEditItem("mnuTaglia");
  ASSERT_TRUE(StepDone("TimerCancella"));
  EXPECT_EQ(Db(), DBArrBytes(dir_, {{"alpha", 3}, {"gamma", 4}}));
  EXPECT_EQ(gClipKind, 12);  // Cut copied the editor's document only
  EXPECT_EQ(gClipText, gEditDBArrForm->Tag());

  // The same line is selected again, Delete is off, Cut is on and deletes.
  ASSERT_EQ(Selected(), 3);
  ASSERT_FALSE(On("CommDelete"));
  ASSERT_TRUE(Enabled("mnuTaglia"));
  ClickEditItem("mnuTaglia");
  ASSERT_TRUE(StepDone("TimerCancella"));
  EXPECT_EQ(Db(), DBArrBytes(dir_, {{"alpha", 3}}));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmEditDBArrTest, AFailedDeleteLeavesTheFileTheBufferAndTheList) {
  StartWith({{"alpha", 3}, {"beta", 4}});
  OpenEditor();
  const std::string before = Db();
  ClickLine(List(), 2);
  {
    FaultHook hook(FailOp("rename", kErrDiskFull));
    Button("CommDelete")->click();
  }
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Edit r40DBArr"});
  EXPECT_EQ(Db(), before);
  EXPECT_EQ(DBArrBuf, before);
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 3\talpha.arr", " 4\tbeta.arr"}));
  EXPECT_EQ(Selected(), 2);
  // Nothing is left beside the database.
  std::vector<std::string> files;
  ASSERT_EQ(ListFolderFiles(PathDir(WinFile("r40DBArr")), files), 0);
  for (const std::string& f : files) EXPECT_EQ(f.find("r40DBArr."), std::string::npos) << f;
}

TEST_F(FrmEditDBArrTest, AddAllEntersTheArrangementFilesOfTheFolder) {
  PutSong("b.arr");
  PutSong("A.ARR");
  PutSong("a.arr");  // the same name as A.ARR for the database
  PutSong("c.Arr");
  PutSong("e2345678901234567890123x.arr");  // 24 characters
  PutSong("e2345678901234567890123xy.arr");  // 25: passed over
  PutSong(".hidden.arr");
  PutSong("short.arr", Left(ArrFileBytes(), 9000));
  std::string wrongHeader = ArrFileBytes();
  MidAssign(wrongHeader, 7, Chr(2));
  PutSong("wrong.arr", wrongHeader);
  PutSong("x.txt");
  PutSong("locked.arr");
  PutSong("present.arr");
  ASSERT_EQ(MakeDirs(Song("dir.arr")), 0);
  ASSERT_EQ(::symlink("b.arr", Song("link.arr").c_str()), 0);
  ASSERT_EQ(::mkfifo(Song("pipe.arr").c_str(), 0644), 0);
  StartWith({{"Mid", 5}, {"present", 3}});
  // b.arr is open: its window takes its new ID.
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = Song("b.arr");
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuApriArr")->trigger();
  ASSERT_NE(gArrUForms[1], nullptr);
  EXPECT_EQ(gArrUForms[1]->findChild<QLineEdit*>("Text1")->text().toStdString(), " 0");

  OpenEditor();
  ClickLine(List(), 2);
  FaultHook hook([this](const std::string& op, const std::string& path, int) {
    return op == "open" && path == Song("locked.arr") ? kErrPathFileAccess : 0;
  });
  Button("CommAddAll")->click();
  EXPECT_EQ(Status(), "Update r40DBArr");
  ASSERT_TRUE(StepDone("Timer_0"));
  EXPECT_EQ(Status(), "");
  EXPECT_TRUE(dialogs_.boxes.empty());
  // In the database's order, each new name takes the lowest free ID;
  // "a" is "A" for the database, and present keeps its ID.
  const std::string expected = DBArrBytes(
      dir_, {{"A", 4}, {"b", 6}, {"c", 7}, {"e2345678901234567890123x", 8}, {"link", 9}, {"Mid", 5}, {"present", 3}});
  EXPECT_EQ(Db(), expected);
  EXPECT_EQ(DBArrBuf, expected);
  EXPECT_EQ(Lines(), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 4\tA.arr", " 6\tb.arr", " 7\tc.arr",
                                               " 8\te2345678901234567890123x.arr", " 9\tlink.arr", " 5\tMid.arr",
                                               " 3\tpresent.arr"}));
  EXPECT_EQ(LabelText("Label3"), " 9/999");
  // The rebuilt list has no selection.
  EXPECT_EQ(Selected(), -1);
  EXPECT_FALSE(On("CommDelete"));
  EXPECT_FALSE(On("CommApri"));
  EXPECT_FALSE(Enabled("mnuTaglia"));
  EXPECT_EQ(gArrUForms[1]->findChild<QLineEdit*>("Text1")->text().toStdString(), " 6");
  EXPECT_EQ(gArrSlots[1].DbId, 6);
  // The files of the folder are as they were.
  EXPECT_EQ(ReadBytes(Song("locked.arr")), ArrFileBytes());
  EXPECT_TRUE(Exists(Song("short.arr")));

  // Edit > Add All again: nothing new, every ID kept.
  main_->Item("mnuAddAll")->trigger();
  ASSERT_TRUE(WaitFor([this] { return Status() == "Update r40DBArr"; }));
  ASSERT_TRUE(StepDone("Timer_0"));
  EXPECT_EQ(Db(), expected);
}

TEST_F(FrmEditDBArrTest, AddAllStopsWhenTheDatabaseIsFullAndWritesWhatFitted) {
  std::vector<DBArrEntry> entries;
  for (int i = 0; i < 996; ++i) entries.push_back({"n" + CStr(1000 + i), 3 + i});
  PutSong("aaa.arr");
  PutSong("zzz.arr");
  StartWith(entries);
  OpenEditor();
  Button("CommAddAll")->click();
  ASSERT_TRUE(StepDone("Timer_0"));
  entries.insert(entries.begin(), {"aaa", 999});
  EXPECT_EQ(Db(), DBArrBytes(dir_, entries));
  EXPECT_EQ(LabelText("Label3"), " 999/999");
  EXPECT_EQ(Lines()[2], " 999\taaa.arr");
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmEditDBArrTest, AddAllOverAMissingFolderOrDatabaseWritesNothing) {
  PutSong("new.arr");
  StartWith({{"old", 3}});
  OpenEditor();
  const std::vector<std::string> shown = Lines();
  struct Case {
    const char* what;
    std::string db;  // the file when Add All runs ("-": none)
    const char* box;
  };
  const std::string good = DBArrBytes(dir_, {{"old", 3}});
  std::string damaged = good;
  MidAssign(damaged, 2, "x");
  const Case cases[] = {
      {"missing folder", DBArrBytes(ProgFile("nowhere"), {{"old", 3}}), "Reading Error"},
      {"damaged", damaged, "File r40DBArr data error"},
      {"short", Left(good, 100), "File r40DBArr data error"},
      {"empty", "", "File r40DBArr not found"},
      {"missing", "-", "File r40DBArr not found"},
  };
  const std::string held = DBArrBuf;
  for (const Case& c : cases) {
    KillFile(WinFile("r40DBArr"));
    if (c.db != "-") WriteBytes(WinFile("r40DBArr"), c.db);
    dialogs_.Clear();
    Button("CommAddAll")->click();
    ASSERT_TRUE(StepDone("Timer_0")) << c.what;
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box}) << c.what;
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening r40DBArr"}) << c.what;
    EXPECT_EQ(Exists(WinFile("r40DBArr")), c.db != "-") << c.what;
    if (c.db != "-") {
      EXPECT_EQ(Db(), c.db) << c.what;
    }
    EXPECT_EQ(DBArrBuf, held) << c.what;
    EXPECT_EQ(Lines(), shown) << c.what;
    EXPECT_EQ(Status(), "") << c.what;
  }

  // A write that fails: the old file, the buffer and the list stay.
  WriteBytes(WinFile("r40DBArr"), good);
  dialogs_.Clear();
  {
    FaultHook hook(FailOp("write", kErrDiskFull));
    Button("CommAddAll")->click();
    ASSERT_TRUE(StepDone("Timer_0"));
  }
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
  EXPECT_EQ(Db(), good);
  EXPECT_EQ(DBArrBuf, held);
  EXPECT_EQ(Lines(), shown);
}

TEST_F(FrmEditDBArrTest, OpenShowsABankWindowOrOpensTheEntrysFile) {
  PutSong("song.arr", BankImage({{"First", 3}}));
  PutSong("Upper.ARR");
  PutSong("citt\xC3\xA0.arr");
  StartWith({{"citt\xC3\xA0", 5}, {"gone", 4}, {"song", 3}, {"Upper", 6}});
  OpenEditor();
  EXPECT_EQ(Lines()[2], " 5\tcitt\xC3\xA0.arr");

  // The status names the file before the second phase opens it; nothing
  // is selected or sent in the new window.
  ClickLine(List(), 4);
  Button("CommApri")->click();
  EXPECT_EQ(Status(), "Opening song.arr");
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_EQ(Status(), "");
  frmArrU* song = gArrUForms[1];
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(RTrim(gArrSlots[1].Path), dir_ + "/song");
  EXPECT_TRUE(song->findChild<QListWidget*>("List1")->selectedItems().isEmpty());
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Asc(song->Tag(), 2), 0);
  EXPECT_EQ(song->findChild<QLineEdit*>("Text1")->text().toStdString(), " 3");

  // Open again: the file is open already, nothing more opens.
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  DoubleClick(4);
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_EQ(gArrWinCount, 1);

  // A name of the file system's bytes opens; with Read only ticked the
  // window is read-only, whatever an earlier Open dialog chose; a selection
  // by ID that another window runs stays its own.
  main_->Item("mnuRdOnly")->trigger();
  gOpenReadOnly = false;
  gArrSelectPending = true;
  gArrSelectIdx = 7;
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  DoubleClick(2);
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_TRUE(gArrSelectPending);
  gArrSelectPending = false;
  frmArrU* citta = gArrUForms[2];
  ASSERT_NE(citta, nullptr);
  EXPECT_EQ(RTrim(gArrSlots[2].Path), dir_ + "/citt\xC3\xA0");
  EXPECT_EQ(Asc(citta->Tag(), 2), 1);
  EXPECT_TRUE(citta->findChild<QListWidget*>("List1")->selectedItems().isEmpty());
  main_->Item("mnuRdOnly")->trigger();

  // ".ARR" on disk is found; a missing file says so.
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  DoubleClick(5);
  ASSERT_TRUE(StepDone("Timer_2"));
  ASSERT_NE(gArrUForms[3], nullptr);
  EXPECT_EQ(RTrim(gArrSlots[3].Path), dir_ + "/Upper");
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  DoubleClick(3);
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File not found"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening gone.arr"});
  EXPECT_EQ(gArrWinCount, 3);
  EXPECT_EQ(Status(), "");

  // With no line selected Open does nothing (Edit > Open's timer).
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  List()->clearSelection();
  dialogs_.Clear();
  gEditDBArrForm->findChild<StepTimer*>("TimerApri")->start();
  Settle();
  EXPECT_EQ(gArrWinCount, 3);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmEditDBArrTest, OpenOfABankLineShowsTheBankWindow) {
  StartWith({{"song", 3}});
  OpenEditor();
  // A state byte left by a refused exit, with no window behind it.
  gWinPosTab[2].State = 1;
  DoubleClick(0);
  ASSERT_TRUE(StepDone("Timer_2"));
  frmArrAB* a = gArrABForms[2];
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->findChild<QListWidget*>("List1")->selectedItems().isEmpty());
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_TRUE(Enabled("mnuWindow"));

  // Open: brought to the front, not loaded again.
  a->SetListText(0, "kept");
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  ClickLine(List(), 0);
  Button("CommApri")->click();
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_EQ(gArrABForms[2], a);
  EXPECT_EQ(main_->ActiveForm(), a);
  EXPECT_EQ(a->ListText(0), "kept");

  // Bank B's file is missing: its message, no window.
  KillFile(ProgFile("r40ArrB"));
  main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
  DoubleClick(1);
  ASSERT_TRUE(StepDone("Timer_2"));
  EXPECT_EQ(gArrABForms[3], nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File r40ArrB not found"});
}

TEST_F(FrmEditDBArrTest, EightOpenWindowsLeaveNoRoomAndTheEditorIsNeverReopened) {
  std::vector<DBArrEntry> entries;
  for (int i = 0; i < 9; ++i) {
    entries.push_back({"s" + CStr(i), 3 + i});
    PutSong("s" + CStr(i) + ".arr");
  }
  StartWith(entries);
  OpenEditor();
  for (int i = 0; i < 9; ++i) {
    main_->MdiArea()->setActiveSubWindow(gEditDBArrForm);
    DoubleClick(2 + i);
    ASSERT_TRUE(StepDone("Timer_2"));
  }
  EXPECT_EQ(gArrWinCount, 8);
  EXPECT_FALSE(Enabled("mnuApriArr"));
  EXPECT_TRUE(dialogs_.boxes.empty());

  // Open at exit: the editor's state byte is 0 all the same.
  main_->Item("mnuExit")->trigger();
  const std::string settings = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(Asc(settings, 51 + 9 * 11 + 8), 0);
}

TEST(DBArrFolderText, ShortensAWideFolderByShownCharacters) {
  const QFontMetrics metrics{QFont()};
  const QString narrow = QStringLiteral("/songs/live");
  EXPECT_EQ(DBArrFolderText(narrow, metrics), narrow);

  const QString wide = QStringLiteral("/sets/m\u00E9/") + QString(60, QLatin1Char('x')) + QStringLiteral("/\u00E8nd");
  const QString shown = DBArrFolderText(wide, metrics);
  ASSERT_TRUE(shown.startsWith(QStringLiteral("/se...")));
  EXPECT_TRUE(wide.endsWith(shown.mid(6)));
  // The tail is the longest one that fits in 3800 twips with the prefix,
  // less one character.
  const int budget = TwipsToPixels(3800) - metrics.horizontalAdvance(QStringLiteral("/se..."));
  int fits = 0, sum = 0;
  for (int i = wide.size() - 1; i >= 3; --i) {
    sum += metrics.horizontalAdvance(wide.at(i));
    if (sum > budget) break;
    ++fits;
  }
  EXPECT_EQ(shown.size() - 6, fits - 1);
  EXPECT_LE(metrics.horizontalAdvance(shown), TwipsToPixels(3800) + 2);
}
