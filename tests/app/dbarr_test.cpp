#include "app/dbarr.h"

#include <memory>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/slots.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "platform/files.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"
#include "tests/fixtures/filebuilders.h"

namespace {

using Entry = DBArrEntry;
std::string Image(const std::string& folder, const std::vector<Entry>& entries) { return DBArrBytes(folder, entries); }

// An arrangement file: the header "KORG" 4D 00 03, then zeros.
std::string ArrBytes() { return PadRight(std::string("KORG\x4D\x00\x03", 7), 10528, '\0'); }

class FakeDBArrWindows : public DBArrWindows {
 public:
  std::vector<std::string> lines;
  std::string count;
  int editorCalls = 0;
  std::vector<std::pair<int, int>> ids;  // (slot, id)

  void EditorShowList(const std::vector<std::string>& l, const std::string& c) override {
    lines = l;
    count = c;
    ++editorCalls;
  }
  void ArrWindowShowId(int slot, int id) override { ids.emplace_back(slot, id); }
};

}  // namespace

class DBArrTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    gLangBase = 200;
    dir_ = ProgFile("songs");
    ASSERT_EQ(MakeDirs(dir_), 0);
    db_ = WinFile("r40DBArr");
  }

  std::string Db() const { return ReadBytes(db_); }
  void PutDb(const std::string& bytes) { WriteBytes(db_, bytes); }
  std::string Arr(const std::string& name) const { return dir_ + "/" + name; }
  void PutArr(const std::string& fileName, const std::string& bytes = ArrBytes()) {
    WriteBytes(Arr(fileName), bytes);
  }

  // DBArrAdd(19) for the file name of the database folder.
  int Add(const std::string& name, const std::string& folder = std::string()) {
    gArrFileDir = folder.empty() ? dir_ : folder;
    gArrFileName = name;
    return DBArrAdd(19);
  }

  // Enters names one after the other into a new database (answering Yes to
  // its creation).
  void Enter(const std::vector<std::string>& names) {
    dialogs_.boxAnswers.push_back(kMsgYes);
    for (const std::string& n : names) ASSERT_EQ(Add(n), 1) << n;
    dialogs_.Clear();
  }

  std::string dir_, db_;
};

// --- The image helpers ---------------------------------------------------

TEST_F(DBArrTest, ANewImageIsTheEmptyLayout) {
  EXPECT_EQ(DBArrNewImage(), Image("", {}));
  EXPECT_EQ(DBArrNewImage().size(), 27221u);
}

TEST_F(DBArrTest, LookupMatchesWithoutCaseAndStopsAtTheFirstEmptyRecord) {
  const std::string image = Image(dir_, {{"Alpha", 4}, {"song", 3}});
  int rec = -1;
  EXPECT_EQ(DBArrLookup(image, "SONG", rec), DBArrFind::Found);
  EXPECT_EQ(rec, 4);
  EXPECT_EQ(DBArrLookup(image, "alpha", rec), DBArrFind::Found);
  EXPECT_EQ(rec, 3);
  EXPECT_EQ(DBArrLookup(image, "beta", rec), DBArrFind::Absent);
  EXPECT_EQ(rec, 5);
  // An empty database: the first empty record is record 3.
  EXPECT_EQ(DBArrLookup(Image(dir_, {}), "song", rec), DBArrFind::Absent);
  EXPECT_EQ(rec, 3);
  // The sought name is not trimmed: "song " is another name.
  EXPECT_EQ(DBArrLookup(image, "song ", rec), DBArrFind::Absent);
}

