// The arrangement-file window's own commands: Show Styles and Show Prog,
// which open its companion files in their windows, + r40DBArr, and the
// Delete key while the arrangement editor holds one of its arrangements.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/arrrec.h"
#include "app/dbarr.h"
#include "app/recent.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "files/datafiles.h"
#include "files/stygrp.h"
#include "platform/dialogs.h"
#include "services/paths.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyun.h"
#include "ui/editors/frmeditarr.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

class ArrCommandsTest : public DocWindowTest {
 protected:
  frmArrU* OpenArr(const std::string& name, bool readOnly = false) {
    OpenThrough("mnuApriArr", name + ".arr", readOnly);
    return gArrUForms[gArrSlotIdx];
  }
  static QPushButton* Button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }
  static QListWidget* List(QWidget* w) { return w->findChild<QListWidget*>("List1"); }
  void Press(QWidget* w, const char* button) {
    main_->MdiArea()->setActiveSubWindow(static_cast<QMdiSubWindow*>(w));
    QTest::mouseClick(Button(w, button), Qt::LeftButton);
    Settle(0);
  }
  // The open style-file windows (kind 23).
  std::vector<frmStyUN*> StyleWindows() const {
    std::vector<frmStyUN*> out;
    for (int k = 1; k <= 8; ++k)
      if (gStyForms[k] && !gStyForms[k]->Unloading()) out.push_back(gStyForms[k]);
    return out;
  }
  static std::string Group(const std::string& name0) {
    return StyGroupBytes({{name0, 40}, {"Second", 40}});
  }
  // The recent-file entry of a kind and path, nullptr for none.
  static const RecentFileRec* Recent(int kind, const std::string& path) {
    for (const RecentFileRec& rec : gRecentFiles)
      if (rec.Kind == kind && RTrim(rec.Path) == path) return &rec;
    return nullptr;
  }
};

TEST_F(ArrCommandsTest, ShowStylesOpensTheFilesOwnGroupOnceAsTheReadOnlyOptionSays) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("song.sty"), Group("First"));
  WriteBytes(ProgFile("plain.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartPlain();
  frmArrU* plain = OpenArr("plain");
  // Without its own styles the file has nothing to show.
  EXPECT_FALSE(Button(plain, "CommShowSty")->isEnabled());
  EXPECT_FALSE(Enabled("mnuShowSty"));
  frmArrU* w = OpenArr("song");
  EXPECT_TRUE(Button(w, "CommShowSty")->isEnabled());
  EXPECT_TRUE(Enabled("mnuShowSty"));

  // File > New Sty first: Show Styles still opens the file's window.
  main_->Item("mnuNuovoSty")->trigger();
  Settle(0);
  Press(w, "CommShowSty");
  ASSERT_EQ(StyleWindows().size(), 1u);
  frmStyUN* sty = StyleWindows()[0];
  const int slot = Asc(sty->Tag(), 15);
  EXPECT_EQ(sty->Kind(), kKindStyFile);
  EXPECT_EQ(gStySlots[slot].FromArr, 1);
  EXPECT_EQ(RTrim(Mid(sty->Tag(), 21, 238)), ProgFile("song"));
  EXPECT_EQ(Mid(sty->Tag(), kStyWinGrpBase), Mid(w->Tag(), kArrWinGrpBase));
  EXPECT_EQ(Asc(sty->Tag(), 2), 0);
  ASSERT_NE(Recent(2, ProgFile("song")), nullptr);
  EXPECT_EQ(Recent(2, ProgFile("song"))->Flag, 0);
  // Again (through the Edit menu): the same window comes forward.
  main_->MdiArea()->setActiveSubWindow(w);
  ClickEditItem("mnuShowSty");
  ASSERT_TRUE(WaitFor([&] { return main_->MdiArea()->activeSubWindow() == sty; }));
  EXPECT_EQ(StyleWindows().size(), 1u);

  // Read-only as the option is ticked now, whatever was opened before.
  sty->close();
  Settle(0);
  main_->Item("mnuRdOnly")->trigger();
  Press(w, "CommShowSty");
  ASSERT_EQ(StyleWindows().size(), 1u);
  EXPECT_EQ(Asc(StyleWindows()[0]->Tag(), 2), 1);
  StyleWindows()[0]->close();
  Settle(0);

  // All eight style windows in use: nothing opens, no slot record changes.
  for (int k = 1; k <= 8; ++k) gStySlotUsed[k] = 1;
  const StySlotRec before = gStySlots[3];
  Press(w, "CommShowSty");
  EXPECT_TRUE(StyleWindows().empty());
  EXPECT_EQ(gStySlots[3].FromArr, before.FromArr);
  EXPECT_EQ(gStySlots[3].Path, before.Path);
  for (int k = 1; k <= 8; ++k) gStySlotUsed[k] = 0;
}

TEST_F(ArrCommandsTest, ShowStylesClosesTheFilesOwnWindowFirstAndShowsWhatItSaved) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("song.sty"), Group("First"));
  StartPlain();
  OpenThrough("mnuApriSty", "song.sty", false);
  frmStyUN* alone = gStyForms[gStySlotIdx];
  ASSERT_NE(alone, nullptr);
  frmArrU* w = OpenArr("song");
  // The style window's group is changed: its first style is renamed.
  std::string* tag = alone->MutableTag();
  MidAssign(*tag, StyGrpSlotPos(0, Mid(*tag, kStyWinGrpBase)) + kStyWinGrpBase - 1, PadRight("Changed", 16));
  MidAssign(*tag, 10, Chr(1));

  // Its save prompt cancelled: it stays, comes forward, and nothing opens.
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgCancel};
  Press(w, "CommShowSty");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(StyleWindows(), std::vector<frmStyUN*>{alone});
  EXPECT_EQ(main_->MdiArea()->activeSubWindow(), alone);

  // Saved in the prompt: the new window shows the saved style, the style
  // box lists it, and the arrangement's next Save keeps it in the file.
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes};
  Press(w, "CommShowSty");
  ASSERT_EQ(StyleWindows().size(), 1u);
  frmStyUN* shown = StyleWindows()[0];
  ASSERT_NE(shown, alone);
  EXPECT_EQ(StyGrpSlotName(0, Mid(shown->Tag(), kStyWinGrpBase)), "Changed");
  EXPECT_EQ(StySlotName(0, w->Tag()), "Changed");
  EXPECT_EQ(w->Combo1List(0), "Changed (U11)");
  MidAssign(*w->MutableTag(), 4, Chr(1));
  main_->MdiArea()->setActiveSubWindow(w);
  main_->Item("mnuSalva")->trigger();
  Settle(0);
  EXPECT_EQ(StyGrpSlotName(0, ReadBytes(ProgFile("song.sty"))), "Changed");
}

