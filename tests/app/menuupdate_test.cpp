#include "app/menuupdate.h"

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"

namespace {
const char* const kContext[] = {"mnuIngrandisci", "mnuTaglia",  "mnuIncolla",  "mnuCopia",    "mnuSalva",
                                "mnuSalvaAs",     "mnuLoadAll", "mnuLoadArr",  "mnuLoadSty",  "mnuShowSty",
                                "mnuLoadPrg",     "mnuShowPrg", "mnuEditArr",  "mnui40DBArr", "mnuCancella",
                                "mnuDBArrApri",   "mnuAddAll"};
}  // namespace

class MenuUpdateTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetMainView(&view_);
    for (const char* item : kContext) view_.enabled[item] = true;
  }
  // A child of the kind at its enlarged size, counted in.
  void Child(int kind, int height = 0, int width = 0, bool readOnly = false) {
    child_.tag = Chr(kind) + Chr(readOnly ? 1 : 0) + Nuls(18);
    child_.height = height;
    child_.width = width;
    view_.active = &child_;
    gToolWinCount = 1;
  }
  void Select(int index, const std::string& text) {
    child_.listIndex = index;
    child_.lines[index] = {true, text};
  }
  std::vector<std::string> On() const {
    std::vector<std::string> on;
    for (const char* item : kContext)
      if (view_.MenuEnabled(item)) on.push_back(item);
    return on;
  }
  FakeMainView view_;
  FakeChild child_;
};

TEST_F(MenuUpdateTest, WithoutAChildOnlyWindowAndCloseChange) {
  MenuUpdate();
  EXPECT_TRUE(On().empty());
  EXPECT_FALSE(view_.MenuEnabled("mnuWindow"));
  EXPECT_FALSE(view_.MenuEnabled("mnuChiudi"));
}

TEST_F(MenuUpdateTest, WhileClosingNothingChanges) {
  gClosing = true;
  MenuUpdate();
  EXPECT_EQ(On().size(), std::size(kContext));
}

TEST_F(MenuUpdateTest, AnUnloadingChildCountsAsNone) {
  Child(16, 5760, 8000);
  child_.unloading = true;
  MenuUpdate();
  EXPECT_TRUE(On().empty());
  EXPECT_FALSE(view_.MenuEnabled("mnuChiudi"));
}

TEST_F(MenuUpdateTest, TheEnlargeRuleComparesBothSizes) {
  Child(15, 5532, 9288);
  MenuUpdate();
  EXPECT_FALSE(view_.MenuEnabled("mnuIngrandisci"));
  EXPECT_TRUE(view_.MenuEnabled("mnuChiudi"));
  EXPECT_TRUE(view_.MenuEnabled("mnuWindow"));
  // Sizes are compared in whole pixels (15 twips here): one pixel more
  // enables it, a twip that rounds away does not.
  child_.width = 9290;
  MenuUpdate();
  EXPECT_FALSE(view_.MenuEnabled("mnuIngrandisci"));
  child_.width = 9288 + 15;
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuIngrandisci"));
  Child(16, 5760, 8000);
  MenuUpdate();
  EXPECT_TRUE(On().empty());
  Child(28, 1, 1);  // About: nothing
  MenuUpdate();
  EXPECT_TRUE(On().empty());
}

// A bank always exports through Save As; Copy only while a line is
// selected, the current one or another.
TEST_F(MenuUpdateTest, ArrangementBanksSaveAsAlwaysAndCopyOnlyWithASelection) {
  Child(2, gArrABBigHeight, gArrABBigWidth);
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuSalvaAs"}));
  child_.listIndex = 7;
  child_.lines[7] = {false, "18  Arr 7"};
  child_.lines[3] = {true, "14  Arr 3"};
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuCopia", "mnuSalvaAs"}));
}