TEST_F(DBArrTest, ListLinesAndCountAsTheEditorShowsThem) {
  const std::string image = Image(dir_, {{"Alpha", 4}, {"song", 3}});
  EXPECT_EQ(DBArrListLines(image),
            (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 4\tAlpha.arr", " 3\tsong.arr"}));
  EXPECT_EQ(DBArrCountText(4), " 4/999");
  EXPECT_EQ(DBArrListLines(Image(dir_, {})).size(), 2u);
  EXPECT_EQ(DBArrCountText(2), " 2/999");

  // The entries end at the first record with a first byte 0 or an ID 0,
  // whichever comes first; the ID lookup ends there too.
  std::string idZero = Image(dir_, {{"a", 3}, {"b", 0}, {"c", 5}});
  EXPECT_EQ(DBArrListLines(idZero).size(), 3u);
  std::string emptied = Image(dir_, {{"a", 3}, {"b", 4}, {"c", 5}});
  MidAssign(emptied, DBArrRecPos(4), Chr(0));  // record 4 emptied, its ID left
  EXPECT_EQ(DBArrListLines(emptied), (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 3\ta.arr"}));
  EXPECT_EQ(DBArrRecOfId(image, 3), 4);
  EXPECT_EQ(DBArrRecOfId(image, 4), 3);
  EXPECT_EQ(DBArrRecOfId(emptied, 5), 0);
  EXPECT_EQ(DBArrRecOfId(idZero, 5), 0);
  EXPECT_EQ(DBArrRecOfId(idZero, 0), 0);
}

TEST_F(DBArrTest, RemovalFreesOnlyTheMapByteOfAnIdOf3To999) {
  // IDs 2 and 1000 have no map byte; 999 has the last one.
  for (int id : {0, 2, 1000, 65535}) {
    std::string image = Image(dir_, {{"a", 3}, {"b", id}, {"c", 4}});
    const std::string map = Mid(image, 25975, 997);
    DBArrRemove(image, 4);
    EXPECT_EQ(Mid(image, 25975, 997), map) << id;
    EXPECT_EQ(image, Image(dir_, {{"a", 3}, {"c", 4}})) << id;
  }
  std::string image = Image(dir_, {{"a", 999}});
  DBArrRemove(image, 3);
  EXPECT_EQ(image, Image(dir_, {}));
}

TEST_F(DBArrTest, RemovalInAFullDatabaseEmptiesTheLastRecord) {
  std::vector<Entry> all;
  for (int i = 0; i < 997; ++i) all.push_back({"n" + CStr(1000 + i), i + 3});
  std::string image = Image(dir_, all);
  DBArrRemove(image, 3);
  EXPECT_EQ(DBArrRecName(image, 3), "n1001");
  EXPECT_EQ(DBArrRecName(image, 998), "n1996");
  EXPECT_TRUE(DBArrRecEmpty(image, 999));
  EXPECT_EQ(DBArrRecId(image, 999), 0);
  EXPECT_EQ(Asc(image, 25975), 0);  // ID 3 is free again
  // The last record itself.
  image = Image(dir_, all);
  DBArrRemove(image, 999);
  EXPECT_TRUE(DBArrRecEmpty(image, 999));
  EXPECT_EQ(Asc(image, 25975 + 996), 0);
  EXPECT_EQ(DBArrRecName(image, 998), "n1995");
}

// --- DBArrAdd ----------------------------------------------------------

TEST_F(DBArrTest, TheFirstEntryOfANewDatabaseIsId3InRecord3) {
  FakeMainView view;
  for (const char* item : {"mnuWEditDBArr", "mnuAggArr", "mnuWFindID"}) view.enabled[item] = false;
  SetMainView(&view);
  dialogs_.boxAnswers = {kMsgYes};

  EXPECT_EQ(Add("song"), 1);
  EXPECT_EQ(gDBArrId, 3);
  EXPECT_EQ(Db(), Image(dir_, {{"song", 3}}));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Edit r40DBArr");
  EXPECT_EQ(dialogs_.boxes[0].text,
            "Choose the directory of the opened file as working directory of r40DBArr?");
  EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::YesNo);
  EXPECT_TRUE(view.MenuEnabled("mnuWEditDBArr"));
  EXPECT_TRUE(view.MenuEnabled("mnuAggArr"));
  EXPECT_TRUE(view.MenuEnabled("mnuWFindID"));
  EXPECT_EQ(gOpCaption, "Reading r40DBArr");
}

TEST_F(DBArrTest, NoToTheNewDatabaseLeavesNoFileAndNothingChanged) {
  FakeMainView view;
  view.enabled["mnuWEditDBArr"] = false;
  SetMainView(&view);
  gDBArrId = 77;
  dialogs_.boxAnswers = {kMsgNo};
  EXPECT_EQ(Add("song"), 0);
  EXPECT_FALSE(Exists(db_));
  EXPECT_EQ(gDBArrId, 77);
  EXPECT_FALSE(view.MenuEnabled("mnuWEditDBArr"));
  // A box closed without an answer is No as well.
  dialogs_.Clear();
  EXPECT_EQ(Add("song"), 0);
  EXPECT_FALSE(Exists(db_));
  // An empty file left from before is no database either: asked again,
  // and left as it is.
  PutDb("");
  dialogs_.boxAnswers = {kMsgNo};
  EXPECT_EQ(Add("song"), 0);
  EXPECT_EQ(dialogs_.boxes.size(), 2u);
  EXPECT_TRUE(Exists(db_));
  EXPECT_EQ(Db(), "");
}

TEST_F(DBArrTest, ADatabaseThatIsNotAFileIsNoDatabaseAndIsLeftAsItIs) {
  for (const char* thing : {"pipe", "folder"}) {
    SCOPED_TRACE(thing);
    dialogs_.Clear();
    if (std::string(thing) == "pipe") {
      ASSERT_EQ(::mkfifo(db_.c_str(), 0644), 0);
    } else {
      ASSERT_EQ(MakeDirs(db_), 0);
    }
    gStarting = false;
    EXPECT_EQ(DBArrCheck(), 1);
    EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0);
    DBArrUpdate();
    // Yes to a new database: it cannot be made in that place.
    dialogs_.boxAnswers = {kMsgYes};
    EXPECT_EQ(Add("song"), 0);
    const std::vector<std::string> texts = BoxTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "File r40DBArr not found");
    EXPECT_EQ(texts[1], "File not found");
    EXPECT_EQ(dialogs_.boxes[2].buttons, MsgButtons::YesNo);  // the new database's question
    EXPECT_EQ(texts[3], "Reading Error");
    EXPECT_EQ(KindOfFile(db_), FileKind::Other);
    ::unlink(db_.c_str());
    ::rmdir(db_.c_str());
  }
}

TEST_F(DBArrTest, ANameSortingFirstMovesTheOthersWithTheirIds) {
  Enter({"song"});
  EXPECT_EQ(Add("alpha"), 1);
  EXPECT_EQ(gDBArrId, 4);
  EXPECT_EQ(Db(), Image(dir_, {{"alpha", 4}, {"song", 3}}));
  // A name between them, in another case, and one after both.
  EXPECT_EQ(Add("Mid"), 1);
  EXPECT_EQ(gDBArrId, 5);
  EXPECT_EQ(Add("zz"), 1);
  EXPECT_EQ(gDBArrId, 6);
  EXPECT_EQ(Db(), Image(dir_, {{"alpha", 4}, {"Mid", 5}, {"song", 3}, {"zz", 6}}));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DBArrTest, ANameAlreadyEnteredInAnyCaseKeepsItsIdAndNothingIsWritten) {
  Enter({"song", "alpha"});
  const std::string before = Db();
  for (const char* name : {"song", "SONG", "Song"}) {
    gDBArrId = 0;
    EXPECT_EQ(Add(name), 1) << name;
    EXPECT_EQ(gDBArrId, 3) << name;
  }
  EXPECT_EQ(Db(), before);
  EXPECT_EQ(DBArrFindID(dir_ + "/SONG"), 3);
  EXPECT_EQ(DBArrFindID(dir_ + "/sOnG"), 3);
}

TEST_F(DBArrTest, NamesOf24CharactersAreEnteredAndLongerOnesNever) {
  const std::string n24(24, 'x'), n25(25, 'y');
  Enter({n24});
  EXPECT_EQ(Db(), Image(dir_, {{n24, 3}}));
  EXPECT_EQ(DBArrFindID(dir_ + "/" + n24), 3);

  const std::string before = Db();
  gDBArrId = 9;
  EXPECT_EQ(Add(n25), 0);
  EXPECT_EQ(gDBArrId, 0);
  EXPECT_EQ(Db(), before);
  EXPECT_EQ(DBArrFindID(dir_ + "/" + n25), 0);
  EXPECT_TRUE(dialogs_.boxes.empty());
  // Nor a name that begins with a 0 byte: it would read as an empty record.
  std::string image = Image(dir_, {{"a", 3}});
  EXPECT_EQ(DBArrInsert(image, Chr(0) + "b", 4), 0);
  EXPECT_EQ(image, Image(dir_, {{"a", 3}}));

  // A new database on Yes is made all the same, with no entry.
  KillFile(db_);
  dialogs_.boxAnswers = {kMsgYes};
  gDBArrId = 9;
  EXPECT_EQ(Add(n25), 0);
  EXPECT_EQ(gDBArrId, 0);
  EXPECT_EQ(Db(), Image(dir_, {}));
}

TEST_F(DBArrTest, AFreedIdIsTheNextOneGivenWhereverTheNameSorts) {
  Enter({"a", "b", "c", "d", "e"});
  EXPECT_EQ(Db(), Image(dir_, {{"a", 3}, {"b", 4}, {"c", 5}, {"d", 6}, {"e", 7}}));
  for (const char* n : {"a.arr", "b.arr", "d.arr", "e.arr"}) PutArr(n);  // c.arr is gone
  DBArrUpdate();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Db(), Image(dir_, {{"a", 3}, {"b", 4}, {"d", 6}, {"e", 7}}));
  EXPECT_EQ(Add("0first"), 1);
  EXPECT_EQ(gDBArrId, 5);
  EXPECT_EQ(Add("f"), 1);
  EXPECT_EQ(gDBArrId, 8);
  EXPECT_EQ(Db(), Image(dir_, {{"0first", 5}, {"a", 3}, {"b", 4}, {"d", 6}, {"e", 7}, {"f", 8}}));
}

