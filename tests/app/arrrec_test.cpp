#include "app/arrrec.h"

#include <gtest/gtest.h>

#include "app/nametables.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"

namespace {
// An arrangement-file window's document: kind 19, slot 2, a path, an .arr
// image, the program image of its companion file from 12,191 on.
std::string ArrDoc() {
  std::string doc = Chr(19) + Nuls(19) + PadRight("/songs/live", 250) + std::string(10528, '\0');
  MidAssign(doc, 15, Chr(2));
  doc += std::string(12191 + 172 * 64 - static_cast<int>(doc.size()) - 1, '\0');
  return doc;
}
void SetRecordByte(std::string& doc, int index, int offset, int value) {
  MidAssign(doc, ArrRecPos(index) + offset, Chr(value));
}
}  // namespace

class ArrRecTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    NameTablesBuild();
    SetMainView(&view_);
    owner_.tag = ArrDoc();
    view_.active = &owner_;
    SetArrFileWindowLookup([this](int slot) -> ChildView* { return slot == 2 ? &owner_ : nullptr; });
  }
  FakeMainView view_;
  FakeChild owner_;
};

TEST_F(ArrRecTest, BuildTakesTheRecordTheOwnerAndTheNames) {
  std::string& doc = owner_.tag;
  MidAssign(doc, ArrRecPos(5), "Live Ballad     ");
  SetRecordByte(doc, 5, 17, 61);  // factory style "Tikytikità"
  SetRecordByte(doc, 5, 18, 0);
  SetRecordByte(doc, 5, 39 + 8 * 2, 12);  // bass: user program 12
  SetRecordByte(doc, 5, 40 + 8 * 2, 3);
  ArrEditBufBuild(doc, 5);
  EXPECT_EQ(gArrEditBuf.size(), 567u);
  EXPECT_EQ(Left(gArrEditBuf, 164), Mid(doc, ArrRecPos(5), 164));
  EXPECT_EQ(Mid(gArrEditBuf, 165, 16), PadRight(Utf8ToLatin1("Tikytikit\xC3\xA0"), 16));
  EXPECT_EQ(Mid(gArrEditBuf, 181 + 32, 16), PadRight("UserPrg12", 16));  // no program image
  EXPECT_EQ(Mid(gArrEditBuf, 181, 16), Space(16));
  EXPECT_EQ(Mid(gArrEditBuf, 325, 5), Chr(19) + Chr(5) + Chr(2) + "  ");
  EXPECT_EQ(Mid(gArrEditBuf, 330, 4), "live");

  // With the companion program image: a blank name is UserPrg, a record
  // opening with 0 or 1 has no name.
  MidAssign(doc, 6, Chr(1));
  MidAssign(doc, 12191 + 172 * 12, PadRight("Acid Bass", 16));
  ArrEditBufBuild(doc, 5);
  EXPECT_EQ(Mid(gArrEditBuf, 181 + 32, 16), PadRight("Acid Bass", 16));
  MidAssign(doc, 12191 + 172 * 12, Space(16));
  ArrEditBufBuild(doc, 5);
  EXPECT_EQ(Mid(gArrEditBuf, 181 + 32, 16), PadRight("UserPrg12", 16));
  MidAssign(doc, 12191 + 172 * 12, Chr(1) + "Ref");
  ArrEditBufBuild(doc, 5);
  EXPECT_EQ(Mid(gArrEditBuf, 181 + 32, 16), Space(16));
}

TEST_F(ArrRecTest, StyleNamesByTheirSource) {
  std::string& doc = owner_.tag;
  SetRecordByte(doc, 0, 18, 1);
  SetRecordByte(doc, 0, 17, 0);
  ArrEditBufBuild(doc, 0);
  EXPECT_EQ(RTrim(Mid(gArrEditBuf, 165, 16)), "UserStyle0");
  SetRecordByte(doc, 0, 17, 20);  // beyond the 16 slots of a group
  ArrEditBufBuild(doc, 0);
  EXPECT_EQ(RTrim(Mid(gArrEditBuf, 165, 16)), "");
  SetRecordByte(doc, 0, 18, 0);
  SetRecordByte(doc, 0, 17, 200);  // beyond the factory styles
  ArrEditBufBuild(doc, 0);
  EXPECT_EQ(RTrim(Mid(gArrEditBuf, 165, 16)), "");
  const std::string before = gArrEditBuf;
  ArrEditBufBuild(doc, 64);  // outside the bank: nothing
  EXPECT_EQ(gArrEditBuf, before);
}

TEST_F(ArrRecTest, StoreWritesBackAndRenamesTheListLine) {
  owner_.lines[3] = {false, "14  Old name"};
  ArrEditBufBuild(owner_.tag, 3);
  MidAssign(gArrEditBuf, 1, "New name  ");
  gArrModified = true;
  EXPECT_EQ(ArrEditBufStore("Editor"), 0);
  EXPECT_EQ(Mid(owner_.tag, ArrRecPos(3), 10), "New name  ");
  EXPECT_EQ(Asc(owner_.tag, 4), 1);
  EXPECT_FALSE(gArrModified);
  EXPECT_EQ(owner_.lines[3].second, "14  Old name");  // the name was not typed
  gArrNameChanged = true;
  EXPECT_EQ(ArrEditBufStore("Editor"), 0);
  EXPECT_EQ(owner_.lines[3].second, "14  New name  " + std::string(6, '\0'));
  EXPECT_FALSE(gArrNameChanged);
}

TEST_F(ArrRecTest, StoreIntoAReadOnlyOrMissingOwnerChangesNothing) {
  ArrEditBufBuild(owner_.tag, 3);
  MidAssign(gArrEditBuf, 1, "Changed");
  gArrModified = true;
  gArrNameChanged = true;
  MidAssign(owner_.tag, 2, Chr(1));
  const std::string before = owner_.tag;
  gLangBase = 200;
  EXPECT_EQ(ArrEditBufStore("Editor"), 1);
  EXPECT_EQ(owner_.tag, before);
  EXPECT_TRUE(gArrModified);
  EXPECT_TRUE(gArrNameChanged);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Read only file");
  EXPECT_EQ(dialogs_.boxes[0].title, "Editor");

  MidAssign(gArrEditBuf, 327, Chr(5));  // no window in slot 5
  EXPECT_EQ(ArrEditBufStore("Editor"), 1);
  EXPECT_TRUE(gArrModified);
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

TEST_F(ArrRecTest, ClearAndCopyInPlaceWithTheirListLines) {
  owner_.lines[0] = {true, "11  Intro"};
  MidAssign(owner_.tag, ArrRecPos(0), std::string(164, 'x'));
  ArrRecClear(0, owner_.tag);
  EXPECT_EQ(Mid(owner_.tag, 303, 164), Nuls(164));
  EXPECT_EQ(Asc(owner_.tag, 3), 2);
  EXPECT_EQ(owner_.lines[0].second, "11");

  gClipText = ArrDoc();
  MidAssign(gClipText, ArrRecPos(7), std::string(164, 'y'));
  gPasteName = "18  Pasted name   ";
  owner_.lines[9] = {true, "22"};
  ArrRecCopy(7, 9, owner_.tag);
  EXPECT_EQ(Mid(owner_.tag, ArrRecPos(9), 164), std::string(164, 'y'));
  EXPECT_EQ(owner_.lines[9].second, "22  Pasted name");
}
