#include "services/messages.h"

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "platform/files.h"
#include "platform/midi/winmm.h"
#include "services/strings.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"

class MessagesTest : public AppFixture {};

TEST_F(MessagesTest, ShowMsgTextsInBothLanguagesWithTheirInsert) {
  struct Case {
    int base, code;
    const char* insert;
    const char* text;  // UTF-8 in the source
  };
  const Case cases[] = {
      {200, 5, "X", "File X not found"},
      {0, 5, "X", "File X assente"},
      {200, 27, "ignored", "File not found"},
      {200, 13, "", "Not more than 10 applications Allowed "},
      {200, 4, "a.arr", "Error reading a.arr"},
      {0, 4, "a.arr", "Formato dati a.arr errato"},
      {0, 10, "", "Non è ammessa più di una istanza del programma"},
      {200, 36, "", "The length of a 4 Styles group must be less than 65496 bytes"},
      {200, 6, "", "File r40DBArr not found"},
      {200, 2, "Name", "Name error"},
  };
  for (const Case& c : cases) {
    gLangBase = c.base;
    dialogs_.Clear();
    ShowMsg(c.code, "Title", c.insert);
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << c.code;
    EXPECT_EQ(dialogs_.boxes[0].text, Utf8ToLatin1(c.text)) << c.code;
    EXPECT_EQ(dialogs_.boxes[0].title, "Title");
    EXPECT_EQ(dialogs_.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::OK);
  }
}

TEST_F(MessagesTest, OnlyTheFirstUnderscoreIsReplaced) {
  EXPECT_EQ(ReplaceFirstUnderscore("a_b_c", "X"), "aXb_c");
  EXPECT_EQ(ReplaceFirstUnderscore("abc", "X"), "abc");
}

TEST_F(MessagesTest, CodesWithoutEntryShowAnEmptyText) {
  gLangBase = 200;
  for (int code : {1, 11, 33, 37, 500, -1}) {
    dialogs_.Clear();
    ShowMsg(code, "T", "x");
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].text, "") << code;
  }
}

TEST_F(MessagesTest, StatusShowSetsTheLineAndTheHourglass) {
  FakeMainView view;
  SetMainView(&view);
  gLangBase = 200;
  StatusShow(6, "X");
  EXPECT_EQ(view.labels["Label1"], "Opening X");
  EXPECT_TRUE(view.busy);
  StatusShow(0, "");
  EXPECT_EQ(view.labels["Label1"], "");
  EXPECT_FALSE(view.busy);
  StatusShow(5, "X");  // no entry
  EXPECT_EQ(view.labels["Label1"], "");
  gLangBase = 0;
  StatusShow(3, "");
  EXPECT_EQ(view.labels["Label1"], "Trasm. Arrangement");
  // Without a main window only the state would change; nothing crashes.
  SetMainView(nullptr);
  StatusShow(2, "");
}

// A main window that notes the MIDI clock's time of each status change.
class ClockedView : public FakeMainView {
 public:
  void SetLabelCaption(const std::string& l, const std::string& t) override {
    FakeMainView::SetLabelCaption(l, t);
    if (l == "Label1") changedUs = VirtualMidi::Current()->NowUs();
  }
  int64_t changedUs = -1;
};

