#include "app/wincaption.h"

#include <gtest/gtest.h>

#include "services/strings.h"
#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"

namespace {

// A WinTag long enough for a program file: kind, slot, path or title, and
// the bytes a caption reads.
struct TagFields {
  int kind;
  int slot = 0;
  std::string path;
  bool readOnly = false;
  bool pgg = false;
  int channel16 = 0;   // position 16 (bank and kit windows)
  int channel286 = 0;  // position 286 (program-file windows)
  bool untitled = false;  // position 18 (a new document not yet saved)
};

std::string MakeTag(const TagFields& s) {
  std::string tag = Nuls(700);
  MidAssign(tag, 1, Chr(s.kind));
  MidAssign(tag, 2, Chr(s.readOnly ? 1 : 0));
  MidAssign(tag, 15, Chr(s.slot));
  MidAssign(tag, 18, Chr(s.untitled ? 1 : 0));
  MidAssign(tag, 16, Chr(s.channel16));
  MidAssign(tag, 19, Chr(s.pgg ? 1 : 0));
  MidAssign(tag, 21, PadRight(s.path, 238));
  MidAssign(tag, 286, Chr(s.channel286));
  return tag;
}

}  // namespace

class WinCaptionTest : public AppFixture {};

TEST_F(WinCaptionTest, CaptionsByKindInBothLanguages) {
  struct Case {
    int langBase;
    TagFields tag;
    const char* caption;
  };
  const Case cases[] = {
      {200, {19, 3, "/music/u/Songs/live", true}, "File Arr - live.arr (3) - Read Only"},
      {0, {19, 3, "/music/u/Songs/live", true}, "File Arr - live.arr (3) - Sola Lettura"},
      {200, {21, 1, "/m/name", false, true}, "File Prg - name.pgg (1) - MIDI Channel 1"},
      {200, {21, 8, "/m/name", true, false, 0, 15}, "File Prg - name.prg (8) - MIDI Channel 16 - Read Only"},
      {0, {.kind = 24, .slot = 2, .path = "ignored", .untitled = true}, "Nuovo Style - SenzaNome.sty (2)"},
      {200, {.kind = 24, .slot = 2, .path = "ignored", .readOnly = true, .untitled = true},
       "New Style - Untitled.sty (2)"},
      // Saved under a name, a new style shows it.
      {200, {.kind = 24, .slot = 2, .path = "/d/newstyles"}, "New Style - newstyles.sty (2)"},
      {0, {.kind = 24, .slot = 1, .path = "/d/mine"}, "Nuovo Style - mine.sty (1)"},
      {200, {20, 4, "/d/Untitled", true}, "New File Arr - Untitled.arr (4)"},
      {0, {22, 5, "/d/nuovo", true, true, 0, 2}, "Nuovo File Program - nuovo.pgg (5) - MIDI Channel 3"},
      {200, {23, 6, "/d/styles/pop"}, "File Sty - pop.sty (6)"},
      {200, {25, 7, "/d/g/setup", true}, "File Gbl - setup.gbl (7) - Read Only"},
      {200, {4, 0, "Program Bank A", false, false, 9}, "Progr - MIDI Channel 10"},
      {200, {8, 0, "Progr", true, false, 0}, "Progr - MIDI Channel 1 - Read Only"},
      {200, {9, 0, "Drum Kits  (instrument)  tail", false, false, 3}, "Drum Kits  (instrument) - MIDI Channel 4"},
      {200, {2, 0, "Arrangement Bank A"}, "Arrangement Bank A"},
      {200, {17, 0, "/x/Style Bank A", true}, "Style Bank A - Read Only"},
      {200, {14, 0, "Global  Parameters  "}, "Global  Parameters"},
      {200, {1, 1, "/a/b"}, ""},
      {200, {26, 1, "/a/b"}, ""},
      {200, {28, 1, "/a/b"}, ""},
  };
  for (const Case& c : cases) {
    gLangBase = c.langBase;
    EXPECT_EQ(WinCaption(MakeTag(c.tag)), c.caption) << c.caption;
  }
}

TEST_F(WinCaptionTest, ChannelBytesFromAFileUseTheirLowNibble) {
  gLangBase = 200;
  EXPECT_EQ(WinCaption(MakeTag({21, 2, "/p/x", false, false, 0, 0xF5})), "File Prg - x.prg (2) - MIDI Channel 6");
  EXPECT_EQ(WinCaption(MakeTag({5, 0, "Bank B", false, false, 0x1F})), "Bank  - MIDI Channel 16");
  EXPECT_EQ(WinCaption(MakeTag({10, 0, "Perc", false, false, 0xFF})), "Perc - MIDI Channel 16");
}

TEST_F(WinCaptionTest, ShortTagsReadAsZerosAndBlanks) {
  gLangBase = 200;
  EXPECT_EQ(WinCaption(""), "");
  EXPECT_EQ(WinCaption(Chr(19)), "File Arr - .arr (0)");
  EXPECT_EQ(WinCaption(Chr(21) + Chr(1)), "File Prg - .prg (0) - MIDI Channel 1 - Read Only");
}
