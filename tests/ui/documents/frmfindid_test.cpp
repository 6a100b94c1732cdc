// Find by ID: the window and its record, the IDs it takes, the call-up of
// bank arrangements and of database arrangements through a newly opened
// file window, every failure and what stays pending after it, and the
// restore at start-up.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/fixtures/settingsimage.h"
#include "tests/ui/documents/dbarrwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmfindid.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

class FrmFindIDTest : public DBArrWinTest {
 protected:
  void SetUp() override {
    DBArrWinTest::SetUp();
    PutSong("song.arr", BankImage());
    PutSong("other.arr", BankImage());
    PutDb({{"other", 4}, {"song", 3}});
  }
  // Edit > Find Arrangement (ID).
  frmFindID* OpenFind() {
    main_->Item("mnuWFindID")->trigger();
    return gFindIdForm;
  }
  static QLineEdit* Box() { return gFindIdForm->findChild<QLineEdit*>("Text1"); }
  // Types the ID as the user does and presses OK; waits for the search.
  void Find(const QString& id) {
    Box()->clear();
    bool ascii = true;
    for (QChar c : id) ascii = ascii && c.unicode() < 128;
    if (ascii) {
      QTest::keyClicks(Box(), id);
    } else {
      Box()->insert(id);  // as an input method enters it
    }
    gFindIdForm->findChild<QPushButton*>("CommOK")->click();
    EXPECT_EQ(Status(), "Opening ID =" + Trim(Utf8ToLatin1(id.toStdString())));
    ASSERT_TRUE(WaitFor([] { return !gFindIdForm->findChild<StepTimer*>("Timer")->isActive(); }));
  }
  // Until the chain of a window opened by ID has called up and released.
  static bool ChainDone() { return WaitFor([] { return !gArrSelectPending; }); }
  // Until a call-up (three messages) went out, and a while more, so that
  // anything sent twice shows.
  void WaitCallUp() {
    SettleUntil([this] { return Sent(*midi_).size() >= 3; }, 100);
  }
  static std::vector<std::string> FileCallUp(int program) {
    const int n = gChArrang & 0x0F;
    return {Chr(0xB0 | n) + Chr(0) + Chr(0), Chr(0xB0 | n) + Chr(0x20) + Chr(1), Chr(0xC0 | n) + Chr(program)};
  }
  static bool Selected(QListWidget* list, int line) {
    return list->selectedItems().size() == 1 && list->row(list->selectedItems()[0]) == line;
  }
};

TEST_F(FrmFindIDTest, TheWindowOpensFromTheEditMenuAndKeepsItsPlace) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(11, 600, 900, 100, 100, 0);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  StartClean();
  ASSERT_TRUE(Enabled("mnuWFindID"));
  frmFindID* w = OpenFind();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "Find Arrangement (ID)");
  EXPECT_EQ(w->Tag(), Chr(11) + Chr(0));
  EXPECT_EQ(Box()->text(), "");
  EXPECT_EQ(Box()->maxLength(), 5);
  EXPECT_TRUE(Box()->hasFocus());
  EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), "ID");
  EXPECT_EQ(w->findChild<QPushButton*>("CommOK")->text(), "&OK");
  // The place comes from the record, the size is the window's own.
  EXPECT_NEAR(w->TopTwips(), 600, 15);
  EXPECT_NEAR(w->LeftTwips(), 900, 15);
  EXPECT_GT(w->HeightTwips(), 100);
  // The label stands 300 twips left of the box, 70 twips below its top.
  const QRect box = Box()->geometry(), label = w->findChild<QLabel*>("Label1")->geometry();
  EXPECT_EQ(label.left(), box.left() - TwipsToPixels(300));
  EXPECT_EQ(label.top(), box.top() + TwipsToPixels(70));
  EXPECT_FALSE(Enabled("mnuWFindID"));
  EXPECT_TRUE(Enabled("mnuWindow"));
  EXPECT_EQ(gToolWinCount, 1);
  EXPECT_EQ(gWinPosTab[11].State, 1);
  w->showMinimized();
  Settle();
  EXPECT_EQ(gWinPosTab[11].State, 2);
  w->showNormal();
  Settle();

  w->move(15, 30);
  w->close();
  Settle();
  EXPECT_EQ(gFindIdForm, nullptr);
  EXPECT_TRUE(Enabled("mnuWFindID"));
  EXPECT_EQ(gToolWinCount, 0);
  EXPECT_EQ(gWinPosTab[11].State, 0);
  EXPECT_NEAR(gWinPosTab[11].Left, 225, 15);
  EXPECT_NEAR(gWinPosTab[11].Top, 450, 15);
}

