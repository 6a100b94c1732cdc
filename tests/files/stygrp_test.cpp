// The style group's slot operations.
#include "files/stygrp.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "tests/files/files_fixture.h"
#include "tests/fixtures/filebuilders.h"

namespace {

// A group of n named slots with the given lengths.
std::string NamedGroup(const std::vector<std::pair<std::string, int>>& slotList) {
  std::vector<StySlotDef> specs;
  char fill = 'a';
  for (const auto& [name, len] : slotList) specs.push_back({name, len, fill++});
  return StyGroupBytes(specs);
}

// A full group of 16 slots; names[k] names slot k, the rest "- empty -".
std::string FullGroup(const std::vector<std::string>& names, int len = 40) {
  std::vector<std::pair<std::string, int>> slotList;
  for (int k = 0; k < 16; ++k)
    slotList.push_back({k < static_cast<int>(names.size()) ? names[k] : "- empty -", len});
  return NamedGroup(slotList);
}

struct Put {
  int slotOut;
  int srcSlot;
  std::string src;
  int mode;
  int result;
};

Put PutSlot(int slotOut, int srcSlot, std::string src, int mode, std::string& dst) {
  Put p{slotOut, srcSlot, std::move(src), mode, 0};
  p.result = StyGrpPutSlot(p.slotOut, p.srcSlot, p.src, p.mode, dst);
  return p;
}

}  // namespace

TEST_F(FilesTest, SlotLengthsPositionsAndNames) {
  // Slots 0-3 present, 4 absent, 5 present after it.
  const std::string g =
      NamedGroup({{"One", 100}, {"Two", 200}, {"Three", 300}, {"Four", 400}, {"", 0}, {"Six", 50}});
  EXPECT_EQ(StyGrpSlotLen(1, g), 200);
  EXPECT_EQ(StyGrpSlotLen(4, g), 0);
  EXPECT_EQ(StyGrpSlotLen(16, g), 0);
  EXPECT_EQ(StyGrpSlotLen(-1, g), 0);
  EXPECT_EQ(StyGrpSlotPos(0, g), 225);
  EXPECT_EQ(StyGrpSlotPos(3, g), 225 + 600);
  EXPECT_EQ(StyGrpSlotPos(4, g), 225 + 1000);
  EXPECT_EQ(StyGrpSlotPos(5, g), 0);
  EXPECT_EQ(StyGrpSlotPos(16, g), 0);
  EXPECT_EQ(StyGrpSlotName(2, g), "Three");
  // The absent slot takes no room: slot 5's data follow slot 3's.
  EXPECT_EQ(StyGrpSlotName(5, g), "Six");
  EXPECT_EQ(StyGrpSlotName(4, g), "");
  EXPECT_EQ(StyGrpSlotName(6, g), "");
  EXPECT_EQ(StyGrpSlotName(16, g), "");
  EXPECT_EQ(StyGrpBankSize(2, g), 1000);
  EXPECT_EQ(StyGrpBankSize(5, g), 50);
  EXPECT_EQ(StyGrpBankSize(99, g), 0);

  // The same group inside the two kinds of window.
  const std::string styTag = StyWinTag(23, "x", g);
  const std::string arrTag = StyWinTag(19, "x", g);
  EXPECT_EQ(StySlotName(5, styTag), "Six");
  EXPECT_EQ(StySlotName(1, arrTag), "Two");
  EXPECT_EQ(ArrStySlotLen(3, arrTag), 400);
  EXPECT_EQ(ArrStySlotPos(0, arrTag), 42847);
  EXPECT_EQ(ArrStySlotPos(1, arrTag), 42947);
  EXPECT_EQ(ArrStySlotPos(5, arrTag), 0);
  EXPECT_EQ(StyBankSizeInTag(0, styTag), 1224);
  EXPECT_EQ(StyGrpTotalLen(arrTag), 1274);
  EXPECT_EQ(StyGrpTotalLen(styTag), 1274);
}