TEST_F(DBArrTest, AnEmptyDatabaseTakesItsFirstEntryInRecord3) {
  PutDb(Image(dir_, {}));
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0);
  EXPECT_EQ(Add("song"), 1);
  EXPECT_EQ(gDBArrId, 3);
  EXPECT_EQ(Db(), Image(dir_, {{"song", 3}}));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DBArrTest, AFullDatabaseGivesId0AndIsNotWritten) {
  // 997 entries.
  std::vector<Entry> all;
  for (int i = 0; i < 997; ++i) all.push_back({"n" + CStr(1000 + i), i + 3});
  PutDb(Image(dir_, all));
  gDBArrId = 9;
  EXPECT_EQ(Add("new"), 0);
  EXPECT_EQ(gDBArrId, 0);
  EXPECT_EQ(Db(), Image(dir_, all));
  // Entered names are still found, the last one too.
  EXPECT_EQ(Add("N1996"), 1);
  EXPECT_EQ(gDBArrId, 999);

  // Free records but no free map byte: full as well.
  std::string image = Image(dir_, {{"a", 3}});
  MidAssign(image, 25975, StringOf(997, '\x01'));
  PutDb(image);
  gDBArrId = 9;
  EXPECT_EQ(Add("b"), 0);
  EXPECT_EQ(gDBArrId, 0);
  EXPECT_EQ(Db(), image);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DBArrTest, AFileOfAnotherFolderAsksNothingAndDoesNothing) {
  Enter({"song"});
  const std::string before = Db();
  for (bool starting : {false, true}) {
    gStarting = starting;
    gDBArrId = 42;
    EXPECT_EQ(Add("other", ProgFile("elsewhere")), 0);
    EXPECT_EQ(Add("song", dir_ + "/"), 0);  // the folder is compared exactly
    EXPECT_EQ(gDBArrId, 42);
    EXPECT_EQ(Db(), before);
    EXPECT_TRUE(dialogs_.boxes.empty());
  }
}

