// The program pick into the arrangement editor's record: what each kind of
// window hands over, the place label, the reference records of a program
// file, the picks that must change nothing, and a track's program as the
// editor shows it.
#include "app/editorpick.h"

#include <gtest/gtest.h>

#include "app/arrrec.h"
#include "app/nametables.h"
#include "core/bytes.h"
#include "midi/callup.h"
#include "tests/fixtures/fakeeditor.h"

namespace {

std::string PrgName(int kind, int p) { return Mid(gPrgNames[kind], 16 * p + 1, 16); }
std::string KitName(int k) { return Mid(gDrumKitNames, 16 * k + 1, 16); }

// A bank or kit window's tag: only its kind matters to the pick.
std::string BankTag(int kind) { return Chr(kind) + Nuls(300); }

// A program-file window's tag with record index: its first three bytes and
// its 16-character name at bytes 3-18.
std::string FileTag(int kind, int index, const std::string& head, const std::string& name) {
  std::string tag = Nuls(20) + Space(250) + Nuls(30480);
  MidAssign(tag, 1, Chr(kind));
  MidAssign(tag, 319 + 172 * index, head);
  MidAssign(tag, 319 + 172 * index + 3, PadRight(name, 16));
  return tag;
}

class EditorPickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NameTablesBuild();
    ArrRecReset();
    CallupReset();
  }
  void TearDown() override {
    NameTablesReset();
    ArrRecReset();
    CallupReset();
    EditorPickReset();
  }
  static void Select(int field) {
    for (int& f : gEditArrFieldSel) f = 0;
    if (field >= 0) gEditArrFieldSel[field] = 1;
  }
  // Track t's program, bank code and name in the edit record.
  static std::string Track(int t) { return Mid(gArrEditBuf, 40 + 8 * t, 2) + "|" + Mid(gArrEditBuf, 181 + 16 * t, 16); }
};

