// The order in which the main window walks its child windows: the exit asks
// about them in the order they were opened, and Window > Cascade places them
// by its groups (the documents by kind and slot, then the windows of one
// kind each); neither follows the order the windows were last active in.
#include <QComboBox>
#include <QMdiArea>
#include <QTest>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "app/winpos.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmprgun.h"

class WindowOrderTest : public DocWindowTest {
 protected:
  frmPrgUN* OpenPrg(const std::string& name) {
    WriteBytes(ProgFile(name + ".prg"), PrgFileBytes());
    OpenThrough("mnuApriPrg", name + ".prg", false);
    return gPrgSlotUsed[gPrgSlotIdx] ? gPrgForms[gPrgSlotIdx] : nullptr;
  }
  // Another channel in the window's box, as the user picks it: the file is
  // then changed, and its close asks to save it.
  static void PickAnotherChannel(frmPrgUN* w) {
    auto* box = w->findChild<QComboBox*>("Combo1");
    box->setFocus();
    QTest::keyClick(box, box->currentIndex() < 15 ? Qt::Key_Down : Qt::Key_Up);
  }
  void Activate(ChildForm* w) {
    main_->MdiArea()->setActiveSubWindow(w);
    Settle(0);
  }
  static QPoint PlaceTwips(const ChildForm* w) { return {w->LeftTwips(), w->TopTwips()}; }
};

TEST_F(WindowOrderTest, TheExitAsksAboutTheWindowsInTheOrderTheyWereOpened) {
  StartPlain();
  std::vector<frmPrgUN*> windows;
  for (const char* name : {"one", "two", "three"}) {
    frmPrgUN* w = OpenPrg(name);
    ASSERT_NE(w, nullptr) << name;
    PickAnotherChannel(w);
    ASSERT_EQ(Asc(w->Tag(), 7), 1) << name;
    windows.push_back(w);
  }
  // Last active: three, then one, then two.
  for (int i : {2, 0, 1}) Activate(windows[i]);
  ASSERT_EQ(main_->MdiArea()->activeSubWindow(), windows[1]);

  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgNo, kMsgNo, kMsgNo};
  main_->Item("mnuExit")->trigger();
  Settle(0);
  std::vector<std::string> titles;
  for (const auto& box : dialogs_.boxes) titles.push_back(box.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"File Program - one.prg (1)", "File Program - two.prg (2)",
                                              "File Program - three.prg (3)"}));
  EXPECT_FALSE(main_->ExitRefused());
}

TEST_F(WindowOrderTest, CascadePlacesTheWindowsByItsGroupsWhateverWasActiveLast) {
  StartPlain();
  // Opened: Arrangement B, a program file, Arrangement A.
  main_->Item("mnuArrB")->trigger();
  frmArrAB* bankB = gArrABForms[kKindArrB];
  frmPrgUN* prg = OpenPrg("one");
  main_->Item("mnuArrA")->trigger();
  frmArrAB* bankA = gArrABForms[kKindArrA];
  ASSERT_TRUE(bankB && prg && bankA);
  // Last active: Arrangement A, Arrangement B, the program file.
  for (ChildForm* w : std::vector<ChildForm*>{bankA, bankB, prg}) Activate(w);
  ASSERT_EQ(main_->MdiArea()->activeSubWindow(), prg);

  main_->Item("mnuWCascade")->trigger();
  Settle(0);
  // The program files come before the bank windows, and the banks by kind.
  EXPECT_EQ(PlaceTwips(prg), QPoint(0, 0));
  EXPECT_EQ(PlaceTwips(bankA), QPoint(PixelsToTwips(TwipsToPixels(300)), PixelsToTwips(TwipsToPixels(330))));
  EXPECT_EQ(PlaceTwips(bankB), QPoint(PixelsToTwips(TwipsToPixels(600)), PixelsToTwips(TwipsToPixels(660))));
  EXPECT_EQ(gPrgSlots[1].Top, 330);
  EXPECT_EQ(gPrgSlots[1].Left, 300);
  EXPECT_EQ(gWinPosTab[kKindArrA].Top, 660);
  EXPECT_EQ(gWinPosTab[kKindArrB].Top, 990);
  // The window placed last is the active one.
  EXPECT_EQ(main_->MdiArea()->activeSubWindow(), bankB);
}
