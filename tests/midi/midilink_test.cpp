#include "midi/midilink.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "services/strings.h"
#include "core/bytes.h"
#include "midi/monitor.h"
#include "platform/midi/midi_backend.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakeseq.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/fakemainview.h"

class MidiLinkTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    gLangBase = 200;
  }
  void OpenBoth() {
    ASSERT_EQ(MidiOutOpen(), 0);
    ASSERT_EQ(MidiInOpen(), 0);
    midi_->ClearRecords();
    dialogs_.Clear();
  }
};

TEST_F(MidiLinkTest, OpensTheMapperAndInputZero) {
  EXPECT_EQ(MidiOutOpen(), 0);
  EXPECT_EQ(gMidiOpen, 1);
  EXPECT_NE(gMidiOutHandle, 0u);
  EXPECT_EQ(MidiInOpen(), 0);
  EXPECT_NE(gMidiInHandle, 0u);
  const auto opens = midi_->CallsNamed("midiOutOpen");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MidiLinkTest, NoOutputDeviceShowsCode22EvenWhenQuiet) {
  midi_->SetDeviceCounts(0, 1);
  gMidiGuest = true;
  EXPECT_EQ(MidiOutOpen(), 0);
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(gMidiOpen, 0);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Output MIDI Device not found");
  EXPECT_EQ(dialogs_.boxes[0].title, "Brenvolta - Brenvolta v 2.0 ");
  EXPECT_TRUE(midi_->CallsNamed("midiOutOpen").empty());
}

TEST_F(MidiLinkTest, NoInputDeviceReturns100WithoutABox) {
  midi_->SetDeviceCounts(1, 0);
  ASSERT_EQ(MidiOutOpen(), 0);
  EXPECT_EQ(MidiInOpen(), 100);
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(gMidiOpen, 0);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_TRUE(midi_->CallsNamed("midiInOpen").empty());
}

TEST_F(MidiLinkTest, OpenErrorsShowTheirBoxUnlessQuiet) {
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_EQ(MidiOutOpen(), 4);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Output MIDI Device already in use");

  dialogs_.Clear();
  midi_->SetResult("midiInOpen", MMSYSERR_NODRIVER);
  EXPECT_EQ(MidiInOpen(), 6);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Error opening Output MIDI Device");

  dialogs_.Clear();
  gMidiGuest = true;
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_EQ(MidiOutOpen(), 4);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MidiLinkTest, MidiOffSendsNothingAndShowsNothing) {
  gMidiState = 0;
  gShortMsg = 0x90 | 60 << 8 | 100 << 16;
  TxShortMsg();
  gOutMsg.data = Bytes({0xF0, 0x7E, 0xF7});
  TxSysEx();
  TxNoteOn(0, 60, 100);
  MidiOutClose();
  MidiInClose();
  MidiThruOn();
  MidiInStart();
  EXPECT_EQ(MidiOutOpen(), 0);
  EXPECT_EQ(MidiInOpen(), 0);
  EXPECT_TRUE(midi_->Calls().empty());
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MidiLinkTest, SysExGoesOutAsOneLongMessageAndStaysInGOutMsg) {
  OpenBoth();
  const std::string msg = Bytes({0xF0, 0x42, 0x30, 0x4D, 0x4E, 0x0A, 0xF7});
  gOutMsg.data = msg;
  TxSysEx();
  EXPECT_EQ(gOutMsg.dwBufferLength, 7u);
  const auto calls = midi_->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].name, "midiOutPrepareHeader");
  EXPECT_EQ(calls[1].name, "midiOutLongMsg");
  EXPECT_EQ(calls[1].bytes, msg);
  EXPECT_EQ(calls[2].name, "midiOutUnprepareHeader");
  midi_->WaitIdle();
  EXPECT_EQ(midi_->WireBytes(), msg);
  EXPECT_EQ(gOutMsg.data, msg);
}

