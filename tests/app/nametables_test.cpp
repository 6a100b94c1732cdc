#include "app/nametables.h"

#include <gtest/gtest.h>

#include <set>

#include "core/bytes.h"

namespace {

class NameTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { NameTablesBuild(); }
  void TearDown() override { NameTablesReset(); }
};

std::string PrgName(int kind, int p) {
  return Mid(gPrgNames[kind], 16 * p + 1, 16);
}
std::string KitName(int k) {
  return Mid(gDrumKitNames, 16 * k + 1, 16);
}

TEST_F(NameTablesTest, TablesHaveTheirFixedSizes) {
  for (int kind = 0; kind < 4; ++kind) EXPECT_EQ(gPrgNames[kind], "") << kind;
  for (int kind = 4; kind <= 8; ++kind) EXPECT_EQ(gPrgNames[kind].size(), 1024u) << kind;
  EXPECT_EQ(gDrumKitNames.size(), 256u);
  for (int s = 0; s < 128; ++s) EXPECT_EQ(gStyNames[s].size(), 16u) << s;
}

struct NameCase {
  std::string actual;
  const char* expected;
};

TEST_F(NameTablesTest, NamesSitAtTheirPlacesBlankPadded) {
  const NameCase cases[] = {
      {PrgName(4, 0), "Piano 1"},       {PrgName(4, 63), "Syn.Brass2"},   {PrgName(5, 0), "SopranoSax"},
      {PrgName(5, 63), "Gun Shot"},     {PrgName(6, 63), "Stz<Brass"},    {PrgName(7, 6), "Small^Orch"},
      {PrgName(8, 5), "hard Tines"},    {PrgName(8, 54), "Poppin'Pad"},   {PrgName(8, 63), "Brass Fall"},
      {KitName(0), "GM Kit 1"},         {KitName(11), "Latin Perc. Kit"}, {KitName(15), "(User 2)"},
      {gStyNames[0], "8 Beat 1"},       {gStyNames[28], "Disco '70"},     {gStyNames[29], "80's Dance"},
      {gStyNames[61], "Tikytikit\xE0"}, {gStyNames[63], "Disco Samba"},   {gStyNames[64], "I. Waltz"},
      {gStyNames[127], "New Age"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(c.actual, PadRight(c.expected, 16));
  // The accented letter is one Latin-1 byte, so six blanks follow it.
  EXPECT_EQ(gStyNames[61], "Tikytikit\xE0      ");
}

TEST_F(NameTablesTest, EveryNameSlotHoldsANameThenOnlyBlanks) {
  std::vector<std::string> slots(gStyNames, gStyNames + 128);
  for (int kind = 4; kind <= 8; ++kind)
    for (int p = 0; p < 64; ++p) slots.push_back(PrgName(kind, p));
  for (int k = 0; k < 16; ++k) slots.push_back(KitName(k));
  for (const std::string& slot : slots) {
    SCOPED_TRACE(slot);
    ASSERT_EQ(slot.size(), 16u);
    EXPECT_NE(slot[0], ' ');
    EXPECT_EQ(slot.find('\0'), std::string::npos);
  }
}

TEST_F(NameTablesTest, FunctionCodesAndListTexts) {
  const struct {
    int entry;
    int code;
    const char* text;
  } cases[] = {
      {0, 0, "OFF"},
      {3, 47, "SYNC STOP"},
      {4, 3, "RESET"},
      {7, 4, "INTRO/ENDING 1"},
      {21, 18, "PROGRAM DOWN"},
      {22, 19, "VARIATION UP"},
      {23, 20, "VARIATION DOWN"},
      {32, 29, "ACC3 MUTE"},
      {46, 43, "MASTER VOLUME"},
      {51, 53, "A/B FADER"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(gGblFuncCodes[c.entry], c.code);
    EXPECT_EQ(kGblFuncListTexts[c.entry], c.text);
  }
  for (int i = 7; i <= 32; ++i) EXPECT_EQ(gGblFuncCodes[i], i - 3) << i;
}

TEST_F(NameTablesTest, EveryFunctionCodeBelongsToOneEntryOnly) {
  const std::set<int> codes(gGblFuncCodes, gGblFuncCodes + 52);
  EXPECT_EQ(codes.size(), 52u);
}

TEST_F(NameTablesTest, ResetEmptiesAndABuildAfterwardsGivesTheSameTables) {
  const std::string bankE = gPrgNames[8];
  const std::string kits = gDrumKitNames;
  NameTablesReset();
  EXPECT_EQ(gPrgNames[4], "");
  EXPECT_EQ(gDrumKitNames, "");
  EXPECT_EQ(gStyNames[127], "");
  for (int i = 0; i < 52; ++i) EXPECT_EQ(gGblFuncCodes[i], 0) << i;
  NameTablesBuild();
  NameTablesBuild();  // a second build replaces, never appends
  EXPECT_EQ(gPrgNames[8], bankE);
  EXPECT_EQ(gDrumKitNames, kits);
}

}  // namespace