TEST_F(DBArrTest, TheBanksEnterNothing) {
  Enter({"song"});
  const std::string before = Db();
  gArrFileDir = dir_;
  gArrFileName = "bank";
  gDBArrId = 42;
  EXPECT_EQ(DBArrAdd(2), 0);
  EXPECT_EQ(DBArrAdd(3), 0);
  EXPECT_EQ(gDBArrId, 42);
  EXPECT_EQ(Db(), before);
}

TEST_F(DBArrTest, TheIdGoesToTheWindowOpenOnTheFile) {
  FakeDBArrWindows windows;
  SetDBArrWindows(&windows);
  // Slot 2 is open on the file; slot 3 was, but is free now; slot 4 shows
  // another file.
  for (int slot : {2, 3}) gArrSlots[slot].Path = PadRight(dir_ + "/song", 238);
  gArrSlots[4].Path = PadRight(dir_ + "/other", 238);
  gArrSlotUsed[2] = gArrSlotUsed[4] = 1;

  dialogs_.boxAnswers = {kMsgYes};
  EXPECT_EQ(Add("song"), 1);
  EXPECT_EQ(gArrSlots[2].DbId, 3);
  EXPECT_EQ(gArrSlots[3].DbId, 0);
  EXPECT_EQ(gArrSlots[4].DbId, 0);
  EXPECT_EQ(windows.ids, (std::vector<std::pair<int, int>>{{2, 3}}));

  // Found again, and a new entry for the other window.
  windows.ids.clear();
  gArrSlots[2].DbId = 0;
  EXPECT_EQ(Add("song"), 1);
  EXPECT_EQ(Add("other"), 1);
  EXPECT_EQ(windows.ids, (std::vector<std::pair<int, int>>{{2, 3}, {4, 4}}));
  EXPECT_EQ(gArrSlots[2].DbId, 3);
  EXPECT_EQ(gArrSlots[4].DbId, 4);

  // No ID: nothing shown.
  windows.ids.clear();
  EXPECT_EQ(Add(std::string(25, 'z')), 0);
  EXPECT_TRUE(windows.ids.empty());
  // No windows hook installed: the slot record still takes the ID.
  SetDBArrWindows(nullptr);
  gArrSlots[4].DbId = 0;
  EXPECT_EQ(Add("other"), 1);
  EXPECT_EQ(gArrSlots[4].DbId, 4);
}