TEST_F(FrmFindIDTest, OnlyThreeToFiveDigitsWithBankAndNumber1To8AreAnId) {
  StartClean();
  OpenFind();
  const QString bad[] = {"12", "1a1", "110", "119", "101", "191", "", "   ", "1 11", "+111",
                         QString::fromUtf8("\xD9\xA1\xD9\xA1\xD9\xA1")};  // digits of another script
  for (const QString& id : bad) {
    dialogs_.Clear();
    gArrSelectPending = true;  // left by an earlier search: cleared
    Find(id);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ID error"}) << id.toStdString();
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Find Arrangement (ID)"}) << id.toStdString();
    EXPECT_FALSE(gArrSelectPending) << id.toStdString();
    EXPECT_EQ(Status(), "");
  }
  EXPECT_TRUE(ArrIdValid("111"));
  EXPECT_TRUE(ArrIdValid("99988"));
  EXPECT_FALSE(ArrIdValid("999881"));
  EXPECT_TRUE(Sent(*midi_).empty());

  // Blanks around are trimmed and the box keeps the trimmed ID; Enter acts
  // as OK.
  dialogs_.Clear();
  Box()->clear();
  QTest::keyClicks(Box(), " 111 ");
  QTest::keyClick(Box(), Qt::Key_Return);
  EXPECT_EQ(Status(), "Opening ID =111");
  ASSERT_TRUE(WaitFor([] { return gArrABForms[2] != nullptr; }));
  EXPECT_EQ(Box()->text(), "111");
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmFindIDTest, ABankIdCallsTheArrangementUpInTheBankWindow) {
  StartClean();
  OpenFind();
  // Bank A closed: opened with the line selected, called up once.
  Find("123");
  frmArrAB* a = gArrABForms[2];
  ASSERT_NE(a, nullptr);
  WaitCallUp();
  EXPECT_EQ(Sent(*midi_), CallUp(0, 10));
  EXPECT_TRUE(Selected(a->findChild<QListWidget*>("List1"), 10));
  EXPECT_FALSE(gArrSelectPending);
  EXPECT_EQ(gDBArrId, 1);
  EXPECT_EQ(gFindIdSet, 1);

  // Open, the same line again, and another one: one call-up each.
  for (const auto& [id, line] : {std::pair<QString, int>{"123", 10}, {"188", 63}}) {
    midi_->ClearRecords();
    main_->MdiArea()->setActiveSubWindow(gFindIdForm);
    Find(id);
    WaitCallUp();
    EXPECT_EQ(Sent(*midi_), CallUp(0, line)) << id.toStdString();
    EXPECT_TRUE(Selected(a->findChild<QListWidget*>("List1"), line));
    EXPECT_FALSE(gArrSelectPending);
  }

  // Bank B's state byte outlived its window (a refused exit): opened
  // afresh, program change 64 + index.
  gWinPosTab[3].State = 1;
  midi_->ClearRecords();
  main_->MdiArea()->setActiveSubWindow(gFindIdForm);
  Find("212");
  ASSERT_NE(gArrABForms[3], nullptr);
  WaitCallUp();
  EXPECT_EQ(Sent(*midi_), CallUp(0, 64 + 1));
  EXPECT_EQ(gDBArrId, 2);
}

TEST_F(FrmFindIDTest, AMissingBankFileLeavesNothingPending) {
  KillFile(ProgFile("r40ArrB"));
  StartClean();
  OpenFind();
  Find("211");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File r40ArrB not found"});
  EXPECT_EQ(gArrABForms[3], nullptr);
  EXPECT_FALSE(gArrSelectPending);
  EXPECT_EQ(Status(), "");
}

