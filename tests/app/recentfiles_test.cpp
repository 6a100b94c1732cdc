#include "app/recentfiles.h"

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "services/mainview.h"
#include "services/paths.h"
#include "app/recent.h"
#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"

namespace {

std::string ItemName(int i) { return "mnuRecentFile_" + CStr(i); }

// A document window's WinTag: kind, .pgg flag and path.
std::string DocTag(int kind, const std::string& path, int pos19 = 0) {
  std::string tag = Nuls(300);
  MidAssign(tag, 1, Chr(kind));
  MidAssign(tag, 19, Chr(pos19));
  MidAssign(tag, 21, PadRight(path, 238));
  return tag;
}

}  // namespace

class RecentFilesTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetEnlargedSizes(15);
    SetMainView(&view_);
  }

  // Adds a path through a variable, as the openers do.
  void Add(const std::string& path, int readOnly = 0) {
    std::string p = path;
    RecentFileAdd(p, readOnly);
  }

  std::string EntryPath(int i) const { return RTrim(gRecentFiles[i].Path); }

  FakeMainView view_;
};

TEST_F(RecentFilesTest, AddWritesTheEntryItsStartGeometryAndTheMenu) {
  std::string path = "/music/songs/live.arr";
  RecentFileAdd(path, kTrue);
  EXPECT_EQ(path, "/music/songs/live");
  EXPECT_EQ(gRecentFiles[0].Path, PadRight("/music/songs/live", 238));
  EXPECT_EQ(gRecentFiles[0].Kind, 1);
  EXPECT_EQ(gRecentFiles[0].Flag, 1);
  EXPECT_EQ(gRecentFiles[0].Top, 0);
  EXPECT_EQ(gRecentFiles[0].Left, 0);
  EXPECT_EQ(gRecentFiles[0].Height, gArrUBigHeight);
  EXPECT_EQ(gRecentFiles[0].Width, gArrUBigWidth);
  EXPECT_TRUE(view_.visible.at("mnuSep16"));
  EXPECT_EQ(view_.captions.at(ItemName(0)), "&1  /music/songs/live.arr");
  EXPECT_TRUE(view_.visible.at(ItemName(0)));
  EXPECT_EQ(view_.captions.count(ItemName(1)), 0u);

  // The start size follows the window class of each kind.
  Add("/s/a.STY");
  Add("/p/a.prg");
  Add("/p/a.pgg", 0);
  Add("/g/a.gbl");
  EXPECT_EQ(gRecentFiles[1].Kind, 2);
  EXPECT_EQ(gRecentFiles[1].Height, gStyUNBigHeight);
  EXPECT_EQ(gRecentFiles[1].Width, gStyUNBigWidth);
  EXPECT_EQ(gRecentFiles[2].Height, gPrgUNBigHeight);
  EXPECT_EQ(gRecentFiles[3].Width, gPrgUNBigWidth);
  EXPECT_EQ(gRecentFiles[3].Flag, 0);
  EXPECT_EQ(gRecentFiles[4].Height, 0);
  EXPECT_EQ(gRecentFiles[4].Width, 0);
  EXPECT_EQ(view_.captions.at(ItemName(4)), "&5  /g/a.gbl");
}

TEST_F(RecentFilesTest, AFileAlreadyListedKeepsItsPlaceFlagAndGeometry) {
  Add("/a/one.arr", 1);
  Add("/a/two.arr");
  gRecentFiles[0].Top = 120;
  view_.captions.clear();
  std::string path = "/a/one.arr";
  RecentFileAdd(path, 0);
  EXPECT_EQ(path, "/a/one");
  EXPECT_EQ(EntryPath(0), "/a/one");
  EXPECT_EQ(gRecentFiles[0].Flag, 1);
  EXPECT_EQ(gRecentFiles[0].Top, 120);
  EXPECT_EQ(EntryPath(1), "/a/two");
  EXPECT_EQ(gRecentFiles[2].Kind, 0);
  EXPECT_TRUE(view_.captions.empty());

  // The same path as .prg and as .pgg makes two entries.
  Add("/p/x.prg");
  Add("/p/x.pgg");
  Add("/p/x.prg");
  EXPECT_EQ(gRecentFiles[2].Kind, 3);
  EXPECT_EQ(gRecentFiles[3].Kind, 4);
  EXPECT_EQ(gRecentFiles[4].Kind, 0);
}

TEST_F(RecentFilesTest, ANinthFileGoesFirstAndDropsTheLast) {
  for (int i = 1; i <= 8; ++i) Add("/f/file" + CStr(i) + ".sty");
  gRecentFiles[7].Top = 500;  // geometry of the entry that will be dropped
  gRecentFiles[7].Height = 999;
  gRecentFiles[0].Left = 77;
  Add("/f/file9.arr", 1);
  EXPECT_EQ(EntryPath(0), "/f/file9");
  EXPECT_EQ(gRecentFiles[0].Kind, 1);
  EXPECT_EQ(gRecentFiles[0].Flag, 1);
  EXPECT_EQ(gRecentFiles[0].Top, 0);
  EXPECT_EQ(gRecentFiles[0].Left, 0);
  EXPECT_EQ(gRecentFiles[0].Height, gArrUBigHeight);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(EntryPath(i), "/f/file" + CStr(i)) << i;
  EXPECT_EQ(gRecentFiles[1].Left, 77);
  EXPECT_EQ(view_.captions.at(ItemName(0)), "&1  /f/file9.arr");
  EXPECT_EQ(view_.captions.at(ItemName(7)), "&8  /f/file7.sty");
}