TEST_F(DBArrTest, AnEntryAddedWhileTheEditorIsOpenRefreshesItsList) {
  FakeDBArrWindows windows;
  SetDBArrWindows(&windows);
  Enter({"song"});
  EXPECT_EQ(windows.editorCalls, 0);  // closed editor
  gDBArrEditOpen = true;
  EXPECT_EQ(Add("song"), 1);          // found: nothing changes
  EXPECT_EQ(windows.editorCalls, 0);
  EXPECT_EQ(Add("alpha"), 1);
  EXPECT_EQ(windows.editorCalls, 1);
  EXPECT_EQ(windows.lines,
            (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 4\talpha.arr", " 3\tsong.arr"}));
  EXPECT_EQ(windows.count, " 4/999");
  EXPECT_EQ(DBArrBuf, Db());
}

TEST_F(DBArrTest, AFailedWriteReportsAndChangesNothing) {
  Enter({"song"});
  const std::string before = Db();
  // The new image is written beside the old file; the rename over it fails.
  SetFileFaultHook([](const std::string& op, const std::string&) { return op == "rename" ? kErrDiskFull : 0; });
  gDBArrId = 9;
  EXPECT_EQ(Add("alpha"), 0);
  EXPECT_EQ(gDBArrId, 0);
  EXPECT_EQ(Db(), before);
  EXPECT_EQ(DBArrBuf, before);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Reading r40DBArr");
  EXPECT_EQ(dialogs_.boxes[0].text, "Reading Error");

  // The open itself failing.
  SetFileFaultHook([](const std::string& op, const std::string&) { return op == "open" ? kErrDeviceIO : 0; });
  dialogs_.Clear();
  EXPECT_EQ(Add("alpha"), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
  SetFileFaultHook(nullptr);
  EXPECT_EQ(Db(), before);
}

// --- Damaged databases ---------------------------------------------------

TEST_F(DBArrTest, ADamagedDatabaseIsNeverWrittenAndHasNoIds) {
  const std::string good = Image(dir_, {{"song", 3}});
  std::string badMagic = good;
  MidAssign(badMagic, 1, "r40DBArx");
  const std::string cases[] = {badMagic, Left(good, 27220), good + "x", Left(good, 100)};
  PutArr("song.arr");
  // The image of an open editor stays as it was: a damaged file never
  // replaces it.
  gDBArrEditOpen = false;
  const std::string held = Image(dir_, {{"held", 7}});
  for (const std::string& bytes : cases) {
    PutDb(bytes);
    DBArrBuf = held;
    dialogs_.Clear();
    EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0) << bytes.size();
    EXPECT_TRUE(dialogs_.boxes.empty());

    gDBArrId = 9;
    EXPECT_EQ(Add("alpha"), 0);
    EXPECT_EQ(gDBArrId, 0);
    EXPECT_EQ(Add("song"), 0);
    DBArrUpdate();
    EXPECT_EQ(Db(), bytes) << bytes.size();
    ASSERT_EQ(dialogs_.boxes.size(), 3u);
    for (const auto& box : dialogs_.boxes) {
      EXPECT_EQ(box.title, "Reading r40DBArr");
      EXPECT_EQ(box.text, "Error reading ");
    }
    EXPECT_EQ(DBArrBuf, held) << bytes.size();
    EXPECT_EQ(DBArrRead(DBArrBuf), 2);
    EXPECT_EQ(DBArrBuf, held) << bytes.size();
  }
}

// --- DBArrFindID ---------------------------------------------------------

TEST_F(DBArrTest, FindIdOfMissingEmptyAndOtherFolders) {
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0);
  EXPECT_FALSE(Exists(db_));  // opening it made no database
  PutDb("");
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0);
  EXPECT_EQ(Db(), "");

  PutDb(Image(dir_, {{"alpha", 4}, {"song", 3}}));
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 3);
  EXPECT_EQ(DBArrFindID(dir_ + "/alpha"), 4);
  EXPECT_EQ(DBArrFindID(dir_ + "/beta"), 0);
  EXPECT_EQ(DBArrFindID(ProgFile("elsewhere") + "/song"), 0);
  EXPECT_EQ(DBArrFindID(dir_ + "x/song"), 0);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DBArrTest, FindIdUsesTheEditorsImageWhileItIsOpen) {
  PutDb(Image(dir_, {{"song", 3}}));
  DBArrBuf = Image(dir_, {{"other", 7}});
  gDBArrEditOpen = true;
  EXPECT_EQ(DBArrFindID(dir_ + "/other"), 7);
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 0);
  gDBArrEditOpen = false;
  EXPECT_EQ(DBArrFindID(dir_ + "/song"), 3);
  EXPECT_EQ(DBArrBuf, Db());
}