TEST_F(FilesTest, NothingReadsPastAShortGroup) {
  std::string g = NamedGroup({{"One", 100}});
  PutU16LE(g, 25 + 4, 30000);  // slot 1 claims data that are not there
  EXPECT_EQ(StyGrpSlotName(1, g), "");
  EXPECT_EQ(StyGrpSlotName(2, Left(g, 20)), "");
  EXPECT_EQ(StyGrpSlotLen(15, Left(g, 10)), 0);
  EXPECT_EQ(StyBankCount(StyWinTag(23, "x", Left(g, 30))), 4);
  EXPECT_EQ(StySlotName(0, std::string(1, '\x17')), "");
}

TEST_F(FilesTest, BankCountAndUsedPart) {
  std::vector<std::string> lastOnly(15, "- empty -");
  lastOnly.push_back("Last");
  const struct {
    const char* label;
    std::string group;
    int banks;
  } cases[] = {
      {"template only", StyTemplateFileImage(), 4},
      {"all sixteen empty", FullGroup({}), 0},
      {"slot 0 named", FullGroup({"Rock"}), 1},
      {"slots 0-11 named", FullGroup({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}), 3},
      {"slot 15 named", FullGroup(lastOnly), 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(StyBankCount(StyWinTag(23, "x", c.group)), c.banks);
    EXPECT_EQ(StyBankCount(StyWinTag(20, "x", c.group)), c.banks);
  }

  // Banks 0-2 kept: the entries of slots 12-15 become 0 and the tag ends
  // after slot 11; the unread entry bytes and the header's tail stay.
  std::string g = FullGroup({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}, 40);
  for (int k = 0; k < 16; ++k) MidAssign(g, 27 + 4 * k, "\x11\x22");
  MidAssign(g, 89, std::string(136, '\x5A'));
  std::string tag = StyWinTag(19, "x", g);
  EXPECT_EQ(StyGrpUsedPart(tag), 0);
  std::string expected = Left(g, 224 + 12 * 40);
  for (int k = 12; k < 16; ++k) PutU16LE(expected, 25 + 4 * k, 0);
  EXPECT_EQ(tag, StyWinTag(19, "x", expected));

  for (const std::string& whole : {StyTemplateFileImage(), FullGroup({})}) {
    std::string t = StyWinTag(23, "x", whole);
    EXPECT_EQ(StyGrpUsedPart(t), whole == StyTemplateFileImage() ? 0 : 1);
    EXPECT_EQ(t, StyWinTag(23, "x", whole));
  }
}

TEST_F(FilesTest, ArrHasStylesLooksBeforeTheFirstAbsentSlotStyGrpHasStyleAtEverySlot) {
  std::vector<std::string> lastOnly(15, "- empty -");
  lastOnly.push_back("Late");
  const struct {
    const char* label;
    std::string group;
    int has;       // ArrHasStyles
    int anywhere;  // StyGrpHasStyle
  } cases[] = {
      {"template", StyTemplateFileImage(), 0, 0},
      {"a style in slot 1", NamedGroup({{"- empty -", 40}, {"Rock", 40}}), 1, 1},
      {"a style after an absent slot", NamedGroup({{"- empty -", 40}, {"", 0}, {"Rock", 40}}), 0, 1},
      {"a style in slot 15", FullGroup(lastOnly), 1, 1},
      {"sixteen empty", FullGroup({}), 0, 0},
      // Lengths without their data: counted as styles, so nothing is
      // deleted on their account.
      {"a header only", Left(StyTemplateFileImage(), 224), 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ArrHasStyles(StyWinTag(19, "x", c.group)), c.has);
    EXPECT_EQ(StyGrpHasStyle(c.group), c.anywhere);
  }
}

TEST_F(FilesTest, StyIdxMapSkipsTheBankSeparators) {
  const std::pair<int, int> cases[] = {{0, 0},   {3, 3},   {4, 5},  {7, 8}, {8, 10},
                                       {12, 15}, {15, 18}, {16, 0}, {-1, 0}};
  for (const auto& [v, line] : cases) EXPECT_EQ(StyIdxMap(v), line) << v;
}

TEST_F(FilesTest, PutSlotGrowsAndShrinksTheGroupMovingTheLaterSlots) {
  const std::string src = NamedGroup({{"Big", 3000}, {"Small", 100}});
  for (const int srcSlot : {0, 1}) {
    SCOPED_TRACE(srcSlot);
    std::string dst = StyTemplateFileImage() + "tail";  // a group may run on past its total
    const std::string old = dst;
    const Put p = PutSlot(0, srcSlot, src, 1, dst);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.slotOut, 1);
    const int len = srcSlot == 0 ? 3000 : 100;
    // Slot 1 lies at 1,401-2,576; its new data replace it and the rest moves.
    std::string expected = Left(old, 1400) + Mid(src, StyGrpSlotPos(srcSlot, src), len) + Mid(old, 2577);
    PutU16LE(expected, 29, len);
    EXPECT_EQ(dst, expected);
    EXPECT_EQ(static_cast<int>(dst.size()), static_cast<int>(old.size()) + len - 1176);
    EXPECT_EQ(StyGrpSlotName(2, dst), "- empty -");
    EXPECT_EQ(StyGrpSlotName(1, dst), srcSlot == 0 ? "Big" : "Small");
  }
  std::string dst = StyTemplateFileImage();
  PutSlot(0, 0, src, 1, dst);
  EXPECT_EQ(Asc(dst, 29), 0xB8);
  EXPECT_EQ(Asc(dst, 30), 0x0B);
}