TEST_F(MidiLinkTest, AFailingSendShowsABoxForEachFailedCallAndGoesOn) {
  OpenBoth();
  midi_->SetResult("midiOutLongMsg", MMSYSERR_INVALHANDLE);
  gOutMsg.data = Bytes({0xF0, 0xF7});
  TxSysEx();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Error opening Output MIDI Device");
  EXPECT_EQ(midi_->CallsNamed("midiOutUnprepareHeader").size(), 1u);

  dialogs_.Clear();
  midi_->SetResult("midiOutShortMsg", MMSYSERR_ALLOCATED);
  gShortMsg = 0xC0 | 5 << 8;
  TxShortMsg();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Output MIDI Device already in use");
}

// What a transfer reads to know that its dumps were handed over: every send
// that MIDI off skipped, or that a call answered with an error, counts; a
// loss on the wire counts at the next send, which the sender answers with
// the error.
TEST_F(MidiLinkTest, SendsNotHandedOverWithoutErrorAreCounted) {
  OpenBoth();
  const unsigned start = gTxFailCount;
  gOutMsg.data = Bytes({0xF0, 0x7E, 0xF7});
  gShortMsg = 0xC0 | 5 << 8;
  TxSysEx();
  TxShortMsg();
  EXPECT_EQ(gTxFailCount, start);
  for (const char* call : {"midiOutPrepareHeader", "midiOutLongMsg", "midiOutUnprepareHeader"}) {
    SCOPED_TRACE(call);
    midi_->SetResult(call, MMSYSERR_ERROR);
    const unsigned before = gTxFailCount;
    TxSysEx();
    EXPECT_EQ(gTxFailCount, before + 1);  // once, whatever failed
  }
  midi_->SetResult("midiOutShortMsg", MMSYSERR_ERROR);
  unsigned before = gTxFailCount;
  TxShortMsg();
  EXPECT_EQ(gTxFailCount, before + 1);

  midi_->SetDeviceCounts(0, 1);  // unplugged: the message is lost on the wire
  before = gTxFailCount;
  TxSysEx();
  midi_->WaitIdle();
  EXPECT_EQ(gTxFailCount, before);
  midi_->SetDeviceCounts(1, 1);
  TxSysEx();
  EXPECT_EQ(gTxFailCount, before + 1);
  TxSysEx();
  EXPECT_EQ(gTxFailCount, before + 1);

  gMidiState = 0;
  TxSysEx();
  TxShortMsg();
  EXPECT_EQ(gTxFailCount, before + 3);
}

TEST_F(MidiLinkTest, ASendOnAClosedHandleShowsCode21ForEachStep) {
  OpenBoth();
  MidiOutClose();
  ASSERT_EQ(gMidiOpen, 0);
  dialogs_.Clear();
  gOutMsg.data = Bytes({0xF0, 0xF7});
  TxSysEx();
  ASSERT_EQ(dialogs_.boxes.size(), 3u);
  for (const auto& box : dialogs_.boxes) EXPECT_EQ(box.text, "Error opening Output MIDI Device");
}

TEST_F(MidiLinkTest, CloseFailureShowsCode23AndKeepsGMidiOpen) {
  OpenBoth();
  midi_->SetResult("midiOutClose", MMSYSERR_ERROR);
  MidiOutClose();
  EXPECT_EQ(gMidiOpen, 1);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Error closing Output MIDI Device");
  MidiInClose();
  EXPECT_EQ(gMidiOpen, 0);
}

TEST_F(MidiLinkTest, ThruConnectsInputToOutputAndReportsNothing) {
  OpenBoth();
  MidiThruOn();
  MidiInStart();
  EXPECT_EQ(midi_->ThruConnections().size(), 1u);
  EXPECT_TRUE(midi_->InputStarted(0));
  midi_->SetResult("midiDisconnect", MMSYSERR_ERROR);
  MidiThruOff();
  EXPECT_EQ(gMidiErr, MMSYSERR_ERROR);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MidiLinkTest, NotesInKeyboardMonitorModeShowOnlyTheLatestNote) {
  OpenBoth();
  FakeMainView view;
  view.enabled["mnuMsgEx"] = false;  // the monitor is open
  SetMainView(&view);
  RecordingMonitor monitor;
  SetMonitorView(&monitor);
  gMonitorOn = true;
  gKbdMonitorOn = true;
  TxNoteOn(0, 60, 100);
  TxNoteOff(2, 60, 64);
  EXPECT_EQ(monitor.text, "82 3C 40 \r\n\r\n");
  EXPECT_EQ(monitor.clears, 2);
  midi_->WaitIdle();
  EXPECT_EQ(midi_->WireBytes(), Bytes({0x90, 0x3C, 0x64, 0x82, 0x3C, 0x40}));
  SetMonitorView(nullptr);
}