// --- DBArrUpdate ---------------------------------------------------------

TEST_F(DBArrTest, UpdateRemovesTheEntriesOfFilesThatAreGoneAndKeepsTheOthersIds) {
  std::string wrongHeader = ArrBytes();
  MidAssign(wrongHeader, 7, Chr(4));
  PutArr("alpha.arr");
  PutArr("empty.arr", "");
  PutArr("short.arr", Left(ArrBytes(), 10527));
  PutArr("long.arr", ArrBytes() + "x");
  PutArr("header.arr", wrongHeader);
  PutArr("Upper.ARR");  // the entry "upper": the name in another case is the same file
  ASSERT_EQ(MakeDirs(Arr("dir.arr")), 0);  // a folder is no arrangement file
  PutArr("zeta.arr");
  PutDb(Image(dir_, {{"alpha", 3},
                     {"dir", 4},
                     {"empty", 5},
                     {"gone", 6},
                     {"header", 7},
                     {"long", 8},
                     {"short", 9},
                     {"upper", 10},
                     {"zeta", 11}}));
  DBArrUpdate();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Db(), Image(dir_, {{"alpha", 3}, {"upper", 10}, {"zeta", 11}}));
  // Nothing is made or deleted in the folder.
  EXPECT_TRUE(Exists(Arr("empty.arr")));
  EXPECT_FALSE(Exists(Arr("gone.arr")));
  EXPECT_FALSE(Exists(Arr("upper.arr")));
}