TEST_F(FrmFindIDTest, ADatabaseIdOpensTheFileWithTheArrangementSelectedAndCallsItUp) {
  StartClean();
  OpenFind();
  gOpenReadOnly = true;  // from an earlier Open dialog: not taken over
  gArrOpenedByMenu = true;
  Find("312");
  frmArrU* w = gArrUForms[1];
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(RTrim(gArrSlots[1].Path), dir_ + "/song");
  EXPECT_TRUE(Selected(w->findChild<QListWidget*>("List1"), 1));
  EXPECT_EQ(Asc(w->Tag(), 2), 0);
  EXPECT_FALSE(gArrOpenedByMenu);
  ASSERT_TRUE(ChainDone());
  WaitCallUp();
  EXPECT_EQ(Sent(*midi_), FileCallUp(1));
  EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), " 3 12");
  EXPECT_EQ(gFindIdSet, 3);
  EXPECT_EQ(gDBArrId, 3);
  EXPECT_TRUE(dialogs_.boxes.empty());

  // The same file again: its window closes and opens afresh on the new
  // line; with Read only ticked it opens read-only.
  main_->Item("mnuRdOnly")->trigger();
  midi_->ClearRecords();
  main_->MdiArea()->setActiveSubWindow(gFindIdForm);
  Find("388");
  ASSERT_TRUE(ChainDone());
  EXPECT_EQ(gArrWinCount, 1);
  frmArrU* again = gArrUForms[1];
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(Selected(again->findChild<QListWidget*>("List1"), 63));
  EXPECT_EQ(Asc(again->Tag(), 2), 1);
  WaitCallUp();
  EXPECT_EQ(Sent(*midi_), FileCallUp(63));
}

TEST_F(FrmFindIDTest, ACancelledCloseEndsTheSearch) {
  StartClean();
  OpenFind();
  Find("411");
  ASSERT_TRUE(ChainDone());
  frmArrU* w = gArrUForms[1];
  ASSERT_NE(w, nullptr);
  MidAssign(w->WinTag(), 4, Chr(1));  // changed since
  midi_->ClearRecords();
  dialogs_.Clear();
  dialogs_.boxAnswers.push_back(kMsgCancel);
  main_->MdiArea()->setActiveSubWindow(gFindIdForm);
  Find("422");
  EXPECT_EQ(dialogs_.boxes.size(), 1u);  // the save prompt
  EXPECT_EQ(gArrUForms[1], w);
  EXPECT_EQ(gArrWinCount, 1);
  EXPECT_FALSE(gArrSelectPending);
  Settle();
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
}

TEST_F(FrmFindIDTest, FailuresOfTheDatabaseSearchLeaveNothingPending) {
  const std::string good = DBArrBytes(dir_, {{"gone", 5}, {"other", 4}, {"song", 3}});
  std::string badMagic = good;
  MidAssign(badMagic, 1, "R");
  struct Case {
    const char* what;
    const char* id;
    std::string db;  // "-": none
    const char* box;
    const char* title;
  };
  const Case cases[] = {
      {"not in the database", "611", good, "File ID = 611 not found", "Find Arrangement (ID)"},
      {"set 0", "011", good, "File ID = 011 not found", "Find Arrangement (ID)"},
      {"missing database", "311", "-", "File r40DBArr not found", "Find Arrangement (ID)"},
      {"empty database", "311", "", "File r40DBArr not found", "Find Arrangement (ID)"},
      {"wrong magic", "311", badMagic, "File r40DBArr data error", "Find Arrangement (ID)"},
      {"short", "311", Left(good, 27220), "File r40DBArr data error", "Find Arrangement (ID)"},
      {"missing file", "511", good, "File not found", "Opening gone.arr"},
  };
  StartClean();
  OpenFind();
  for (const Case& c : cases) {
    KillFile(WinFile("r40DBArr"));
    if (std::string(c.db) != "-") WriteBytes(WinFile("r40DBArr"), c.db);
    dialogs_.Clear();
    Find(c.id);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box}) << c.what;
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{c.title}) << c.what;
    EXPECT_FALSE(gArrSelectPending) << c.what;
    EXPECT_EQ(gArrWinCount, 0) << c.what;
    EXPECT_EQ(Status(), "") << c.what;
    // The database is left as it was, a missing one not made.
    EXPECT_EQ(Exists(WinFile("r40DBArr")), std::string(c.db) != "-") << c.what;
    if (std::string(c.db) != "-") {
      EXPECT_EQ(Db(), c.db) << c.what;
    }
  }
  EXPECT_TRUE(Sent(*midi_).empty());
}

