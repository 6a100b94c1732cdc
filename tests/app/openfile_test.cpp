// The Open dialog routine of the main window.
#include "app/openfile.h"

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "app/slots.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"
#include "tests/fixtures/filebuilders.h"

namespace {

const std::string kFilter =
    "Arrangements (*.arr)|*.arr|Style (*.sty)|*.sty|Programs (*.prg/pgg)|*.prg;*.pgg|Global (*.gbl)|*.gbl| All files "
    "(*.*)|*.*|";

std::string StyBytes() { return StyGroupBytes({{"Rock", 300}, {"Jazz", 200}}); }

FileDialogResult Chosen(const std::string& path, int filterIndex, bool readOnly = false) {
  FileDialogResult r;
  r.accepted = true;
  r.fileName = path;
  r.filterIndex = filterIndex;
  r.readOnly = readOnly;
  return r;
}

using Names = std::vector<std::string>;

}  // namespace

class OpenFileTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    gLangBase = 200;
    SetMainView(&view_);
  }
  std::string P(const std::string& name) const { return ProgFile(name); }
  std::string Folder() const { return PathDir(P("x")); }
  FakeMainView view_;
};

TEST_F(OpenFileTest, EachKindReadsItsFileAndNamesIt) {
  WriteBytes(P("song.arr"), ArrFileBytes());
  WriteBytes(P("grp.sty"), StyBytes());
  WriteBytes(P("set.prg"), PrgFileBytes(false));
  WriteBytes(P("kit.PGG"), PrgFileBytes(true));
  WriteBytes(P("setup.gbl"), GblFileBytes());
  const struct {
    const char* label;
    int kind;
    std::string file;
    int filterIndex;  // the dialog's start
    const std::string* buffer;
    std::string bytes;
    const std::string *dir, *name;
    const std::string* remembered;  // the folder kept for the next dialog
  } cases[] = {
      {"arrangement", 19, "song.arr", 1, &gArrFileBuf, ArrFileBytes(), &gArrFileDir, &gArrFileName, &gLastDir},
      {"bank kind", 2, "song.arr", 1, &gArrFileBuf, ArrFileBytes(), &gArrFileDir, &gArrFileName, &gLastDir},
      {"style", 23, "grp.sty", 2, &gStyData, StyBytes(), &gStyFileDir, &gStyFileName, &gLastDir},
      {"program", 21, "set.prg", 3, &gPrgFileBuf, PrgFileBytes(false), &gPrgFileDir, &gPrgFileName, &gLastDlgPath},
      {"pgg in upper case", 21, "kit.PGG", 3, &gPrgFileBuf, PrgFileBytes(true), &gPrgFileDir, &gPrgFileName,
       &gLastDlgPath},
      {"global", 25, "setup.gbl", 4, &gGblFileBuf, GblFileBytes(), &gGblFileDir, &gGblFileName, &gGblDir},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ResetProgramState();
    SetMainView(&view_);
    gLangBase = 200;
    dialogs_.Clear();
    dialogs_.fileAnswers.push_back(Chosen(P(c.file), c.filterIndex));
    EXPECT_EQ(OpenFile(c.kind), 0);
    ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
    const FileDialogRequest& req = dialogs_.fileCalls[0].request;
    EXPECT_FALSE(dialogs_.fileCalls[0].save);
    EXPECT_EQ(req.title, "Brenvolta - Brenvolta v 2.0 - Open File");
    EXPECT_EQ(req.filter, kFilter);
    EXPECT_EQ(req.filterIndex, c.filterIndex);
    EXPECT_TRUE(req.fileName.empty());
    EXPECT_TRUE(req.readOnlyBox);
    EXPECT_EQ(*c.buffer, c.bytes);
    EXPECT_EQ(*c.dir, Folder());
    EXPECT_EQ(*c.name, Left(c.file, static_cast<int>(c.file.size()) - 4));
    EXPECT_EQ(*c.remembered, Folder());
    if (c.kind == 21) {
      EXPECT_EQ(gCurExt, UCase(Right(c.file, 3)));
    }
    EXPECT_TRUE(dialogs_.boxes.empty());
  }
}