TEST_F(EditorPickTest, EachWindowHandsItsProgramToTheSelectedTrack) {
  struct Case {
    const char* what;
    int field;
    int index;
    std::string tag;
    int program, bank;
    std::string name, label;
  };
  const std::string ordinary = FileTag(21, 5, Chr(2) + Chr(9) + Chr(9), "My Piano");
  const Case cases[] = {
      {"bank A, drum field", 2, 0, BankTag(4), 0, 0, PrgName(4, 0), "A  11"},
      {"bank D, lower field", 18, 9, BankTag(7), 73, 1, PrgName(7, 9), "D  22"},
      {"bank B", 6, 63, BankTag(5), 127, 0, PrgName(5, 63), "B  88"},
      {"bank E", 10, 63, BankTag(8), 63, 2, PrgName(8, 63), "E  88"},
      {"kit window", 4, 13, BankTag(9), 13, 4, KitName(13), "Dr  26"},
      {"percussion window", 4, 15, BankTag(10), 15, 4, KitName(15), "Dr  28"},
      // An ordinary record: its first 16 characters, as the edit record's
      // build reads a program of the file.
      {"file record", 12, 5, ordinary, 5, 3, Left(Mid(ordinary, 319 + 172 * 5, 16), 16), "U  16"},
      {"new file record", 12, 5, Chr(22) + Mid(ordinary, 2), 5, 3, Left(Mid(ordinary, 319 + 172 * 5, 16), 16),
       "U  16"},
      // Reference records name an internal program, read with bytes And 7Fh.
      {"reference to D", 8, 3, FileTag(21, 3, Chr(1) + Chr(1) + Chr(0x45), "Ref"), 69, 1, PrgName(7, 5), "D  16"},
      {"reference, high bits", 8, 3, FileTag(21, 3, Chr(1) + Chr(0x81) + Chr(0xC5), "Ref"), 69, 1, PrgName(7, 5),
       "D  16"},
      {"reference to A", 8, 3, FileTag(22, 3, Chr(1) + Chr(0) + Chr(7), "Ref"), 7, 0, PrgName(4, 7), "A  18"},
      {"reference to E", 8, 3, FileTag(21, 3, Chr(1) + Chr(2) + Chr(63), "Ref"), 63, 2, PrgName(8, 63), "E  88"},
      // A kit reference: its program change (56) is kit 13 of the table.
      {"reference to a kit", 14, 0, FileTag(21, 0, Chr(1) + Chr(4) + Chr(56), "Kit Ref"), 13, 4,
       PadRight("Kit Ref", 16), "Dr  26"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEditorPicks editor;
    ArrRecReset();
    Select(c.field);
    ASSERT_EQ(PrgPickToEditor(c.index, c.tag), 1);
    const int t = (c.field - 2) / 2;
    EXPECT_EQ(Track(t), Chr(c.program) + Chr(c.bank) + "|" + c.name);
    EXPECT_EQ(editor.fields[c.field], c.name);
    EXPECT_EQ(editor.fields[c.field + 1], c.label);
    EXPECT_EQ(editor.fields.size(), 2u);
    // Nothing else of the record changes.
    std::string rest = gArrEditBuf;
    MidAssign(rest, 40 + 8 * t, "  ");
    MidAssign(rest, 181 + 16 * t, Space(16));
    EXPECT_EQ(rest, Space(kArrEditBufLen));
  }
}

TEST_F(EditorPickTest, APickThatCannotApplyChangesNothing) {
  struct Case {
    const char* what;
    bool open;
    int field;
    int index;
    std::string tag;
  };
  const Case cases[] = {
      {"editor closed", false, 2, 0, BankTag(4)},
      {"no field selected", true, -1, 0, BankTag(4)},
      {"name field", true, 0, 0, BankTag(4)},
      {"style field", true, 1, 0, BankTag(4)},
      {"a bank field", true, 3, 0, BankTag(4)},
      {"line past the bank", true, 2, 64, BankTag(6)},
      {"line past the kits", true, 2, 16, BankTag(9)},
      {"no line", true, 2, -1, BankTag(4)},
      {"a style window", true, 2, 0, BankTag(23)},
      {"reference to bank code 3", true, 2, 0, FileTag(21, 0, Chr(1) + Chr(3) + Chr(5), "Ref")},
      {"reference to bank code 5", true, 2, 0, FileTag(21, 0, Chr(1) + Chr(5) + Chr(5), "Ref")},
      {"reference past bank E", true, 2, 0, FileTag(21, 0, Chr(1) + Chr(2) + Chr(64), "Ref")},
      {"reference to no kit", true, 2, 0, FileTag(21, 0, Chr(1) + Chr(4) + Chr(2), "Ref")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEditorPicks editor;
    editor.open = c.open;
    Select(c.field);
    EXPECT_EQ(PrgPickToEditor(c.index, c.tag), 0);
    EXPECT_EQ(gArrEditBuf, Space(kArrEditBufLen));
    EXPECT_TRUE(editor.fields.empty());
  }
  // Without an editor at all.
  Select(2);
  EXPECT_EQ(PrgPickToEditor(0, BankTag(4)), 0);
  EXPECT_EQ(gArrEditBuf, Space(kArrEditBufLen));
}

TEST_F(EditorPickTest, TheStylePickGoesToTheOpenEditorOnly) {
  const std::string tag = Chr(17) + Nuls(269);
  EXPECT_EQ(EditArrStySet(3, tag), 0);  // no editor
  FakeEditorPicks editor;
  editor.open = false;
  EXPECT_EQ(EditArrStySet(3, tag), 0);
  EXPECT_TRUE(editor.styPicks.empty());
  editor.open = true;
  EXPECT_EQ(EditArrStySet(3, tag), 1);
  editor.styAnswer = 0;
  EXPECT_EQ(EditArrStySet(4, tag), 0);
  ASSERT_EQ(editor.styPicks.size(), 2u);
  EXPECT_EQ(editor.styPicks[0], std::make_pair(3, tag));
  EXPECT_EQ(editor.styPicks[1].first, 4);
}

}  // namespace

TEST_F(EditorPickTest, ATrackShowsTheProgramItsRecordNames) {
  struct Case {
    const char* what;
    int t;
    int program, bank;
    std::string name, place;
  };
  const Case cases[] = {
      {"bank A", 0, 0, 0, PrgName(4, 0), "A  11"},
      {"bank B", 1, 127, 0, PrgName(5, 63), "B  88"},
      {"bank D", 8, 73, 1, PrgName(7, 9), "D  22"},
      {"bank E", 2, 63, 2, PrgName(8, 63), "E  88"},
      // Bank E holds 64 programs: a number from 64 on is read 64 lower.
      {"bank E, high number", 3, 70, 2, PrgName(8, 6), "E  17"},
      {"the file's own", 5, 9, 3, "My Own Program  ", "U  22"},
      {"kit", 6, 13, 4, KitName(13), "Dr  26"},
      {"beyond the bank", 7, 128, 0, "", ""},
      {"beyond the kits", 7, 16, 4, "", ""},
      {"unknown code", 4, 3, 5, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ArrRecReset();
    MidAssign(gArrEditBuf, 40 + 8 * c.t, Chr(c.program) + Chr(c.bank));
    if (c.bank == 3) MidAssign(gArrEditBuf, 181 + 16 * c.t, c.name);
    const TrackProgramText shown = TrackProgramShown(c.t);
    EXPECT_EQ(shown.name, c.name);
    EXPECT_EQ(shown.place, c.place);
  }
  // A name of NULs or of blanks has no place.
  ArrRecReset();
  MidAssign(gArrEditBuf, 40, Chr(0) + Chr(3));
  MidAssign(gArrEditBuf, 181, Nuls(16));
  MidAssign(gArrEditBuf, 48, Chr(0) + Chr(3));
  EXPECT_EQ(TrackProgramShown(0).name, Nuls(16));
  EXPECT_EQ(TrackProgramShown(0).place, "");
  EXPECT_EQ(TrackProgramShown(1).name, Space(16));
  EXPECT_EQ(TrackProgramShown(1).place, "");
}