TEST_F(FrmFindIDTest, EightOpenWindowsOpenNothingAndLeaveNothingPending) {
  std::vector<DBArrEntry> entries;
  for (int i = 0; i < 9; ++i) {
    entries.push_back({"s" + CStr(i), 3 + i});
    PutSong("s" + CStr(i) + ".arr", BankImage());
  }
  PutDb(entries);
  StartClean();
  OpenFind();
  for (int i = 0; i < 8; ++i) {
    main_->MdiArea()->setActiveSubWindow(gFindIdForm);
    Find(QString::number(3 + i) + "11");
    ASSERT_TRUE(ChainDone());
  }
  EXPECT_EQ(gArrWinCount, 8);
  EXPECT_FALSE(Enabled("mnuApriArr"));
  main_->MdiArea()->setActiveSubWindow(gFindIdForm);
  Find("1111");
  EXPECT_EQ(gArrWinCount, 8);
  EXPECT_FALSE(gArrSelectPending);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmFindIDTest, AtExitTheFindWindowStaysRecordedOpenAndTheEditorDoesNot) {
  StartClean();
  OpenFind();
  main_->Item("mnuWEditDBArr")->trigger();
  ASSERT_TRUE(gDBArrEditOpen);
  main_->Item("mnuExit")->trigger();
  const std::string settings = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(Asc(settings, 51 + 9 * 10 + 8), 1);
  EXPECT_EQ(Asc(settings, 51 + 9 * 11 + 8), 0);
}

TEST_F(FrmFindIDTest, AFindWindowOpenAtTheLastExitReopensWhenThereIsADatabase) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(11, 300, 450, 1200, 3900, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  Start();
  ASSERT_TRUE(WaitFor([] { return gFindIdForm != nullptr; }));
  EXPECT_NEAR(gFindIdForm->TopTwips(), 300, 15);
  EXPECT_FALSE(Enabled("mnuWFindID"));
  EXPECT_EQ(gToolWinCount, 1);
}

TEST_F(FrmFindIDTest, WithoutADatabaseTheFindWindowDoesNotReopen) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(11, 300, 450, 1200, 3900, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  KillFile(WinFile("r40DBArr"));
  Start();
  Settle(100);
  EXPECT_EQ(gFindIdForm, nullptr);
  EXPECT_FALSE(Enabled("mnuWFindID"));
}

TEST_F(FrmFindIDTest, ACancelledExitClosesBothDatabaseWindowsAndGivesTheirItemsBack) {
  StartClean();
  OpenFind();
  main_->Item("mnuWEditDBArr")->trigger();
  Find("311");
  ASSERT_TRUE(ChainDone());
  MidAssign(gArrUForms[1]->WinTag(), 4, Chr(1));
  dialogs_.boxAnswers.push_back(kMsgCancel);
  main_->Item("mnuExit")->trigger();
  Settle();
  EXPECT_TRUE(main_->ExitRefused());
  EXPECT_EQ(gFindIdForm, nullptr);
  EXPECT_EQ(gWinPosTab[11].State, 0);
  EXPECT_EQ(gWinPosTab[12].State, 0);
  EXPECT_TRUE(Enabled("mnuWFindID"));
  EXPECT_TRUE(Enabled("mnuWEditDBArr"));
  EXPECT_FALSE(gDBArrEditOpen);
  EXPECT_EQ(gToolWinCount, 0);
}
