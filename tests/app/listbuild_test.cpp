#include "app/listbuild.h"

#include <gtest/gtest.h>

#include <vector>

#include "services/mainview.h"
#include "app/nametables.h"
#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"
#include "tests/fixtures/filebuilders.h"

namespace {

// An arrangement window's WinTag (kind 19) whose own style group holds the
// given slots.
std::string ArrTag(const std::vector<StySlotDef>& slotList) {
  return StyWinTag(19, "/a/song", StyGroupBytes(slotList));
}

// Arrangement record i: in use, with style number `style`, own group or not.
void SetRec(std::string& tag, int i, int style, bool own) {
  const int pos = 303 + 164 * i;
  MidAssign(tag, pos, Chr(1));
  MidAssign(tag, pos + 17, Chr(style));
  MidAssign(tag, pos + 18, Chr(own ? 1 : 0));
}

std::vector<StySlotDef> OwnSlots(int n) {
  std::vector<StySlotDef> v;
  for (int k = 0; k < n; ++k) v.push_back({"Own" + CStr(k), 40});
  return v;
}

}  // namespace

class ListBuildTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    NameTablesBuild();
    view_.active = &win_;
    SetMainView(&view_);
  }

  void Select(std::initializer_list<int> lines) {
    for (int i : lines) win_.lines[i] = {true, ""};
  }

  static std::string Factory(int s) { return RTrim(gStyNames[s]); }

  FakeMainView view_;
  FakeChild win_;
};

TEST_F(ListBuildTest, OwnStylesAreNumberedU11ToU18ThenU21) {
  std::vector<StySlotDef> slotList = OwnSlots(10);
  slotList.push_back({"", 0});             // slot 10 empty: the list ends here
  slotList.push_back({"Hidden", 40});      // slot 11 is never listed
  std::string tag = ArrTag(slotList);
  SetRec(tag, 0, 5, false);
  SetRec(tag, 1, 11, true);             // an own style is not listed again
  StyListFill(tag);
  std::vector<std::string> want;
  for (int k = 0; k < 8; ++k) want.push_back("Own" + CStr(k) + " (U" + CStr(11 + k) + ")");
  want.push_back("Own8 (U21)");
  want.push_back("Own9 (U22)");
  want.push_back(Factory(5));
  EXPECT_EQ(win_.comboItems, want);

  // All 16 slots: the last is U28.
  StyListFill(ArrTag(OwnSlots(16)));
  ASSERT_EQ(win_.comboItems.size(), 16u);
  EXPECT_EQ(win_.comboItems[15], "Own15 (U28)");
}

TEST_F(ListBuildTest, FactoryStylesAreListedOnceInOrderOfFirstUse) {
  std::string tag = ArrTag({});
  SetRec(tag, 3, 70, false);
  SetRec(tag, 5, 2, false);
  SetRec(tag, 9, 70, false);
  SetRec(tag, 63, 127, false);
  SetRec(tag, 10, 200, false);                  // no such factory style
  SetRec(tag, 11, 9, false);
  MidAssign(tag, 303 + 164 * 11, Chr(0));       // slot not in use
  SetRec(tag, 12, 1, false);
  MidAssign(tag, 303 + 164 * 12 + 18, Chr(2));  // neither factory nor own
  StyListFill(tag);
  EXPECT_EQ(win_.comboItems, (std::vector<std::string>{Factory(70), Factory(2), Factory(127)}));
}