TEST_F(ArrCommandsTest, ShowStylesRefusesWhenBothTheWindowAndTheFileHoldChanges) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("song.sty"), Group("First"));
  StartPlain();
  OpenThrough("mnuApriSty", "song.sty", false);
  frmStyUN* alone = gStyForms[gStySlotIdx];
  frmArrU* w = OpenArr("song");
  MidAssign(*w->MutableTag(), 10, Chr(1));  // the arrangement window's own styles changed
  dialogs_.Clear();
  Press(w, "CommShowSty");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File already open");
  EXPECT_EQ(StyleWindows(), std::vector<frmStyUN*>{alone});
}

TEST_F(ArrCommandsTest, ShowProgOpensTheCompanionProgramFileOnce) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 3)}}));
  WriteBytes(ProgFile("song.prg"), PrgFileBytes());
  WriteBytes(ProgFile("bare.arr"), ArrFile({{0, Rec("Bare", 3)}}));
  StartPlain();
  frmArrU* bare = OpenArr("bare");
  EXPECT_FALSE(Button(bare, "CommShowPrg")->isEnabled());
  frmArrU* w = OpenArr("song");
  EXPECT_TRUE(Button(w, "CommShowPrg")->isEnabled());
  EXPECT_TRUE(Enabled("mnuShowPrg"));
  main_->Item("mnuRdOnly")->trigger();
  Press(w, "CommShowPrg");
  frmPrgUN* prg = gPrgForms[gPrgSlotIdx];
  ASSERT_NE(prg, nullptr);
  EXPECT_EQ(prg->Kind(), kKindPrgFile);
  EXPECT_EQ(RTrim(Mid(prg->Tag(), 21, 238)), ProgFile("song"));
  EXPECT_EQ(Asc(prg->Tag(), 2), 1);
  ASSERT_NE(Recent(3, ProgFile("song")), nullptr);
  EXPECT_EQ(Recent(3, ProgFile("song"))->Flag, 1);
  Press(w, "CommShowPrg");
  EXPECT_EQ(main_->MdiArea()->activeSubWindow(), prg);
  int windows = 0;
  for (int k = 1; k <= 8; ++k) windows += gPrgForms[k] && !gPrgForms[k]->Unloading();
  EXPECT_EQ(windows, 1);

  // A program file gone since the load: no window and no recent entry.
  prg->close();
  Settle(0);
  for (RecentFileRec& rec : gRecentFiles) rec = RecentFileRec();
  std::remove(ProgFile("song.prg").c_str());
  Press(w, "CommShowPrg");
  windows = 0;
  for (int k = 1; k <= 8; ++k) windows += gPrgForms[k] && !gPrgForms[k]->Unloading();
  EXPECT_EQ(windows, 0);
  EXPECT_EQ(Recent(3, ProgFile("song")), nullptr);
}