TEST_F(MessagesTest, AClearedStatusStaysUntilTheLastQueuedByteHasLeft) {
  midi_ = &VirtualMidi::Install(1, 1, true);  // the real clock
  ClockedView view;
  SetMainView(&view);
  gLangBase = 200;
  HMIDIOUT h = 0;
  ASSERT_EQ(midiOutOpen(&h, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  const auto queueDump = [&] {
    MIDIHDR hdr;
    hdr.data = Chr(0xF0) + std::string(1000, '\x01') + Chr(0xF7);  // about 350 ms on the wire
    hdr.dwBufferLength = static_cast<DWORD>(hdr.data.size());
    midiOutPrepareHeader(h, &hdr, kMidiHdrSize);
    midiOutLongMsg(h, &hdr, kMidiHdrSize);
  };

  queueDump();
  StatusShow(3, "");
  StatusShow(0, "");
  EXPECT_EQ(view.labels["Label1"], "Loading Arrangement");
  EXPECT_TRUE(view.busy);
  WaitFor([&] { return view.labels["Label1"].empty(); }, 5000);
  EXPECT_EQ(view.labels["Label1"], "");
  EXPECT_FALSE(view.busy);
  ASSERT_FALSE(midi_->Wire().empty());
  EXPECT_GE(view.changedUs, midi_->Wire().back().endUs);

  // A status shown while a clear waits stays.
  queueDump();
  StatusShow(3, "");
  StatusShow(0, "");
  StatusShow(6, "X");
  midi_->WaitIdle();
  Settle(100);
  EXPECT_EQ(view.labels["Label1"], "Opening X");
  EXPECT_TRUE(view.busy);
  // With the queue empty the clear is at once.
  StatusShow(0, "");
  EXPECT_EQ(view.labels["Label1"], "");
}

TEST_F(MessagesTest, AskSaveAndAskSaveDirAnswersAndButtons) {
  gLangBase = 200;
  dialogs_.boxAnswers = {kMsgYes, kMsgNo, kMsgCancel, kMsgClosed};
  EXPECT_EQ(AskSave(1, "T"), 6);
  EXPECT_EQ(AskSave(1, "T"), 7);
  EXPECT_EQ(AskSave(2, "T"), 2);
  EXPECT_EQ(AskSave(1, "T"), 2);  // closed box: Cancel, nothing saved
  EXPECT_EQ(dialogs_.boxes[0].text, "The file has changed\r\nSave changes ?");
  EXPECT_EQ(dialogs_.boxes[2].text, "The Arrangement has changed.\r\nSave changes ?");
  EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::YesNoCancel);

  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes, kMsgClosed};
  EXPECT_EQ(AskSaveDir(3, "T"), 6);
  EXPECT_EQ(AskSaveDir(2, "T"), 7);  // closed: No
  EXPECT_EQ(dialogs_.boxes[0].text,
            "Choose the directory of the opened file as working directory of r40DBArr?");
  EXPECT_EQ(dialogs_.boxes[1].buttons, MsgButtons::YesNo);
}

TEST_F(MessagesTest, FileErrMsgMapsErrorNumbers) {
  gLangBase = 200;
  struct Case {
    int err, result;
    const char* text;
  };
  const Case cases[] = {{kErrDeviceIO, 1, "Error I/O device"},
                        {kErrDiskNotReady, 2, "Disk not ready or not formatted"},
                        {kErrPathFileAccess, 1, "Read only file"},
                        {kErrPathNotFound, 1, "Path not found"},
                        {kErrDiskFull, 1, "Disk full"},
                        {kErrSaveInUse, 2, "Another program is saving a file in this folder"},
                        {6, 1, "Disk reading error"}};
  for (const Case& c : cases) {
    dialogs_.Clear();
    EXPECT_EQ(FileErrMsg("Op", c.err), c.result) << c.err;
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].text, c.text);
    EXPECT_EQ(dialogs_.boxes[0].title, "Op");
  }
  // A full disk in Italian too.
  gLangBase = 0;
  dialogs_.Clear();
  EXPECT_EQ(FileErrMsg("Op", kErrDiskFull), 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Disco pieno"});
}

TEST_F(MessagesTest, ModeShowLabels) {
  FakeMainView view;
  SetMainView(&view);
  const char* labels[] = {"ARR PLAY", "SONG PLAY", "GLOBAL"};
  for (int m = 0; m < 3; ++m) {
    gInstrMode = m;
    ModeShow();
    EXPECT_EQ(view.labels["LabelMode"], labels[m]);
  }
  gInstrMode = 3;
  ModeShow();
  EXPECT_EQ(view.labels["LabelMode"], "GLOBAL");
}