TEST_F(ListBuildTest, SelectionFollowsTheOneSelectedArrangement) {
  std::string tag = ArrTag(OwnSlots(3));
  SetRec(tag, 0, 40, false);
  SetRec(tag, 1, 2, true);
  SetRec(tag, 2, 12, true);   // own slot not listed
  SetRec(tag, 3, 20, true);   // own number beyond the group
  SetRec(tag, 4, 64, false);
  SetRec(tag, 5, 250, false); // factory number beyond the table
  // Slot 6 stays empty.

  struct Case {
    std::vector<int> selected;
    int index;  // the item selected, -1 none
  };
  const Case cases[] = {
      {{0}, 3},   // the factory style's item
      {{4}, 4},
      {{1}, 2},   // own slot 2: "Own2 (U13)"
      {{2}, -1},
      {{3}, -1},
      {{5}, -1},
      {{6}, -1},  // an empty slot
      {{}, -1},
      {{0, 4}, -1},
      {{1, 40, 63}, -1},
  };
  for (const Case& c : cases) {
    win_.lines.clear();
    for (int i : c.selected) Select({i});
    win_.Combo1SetListIndex(0);  // left from an earlier fill
    StyListFill(tag);
    ASSERT_EQ(win_.comboItems.size(), 5u);
    EXPECT_EQ(win_.comboIndex, c.index) << (c.selected.empty() ? -1 : c.selected[0]);
    if (c.index >= 0) EXPECT_EQ(win_.comboText, win_.comboItems[static_cast<size_t>(c.index)]);
    else EXPECT_EQ(win_.comboText, "");
  }
}

TEST_F(ListBuildTest, NamesEndAtTheirFirstNulAndDamagedDocumentsAreReadSafely) {
  // A name holding a NUL lists its first part; a length entry that points
  // past the end of the document gives a name cut at the end.
  std::string tag = ArrTag({{std::string("Ab\0cd", 5), 40}, {"Far", 40}});
  PutU16LE(tag, 42623 + 24 + 4, 60000);  // slot 1 claims more than is there
  tag.resize(tag.size() - 30);
  PutU16LE(tag, 42623 + 24 + 8, 50);     // slot 2 lies past the end
  StyListFill(tag);
  ASSERT_EQ(win_.comboItems.size(), 3u);
  EXPECT_EQ(win_.comboItems[0], "Ab (U11)");
  EXPECT_EQ(win_.comboItems[1], "Far (U12)");
  EXPECT_EQ(win_.comboItems[2], " (U13)");

  // A document cut short before its records or its group.
  for (int len : {0, 1, 400, 2000}) {
    std::string shortTag = Left(ArrTag({}), len);
    Select({0});
    StyListFill(shortTag);
    EXPECT_TRUE(win_.comboItems.empty()) << len;
    EXPECT_EQ(win_.comboText, "");
  }
}

TEST_F(ListBuildTest, NothingHappensWithoutAnActiveWindow) {
  view_.active = nullptr;
  StyListFill(ArrTag(OwnSlots(2)));
  SetMainView(nullptr);
  StyListFill(ArrTag(OwnSlots(2)));
  EXPECT_TRUE(win_.comboItems.empty());
}

TEST_F(ListBuildTest, NoteNames) {
  const std::pair<int, const char*> cases[] = {{0, "C-1"}, {11, "B-1"}, {12, "C0"}, {60, "C4"},  {61, "C#4"},
                                               {70, "A#4"}, {127, "G9"}, {-1, ""},  {128, ""}, {255, ""}};
  for (const auto& [key, name] : cases) EXPECT_EQ(NoteName(key), name) << key;
}

TEST_F(ListBuildTest, SplitPointNamesPutTheSharpAfterTheOctave) {
  const std::pair<int, const char*> cases[] = {{36, "C2"}, {47, "B2"}, {60, "C4"}, {61, "C4#"}, {70, "A4#"}, {96, "C7"}};
  for (const auto& [note, name] : cases) EXPECT_EQ(SplitPointName(note), name) << note;
}

TEST_F(ListBuildTest, ArrangementSlotNamesAndTheReducedSlot) {
  struct Case {
    int slot;
    const char* name;
    int after;
  };
  const Case cases[] = {{0, "A11", 0},  {7, "A18", 7},   {8, "A21", 8},   {63, "A88", 63},
                        {64, "B11", 0}, {100, "B55", 36}, {127, "B88", 63}};
  for (const Case& c : cases) {
    int slot = c.slot;
    EXPECT_EQ(ArrSlotName(slot), c.name) << c.slot;
    EXPECT_EQ(slot, c.after) << c.slot;
  }
}