TEST_F(OpenFileTest, TheDialogStartsInTheLastFolderOfTheType) {
  const struct {
    int kind;
    std::string lastDir, lastDlgPath, gblDir;
    std::string initDir;
  } cases[] = {
      {19, "/a", "/p", "/g", "/a"},
      {19, "", "/p", "/g", "/p"},
      {23, "/a", "/p", "", "/a"},
      {23, "", "", "/g", ""},
      {21, "/a/b", "/p", "", "/p"},
      {21, "/a/b", "", "", "/a"},
      {21, "", "", "/g", ""},
      {25, "/a", "/p", "/g", "/g"},
      {25, "/a", "/p", "", "/a"},
      {25, "", "/p", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    dialogs_.Clear();
    gLastDir = c.lastDir;
    gLastDlgPath = c.lastDlgPath;
    gGblDir = c.gblDir;
    EXPECT_EQ(OpenFile(c.kind), 1);  // cancelled
    ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
    EXPECT_EQ(dialogs_.fileCalls[0].request.initDir, c.initDir);
    // Cancel changes no remembered folder.
    EXPECT_EQ(gLastDir, c.lastDir);
    EXPECT_EQ(gLastDlgPath, c.lastDlgPath);
    EXPECT_EQ(gGblDir, c.gblDir);
  }
}

TEST_F(OpenFileTest, TheReadOnlyBoxStartsAsTheOptionAndItsAnswerIsKept) {
  WriteBytes(P("song.arr"), ArrFileBytes());
  for (bool option : {false, true}) {
    for (bool answer : {false, true}) {
      SCOPED_TRACE(std::to_string(option) + std::to_string(answer));
      dialogs_.Clear();
      view_.checked["mnuRdOnly"] = option;
      gOpenReadOnly = !answer;
      dialogs_.fileAnswers.push_back(Chosen(P("song.arr"), 1, answer));
      EXPECT_EQ(OpenFile(19), 0);
      EXPECT_TRUE(dialogs_.fileCalls[0].request.readOnlyBox);
      EXPECT_EQ(dialogs_.fileCalls[0].request.readOnlyChecked, option);
      EXPECT_EQ(gOpenReadOnly, answer);
    }
  }
  // Without a main window the box starts cleared.
  SetMainView(nullptr);
  dialogs_.Clear();
  OpenFile(23);
  EXPECT_FALSE(dialogs_.fileCalls[0].request.readOnlyChecked);
}

TEST_F(OpenFileTest, CancelReadsNothing) {
  gArrFileName = "kept";
  gStyFileName = "kept";
  gOpenReadOnly = true;
  EXPECT_EQ(OpenFile(19), 1);
  EXPECT_EQ(OpenFile(23), 1);
  EXPECT_EQ(gArrFileName, "kept");
  EXPECT_EQ(gStyFileName, "kept");
  EXPECT_TRUE(gOpenReadOnly);

  // A program file left unchosen leaves no program name behind, unless the
  // arrangement filter was left selected.
  for (int filter : {3, 1}) {
    gPrgFileName = "kept";
    gPrgFileDir = "/kept";
    FileDialogResult cancel;
    cancel.filterIndex = filter;
    dialogs_.fileAnswers.push_back(cancel);
    EXPECT_EQ(OpenFile(21), 1);
    EXPECT_EQ(gPrgFileName, filter == 1 ? "kept" : "");
    EXPECT_EQ(gPrgFileDir, filter == 1 ? "/kept" : "");
  }
  // Only the document kinds have a dialog.
  dialogs_.Clear();
  EXPECT_EQ(OpenFile(4), 1);
  EXPECT_TRUE(dialogs_.fileCalls.empty());
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(OpenFileTest, AFileThatAWindowShowsIsNotReadAgain) {
  WriteBytes(P("song.arr"), ArrFileBytes());
  WriteBytes(P("grp.sty"), StyBytes());
  WriteBytes(P("set.pgg"), PrgFileBytes(true));
  WriteBytes(P("setup.gbl"), GblFileBytes());
  gArrSlotUsed[4] = gStySlotUsed[4] = gPrgSlotUsed[4] = 1;
  gArrSlots[4].Path = PadRight(P("song"), 238);
  gStySlots[4].Path = PadRight(P("grp"), 238);
  gPrgSlots[4].Path = PadRight(P("set"), 238);
  gGblSlots[4].InUse = 1;
  gGblSlots[4].Path = PadRight(P("setup"), 238);
  gLastDir = gLastDlgPath = gGblDir = "/before";
  const struct {
    int kind;
    std::string file;
    const std::string* buffer;
  } cases[] = {
      {19, "song.arr", &gArrFileBuf}, {23, "grp.sty", &gStyData}, {21, "set.pgg", &gPrgFileBuf},
      {25, "setup.gbl", &gGblFileBuf},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string before = *c.buffer;
    dialogs_.fileAnswers.push_back(Chosen(P(c.file), 5));
    EXPECT_EQ(OpenFile(c.kind), 2);
    EXPECT_EQ(*c.buffer, before);
  }
  EXPECT_EQ(gLastDir, "/before");
  EXPECT_EQ(gLastDlgPath, "/before");
  EXPECT_EQ(gGblDir, "/before");
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gGblSlots[4].Path, PadRight(P("setup"), 238));
}

TEST_F(OpenFileTest, EmptyOrMissingFilesAnswerThree) {
  const struct {
    int kind;
    std::string file;
    bool empty;  // else missing
  } cases[] = {
      {19, "e.arr", true}, {23, "e.sty", true}, {21, "e.prg", true}, {25, "e.gbl", true},
      {19, "m.arr", false}, {23, "m.sty", false}, {21, "m.pgg", false}, {25, "m.gbl", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (c.empty) WriteBytes(P(c.file), "");
    dialogs_.fileAnswers.push_back(Chosen(P(c.file), 1));
    EXPECT_EQ(OpenFile(c.kind), 3);
    EXPECT_EQ(Exists(P(c.file)), c.empty);  // an empty file is left as it is
  }
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(OpenFileTest, TheKindAskedForDecidesTheTypeNotTheFilterLeftSelected) {
  WriteBytes(P("song.arr"), ArrFileBytes());
  WriteBytes(P("grp.sty"), StyBytes());
  WriteBytes(P("set.prg"), PrgFileBytes(false));
  WriteBytes(P("setup.gbl"), GblFileBytes());
  WriteBytes(P("set.txt"), PrgFileBytes(false));
  WriteBytes(P("setup.txt"), GblFileBytes());
  const struct {
    const char* label;
    int kind;
    std::string file;
    int filterIndex;
    int result;
    Names texts;
  } cases[] = {
      // The filter only narrows the list: a file of the kind is read whatever is left.
      {"style file under the arrangement filter", 23, "grp.sty", 1, 0, {}},
      {"arrangement file under all files", 19, "song.arr", 5, 0, {}},
      {"program file under the global filter", 21, "set.prg", 4, 0, {}},
      // A file of another type is refused by the reader of the kind...
      {"style file asked for as arrangement", 19, "grp.sty", 2, 1, {"Error reading "}},
      {"arrangement file asked for as style", 23, "song.arr", 1, 1, {"Error reading "}},
      {"global file asked for as arrangement", 19, "setup.gbl", 4, 1, {"Error reading "}},
      // ...or by the extension test, quietly.
      {"program content named .txt", 21, "set.txt", 5, 1, {}},
      {"global content named .txt", 25, "setup.txt", 5, 1, {}},
      {"arrangement file asked for as global", 25, "song.arr", 1, 1, {}},
      {"global file asked for as program", 21, "setup.gbl", 3, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs_.Clear();
    dialogs_.fileAnswers.push_back(Chosen(P(c.file), c.filterIndex));
    EXPECT_EQ(OpenFile(c.kind), c.result);
    EXPECT_EQ(BoxTexts(), c.texts);
    for (const std::string& title : BoxTitles()) EXPECT_EQ(title, "Opening " + c.file);
  }
  EXPECT_TRUE(Exists(P("grp.sty")));
  EXPECT_TRUE(Exists(P("song.arr")));
}

TEST_F(OpenFileTest, AStyleFileErrorIsReportedOnce) {
  WriteBytes(P("grp.sty"), StyBytes());
  FaultHook hook(FailOp("get", 57));
  dialogs_.fileAnswers.push_back(Chosen(P("grp.sty"), 2));
  EXPECT_EQ(OpenFile(23), 1);
  EXPECT_EQ(BoxTexts(), Names{"Error I/O device"});
  EXPECT_EQ(BoxTitles(), Names{"Opening grp.sty"});
  EXPECT_EQ(gLastDir, Folder());
}

TEST_F(OpenFileTest, APathThatDoesNotFitItsFieldIsRefused) {
  const std::string folder = P("");
  const int room = 238 - static_cast<int>(folder.size());
  for (int len : {room + 1, room}) {
    SCOPED_TRACE(len);
    dialogs_.Clear();
    const std::string name = StringOf(len, 'n') + ".arr";
    WriteBytes(folder + name, ArrFileBytes());
    dialogs_.fileAnswers.push_back(Chosen(folder + name, 1));
    if (len > room) {
      EXPECT_EQ(OpenFile(19), 1);
      ASSERT_EQ(dialogs_.boxes.size(), 1u);
      EXPECT_EQ(dialogs_.boxes[0].title, "Opening " + name);
      EXPECT_EQ(dialogs_.boxes[0].text, "File name not valid");
      EXPECT_EQ(dialogs_.boxes[0].icon, MsgIcon::Exclamation);
      EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::OK);
      EXPECT_TRUE(gArrFileName.empty());
      EXPECT_TRUE(gLastDir.empty());
    } else {
      EXPECT_EQ(OpenFile(19), 0);
      EXPECT_EQ(gArrFileName, StringOf(len, 'n'));
      EXPECT_TRUE(dialogs_.boxes.empty());
    }
  }
}

TEST_F(OpenFileTest, ANewProgramIsTheTemplateWithItsProgramsEmptied) {
  gPrgBankPath = P("r40Prg");
  EXPECT_EQ(OpenFile(22), 3);  // no template

  const std::string bank = PrgFileBytes(false);
  WriteBytes(gPrgBankPath, bank);
  EXPECT_EQ(OpenFile(22), 0);
  ASSERT_EQ(gPrgFileBuf.size(), 30480u);
  EXPECT_EQ(Left(gPrgFileBuf, 48), Left(bank, 48));
  EXPECT_EQ(Mid(gPrgFileBuf, 49, 11008), Nuls(11008));
  EXPECT_EQ(Mid(gPrgFileBuf, 11057), Mid(bank, 11057));
  EXPECT_TRUE(dialogs_.fileCalls.empty());

  WriteBytes(gPrgBankPath, Left(bank, 100));
  EXPECT_EQ(OpenFile(22), 1);  // refused by the reader, which said so
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}