TEST_F(DBArrTest, UpdateOfAnEmptyOrMissingDatabase) {
  DBArrUpdate();
  EXPECT_FALSE(Exists(db_));
  PutDb("");
  DBArrUpdate();
  EXPECT_EQ(Db(), "");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File not found", "File not found"}));
  EXPECT_EQ(BoxTitles()[0], "Reading r40DBArr");
  // No entries: written back as it was.
  PutDb(Image(dir_, {}));
  dialogs_.Clear();
  DBArrUpdate();
  EXPECT_EQ(Db(), Image(dir_, {}));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DBArrTest, UpdateStopsWithoutWritingWhenAFolderOrFileCannotBeRead) {
  PutArr("alpha.arr");
  PutArr("beta.arr");
  const std::string image = Image(dir_, {{"alpha", 3}, {"beta", 4}, {"gone", 5}});

  // The folder is missing: not one entry is removed.
  const std::string gone = ProgFile("nowhere");
  const std::string noFolder = Image(gone, {{"alpha", 3}, {"gone", 5}});
  PutDb(noFolder);
  DBArrUpdate();
  EXPECT_EQ(Db(), noFolder);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Reading alpha.arr"});

  // beta.arr exists but cannot be read.
  PutDb(image);
  dialogs_.Clear();
  SetFileFaultHook([&](const std::string& op, const std::string& path) {
    return op == "get" && path == Arr("beta.arr") ? kErrDeviceIO : 0;
  });
  DBArrUpdate();
  SetFileFaultHook(nullptr);
  EXPECT_EQ(Db(), image);
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Reading beta.arr"});
  EXPECT_EQ(DBArrBuf, image);

  // The write of the database fails.
  dialogs_.Clear();
  SetFileFaultHook([](const std::string& op, const std::string&) { return op == "write" ? kErrDiskFull : 0; });
  DBArrUpdate();
  SetFileFaultHook(nullptr);
  EXPECT_EQ(Db(), image);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
}

TEST_F(DBArrTest, UpdateStopsAtAFolderThatCannotBeListed) {
  PutArr("alpha.arr");
  const std::string image = Image(dir_, {{"alpha", 3}, {"gone", 5}});
  PutDb(image);
  // As root every folder may be listed: the update then runs as an ordinary
  // user, who owns the settings folder and the songs' folder.
  std::unique_ptr<EffectiveUser> user;
  if (CanSwitchUsers()) {
    const std::string prog = ProgFile("");
    ASSERT_TRUE(ChownTree(WinFile(""), kTestUid, kTestGid) && ChownTree(prog, kTestUid, kTestGid));
  }
  ASSERT_EQ(::chmod(dir_.c_str(), 0), 0);
  if (CanSwitchUsers()) {
    user = std::make_unique<EffectiveUser>();
    ASSERT_TRUE(user->Switched());
  }
  DBArrUpdate();
  user.reset();
  ::chmod(dir_.c_str(), 0755);
  EXPECT_EQ(Db(), image);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
}