// The link over the ALSA back end, on a stand-in for the sequencer.
class MidiLinkSeqTest : public MidiLinkTest {
 protected:
  void UseSequencer() {
    seq_.InstallBackend();
    midi_ = nullptr;  // gone with the virtual back end
  }
  FakeSequencer seq_;
};

TEST_F(MidiLinkSeqTest, ASequencerThatCannotBeOpenedIsNamedUnderTheNoDeviceMessage) {
  seq_.AddInterface(1, "UM-ONE");  // there, but out of reach
  seq_.SetOpenError(-EACCES);
  UseSequencer();
  testing::internal::CaptureStderr();
  EXPECT_EQ(MidiOutOpen(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ALSA sequencer: Permission denied\n");
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Output MIDI Device not found\r\nALSA sequencer: Permission denied"}));
}

// Without its device (the snd-seq kernel module not loaded), the sequencer
// says only "No such file or directory": the box says which file is
// missing and what makes it, in the language in use, and so does stderr.
TEST_F(MidiLinkSeqTest, ASequencerWithoutItsDeviceSaysWhatProvidesIt) {
  seq_.SetOpenError(-ENOENT);
  UseSequencer();
  const std::string reason = "ALSA sequencer: No such file or directory";
  const struct {
    int langBase;
    std::string first;
    std::string missing;
  } cases[] = {
      {200, "Output MIDI Device not found",
       "The sequencer device (/dev/snd/seq) is missing: the snd-seq kernel module provides it."},
      {0, "Dispositivo MIDI di Uscita assente",
       "Manca il dispositivo del sequencer (/dev/snd/seq): lo fornisce il modulo del kernel snd-seq."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.langBase);
    gLangBase = c.langBase;
    gMidiState = 1;
    dialogs_.Clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MidiOutOpen(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), reason + "\n" + c.missing + "\n");
    EXPECT_EQ(gMidiState, 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.first + "\r\n" + reason + "\r\n" + c.missing});
  }
}

TEST_F(MidiLinkSeqTest, AnInterfaceUnpluggedMidDumpIsReportedOnceAndGetsNoTail) {
  const FakeSequencer::SeqAddr synth = seq_.AddInterface(1, "UM-ONE");
  UseSequencer();
  ASSERT_EQ(MidiOutOpen(), 0);
  int chunks = 0;
  seq_.SetDeliverHook([&](FakeSequencer::SeqAddr port, const std::string&) {
    if (port == synth && ++chunks == 2) seq_.Unplug(synth.client);
  });
  std::string dump = Bytes({0xF0, 0x42, 0x30, 0x4D, 0x65});
  dump += std::string(1500, '\x11') + Chr(0xF7);
  gOutMsg.data = dump;
  TxSysEx();  // queued: its boxes would come now, and there are none
  EXPECT_TRUE(dialogs_.boxes.empty());
  midiplatform::internal::WaitSenderIdle();
  seq_.SetDeliverHook(nullptr);
  const FakeSequencer::SeqAddr back = seq_.AddInterface(1, "UM-ONE");

  // The next sends: one box for the lost dump, then the call-up goes whole.
  for (const uint32_t msg : {0x00B0u, 0x0120B0u, 0x05C0u}) {
    gShortMsg = msg;
    TxShortMsg();
  }
  midiplatform::internal::WaitSenderIdle();
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Error opening Output MIDI Device"}));
  EXPECT_EQ(seq_.Received(back), Bytes({0xB0, 0x00, 0x00, 0xB0, 0x20, 0x01, 0xC0, 0x05}));
}
