// The lists of the three arrangement windows as the user clicks them: the
// bank windows (Arr A, Arr B), the arrangement-file window and the
// new-arrangement window. A Ctrl+click that leaves its line unselected
// calls nothing up; Copy follows the selection in the bank windows; the
// right button on a window's body acts on its release.
#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QSignalSpy>

#include <functional>

#include <gtest/gtest.h>

#include "app/arrrec.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"

using namespace arrwintest;

namespace {

constexpr int kArrEntries = 10799;

QListWidget* List1(ChildForm* w) { return w->findChild<QListWidget*>("List1"); }

// A click on a line with a modifier key held, as the user makes it.
void ClickLineWith(ChildForm* w, int row, Qt::KeyboardModifiers modifiers) {
  ClickLine(List1(w), row, Qt::LeftButton, modifiers);
}

// A point of a window's body that no control covers.
QPoint BarePoint(QWidget* body) {
  for (int y = body->height() - 3; y > 0; y -= 4)
    for (int x = body->width() - 3; x > 0; x -= 4)
      if (!body->childAt(x, y)) return {x, y};
  return {};
}

}  // namespace

class ArrListsTest : public DocWindowTest {
 protected:
  frmArrAB* OpenBank(int kind) {
    main_->Item(kind == kKindArrA ? "mnuArrA" : "mnuArrB")->trigger();
    return gArrABForms[kind];
  }
  frmArrU* OpenArr(const std::string& file) {
    OpenThrough("mnuApriArr", file, false);
    return gArrUForms[gArrSlotIdx];
  }
  frmArrNew* NewArr() {
    main_->Item("mnuNuovoArr")->trigger();
    return gArrNewForms[gArrNewSlotIdx];
  }
  void Activate(ChildForm* w) {
    main_->MdiArea()->setActiveSubWindow(w);
    Settle(0);
  }
  // A new-arrangement window whose line 12 holds bank A's line 12, pasted
  // through the Edit menu.
  frmArrNew* NewArrWithLine12() {
    frmArrAB* bank = OpenBank(kKindArrA);
    Activate(bank);
    ClickLineWith(bank, 1, Qt::NoModifier);
    ClickEditItem("mnuCopia");
    bank->close();
    frmArrNew* w = NewArr();
    Activate(w);
    ClickLineWith(w, 1, Qt::NoModifier);
    ClickEditItem("mnuIncolla");
    return w;
  }
  // The call-ups that reach the wire after a click, once Timer(0) of a
  // bank window has fired.
  std::vector<std::string> SentAfter(const std::function<void()>& click) {
    midi_->ClearRecords();
    click();
    Settle(60);
    return Sent(*midi_);
  }
};

TEST_F(ArrListsTest, ALineACtrlClickLeavesUnselectedIsNotCalledUp) {
  WriteBytes(ProgFile("band.arr"), ArrFile({{1, Rec("Twelve", 7)}}));
  StartPlain();
  struct Case {
    const char* window;
    std::function<ChildForm*()> open;
    std::vector<std::string> callUp;  // of line 12
  };
  const Case cases[] = {
      {"Arr A", [&] { return OpenBank(kKindArrA); }, CallUp(0, 1)},
      {"Arr B", [&] { return OpenBank(kKindArrB); }, CallUp(0, 65)},
      {"band.arr", [&] { return OpenArr("band.arr"); }, CallUp(1, 1)},
      {"new arrangement", [&] { return NewArrWithLine12(); }, CallUp(1, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    ChildForm* w = c.open();
    ASSERT_NE(w, nullptr);
    Activate(w);
    QListWidget* list = List1(w);
    EXPECT_EQ(SentAfter([&] { ClickLineWith(w, 1, Qt::NoModifier); }), c.callUp);
    // A click on the selected line calls it up again.
    EXPECT_EQ(SentAfter([&] { ClickLineWith(w, 1, Qt::NoModifier); }), c.callUp);
    // Ctrl+click: the line stays current, unselected, and nothing goes out.
    EXPECT_TRUE(SentAfter([&] { ClickLineWith(w, 1, Qt::ControlModifier); }).empty());
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_FALSE(list->item(1)->isSelected());
    // Ctrl+click again selects it: called up.
    EXPECT_EQ(SentAfter([&] { ClickLineWith(w, 1, Qt::ControlModifier); }), c.callUp);
    EXPECT_TRUE(list->item(1)->isSelected());
    // With another line still selected, a Ctrl+click that deselects the
    // current line calls neither up.
    ClickLineWith(w, 3, Qt::NoModifier);
    EXPECT_EQ(SentAfter([&] { ClickLineWith(w, 1, Qt::ControlModifier); }), c.callUp);
    EXPECT_TRUE(SentAfter([&] { ClickLineWith(w, 1, Qt::ControlModifier); }).empty());
    EXPECT_EQ(list->currentRow(), 1);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->row(list->selectedItems()[0]), 3);
    Discard(w, 4);
  }
}

TEST_F(ArrListsTest, EditCopyIsOfferedForTheLinesALeftClickSelected) {
  StartPlain();
  for (int kind : {kKindArrA, kKindArrB}) {
    SCOPED_TRACE(kind);
    frmArrAB* bank = OpenBank(kind);
    ASSERT_NE(bank, nullptr);
    Activate(bank);
    ClickLineWith(bank, 0, Qt::NoModifier);
    Settle(60);
    ClickLineWith(bank, 2, Qt::ShiftModifier);
    Settle(60);  // the call-up of line 13 has gone out
    EXPECT_TRUE(Enabled("mnuCopia"));
    EXPECT_FALSE(Enabled("mnuTaglia"));
    EXPECT_FALSE(Enabled("mnuIncolla"));
    ClickEditItem("mnuCopia");
    ASSERT_EQ(gClipKind, kind);
    for (int line = 0; line < 4; ++line) EXPECT_EQ(Asc(gClipText, kArrEntries + 21 * line), line < 3 ? 1 : 0) << line;
    bank->close();
    Settle(0);
  }
}

TEST_F(ArrListsTest, TheRightButtonOnTheBodyPopsTheMenuUpOnItsRelease) {
  StartPlain();
  struct Case {
    const char* window;
    std::function<ChildForm*()> open;
  };
  const Case cases[] = {
      {"Arr A", [&] { return OpenBank(kKindArrA); }},
      {"new arrangement", [&] { return NewArr(); }},
  };
  QSignalSpy menus(main_->EditMenu(), &QMenu::aboutToShow);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    ChildForm* w = c.open();
    ASSERT_NE(w, nullptr);
    Activate(w);
    const int before = menus.count();
    // A point of the window's own body, beside its controls.
    QWidget* body = w->widget();
    const QPoint corner = BarePoint(body);
    ASSERT_EQ(body->childAt(corner), nullptr);
    QTest::mousePress(body, Qt::RightButton, Qt::NoModifier, corner);
    QContextMenuEvent press(QContextMenuEvent::Mouse, corner, body->mapToGlobal(corner));
    QApplication::sendEvent(body, &press);
    EXPECT_EQ(menus.count(), before);  // not on the press
    QTest::mouseRelease(body, Qt::RightButton, Qt::NoModifier, corner);
    EXPECT_EQ(menus.count(), before + 1);
    EXPECT_TRUE(main_->EditMenu()->isVisible());
    main_->EditMenu()->hide();
    // The list's right button, as the platform delivers it: once.
    QListWidget* list = List1(w);
    RightClickAsPlatform(list->viewport(), list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(menus.count(), before + 2);
    main_->EditMenu()->hide();
    w->close();
    Settle(0);
  }
}