TEST_F(DBArrTest, UpdateRefreshesTheOpenEditor) {
  FakeDBArrWindows windows;
  SetDBArrWindows(&windows);
  PutArr("beta.arr");
  PutDb(Image(dir_, {{"alpha", 3}, {"beta", 4}}));
  DBArrUpdate();
  EXPECT_EQ(windows.editorCalls, 0);
  PutDb(Image(dir_, {{"alpha", 3}, {"beta", 4}}));
  gDBArrEditOpen = true;
  DBArrUpdate();
  EXPECT_EQ(windows.editorCalls, 1);
  EXPECT_EQ(windows.lines, (std::vector<std::string>{" 1\tArrA", " 2\tArrB", " 4\tbeta.arr"}));
  EXPECT_EQ(windows.count, " 3/999");
}

TEST_F(DBArrTest, UpdateRemovesEntriesWithBadIdsWithoutTouchingTheMap) {
  // IDs outside 3-999 have no map byte: freeing them changes nothing there.
  std::string image = Image(dir_, {{"a", 0}, {"b", 2}, {"c", 1000}, {"d", 4}});
  MidAssign(image, 25975, StringOf(997, '\x01'));
  PutDb(image);
  PutArr("d.arr");
  DBArrUpdate();
  std::string expected = Image(dir_, {{"d", 4}});
  MidAssign(expected, 25975, StringOf(997, '\x01'));
  EXPECT_EQ(Db(), expected);
}

// --- DBArrCheck ----------------------------------------------------------

TEST_F(DBArrTest, CheckAtStartAndLater) {
  const std::string good = Image(dir_, {{"song", 3}});
  std::string badMagic = good;
  MidAssign(badMagic, 8, "x");
  struct Case {
    const char* what;
    bool present;
    std::string bytes;
    bool starting;
    int result;
    const char* box;  // nullptr: none
    bool keptAfter;
  };
  const Case cases[] = {
      {"missing, start", false, "", true, 1, nullptr, false},
      {"missing, later", false, "", false, 1, "File r40DBArr not found", false},
      {"empty, start", true, "", true, 1, nullptr, true},
      {"empty, later", true, "", false, 1, "File r40DBArr not found", true},
      {"good, start", true, good, true, 0, nullptr, true},
      {"good, later", true, good, false, 0, nullptr, true},
      {"bad magic, start", true, badMagic, true, 0, nullptr, true},
      {"bad magic, later", true, badMagic, false, 2, "File r40DBArr data error", true},
      {"short, start", true, Left(good, 27220), true, 0, nullptr, true},
      {"short, later", true, Left(good, 27220), false, 2, "File r40DBArr data error", true},
      {"long, later", true, good + "x", false, 2, "File r40DBArr data error", true},
  };
  for (const Case& c : cases) {
    KillFile(db_);
    if (c.present) PutDb(c.bytes);
    dialogs_.Clear();
    gStarting = c.starting;
    EXPECT_EQ(DBArrCheck(), c.result) << c.what;
    if (c.box) {
      ASSERT_EQ(dialogs_.boxes.size(), 1u) << c.what;
      EXPECT_EQ(dialogs_.boxes[0].text, c.box) << c.what;
      EXPECT_EQ(dialogs_.boxes[0].title, "Edit r40DBArr") << c.what;
    } else {
      EXPECT_TRUE(dialogs_.boxes.empty()) << c.what;
    }
    EXPECT_EQ(Exists(db_), c.keptAfter) << c.what;
    if (c.keptAfter) {
      EXPECT_EQ(Db(), c.bytes) << c.what;
    }
  }
}

TEST_F(DBArrTest, CheckOfAnUnreadableDatabaseIsNotUsable) {
  PutDb(Image(dir_, {}));
  SetFileFaultHook([](const std::string& op, const std::string&) { return op == "get" ? kErrDeviceIO : 0; });
  EXPECT_EQ(DBArrCheck(), 2);
  SetFileFaultHook(nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Reading Error"});
}
