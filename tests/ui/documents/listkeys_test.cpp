// The lists of the bank, document and database windows as the user selects
// lines with the keyboard as well as the mouse: the Edit menu and the
// window's buttons follow the selection however it changes (a click,
// Ctrl+click, Ctrl+Space, Shift+Down, Ctrl+A), and a key that only changes
// the selection sends nothing a window does not already send for it.
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmeditdbarr.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyun.h"

using namespace arrwintest;

namespace {

QListWidget* List1(ChildForm* w) { return w->findChild<QListWidget*>("List1"); }

// A click on a line with a modifier key held, as the user makes it.
void ClickLineWith(ChildForm* w, int row, Qt::KeyboardModifiers modifiers) {
  ClickLine(List1(w), row, Qt::LeftButton, modifiers);
}

// Ctrl+Space as the X platform delivers it: the Space key with Ctrl held
// and a text of one NUL character. The list's type-ahead search takes the
// text: " " would search for a line that starts with a blank, and an empty
// text for any line, moving to the next one.
void CtrlSpace(QListWidget* list) {
  const QString text(QChar(u'\0'));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::ControlModifier, text);
  QApplication::sendEvent(list, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::ControlModifier, text);
  QApplication::sendEvent(list, &release);
}

// A program file whose programs 0 and 1 are named, the others empty.
std::string TwoProgramFile() {
  std::string file = PrgFileBytes();
  MidAssign(file, 49, Nuls(64 * 172));
  MidAssign(file, 49, Chr(2) + Chr(0) + Chr(1) + PadRight("Piano", 16));
  MidAssign(file, 49 + 172, Chr(2) + Chr(0) + Chr(2) + PadRight("Organ", 16));
  return file;
}

}  // namespace

class ListKeysTest : public DocWindowTest {
 protected:
  void Activate(ChildForm* w) {
    main_->MdiArea()->setActiveSubWindow(w);
    Settle(0);
  }
  ChildForm* Opened(const char* item) {
    main_->Item(item)->trigger();
    return dynamic_cast<ChildForm*>(main_->MdiArea()->currentSubWindow());
  }
  ChildForm* OpenFile(const char* item, const std::string& file) {
    OpenThrough(item, file, false);
    return dynamic_cast<ChildForm*>(main_->MdiArea()->currentSubWindow());
  }
  // Line 0 of a window, copied through the Edit menu; the window is then
  // closed, and the clipboard keeps the line.
  void CopyLine0(const char* item) {
    ChildForm* source = Opened(item);
    ASSERT_NE(source, nullptr);
    Activate(source);
    ClickLineWith(source, 0, Qt::NoModifier);
    Settle(60);
    ClickEditItem("mnuCopia");
    source->close();
    Settle(0);
  }
};

TEST_F(ListKeysTest, TheMenuAndTheButtonsFollowTheSelectionWhateverChangesIt) {
  WriteBytes(ProgFile("band.arr"), ArrFile({{0, Rec("One", 7)}, {1, Rec("Two", 8)}}));
  WriteBytes(ProgFile("song.prg"), TwoProgramFile());
  WriteBytes(ProgFile("set.sty"), StyFileBytes(StyGroupBytes({{"Alpha", 40}, {"Beta", 40}})));
  const std::string songs = ProgFile("songs");
  ASSERT_EQ(MakeDirs(songs), 0);
  WriteBytes(songs + "/alpha.arr", ArrFileBytes());
  WriteBytes(songs + "/beta.arr", ArrFileBytes());
  WriteBytes(WinFile("r40DBArr"), DBArrBytes(songs, {{"alpha", 3}, {"beta", 4}}));
  StartPlain();

  struct Case {
    const char* window;
    std::function<ChildForm*()> open;
    int line;  // selected alone, this line and the one below offer the items
    std::vector<const char*> items;    // Edit menu items that follow
    std::vector<const char*> buttons;  // the window's buttons that follow
    bool extended;   // several lines may be selected (Shift+Down, Ctrl+A)
    bool keysSend;   // the window calls up a line the keyboard selects
  };
  const Case cases[] = {
      {"Arr A", [&] { return Opened("mnuArrA"); }, 0, {"mnuCopia"}, {}, true, false},
      {"Arr B", [&] { return Opened("mnuArrB"); }, 0, {"mnuCopia"}, {}, true, false},
      {"Program A", [&] { return Opened("mnuWProgA"); }, 0, {"mnuCopia"}, {}, true, false},
      {"program file", [&] { return OpenFile("mnuApriPrg", "song.prg"); }, 0, {"mnuCopia", "mnuTaglia"}, {}, true,
       false},
      {"new program file",
       [&] {
         CopyLine0("mnuWProgA");
         return Opened("mnuNuovoPrg");
       },
       0, {"mnuIncolla"}, {}, true, false},
      {"style file", [&] { return OpenFile("mnuApriSty", "set.sty"); }, 0, {"mnuCopia", "mnuTaglia"}, {}, true,
       false},
      {"new arrangement",
       [&] {
         CopyLine0("mnuArrA");
         return Opened("mnuNuovoArr");
       },
       0, {"mnuIncolla"}, {}, true, false},
      {"arrangement file", [&] { return OpenFile("mnuApriArr", "band.arr"); }, 0,
       {"mnuCopia", "mnuTaglia", "mnuEditArr"}, {"CommEdit"}, true, true},
      {"database editor", [&] { return Opened("mnuWEditDBArr"); }, 2, {"mnuTaglia", "mnuCancella", "mnuDBArrApri"},
       {"CommDelete", "CommApri"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    ChildForm* w = c.open();
    ASSERT_NE(w, nullptr);
    Activate(w);
    QListWidget* list = List1(w);
    const int line = c.line;
    // After each step, what the menu and the buttons offer; a key that only
    // changed the selection has sent nothing.
    auto offered = [&](bool on, const char* step, bool key) {
      SCOPED_TRACE(step);
      Settle(60);  // a bank window's call-up is a two-step one
      for (const char* item : c.items) EXPECT_EQ(Enabled(item), on) << item;
      for (const char* name : c.buttons) EXPECT_EQ(w->findChild<QPushButton*>(name)->isEnabled(), on) << name;
      if (key && !c.keysSend) {
        EXPECT_TRUE(Sent(*midi_).empty());
      }
      midi_->ClearRecords();
    };

    ClickLineWith(w, line, Qt::NoModifier);
    offered(true, "a click", false);
    CtrlSpace(list);
    ASSERT_EQ(list->currentRow(), line);
    ASSERT_TRUE(list->selectedItems().isEmpty());
    offered(false, "Ctrl+Space unselects the line", true);
    CtrlSpace(list);
    ASSERT_TRUE(list->item(line)->isSelected());
    offered(true, "Ctrl+Space selects it again", true);

    ClickLineWith(w, line, Qt::ControlModifier);
    ASSERT_TRUE(list->selectedItems().isEmpty());
    offered(false, "a Ctrl+click unselects it", false);
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(list->currentRow(), line + 1);
    ASSERT_EQ(list->selectedItems().size(), c.extended ? 2 : 1);
    offered(true, "Shift+Down", true);

    if (c.extended) {
      ClickLineWith(w, line + 1, Qt::ControlModifier);
      ClickLineWith(w, line, Qt::ControlModifier);
      ASSERT_TRUE(list->selectedItems().isEmpty());
      offered(false, "both unselected", false);
      QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
      ASSERT_EQ(list->selectedItems().size(), list->count());
      offered(true, "Ctrl+A", true);
    }
    w->close();
    Settle(0);
  }
}
