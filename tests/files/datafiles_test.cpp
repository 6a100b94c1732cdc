// The program folder's data files, made by the build-time maker, read back
// through the program's own readers.
#include "files/datafiles.h"
#include "app/nametables.h"
#include "core/bytes.h"
#include "files/stygrp.h"
#include "tests/files/files_fixture.h"
#include "tests/fixtures/filebuilders.h"

TEST_F(FilesTest, TheMadeDataFilesReadBackThroughTheirReaders) {
  NameTablesBuild();
  ASSERT_EQ(MakeDataFiles(QFile::encodeName(dir.path()).toStdString(), [](int s) { return gStyNames[s]; }),
            0);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"r40ArrA", "r40ArrB", "r40Prg", "r40Sty"}));

  for (int bank : {0, 1}) {
    SCOPED_TRACE(bank);
    ASSERT_EQ(ArrFileRead(Path(bank == 0 ? "r40ArrA" : "r40ArrB")), 0);
    EXPECT_EQ(Mid(gArrFileBuf, 8, 25), Nuls(25));
    for (int i : {0, 37, 63}) {
      const int s = 64 * bank + i;
      const std::string rec = Mid(gArrFileBuf, 33 + 164 * i, 164);
      std::string expected = Nuls(164);
      MidAssign(expected, 1, gStyNames[s]);
      MidAssign(expected, 18, Chr(s));
      MidAssign(expected, 22, "\x5A");
      MidAssign(expected, 24, "\x3C");
      MidAssign(expected, 30, "\x01\x01\x01\x01");
      EXPECT_EQ(rec, expected) << "record " << i;
    }
  }
  EXPECT_EQ(Mid(gArrFileBuf, 33 + 164 * 63, 16), gStyNames[127]);

  ASSERT_EQ(PrgFileRead(Path("r40Prg")), 0);
  EXPECT_EQ(gPrgFileBuf, std::string("KORG\x4D\x00\x00", 7) + Nuls(30473));

  ASSERT_EQ(StyFileRead(Path("r40Sty")), 0);
  EXPECT_EQ(gStyTemplate, ReadBytes(Path("r40Sty")));
  for (int pos : {225, 1401, 2577, 3753}) {
    EXPECT_EQ(Mid(gStyTemplate, pos, 16), "- empty -       ");
    EXPECT_EQ(Mid(gStyTemplate, pos + 16, 1160), Nuls(1160));
  }
  EXPECT_EQ(Mid(gStyTemplate, 8, 17), Nuls(17));
  const std::string entry("\x98\x04\x00\x00", 4);
  EXPECT_EQ(Mid(gStyTemplate, 25, 16), entry + entry + entry + entry);
  EXPECT_EQ(Mid(gStyTemplate, 41, 184), Nuls(184));
  EXPECT_TRUE(dialogs.boxes.empty());
  NameTablesReset();
}