TEST_F(FilesTest, PutSlotRefusesABankOf65496BytesAndChangesNothing) {
  // Bank 0: three styles of 20,000 bytes and an empty one of 1,176.
  const std::string base =
      NamedGroup({{"A", 20000}, {"B", 20000}, {"C", 20000}, {"- empty -", 1176}, {"E", 500}});
  for (const auto& [len, result] : {std::pair{5495, 0}, std::pair{5496, 3}, std::pair{30000, 3}}) {
    SCOPED_TRACE(len);
    const std::string src = NamedGroup({{"New", len}});
    std::string dst = base;
    const Put p = PutSlot(0, 0, src, 3, dst);
    EXPECT_EQ(p.result, result);
    if (result == 3) {
      EXPECT_EQ(dst, base);
    } else {
      EXPECT_EQ(StyGrpBankSize(0, dst), 65495);
      EXPECT_EQ(StyGrpSlotName(4, dst), "E");
    }
  }
  // A bank already over the limit (a group made by hand) may still shrink,
  // and a slot of another bank is judged by its own bank.
  std::string dst = NamedGroup({{"A", 30000}, {"B", 30000}, {"C", 10000}, {"D", 100}, {"E", 100}});
  EXPECT_EQ(PutSlot(0, 0, NamedGroup({{"Tiny", 20}}), 0, dst).result, 0);
  EXPECT_EQ(StyGrpSlotLen(0, dst), 20);
  EXPECT_EQ(PutSlot(0, 0, NamedGroup({{"Wide", 30000}}), 4, dst).result, 0);
  EXPECT_EQ(StyGrpBankSize(4, dst), 30000);
}

TEST_F(FilesTest, PutSlotByNameFindsTheStyleOrTheFirstFreeSlot) {
  std::vector<std::string> names;
  for (int k = 0; k < 16; ++k) names.push_back("S" + std::to_string(k));
  names[9] = "Ballad";
  names[6] = "- empty -";
  const std::string src = NamedGroup({{"Ballad", 300}, {"Tango", 300}});

  std::string dst = FullGroup(names);
  const std::string old = dst;
  Put p = PutSlot(0, 0, src, 100, dst);
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.slotOut, 9);
  EXPECT_EQ(dst, old);

  p = PutSlot(0, 1, src, 100, dst);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.slotOut, 6);
  EXPECT_EQ(p.mode, 0);
  EXPECT_EQ(StyGrpSlotName(6, dst), "Tango");
  EXPECT_EQ(StyGrpSlotName(9, dst), "Ballad");

  // No free slot left.
  names[6] = "Full";
  dst = FullGroup(names);
  p = PutSlot(0, 1, src, 100, dst);
  EXPECT_EQ(p.result, 2);
  EXPECT_EQ(dst, FullGroup(names));

  // A blank name is free too.
  names[12] = "";
  dst = FullGroup(names);
  EXPECT_EQ(PutSlot(0, 1, src, 100, dst).slotOut, 12);
}

