// File > Save, the arrangement window's close-prompt save and Save As.
#include "app/docsave.h"

#include <algorithm>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/openfile.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "platform/files.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/fakemainview.h"
#include "tests/fixtures/filebuilders.h"

namespace {

const std::string kFilter =
    "Arrangements (*.arr)|*.arr| Styles (*.sty)|*.sty| Programs (*.prg)|*.prg| Programs(*.pgg)| *.pgg| Global(*.gbl)| "
    "*.gbl| All files (*.*)|*.*|";

// A one-bank style group whose length is not a multiple of 4, so that the
// written file shows its blank padding.
std::string Group() { return StyGroupBytes({{"Rock", 301}, {"Jazz", 200}}); }

void SetPath(std::string& doc, const std::string& path) { MidAssign(doc, 21, PadRight(path, 238)); }

// Document strings as the windows build them: kind, slot, path, the file
// image from 271 (an arrangement window also holds its style group), and
// their modified flags set.
std::string ArrDoc(int kind, const std::string& path, int companion = 0) {
  std::string doc = StyWinTag(19, path, Group());
  MidAssign(doc, 1, Chr(kind));
  MidAssign(doc, 4, Chr(1));
  MidAssign(doc, 9, Chr(companion));
  MidAssign(doc, 10, Chr(1));
  MidAssign(doc, 15, Chr(3));
  MidAssign(doc, 271, ArrFileBytes());
  return doc;
}

std::string PrgDoc(int kind, const std::string& path, bool pgg) {
  std::string doc = Nuls(270) + PrgFileBytes(pgg) + Nuls(64 * 21);
  MidAssign(doc, 1, Chr(kind));
  MidAssign(doc, 7, Chr(1));
  MidAssign(doc, 15, Chr(3));
  MidAssign(doc, 19, Chr(pgg ? 1 : 0));
  SetPath(doc, path);
  return doc;
}

std::string StyDoc(int kind, const std::string& path) {
  std::string doc = StyWinTag(23, path, Group());
  MidAssign(doc, 1, Chr(kind));
  MidAssign(doc, 10, Chr(1));
  MidAssign(doc, 15, Chr(3));
  return doc;
}

std::string GblDoc(int kind, const std::string& path) {
  std::string doc = Nuls(270) + GblFileBytes();
  MidAssign(doc, 1, Chr(kind));
  MidAssign(doc, 4, Chr(1));
  MidAssign(doc, 15, Chr(3));
  SetPath(doc, path);
  return doc;
}

FileDialogResult Chosen(const std::string& path, int filterIndex = 6) {
  FileDialogResult r;
  r.accepted = true;
  r.fileName = path;
  r.filterIndex = filterIndex;
  return r;
}

}  // namespace

class DocSaveTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    gLangBase = 200;
  }
  // A path in the program folder.
  std::string P(const std::string& name) const { return ProgFile(name); }
  // The names of the files in the program folder, sorted.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const QString& n : QDir(progDir_->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
      names.push_back(QFile::encodeName(n).toStdString());
    std::sort(names.begin(), names.end());
    return names;
  }
};

using Names = std::vector<std::string>;

TEST_F(DocSaveTest, FileSaveWritesEachKindInPlaceAndClearsItsFlag) {
  const struct {
    const char* label;
    std::string doc;
    std::string file;
    std::string bytes;
    int flag;
    const std::string* slotPath;  // the slot record that follows the document, or none
  } cases[] = {
      {"arrangement file", ArrDoc(19, P("a")), "a.arr", ArrFileBytes(), 4, &gArrSlots[3].Path},
      {"named new arrangement", ArrDoc(20, P("n")), "n.arr", ArrFileBytes(), 4, nullptr},
      {"program file", PrgDoc(21, P("p"), false), "p.prg", PrgFileBytes(false), 7, &gPrgSlots[3].Path},
      {"pgg program file", PrgDoc(21, P("q"), true), "q.pgg", PrgFileBytes(true), 7, &gPrgSlots[3].Path},
      {"named new program", PrgDoc(22, P("r"), false), "r.prg", PrgFileBytes(false), 7, nullptr},
      {"style file", StyDoc(23, P("s")), "s.sty", StyFileBytes(Group()), 10, &gStySlots[3].Path},
      {"named new style", StyDoc(24, P("t")), "t.sty", StyFileBytes(Group()), 10, nullptr},
      {"global file", GblDoc(25, P("g")), "g.gbl", GblFileBytes(), 4, &gGblSlots[3].Path},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SlotsReset();
    std::string doc = c.doc;
    FakeChild owner;
    EXPECT_EQ(FileSave(doc, &owner), 0);
    EXPECT_EQ(ReadBytes(P(c.file)), c.bytes);
    EXPECT_EQ(Asc(doc, c.flag), 0);
    EXPECT_EQ(Asc(doc, 1), Asc(c.doc, 1));  // the kind is kept
    EXPECT_EQ(Mid(doc, 21, 238), Mid(c.doc, 21, 238));
    EXPECT_TRUE(owner.captionsSet.empty());
    if (c.slotPath) {
      EXPECT_EQ(*c.slotPath, Mid(c.doc, 21, 238));
    }
  }
  EXPECT_EQ(gPrgSlots[3].Pgg, 0);  // the last program saved was a .prg
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_TRUE(dialogs_.fileCalls.empty());
}