TEST_F(MenuUpdateTest, AnArrangementFileRelaysItsButtonsAndFollowsItsSelection) {
  Child(19, gArrUBigHeight, gArrUBigWidth);
  child_.buttons = {{"CommLoadAll", true}, {"CommLoadArr", false}, {"CommShowPrg", true}, {"CommAdd", true}};
  Select(3, "14  Ballad");
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuTaglia", "mnuCopia", "mnuSalva", "mnuSalvaAs", "mnuLoadAll",
                                            "mnuShowPrg", "mnui40DBArr"}));
  // An empty slot pastes only an arrangement clipboard.
  Select(3, "14");
  gClipText = Chr(21) + "x";
  MenuUpdate();
  EXPECT_FALSE(view_.MenuEnabled("mnuIncolla"));
  EXPECT_EQ(gClipKind, 21);
  gClipText = Chr(3) + "x";
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuIncolla"));
}

TEST_F(MenuUpdateTest, ReadOnlyNeverCutsOrPastes) {
  Child(21, 1, 1, true);
  Select(0, "11  Piano");
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuCopia"));
  EXPECT_FALSE(view_.MenuEnabled("mnuTaglia"));
  Select(0, "11");
  gClipText = Chr(5) + "x";
  MenuUpdate();
  EXPECT_FALSE(view_.MenuEnabled("mnuIncolla"));
  // The Preferences option counts as read-only too; a global window keeps
  // Save As but loses Save.
  Child(25, 5640, 9072);
  view_.checked["mnuRdOnly"] = true;
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuSalvaAs"}));
  view_.checked["mnuRdOnly"] = false;
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuSalva", "mnuSalvaAs"}));

  // Documents keep Save off the same way, by their own flag or the option.
  for (int kind = 19; kind <= 24; ++kind) {
    SCOPED_TRACE(kind);
    for (const bool option : {false, true}) {
      Child(kind, 1, 1, !option);
      view_.checked["mnuRdOnly"] = option;
      MenuUpdate();
      EXPECT_FALSE(view_.MenuEnabled("mnuSalva"));
      EXPECT_TRUE(view_.MenuEnabled("mnuSalvaAs"));
    }
    view_.checked["mnuRdOnly"] = false;
    Child(kind, 1, 1);
    MenuUpdate();
    EXPECT_TRUE(view_.MenuEnabled("mnuSalva"));
  }
}

TEST_F(MenuUpdateTest, ProgramWindowsPasteOnlyPrograms) {
  Child(22, 1, 1);
  child_.buttons = {{"CommLoad", true}};
  Select(2, "13");
  gClipText = Chr(19) + "x";
  MenuUpdate();
  EXPECT_FALSE(view_.MenuEnabled("mnuIncolla"));
  EXPECT_TRUE(view_.MenuEnabled("mnuLoadPrg"));
  gClipText = Chr(6) + "x";
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuIncolla"));
}

TEST_F(MenuUpdateTest, StyleWindowsByTheirLines) {
  Child(23, gStyUNBigHeight, gStyUNBigWidth);
  child_.buttons = {{"CommLoadStyGrp_2", true}};
  Select(4, "----");  // a bank separator line: nothing from the list
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuSalva", "mnuSalvaAs", "mnuLoadSty"}));
  Select(6, "U12 Bossa");
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuCopia"));
  EXPECT_TRUE(view_.MenuEnabled("mnuTaglia"));
  Select(6, "U12 - empty -");
  gClipText = Chr(24) + "x";
  MenuUpdate();
  EXPECT_TRUE(view_.MenuEnabled("mnuIncolla"));
  EXPECT_FALSE(view_.MenuEnabled("mnuCopia"));
}

TEST_F(MenuUpdateTest, TheDatabaseEditorRelaysItsThreeButtons) {
  Child(12, 6072, 4308);
  child_.buttons = {{"CommDelete", true}, {"CommAddAll", true}};
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuCancella", "mnuAddAll"}));

  // Cut deletes the selected entry: on for a line of the database (2 on),
  // never for the bank lines 0 and 1.
  child_.buttons = {{"CommApri", true}};
  Select(1, " 2\tArrB");
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuDBArrApri"}));
  Select(2, " 3\tsong.arr");
  MenuUpdate();
  EXPECT_EQ(On(), (std::vector<std::string>{"mnuTaglia", "mnuDBArrApri"}));
}