TEST_F(FilesTest, TheFreeSlotSearchJudgesEachSlotByItsOwnLength) {
  // Slot 4 absent, slot 5 a real style after it: slot 4 is the free one.
  const std::string g = NamedGroup({{"A", 40}, {"B", 40}, {"C", 40}, {"D", 40}, {"", 0}, {"F", 40}});
  std::string dst = g;
  const Put p = PutSlot(0, 0, NamedGroup({{"New", 60}}), 100, dst);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.slotOut, 4);
  EXPECT_EQ(StyGrpSlotName(4, dst), "New");
  EXPECT_EQ(StyGrpSlotName(5, dst), "F");
  EXPECT_EQ(StyGrpSlotLen(5, dst), 40);
}

TEST_F(FilesTest, PutSlotFromTheTemplateEmptiesTheSlot) {
  gStyTemplate = StyTemplateFileImage();
  std::string dst = NamedGroup({{"A", 40}, {"Rock", 3000}, {"C", 40}});
  const std::string c = Mid(dst, StyGrpSlotPos(2, dst), 40);
  const Put p = PutSlot(1, 7, "caller's group", 1, dst);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.slotOut, 1);
  EXPECT_EQ(p.srcSlot, 0);
  EXPECT_EQ(p.src, gStyTemplate);
  EXPECT_EQ(StyGrpSlotLen(1, dst), 1176);
  EXPECT_EQ(Mid(dst, StyGrpSlotPos(1, dst), 1176), Mid(gStyTemplate, 225, 1176));
  EXPECT_EQ(Mid(dst, StyGrpSlotPos(2, dst), 40), c);
}

TEST_F(FilesTest, PutSlotRefusesWhatItCannotDoAndChangesNothing) {
  const std::string src = NamedGroup({{"Rock", 300}, {"", 0}, {"Jazz", 300}});
  std::string shortSrc = src;
  PutU16LE(shortSrc, 25, 20000);  // more than the group holds
  std::string tooLong = NamedGroup({{"Huge", 100}});
  PutU16LE(tooLong, 25, 40000);
  tooLong += std::string(40000, 'h');
  const std::string dstGroup = FullGroup({"a", "b"});
  std::string shortDst = dstGroup;
  PutU16LE(shortDst, 25, 60000);
  const struct {
    const char* label;
    int slotOut, srcSlot;
    std::string src;
    int mode;
    std::string dst;
  } cases[] = {
      {"absent source slot", 0, 1, src, 3, dstGroup},
      {"source slot 16", 0, 16, src, 3, dstGroup},
      {"source slot -1", 0, -1, src, 3, dstGroup},
      {"target 16", 0, 0, src, 16, dstGroup},
      {"target 99", 0, 0, src, 99, dstGroup},
      {"target -1", 0, 0, src, -1, dstGroup},
      {"template with search mode", 1, 0, src, 100, dstGroup},
      {"source data missing", 0, 0, shortSrc, 3, dstGroup},
      {"source of 40,000 bytes", 0, 0, tooLong, 3, dstGroup},
      {"target data missing", 0, 0, src, 3, shortDst},
      {"target without a header", 0, 0, src, 0, "KORG"},
  };
  // Before any template was read the empty style has length 0.
  std::string dst = dstGroup;
  EXPECT_EQ(PutSlot(1, 0, src, 2, dst).result, 2);
  EXPECT_EQ(dst, dstGroup);

  gStyTemplate = StyTemplateFileImage();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string dst = c.dst;
    const Put p = PutSlot(c.slotOut, c.srcSlot, c.src, c.mode, dst);
    EXPECT_EQ(p.result, 2);
    EXPECT_EQ(dst, c.dst);
    EXPECT_EQ(p.slotOut, c.slotOut);
    EXPECT_EQ(p.srcSlot, c.srcSlot);
    EXPECT_EQ(p.src, c.src);
    EXPECT_EQ(p.mode, c.mode);
  }
}

TEST_F(FilesTest, PutSlotMayCopyInsideOneGroup) {
  std::string g = NamedGroup({{"A", 100}, {"B", 200}, {"- empty -", 1176}});
  const std::string a = Mid(g, 225, 100);
  std::string same = g;
  int slotOut = 0, srcSlot = 0, mode = 2;
  EXPECT_EQ(StyGrpPutSlot(slotOut, srcSlot, same, mode, same), 0);
  EXPECT_EQ(Mid(same, StyGrpSlotPos(2, same), 100), a);
  EXPECT_EQ(StyGrpSlotName(1, same), "B");
  EXPECT_EQ(same.size(), g.size() - 1076);
}