TEST_F(DocSaveTest, FileSaveRecordsThePggFlagAndWritesNothingForABank) {
  std::string pgg = PrgDoc(21, P("q"), true);
  ASSERT_EQ(FileSave(pgg), 0);
  EXPECT_EQ(gPrgSlots[3].Pgg, 1);
  EXPECT_EQ(gOpCaption, "Saving q.pgg");

  for (int kind : {2, 3, 4, 14, 17}) {
    std::string bank = ArrDoc(kind, "r40ArrA");
    const std::string before = bank;
    EXPECT_EQ(FileSave(bank), 0) << kind;
    EXPECT_EQ(bank, before);
  }
  EXPECT_EQ(Listing(), (Names{"q.pgg"}));
}

// An arrangement file leaves the same files whichever command saves it:
// File > Save and the close prompt both follow character 9 (0 the style file
// left alone, 1 deleted, 2 written when the styles changed). A named new
// arrangement writes its style file by character 9 = 2 and deletes it
// otherwise.
TEST_F(DocSaveTest, TheCompanionStyleFileFollowsCharacterNine) {
  const std::string sty = P("song.sty");
  enum After { kKept, kDeleted, kWritten };
  const struct {
    const char* label;
    int kind;
    int companion;
    int stylesFlag;  // character 10 before the save
    After after;     // the old style file afterwards
  } cases[] = {
      {"no companion", 19, 0, 1, kKept},
      {"companion to delete", 19, 1, 1, kDeleted},
      {"companion to write", 19, 2, 1, kWritten},
      {"companion unchanged", 19, 2, 0, kKept},
      {"new arrangement, no companion", 20, 0, 1, kDeleted},
      {"new arrangement, companion to write", 20, 2, 1, kWritten},
  };
  for (const auto& c : cases) {
    for (const bool closePrompt : {false, true}) {
      if (closePrompt && c.kind != 19) continue;  // only an arrangement file's close prompt saves this way
      SCOPED_TRACE(std::string(c.label) + (closePrompt ? ", close prompt" : ", File > Save"));
      KillFile(P("song.arr"));
      WriteBytes(sty, "old style");
      std::string doc = ArrDoc(c.kind, P("song"), c.companion);
      MidAssign(doc, 10, Chr(c.stylesFlag));
      EXPECT_EQ(closePrompt ? ArrFileSaveClose(doc) : FileSave(doc), 0);
      EXPECT_EQ(ReadBytes(P("song.arr")), ArrFileBytes());
      EXPECT_EQ(Asc(doc, 4), 0);
      EXPECT_EQ(Asc(doc, 10), c.companion == 0 ? 1 : 0);
      switch (c.after) {
        case kKept: EXPECT_EQ(ReadBytes(sty), "old style"); break;
        case kDeleted: EXPECT_FALSE(Exists(sty)); break;
        case kWritten: EXPECT_EQ(ReadBytes(sty), StyFileBytes(Group())); break;
      }
      EXPECT_EQ(Mid(doc, 21, 238), Mid(ArrDoc(19, P("song")), 21, 238));
    }
  }
  EXPECT_EQ(gArrSlots[3].Path, PadRight(P("song"), 238));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

// A read-only document is never written in place, by File > Save or by the
// close prompt: "Read only file" titled with its caption, the document kept
// as it was and nothing written. Save As writes another file.
TEST_F(DocSaveTest, AReadOnlyDocumentIsNeverSavedInPlace) {
  const struct {
    const char* label;
    std::string doc;
    bool closePrompt;
  } cases[] = {
      {"arrangement file", ArrDoc(19, P("a"), 2), false},
      {"arrangement file, close prompt", ArrDoc(19, P("a"), 1), true},
      {"program file", PrgDoc(21, P("p"), false), false},
      {"style file", StyDoc(23, P("s")), false},
      {"global file", GblDoc(25, P("g")), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    std::string doc = c.doc;
    MidAssign(doc, 2, Chr(1));
    const std::string before = doc;
    EXPECT_EQ(c.closePrompt ? ArrFileSaveClose(doc) : FileSave(doc), 1);
    EXPECT_EQ(doc, before);
    EXPECT_EQ(BoxTexts(), Names{"Read only file"});
    EXPECT_EQ(BoxTitles(), Names{WinCaption(doc)});
    EXPECT_EQ(Right(BoxTitles()[0], 12), " - Read Only");
  }
  EXPECT_TRUE(Listing().empty());

  std::string doc = ArrDoc(19, P("a"), 2);
  MidAssign(doc, 2, Chr(1));
  dialogs_.Clear();
  dialogs_.fileAnswers.push_back(Chosen(P("copy.arr"), 1));
  EXPECT_EQ(FileSaveAs(doc), 0);
  EXPECT_EQ(Listing(), (Names{"copy.arr", "copy.sty"}));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(DocSaveTest, SavingAProgramRemovesItsNamesakeOfTheOtherExtension) {
  const struct {
    bool pgg;
    std::string namesake;  // "" none
    Names after;
  } cases[] = {
      {false, "x.pgg", {"x.prg"}},
      {true, "x.prg", {"x.pgg"}},
      {false, "x.PGG", {"x.prg"}},
      {false, "", {"x.prg"}},
      {true, "", {"x.pgg"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.namesake + (c.pgg ? " saving pgg" : " saving prg"));
    for (const std::string& n : Listing()) KillFile(P(n));
    if (!c.namesake.empty()) WriteBytes(P(c.namesake), "other");
    std::string doc = PrgDoc(21, P("x"), c.pgg);
    EXPECT_EQ(FileSave(doc), 0);
    EXPECT_EQ(Listing(), c.after);
  }
}

TEST_F(DocSaveTest, AnExtensionInAnotherCaseIsTheFileThatIsSaved) {
  WriteBytes(P("a.ARR"), "old");
  WriteBytes(P("s.Sty"), "old");
  WriteBytes(P("g.GBL"), "old");
  WriteBytes(P("b.Arr"), "old");
  std::string arr = ArrDoc(19, P("a"), 2);
  std::string sty = StyDoc(23, P("s"));
  std::string gbl = GblDoc(25, P("g"));
  std::string closing = ArrDoc(19, P("b"));
  ASSERT_EQ(FileSave(arr), 0);
  ASSERT_EQ(FileSave(sty), 0);
  ASSERT_EQ(FileSave(gbl), 0);
  ASSERT_EQ(ArrFileSaveClose(closing), 0);
  EXPECT_EQ(Listing(), (Names{"a.ARR", "a.sty", "b.Arr", "g.GBL", "s.Sty"}));
  EXPECT_EQ(ReadBytes(P("a.ARR")), ArrFileBytes());
  EXPECT_EQ(ReadBytes(P("b.Arr")), ArrFileBytes());
  EXPECT_EQ(ReadBytes(P("s.Sty")), StyFileBytes(Group()));
  EXPECT_EQ(ReadBytes(P("g.GBL")), GblFileBytes());
  EXPECT_EQ(gOpCaption, "Saving g.GBL");
  EXPECT_EQ(WithExtension(P("a"), ".arr"), P("a.ARR"));
  EXPECT_EQ(WithExtension(P("A"), ".arr"), P("A.arr"));  // the name itself is matched exactly
  EXPECT_EQ(WithExtension(P("none/a"), ".ARR"), P("none/a.arr"));
  EXPECT_EQ(WithExtension(P("b"), "arr"), P("b.Arr"));  // the point may be left out
}

TEST_F(DocSaveTest, AFailedWriteKeepsTheOldFileAndTheFlags) {
  const struct {
    const char* label;
    int err;
    std::string doc;
    std::string file;
    std::string reason;
    MsgButtons buttons;
  } cases[] = {
      {"disk full", 61, ArrDoc(19, P("a")), "a.arr", "Disk full", MsgButtons::RetryCancel},
      {"read-only", 75, PrgDoc(21, P("p"), false), "p.prg", "Read only file", MsgButtons::OK},
      {"device error", 57, GblDoc(25, P("g")), "g.gbl", "Error I/O device", MsgButtons::OK},
      {"other error", 67, GblDoc(25, P("g")), "g.gbl", "Disk writing error", MsgButtons::OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    WriteBytes(P(c.file), "old file");
    std::string doc = c.doc;
    {
      FaultHook hook(FailOp("rename", c.err));
      EXPECT_EQ(FileSave(doc), 1);
      EXPECT_EQ(hook.Count("rename"), 1);  // no retry without the user's Retry
    }
    EXPECT_EQ(doc, c.doc);
    EXPECT_EQ(ReadBytes(P(c.file)), "old file");
    EXPECT_EQ(BoxTexts(), Names{"Cannot write " + P(c.file) + "\r\n" + c.reason});
    EXPECT_EQ(BoxTitles(), Names{"Saving " + c.file});
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].buttons, c.buttons);
    EXPECT_EQ(dialogs_.boxes[0].icon, MsgIcon::Exclamation);
  }
  EXPECT_EQ(Listing(), (Names{"a.arr", "g.gbl", "p.prg"}));  // no temporary file is left

  // A folder that has vanished.
  dialogs_.Clear();
  std::string doc = ArrDoc(19, P("gone/a"));
  const std::string before = doc;
  EXPECT_EQ(FileSave(doc), 1);
  EXPECT_EQ(doc, before);
  EXPECT_EQ(BoxTexts(), Names{"Cannot write " + P("gone/a.arr") + "\r\nPath not found"});

  // In Italian.
  dialogs_.Clear();
  gLangBase = 0;
  doc = ArrDoc(19, P("a"));
  FaultHook hook(FailOp("rename", 61));
  EXPECT_EQ(FileSave(doc), 1);
  EXPECT_EQ(BoxTexts(), Names{"Impossibile scrivere " + P("a.arr") + "\r\nDisco pieno"});
  EXPECT_EQ(BoxTitles(), Names{"Salva a.arr"});
}

// A save that must make a new file or remove one in a folder the user may
// not write names the folder, with the folder's reason; a file the user may
// not write keeps its own. Nothing is changed either way.
TEST_F(DocSaveTest, AFolderThatRefusesGivesTheFolderReason) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "the refusals need an ordinary user";
  ASSERT_EQ(::chmod(progDir_->path().toLocal8Bit().constData(), 0777), 0);
  ASSERT_EQ(::chmod(winDir_->path().toLocal8Bit().constData(), 0777), 0);
  ASSERT_EQ(MakeDirs(P("locked")), 0);
  WriteBytes(P("locked/a.arr"), "old arr");
  WriteBytes(P("locked/a.sty"), "old sty");
  WriteBytes(P("ro.prg"), "old prg");
  ASSERT_EQ(::chmod(P("locked/a.arr").c_str(), 0666), 0);
  ASSERT_EQ(::chmod(P("locked/a.sty").c_str(), 0666), 0);  // the file may go; its folder keeps it
  ASSERT_EQ(::chmod(P("ro.prg").c_str(), 0444), 0);
  ASSERT_EQ(::chmod(P("locked").c_str(), 0555), 0);

  const std::string folder = P("locked");
  const struct {
    const char* label;
    std::string doc;
    int lang;
    std::string text;
  } cases[] = {
      {"a new file", ArrDoc(20, P("locked/n")), 200, "Cannot write " + folder + "\r\nWriting not permitted"},
      {"a style file to remove", ArrDoc(19, P("locked/a"), 1), 200, "Cannot write " + folder + "\r\nWriting not permitted"},
      {"in Italian", ArrDoc(20, P("locked/n")), 0, "Impossibile scrivere " + folder + "\r\nScrittura non consentita"},
      {"a read-only file", PrgDoc(21, P("ro"), false), 200, "Cannot write " + P("ro.prg") + "\r\nRead only file"},
      {"in Italian, a file", PrgDoc(21, P("ro"), false), 0, "Impossibile scrivere " + P("ro.prg") + "\r\nFile di sola lettura"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string texts;
    const int result = RunAsUser(
        kTestUid, kTestGid,
        [&](std::string& out) {
          gLangBase = c.lang;
          dialogs_.Clear();
          std::string doc = c.doc;
          const int saved = FileSave(doc);
          for (const std::string& t : BoxTexts()) out += t + "|";
          return saved;
        },
        texts);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(texts, c.text + "|");
  }
  EXPECT_EQ(ReadBytes(P("locked/a.arr")), "old arr");
  EXPECT_EQ(ReadBytes(P("locked/a.sty")), "old sty");
  EXPECT_EQ(ReadBytes(P("ro.prg")), "old prg");
  EXPECT_FALSE(Exists(P("locked/n.arr")));
  EXPECT_EQ(Listing(), Names{"ro.prg"});
  ASSERT_EQ(::chmod(P("locked").c_str(), 0755), 0);
}

TEST_F(DocSaveTest, AFailedStyleWriteKeepsTheModifiedFlags) {
  const auto failSty = [](const std::string& op, const std::string& path, int) {
    return op == "write" && Right(path, 4) == ".sty" ? 57 : 0;
  };
  std::string arr = ArrDoc(19, P("a"), 2);
  std::string sty = StyDoc(23, P("s"));
  std::string named = ArrDoc(20, P("n"), 2);
  const std::string arrBefore = arr, styBefore = sty;
  FaultHook hook(failSty);
  EXPECT_EQ(FileSave(arr), 1);
  EXPECT_EQ(arr, arrBefore);  // characters 4 and 10 still set
  EXPECT_EQ(FileSave(sty), 1);
  EXPECT_EQ(sty, styBefore);
  EXPECT_EQ(ArrFileSaveClose(arr), 1);
  EXPECT_EQ(arr, arrBefore);
  FakeChild owner;
  dialogs_.fileAnswers.push_back(Chosen(P("m.arr")));
  EXPECT_EQ(FileSaveAs(named, &owner), 1);
  EXPECT_EQ(Asc(named, 4), 1);
  EXPECT_EQ(Asc(named, 10), 1);
  EXPECT_TRUE(owner.captionsSet.empty());
  // Each failure was reported once, naming the file that failed and why:
  // File > Save titled with that file, the close prompt and Save As with the
  // program's title.
  const std::string why = "\r\nError I/O device";
  EXPECT_EQ(BoxTexts(), (Names{"Cannot write " + P("a.sty") + why, "Cannot write " + P("s.sty") + why,
                               "Cannot write " + P("a.sty") + why, "Cannot write " + P("m.sty") + why}));
  EXPECT_EQ(BoxTitles(), (Names{"Saving a.sty", "Saving s.sty", kAppTitle, kAppTitle}));
  // Nothing was written: the arrangement file of each failed save stands
  // neither new nor alone.
  EXPECT_EQ(Listing(), Names{});
}

// A full disk or a disk that is not ready is tried again only when the user
// answers Retry in the box of the failed attempt, one box per attempt; Cancel
// (or closing the box) ends the save. Other errors offer no retry. Either
// way the old file stays whole and no temporary file is left.
TEST_F(DocSaveTest, RetriesAfterAFullOrUnreadyDiskAreBounded) {
  enum Routine { kSave, kClose, kSaveAs };
  const std::string full = "Disk full", notReady = "Disk not ready or not formatted";
  const int R = kMsgRetry, C = kMsgCancel;
  const struct {
    const char* label;
    Routine routine;
    int err;
    int times;                // failed attempts before the disk is usable again
    std::vector<int> answers;  // the user's answers to the boxes
    int result;
    std::vector<std::string> reasons;  // one box per failed attempt
    MsgButtons buttons;
  } cases[] = {
      {"save, not ready, cancelled", kSave, 71, 100, {R, R, C}, 1, {notReady, notReady, notReady}, MsgButtons::RetryCancel},
      {"save, full, retried once", kSave, 61, 1, {R}, 0, {full}, MsgButtons::RetryCancel},
      {"save, full, box closed", kSave, 61, 100, {}, 1, {full}, MsgButtons::RetryCancel},
      {"close, full, cancelled", kClose, 61, 100, {R, C}, 1, {full, full}, MsgButtons::RetryCancel},
      {"close, not ready once", kClose, 71, 1, {R}, 0, {notReady}, MsgButtons::RetryCancel},
      {"close, access denied", kClose, 75, 100, {R}, 1, {"Read only file"}, MsgButtons::OK},
      {"save as, full once", kSaveAs, 61, 1, {R}, 0, {full}, MsgButtons::RetryCancel},
      {"save as, not ready, cancelled", kSaveAs, 71, 100, {R, R, R, C}, 1, {notReady, notReady, notReady, notReady},
       MsgButtons::RetryCancel},
      {"save as, path not found", kSaveAs, 76, 100, {R}, 1, {"Path not found"}, MsgButtons::OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    WriteBytes(P("a.arr"), "old file");
    std::string doc = ArrDoc(19, P("a"));
    const std::string before = doc;
    if (c.routine == kSaveAs) dialogs_.fileAnswers.push_back(Chosen(P("a.arr"), 1));
    dialogs_.boxAnswers.assign(c.answers.begin(), c.answers.end());
    FaultHook hook(FailOp("rename", c.err, c.times));
    const int result = c.routine == kSave ? FileSave(doc) : c.routine == kClose ? ArrFileSaveClose(doc) : FileSaveAs(doc);
    EXPECT_EQ(result, c.result);
    Names texts;
    for (const std::string& reason : c.reasons) texts.push_back("Cannot write " + P("a.arr") + "\r\n" + reason);
    EXPECT_EQ(BoxTexts(), texts);
    for (const auto& box : dialogs_.boxes) {
      EXPECT_EQ(box.title, c.routine == kSave ? "Saving a.arr" : kAppTitle);
      EXPECT_EQ(box.buttons, c.buttons);
    }
    // One attempt per box, and the one that succeeded.
    EXPECT_EQ(hook.Count("rename"), static_cast<int>(c.reasons.size()) + (c.result == 0 ? 1 : 0));
    EXPECT_EQ(Asc(doc, 4), c.result == 0 ? 0 : 1);
    EXPECT_EQ(ReadBytes(P("a.arr")), c.result == 0 ? ArrFileBytes() : "old file");
    EXPECT_EQ(Listing(), Names{"a.arr"});
    if (c.result != 0) {
      EXPECT_EQ(doc, before);
    }
  }
}

TEST_F(DocSaveTest, SaveAsStartsTheDialogByTheDocumentsKind) {
  gLastDir = "/w/arr";
  gLastDlgPath = "/w/prg";
  gGblDir = "/w/gbl";
  std::string untitled = ArrDoc(20, "Untitled");
  MidAssign(untitled, 18, Chr(1));
  const struct {
    const char* label;
    std::string doc;
    int filterIndex;
    std::string initDir, defaultExt, fileName;
  } cases[] = {
      {"bank A", ArrDoc(2, "r40ArrA"), 1, "/w/arr", "arr", "r40ArrA.arr"},
      {"bank B", ArrDoc(3, "r40ArrB"), 1, "/w/arr", "arr", "r40ArrB.arr"},
      {"arrangement file", ArrDoc(19, "/d/song"), 1, "/w/arr", "arr", "/d/song.arr"},
      {"untitled arrangement", untitled, 1, "/w/arr", "arr", "Untitled.arr"},
      {"named new arrangement", ArrDoc(20, "/d/new"), 1, "/w/arr", "arr", "new.arr"},
      {"prg file", PrgDoc(21, "/d/set", false), 3, "/d", "prg", "set.prg"},
      {"pgg file", PrgDoc(21, "/d/set", true), 4, "/d", "pgg", "set.pgg"},
      {"new prg program", PrgDoc(22, "", false), 3, "/w/prg", "prg", "Untitled.prg"},
      {"new pgg program", PrgDoc(22, "", true), 4, "/w/prg", "pgg", "Untitled.pgg"},
      {"style file", StyDoc(23, "/d/sty"), 2, "/w/arr", "sty", "Untitled.sty"},
      {"new style", StyDoc(24, ""), 2, "/w/arr", "sty", "Untitled.sty"},
      {"global file", GblDoc(25, "/d/setup"), 5, "/w/gbl", "gbl", "setup.gbl"},
      {"global parameters", GblDoc(14, "Global"), 5, "/w/gbl", "gbl", "Global.gbl"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    std::string doc = c.doc;
    FakeChild owner;
    EXPECT_EQ(FileSaveAs(doc, &owner), 1);  // cancelled
    EXPECT_EQ(doc, c.doc);
    EXPECT_TRUE(owner.captionsSet.empty());
    ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
    const FileDialogRequest& req = dialogs_.fileCalls[0].request;
    EXPECT_TRUE(dialogs_.fileCalls[0].save);
    EXPECT_EQ(req.title, "Save file as");
    EXPECT_EQ(req.filter, kFilter);
    EXPECT_EQ(req.filterIndex, c.filterIndex);
    EXPECT_EQ(req.initDir, c.initDir);
    EXPECT_EQ(req.defaultExt, c.defaultExt);
    EXPECT_EQ(req.fileName, c.fileName);
    EXPECT_FALSE(req.readOnlyBox);
    EXPECT_TRUE(dialogs_.boxes.empty());
  }
  // Save As leaves the remembered folders alone.
  EXPECT_EQ(gLastDir, "/w/arr");
  EXPECT_EQ(gGblDir, "/w/gbl");

  // An empty name counts as Cancel; a window without a file format of its
  // own has nothing to save and shows no dialog.
  dialogs_.Clear();
  std::string doc = ArrDoc(19, P("a"));
  dialogs_.fileAnswers.push_back(Chosen(""));
  EXPECT_EQ(FileSaveAs(doc), 1);
  std::string bank = ArrDoc(5, "Prog Bank C");
  EXPECT_EQ(FileSaveAs(bank), 0);
  EXPECT_EQ(dialogs_.fileCalls.size(), 1u);
  EXPECT_TRUE(Listing().empty());
}

TEST_F(DocSaveTest, SaveAsWritesTheKindsOwnFormatWhateverTheFilter) {
  const struct {
    const char* label;
    std::string doc;
    std::string chosen;
    std::string file;
    std::string bytes;
    bool takesOver;  // the document takes the new path (else it only exports)
    std::vector<int> cleared;
  } cases[] = {
      {"bank A", ArrDoc(2, "r40ArrA"), "bankA.arr", "bankA.arr", ArrFileBytes(), false, {}},
      {"arrangement file", ArrDoc(19, P("old")), "song.arr", "song.arr", ArrFileBytes(), true, {4}},
      {"new arrangement", ArrDoc(20, "Untitled"), "fresh.arr", "fresh.arr", ArrFileBytes(), true, {4, 18}},
      {"prg file", PrgDoc(21, P("old"), false), "set.prg", "set.prg", PrgFileBytes(false), true, {7}},
      {"new pgg program", PrgDoc(22, "", true), "kit.pgg", "kit.pgg", PrgFileBytes(true), true, {7, 18}},
      {"style file", StyDoc(23, P("old")), "grp.sty", "grp.sty", StyFileBytes(Group()), true, {10}},
      {"new style", StyDoc(24, ""), "mine.sty", "mine.sty", StyFileBytes(Group()), true, {10, 18}},
      {"global file", GblDoc(25, P("old")), "setup.gbl", "setup.gbl", GblFileBytes(), true, {4}},
      {"global parameters", GblDoc(14, "Global"), "now.gbl", "now.gbl", GblFileBytes(), false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string doc = c.doc;
    MidAssign(doc, 18, Chr(1));
    const std::string before = doc;
    FakeChild owner;
    dialogs_.fileAnswers.push_back(Chosen(P(c.chosen)));  // "All files" left selected
    ASSERT_EQ(FileSaveAs(doc, &owner), 0);
    EXPECT_EQ(ReadBytes(P(c.file)), c.bytes);
    if (!c.takesOver) {
      EXPECT_EQ(doc, before);
      EXPECT_TRUE(owner.captionsSet.empty());
      continue;
    }
    const std::string pathNoExt = P(Left(c.chosen, static_cast<int>(c.chosen.size()) - 4));
    EXPECT_EQ(Mid(doc, 21, 238), PadRight(pathNoExt, 238));
    EXPECT_EQ(Asc(doc, 1), Asc(c.doc, 1));
    for (int pos : c.cleared) EXPECT_EQ(Asc(doc, pos), 0) << pos;
    EXPECT_EQ(Asc(doc, 18), 0);
    EXPECT_EQ(owner.captionsSet, Names{WinCaption(doc)});
  }
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gGblSlots[3].Path, PadRight(P("setup"), 238));
  EXPECT_EQ(gGblFileName, "now");
  EXPECT_EQ(gCurFilePath, PathDir(P("now")));
}

TEST_F(DocSaveTest, SaveAsGivesTheDocumentItsNewNameAndSaveThenWritesInPlace) {
  std::string doc = ArrDoc(20, "Untitled", 2);
  MidAssign(doc, 18, Chr(1));
  FakeChild owner;
  dialogs_.fileAnswers.push_back(Chosen(P("song.arr"), 1));
  ASSERT_EQ(FileSaveAs(doc, &owner), 0);
  EXPECT_EQ(owner.captionsSet, Names{"New File Arr - song.arr (3)"});
  EXPECT_EQ(ReadBytes(P("song.sty")), StyFileBytes(Group()));  // the style file beside the new path
  EXPECT_EQ(gArrFileName, "song");

  MidAssign(doc, 4, Chr(1));
  MidAssign(doc, 271, "changed");
  EXPECT_EQ(FileSave(doc, &owner), 0);
  EXPECT_EQ(dialogs_.fileCalls.size(), 1u);
  EXPECT_EQ(Left(ReadBytes(P("song.arr")), 7), "changed");
  EXPECT_EQ(Asc(doc, 4), 0);

  // A program saved as a slot's file leaves its path and .pgg flag there.
  std::string prg = PrgDoc(21, P("old"), true);
  dialogs_.fileAnswers.push_back(Chosen(P("x.prg"), 3));
  ASSERT_EQ(FileSaveAs(prg), 0);
  EXPECT_EQ(Listing(), (Names{"song.arr", "song.sty", "x.pgg"}));
  EXPECT_EQ(gPrgSlots[3].Path, PadRight(P("x"), 238));
  EXPECT_EQ(gPrgSlots[3].Pgg, 1);
  EXPECT_EQ(gPrgFileName, "x");
  EXPECT_EQ(gLastDlgPath, PathDir(P("x")));
}

TEST_F(DocSaveTest, SaveAsReplacesATypedExtensionOfTheKindOnly) {
  const struct {
    const char* label;
    std::string doc;
    std::string chosen;
    std::string existing;  // a file there before, "" none
    std::string pathNoExt;
    Names after;
  } cases[] = {
      {"another extension stays", ArrDoc(19, ""), "x.txt", "", "x.txt", {"x.txt.arr"}},
      {"no extension", GblDoc(25, ""), "x", "", "x", {"x.gbl"}},
      {"upper case, no file", ArrDoc(19, ""), "x.ARR", "", "x", {"x.arr"}},
      {"upper case file there", ArrDoc(19, ""), "x.ARR", "x.ARR", "x", {"x.ARR"}},
      {"prg typed for a pgg", PrgDoc(21, "", true), "x.prg", "", "x", {"x.pgg"}},
      {"pgg typed for a prg, old pgg", PrgDoc(21, "", false), "x.PGG", "x.PGG", "x", {"x.prg"}},
      {"style in another case", StyDoc(23, ""), "x.sty", "x.STY", "x", {"x.STY"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const std::string& n : Listing()) KillFile(P(n));
    if (!c.existing.empty()) WriteBytes(P(c.existing), "old");
    std::string doc = c.doc;
    dialogs_.fileAnswers.push_back(Chosen(P(c.chosen)));
    ASSERT_EQ(FileSaveAs(doc), 0);
    EXPECT_EQ(RTrim(Mid(doc, 21, 238)), P(c.pathNoExt));
    EXPECT_EQ(Listing(), c.after);
    EXPECT_NE(ReadBytes(P(c.after[0])), "old");
  }
}

TEST_F(DocSaveTest, SaveAsRefusesAFileAnotherWindowShows) {
  const std::string other = P("other");
  const std::string own = P("mine");
  gArrSlotUsed[2] = 1;
  gArrSlots[2].Path = PadRight(other, 238);
  gArrSlotUsed[3] = 1;
  gArrSlots[3].Path = PadRight(own, 238);
  gStySlotUsed[2] = 1;
  gStySlots[2].Path = PadRight(other, 238);
  gPrgSlotUsed[2] = 1;
  gPrgSlots[2].Path = PadRight(other, 238);
  gGblSlots[2].InUse = 1;
  gGblSlots[2].Path = PadRight(other, 238);
  const struct {
    const char* label;
    std::string doc;
    std::string chosen;
  } cases[] = {
      {"arrangement", ArrDoc(19, own), "other.arr"},
      {"bank", ArrDoc(2, "r40ArrA"), "other.arr"},
      {"style", StyDoc(24, ""), "other.sty"},
      {"program", PrgDoc(22, "", true), "other.pgg"},
      {"global", GblDoc(25, own), "other.gbl"},
      {"global parameters", GblDoc(14, "Global"), "other"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    std::string doc = c.doc;
    dialogs_.fileAnswers.push_back(Chosen(P(c.chosen)));
    EXPECT_EQ(FileSaveAs(doc), 1);
    EXPECT_EQ(doc, c.doc);
    EXPECT_EQ(BoxTexts(), Names{"File already open"});
    EXPECT_EQ(BoxTitles(), Names{kAppTitle});
  }
  EXPECT_TRUE(Listing().empty());

  // The document's own file is no other window's.
  std::string doc = ArrDoc(19, own);
  dialogs_.fileAnswers.push_back(Chosen(own + ".arr"));
  EXPECT_EQ(FileSaveAs(doc), 0);
  EXPECT_EQ(Listing(), Names{"mine.arr"});
}

TEST_F(DocSaveTest, SaveAsRefusesAPathThatDoesNotFitItsField) {
  const std::string folder = ProgFile("");
  const int room = 238 - static_cast<int>(folder.size());
  ASSERT_GT(room, 10);
  for (int len : {room + 1, room}) {
    SCOPED_TRACE(len);
    dialogs_.Clear();
    const std::string chosen = folder + StringOf(len, 'n') + ".arr";
    std::string doc = ArrDoc(19, P("a"));
    dialogs_.fileAnswers.push_back(Chosen(chosen));
    const int result = FileSaveAs(doc);
    if (len > room) {
      EXPECT_EQ(result, 1);
      ASSERT_EQ(dialogs_.boxes.size(), 1u);
      EXPECT_EQ(dialogs_.boxes[0].title, kAppTitle);
      EXPECT_EQ(dialogs_.boxes[0].text, "File name not valid");
      EXPECT_EQ(dialogs_.boxes[0].icon, MsgIcon::Exclamation);
      EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::OK);
      EXPECT_TRUE(Listing().empty());
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(RTrim(Mid(doc, 21, 238)), folder + StringOf(len, 'n'));
      EXPECT_TRUE(dialogs_.boxes.empty());
    }
  }
  // A name of nothing but the extension is not a file name either.
  dialogs_.Clear();
  std::string doc = ArrDoc(19, P("a"));
  dialogs_.fileAnswers.push_back(Chosen(folder + ".arr"));
  EXPECT_EQ(FileSaveAs(doc), 1);
  EXPECT_EQ(BoxTexts(), Names{"File name not valid"});
}

// File > Save of an arrangement file with its style file, ended between the
// two files as a kill would end it (an error answered there would be undone
// at once), then File > Open of the arrangement file: both files hold the
// same save, whole, and nothing of the save is left beside them. The save is
// finished when each file holds its new content or has it whole beside it (a
// file with a second name, written in place, counts once it holds it); else
// it is rolled back.
TEST_F(DocSaveTest, ASaveKilledBetweenItsFilesIsWholeAtTheNextOpen) {
  std::string oldArr = ArrFileBytes();
  MidAssign(oldArr, 300, "older");
  const std::string oldSty = StyFileBytes(StyGroupBytes({{"Old", 120}}));
  ASSERT_NE(oldArr, ArrFileBytes());
  const struct {
    const char* label;
    const char* secondName;  // a second name of one of the files, or ""
    bool finished;
  } cases[] = {
      {"one name each", "", true},
      {"a second name for the arrangement file, written in place first", "song.arr", true},
      {"a second name for the style file, to be written in place second", "song.sty", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const std::string& n : Listing()) ::unlink(P(n).c_str());
    WriteBytes(P("song.arr"), oldArr);
    WriteBytes(P("song.sty"), oldSty);
    Names files = {"song.arr", "song.sty"};
    const std::string copy = Right(c.secondName, 4) == ".arr" ? "copy.arr" : "copy.sty";
    if (*c.secondName) {
      ASSERT_EQ(::link(P(c.secondName).c_str(), P(copy).c_str()), 0);
      files.insert(files.begin(), copy);
    }
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int renames = 0;
      SetFileFaultHook([&](const std::string& op, const std::string&) {
        if (op == "rename" && ++renames == 2) ::_exit(0);
        return 0;
      });
      std::string doc = ArrDoc(19, P("song"), 2);
      FileSave(doc);
      ::_exit(1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not reach its second file";

    dialogs_.Clear();
    dialogs_.fileAnswers.push_back(Chosen(P("song.arr"), 1));
    ASSERT_EQ(OpenFile(19), 0);
    EXPECT_EQ(gArrFileBuf, c.finished ? ArrFileBytes() : oldArr);
    EXPECT_EQ(ReadBytes(P("song.arr")), c.finished ? ArrFileBytes() : oldArr);
    EXPECT_EQ(ReadBytes(P("song.sty")), c.finished ? StyFileBytes(Group()) : oldSty);
    if (*c.secondName) {
      EXPECT_EQ(ReadBytes(P(copy)), ReadBytes(P(c.secondName)));
    }
    EXPECT_EQ(Listing(), files);
    EXPECT_TRUE(dialogs_.boxes.empty());
  }
}