TEST_F(ArrCommandsTest, AddToTheDatabaseShowsTheIdAndClearsTheStatus) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 3)}}));
  WriteBytes(ProgFile("more.arr"), ArrFile({{0, Rec("More", 3)}}));
  std::string db = DBArrNewImage();
  MidAssign(db, kDBArrDirPos, PadRight(PathDir(ProgFile("song")), kDBArrDirLen));
  WriteBytes(WinFile("r40DBArr"), db);
  StartPlain();
  frmArrU* w = OpenArr("song");
  EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), " 0");
  ASSERT_TRUE(Button(w, "CommAdd")->isEnabled());
  EXPECT_TRUE(Enabled("mnui40DBArr"));
  Press(w, "CommAdd");
  EXPECT_EQ(Status(), "Update r40DBArr");
  ASSERT_TRUE(WaitFor([this] { return Status().empty(); }));
  EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), " 3");
  EXPECT_EQ(gArrSlots[Asc(w->Tag(), 15)].DbId, 3);
  EXPECT_EQ(DBArrFindID(ProgFile("song")), 3);

  // With the automatic update ticked the command is off.
  main_->Item("mnuAddi40DBArr")->trigger();
  frmArrU* again = OpenArr("more");
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(Button(again, "CommAdd")->isEnabled());
  EXPECT_FALSE(Enabled("mnui40DBArr"));
}

TEST_F(ArrCommandsTest, DeleteOfTheEditedArrangementClosesTheEditorFirst) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Edited", 3)}, {1, Rec("Other", 3)}}));
  StartPlain();
  for (bool readOnly : {true, false}) {
    SCOPED_TRACE(readOnly ? "read-only" : "writable");
    frmArrU* w = OpenArr("song", readOnly);
    main_->MdiArea()->setActiveSubWindow(w);
    ClickLine(List(w), 0);
    QTest::mouseClick(Button(w, "CommEdit"), Qt::LeftButton);
    Settle(0);
    ASSERT_TRUE(gEditArrForm);
    QTest::mouseClick(gEditArrForm->findChild<QCheckBox*>("Check1_0"), Qt::LeftButton);
    const std::string doc = w->Tag();
    main_->MdiArea()->setActiveSubWindow(w);
    dialogs_.Clear();
    dialogs_.boxAnswers = {kMsgCancel};
    QTest::keyClick(List(w), Qt::Key_Delete);
    Settle(0);
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    if (readOnly) {
      // Refused before anything else: the list, the document and the editor
      // stay.
      EXPECT_EQ(dialogs_.boxes[0].text, "Read only file");
      EXPECT_EQ(w->Tag(), doc);
      EXPECT_EQ(w->ListText(0), "11  Edited          ");
      ASSERT_TRUE(gEditArrForm);
      dialogs_.Clear();
      dialogs_.boxAnswers = {kMsgNo, kMsgNo};
      ASSERT_TRUE(w->close());
      Settle(0);
      continue;
    }
    // The editor's prompt comes first; its Cancel cuts nothing.
    EXPECT_NE(dialogs_.boxes[0].text.find("The Arrangement has changed."), std::string::npos);
    EXPECT_EQ(w->ListText(0), "11  Edited          ");
    ASSERT_TRUE(gEditArrForm);
    // Yes stores, closes the editor, then cuts.
    dialogs_.Clear();
    dialogs_.boxAnswers = {kMsgYes};
    QTest::keyClick(List(w), Qt::Key_Delete);
    Settle(0);
    EXPECT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_FALSE(gEditArrForm);
    EXPECT_FALSE(gArrEditLinked);
    EXPECT_EQ(w->ListText(0), "11");
    EXPECT_EQ(Mid(w->Tag(), ArrRecPos(0), 164), Nuls(164));
    EXPECT_EQ(Mid(gClipText, ArrRecPos(0) + 27, 1), Chr(1));  // the stored change went to the clipboard
  }
}
