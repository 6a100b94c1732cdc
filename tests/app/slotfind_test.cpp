#include "app/slotfind.h"

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"

class SlotFindTest : public AppFixture {};

TEST_F(SlotFindTest, FreeSlotFindersTakeTheLowestFreeSlot) {
  struct Table {
    int (*finder)();
    int* used;
  };
  const Table tables[] = {{ArrWinFreeSlot, gArrSlotUsed}, {StyWinFreeSlot, gStySlotUsed}, {PrgWinFreeSlot, gPrgSlotUsed}};
  for (const Table& t : tables) {
    EXPECT_EQ(t.finder(), 1);
    t.used[1] = t.used[2] = t.used[4] = 1;
    EXPECT_EQ(t.finder(), 3);
    for (int k = 1; k <= 8; ++k) t.used[k] = 1;
    EXPECT_EQ(t.finder(), 0);
    t.used[6] = 0;
    EXPECT_EQ(t.finder(), 6);
  }
}

TEST_F(SlotFindTest, FreeSlotIsTheUsedTableNotTheRecordsStateNorTheNewDocumentTables) {
  // Records that still say "open" do not make a slot used...
  for (int k = 1; k <= 8; ++k) {
    gArrSlots[k].Open = 1;
    gPrgSlots[k].Open = 2;
    gStySlots[k].InUse = 1;
    gPrgWinOpen[k] = 1;  // every new-program slot taken
    gStyWinOpen[k] = 2;  // every new-style slot taken
  }
  EXPECT_EQ(ArrWinFreeSlot(), 1);
  EXPECT_EQ(PrgWinFreeSlot(), 1);
  EXPECT_EQ(StyWinFreeSlot(), 1);
  // ...and a used entry does, whatever its record says.
  gArrSlots[1].Open = 0;
  gArrSlotUsed[1] = 1;
  EXPECT_EQ(ArrWinFreeSlot(), 2);
}

TEST_F(SlotFindTest, GblFreeSlotSkipsSlotZero) {
  GblWinFreeSlot();
  EXPECT_EQ(gGblSlotIdx, 1);
  gGblSlots[1].InUse = 1;
  gGblSlots[2].InUse = 1;
  GblWinFreeSlot();
  EXPECT_EQ(gGblSlotIdx, 3);
  for (int k = 1; k <= 8; ++k) gGblSlots[k].InUse = 1;
  gGblSlots[0].InUse = 0;
  GblWinFreeSlot();
  EXPECT_EQ(gGblSlotIdx, 0);
}

TEST_F(SlotFindTest, GblWinFindDropsAnExtensionOnlyFromItsOwnCopy) {
  gGblSlots[3].Path = PadRight("/g/setup", 238);
  gGblSlots[3].InUse = 1;
  gGblSlots[4].Path = PadRight("/g/setup.x", 238);
  gGblSlots[4].InUse = 1;
  gGblSlots[0].Path = PadRight("/g/param", 238);  // the parameters window is not a file
  gGblSlots[0].InUse = 1;
  gGblSlots[5].Path = PadRight("/g/closed", 238);
  gGblSlots[6].Path = PadRight("abc", 238);

  std::string path = "/g/setup.gbl";
  EXPECT_EQ(GblWinFind(path), 1);
  EXPECT_EQ(path, "/g/setup.gbl");
  EXPECT_EQ(GblWinFind("/g/setup"), 1);
  EXPECT_EQ(GblWinFind("/g/setup.x"), 1);  // no "." fourth from the end: compared whole
  EXPECT_EQ(GblWinFind("/g/setup.xy"), 0);
  EXPECT_EQ(GblWinFind("/g/param.gbl"), 0);
  EXPECT_EQ(GblWinFind("/g/closed.gbl"), 0);
  EXPECT_EQ(GblWinFind("abc"), 0);  // shorter than four: compared as it is
  gGblSlots[6].InUse = 1;
  EXPECT_EQ(GblWinFind("abc"), 1);
  EXPECT_EQ(GblWinFind(".abc"), 0);  // "." fourth from the end: compared as ""
  EXPECT_EQ(GblWinFind(""), 0);
}

TEST_F(SlotFindTest, WindowsAreFoundByTheirWholePath) {
  // Two files of one name in different folders, and a closed slot.
  gArrSlots[2].Path = PadRight("/a/live", 238);
  gArrSlots[5].Path = PadRight("/b/live", 238);
  gArrSlots[7].Path = PadRight("/a/live", 238);
  gArrSlots[1].Path = PadRight("/c/live", 238);
  gArrSlotUsed[2] = gArrSlotUsed[5] = gArrSlotUsed[7] = 1;
  gArrSlots[5].Open = 2;  // minimised: still open
  gStySlots[3].Path = PadRight("/a/live", 238);
  gStySlots[4].Path = PadRight("/b/live", 238);
  gStySlotUsed[3] = gStySlotUsed[4] = 1;
  gPrgSlots[8].Path = PadRight("/b/live", 238);
  gPrgSlots[1].Path = PadRight("/a/live", 238);
  gPrgSlotUsed[8] = 1;
  gPrgSlots[1].Open = 1;  // record says open, used table says free

  EXPECT_EQ(ArrWinFind("/a/live"), 2);
  EXPECT_EQ(ArrWinFind("/b/live"), 5);
  EXPECT_EQ(ArrWinFind("/b/live   "), 5);
  EXPECT_EQ(ArrWinFind("/c/live"), 0);
  EXPECT_EQ(ArrWinFind("live"), 0);
  EXPECT_EQ(StyWinFind("/a/live"), 3);
  EXPECT_EQ(StyWinFind("/b/live"), 4);
  EXPECT_EQ(StyWinFind("/c/live"), 0);

  EXPECT_EQ(ArrFileIsOpen("/b/live"), 1);
  EXPECT_EQ(ArrFileIsOpen("/c/live"), 0);
  EXPECT_EQ(ArrFileIsOpen("/b/live.arr"), 0);
  EXPECT_EQ(StyFileIsOpen("/a/live"), 1);
  EXPECT_EQ(StyFileIsOpen("/a/liv"), 0);
  EXPECT_EQ(PrgFileIsOpen("/b/live"), 1);
  EXPECT_EQ(PrgFileIsOpen("/a/live"), 0);
}

TEST_F(SlotFindTest, ProgramRecordsBeyondSlotEightAreNotSearched) {
  gPrgSlots[9].Path = PadRight("/p/x", 238);
  gPrgSlots[16].Path = PadRight("/p/x", 238);
  for (int k = 1; k <= 8; ++k) gPrgSlotUsed[k] = 1;
  EXPECT_EQ(PrgFileIsOpen("/p/x"), 0);
}