TEST_F(RecentFilesTest, APathOfNoKnownKindChangesNothing) {
  Add("/a/one.arr");
  const RecentFileRec before = gRecentFiles[1];
  view_.visible.clear();
  view_.captions.clear();
  for (const std::string& p : {std::string("/a/song.midi"), std::string("/a/noext"), std::string("/a/x.txt")}) {
    std::string path = p;
    RecentFileAdd(path, 1);
    EXPECT_EQ(path, p);
  }
  EXPECT_EQ(gRecentFiles[1].Kind, before.Kind);
  EXPECT_EQ(gRecentFiles[1].Path, before.Path);
  EXPECT_TRUE(view_.visible.empty());
  EXPECT_TRUE(view_.captions.empty());
}

TEST_F(RecentFilesTest, WithoutAMainWindowOnlyTheListChanges) {
  SetMainView(nullptr);
  Add("/a/one.gbl");
  EXPECT_EQ(gRecentFiles[0].Kind, 5);
  EXPECT_TRUE(view_.captions.empty());
}

TEST_F(RecentFilesTest, APathTooLongForTheRecordIsNotCut) {
  std::string path = "/" + std::string(238, 'a') + ".arr";
  const std::string given = path;
  RecentFileAdd(path, 0);
  EXPECT_EQ(path, given);
  EXPECT_EQ(gRecentFiles[0].Kind, 0);
  Add("/" + std::string(237, 'a') + ".arr");  // exactly fills the field
  EXPECT_EQ(gRecentFiles[0].Kind, 1);
}

TEST_F(RecentFilesTest, ClosingWindowStoresItsClampedGeometryInItsOwnEntry) {
  Add("/p/x.prg");
  Add("/p/x.pgg");
  Add("/a/x.arr");
  Add("/s/x.sty");
  RecentSaveWinPos(DocTag(21, "/p/x", 1), 10, 20, 40000, -40000);
  EXPECT_EQ(gRecentFiles[1].Top, 10);
  EXPECT_EQ(gRecentFiles[1].Left, 20);
  EXPECT_EQ(gRecentFiles[1].Height, 32767);
  EXPECT_EQ(gRecentFiles[1].Width, -32768);
  EXPECT_EQ(gRecentFiles[0].Top, 0);  // the .prg entry is another file
  RecentSaveWinPos(DocTag(21, "/p/x"), 1, 2, 3, 4);
  EXPECT_EQ(gRecentFiles[0].Width, 4);
  RecentSaveWinPos(DocTag(19, "/a/x"), 5, 6, 7, 8);
  EXPECT_EQ(gRecentFiles[2].Top, 5);
  RecentSaveWinPos(DocTag(23, "/s/x"), 9, 9, 9, 9);
  EXPECT_EQ(gRecentFiles[3].Left, 9);

  // Other kinds, and files not in the list, store nothing.
  const RecentFileRec before = gRecentFiles[2];
  RecentSaveWinPos(DocTag(20, "/a/x"), 100, 100, 100, 100);
  RecentSaveWinPos(DocTag(25, "/a/x"), 100, 100, 100, 100);
  RecentSaveWinPos(DocTag(19, "/a/y"), 100, 100, 100, 100);
  RecentSaveWinPos(Chr(19), 100, 100, 100, 100);
  EXPECT_EQ(gRecentFiles[2].Top, before.Top);
  EXPECT_EQ(gRecentFiles[2].Height, before.Height);
}

TEST_F(RecentFilesTest, MenuCaptionsAreShortenedToRootAndTail) {
  struct Case {
    std::string path;  // without extension
    int kind;
    std::string text;  // after "&1  "
  };
  const std::string name43 = "A-very-long-arrangement-file-name-here-0123";  // 43 characters
  ASSERT_EQ(name43.size(), 43u);
  const Case cases[] = {
      {"/Program Files/Music/Arrangements/Live/concert", 1, "/.../Live/concert.arr"},
      {"/Music/" + name43, 1, "/.../" + name43.substr(0, 28) + "..."},
      {"/" + std::string(35, 'n'), 2, "/" + std::string(34, 'n') + "..."},
      {std::string(31, 'c'), 3, std::string(31, 'c') + ".prg"},                  // 35: whole
      {std::string(32, 'c'), 4, std::string(32, 'c') + ".pg..."},                 // 36: cut
      {"/aa/" + std::string(27, 'd'), 5, "/aa/" + std::string(27, 'd') + ".gbl"},  // 35: whole
      {"/aa/" + std::string(28, 'd'), 5, "/.../" + std::string(28, 'd') + "..."},
      {"Music/Arrangements/Live/Shows/concert", 1, ".../Live/Shows/concert.arr"},
      {"relative/" + name43, 1, ".../" + name43.substr(0, 28) + "..."},
      {"/music/user/" + std::string(30, 'x') + "/short", 2, "/.../short.sty"},
  };
  for (const Case& c : cases) {
    gRecentFiles[0].Path = PadRight(c.path, 238);
    gRecentFiles[0].Kind = static_cast<uint8_t>(c.kind);
    EXPECT_EQ(RecentMenuCaption(0), "&1  " + c.text) << c.path;
  }
}

TEST_F(RecentFilesTest, MenuCaptionNumbersTheItemAndSetsTheExtension) {
  gRecentFiles[7].Path = PadRight("/a/b", 238);
  gRecentFiles[7].Kind = 4;
  EXPECT_EQ(RecentMenuCaption(7), "&8  /a/b.pgg");
  EXPECT_EQ(gCurExt, "pgg");
  EXPECT_EQ(RecentMenuCaption(0), "");  // a free entry
  EXPECT_EQ(RecentMenuCaption(-1), "");
  EXPECT_EQ(RecentMenuCaption(8), "");
  gRecentFiles[1].Kind = 9;  // not a kind
  EXPECT_EQ(RecentMenuCaption(1), "");
}
