#include "midi/sysex.h"

#include <gtest/gtest.h>

#include "services/messages.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/fakemainview.h"

TEST(Pack8to7, GroupsOfSevenLedByTheirTopBits) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {Bytes({0x80, 0x01, 0x82, 0x03, 0x84, 0x05, 0x86, 0x87}),
       Bytes({0x55, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x01, 0x07})},
      {std::string(), std::string()},
      {Bytes({0xFF}), Bytes({0x01, 0x7F})},
  };
  for (const Case& c : cases) EXPECT_EQ(Pack8to7(c.in), c.out);
  for (size_t n : {7u, 8u, 14u, 415u, 10496u, 13112u}) {
    const size_t expected = 8 * (n / 7) + (n % 7 ? 1 + n % 7 : 0);
    EXPECT_EQ(Pack8to7(std::string(n, '\x80')).size(), expected) << n;
  }
  EXPECT_EQ(Pack8to7(std::string(7, '\x01')), Chr(0) + std::string(7, '\x01'));
  Data8to7(Bytes({0x81}));
  EXPECT_EQ(gOutMsg.data, Bytes({0x01, 0x01}));
}

class SysExTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_EQ(MidiOutOpen(), 0);
    midi_->ClearRecords();
    view_.enabled["mnuMsgEx"] = false;
    SetMainView(&view_);
    SetMonitorView(&monitor_);
    gMonitorOn = true;
  }
  void TearDown() override {
    SetMonitorView(nullptr);
    AppFixture::TearDown();
  }
  std::string LastLong() const {
    const auto calls = midi_->CallsNamed("midiOutLongMsg");
    return calls.empty() ? std::string() : calls.back().bytes;
  }
  FakeMainView view_;
  RecordingMonitor monitor_;
};

TEST_F(SysExTest, HeaderCarriesTheGlobalChannel) {
  EXPECT_EQ(SysExHeader(), Bytes({0xF0, 0x42, 0x30, 0x4D}));
  gChGlobal = 3;
  EXPECT_EQ(SysExHeader(), Bytes({0xF0, 0x42, 0x33, 0x4D}));
}

TEST_F(SysExTest, ParameterChanges) {
  struct Case {
    int part, id, value, neg;
    std::string bytes;  // pp vl vh
  };
  const Case cases[] = {
      {9, 70, 5, 0, Bytes({0x46, 0x05, 0x03})},   // 389
      {4, 70, 5, 0, Bytes({0x46, 0x05, 0x00})},
      {21, 70, 0, 0, Bytes({0x46, 0x40, 0x02})},  // 320
      {9, 71, 5, 0, Bytes({0x47, 0x05, 0x00})},   // only 70 takes the part
      {0, 10, -1, 1, Bytes({0x0A, 0x7F, 0x7F})},
      {0, 10, -5, 1, Bytes({0x0A, 0x7B, 0x7F})},
      {0, 2, 200, 0, Bytes({0x02, 0x48, 0x01})},
  };
  for (const Case& c : cases) {
    TxParamChange(c.part, c.id, c.value, c.neg);
    EXPECT_EQ(gOutMsg.data, Bytes({0xF0, 0x42, 0x30, 0x4D, 0x41}) + c.bytes + Chr(0xF7)) << c.id << " " << c.value;
    EXPECT_EQ(LastLong(), gOutMsg.data);
  }
  EXPECT_TRUE(monitor_.events.empty());  // parameter changes are not echoed here
}

TEST_F(SysExTest, ModeChangesSendEchoAndShow) {
  TxModeArrPlay();
  EXPECT_EQ(LastLong(), Bytes({0xF0, 0x42, 0x30, 0x4D, 0x4E, 0x0A, 0xF7}));
  EXPECT_EQ(monitor_.text, "F0 42 30 4D 4E 0A F7 \r\n\r\n");
  EXPECT_EQ(gInstrMode, 0);
  EXPECT_EQ(view_.labels["LabelMode"], "ARR PLAY");

  TxModeSongPlay();
  EXPECT_EQ(LastLong(), Bytes({0xF0, 0x42, 0x30, 0x4D, 0x4E, 0x06, 0xF7}));
  EXPECT_EQ(gInstrMode, 1);
  EXPECT_EQ(view_.labels["LabelMode"], "SONG PLAY");

  monitor_.events.clear();
  TxModeGlobal();
  EXPECT_EQ(LastLong(), Bytes({0xF0, 0x42, 0x30, 0x4D, 0x4E, 0x04, 0xF7}));
  EXPECT_EQ(gInstrMode, 2);
  EXPECT_EQ(view_.labels["LabelMode"], "GLOBAL");
  ASSERT_EQ(monitor_.events.size(), 2u);
  EXPECT_EQ(monitor_.events[0], "clear");
}

TEST_F(SysExTest, TheGlobalModeShowsItselfBeforeItIsSent) {
  class Spy : public FakeMainView {
   public:
    VirtualMidi* midi = nullptr;
    size_t sendsWhenShown = 99;
    void SetLabelCaption(const std::string& l, const std::string& t) override {
      if (l == "LabelMode") sendsWhenShown = midi->CallsNamed("midiOutLongMsg").size();
      FakeMainView::SetLabelCaption(l, t);
    }
  } spy;
  spy.midi = midi_;
  SetMainView(&spy);
  TxModeGlobal();
  EXPECT_EQ(spy.sendsWhenShown, 0u);
  TxModeArrPlay();
  EXPECT_EQ(spy.sendsWhenShown, 2u);
}

TEST_F(SysExTest, WithMidiOffTheModeStillChangesAndEchoes) {
  gMidiState = 0;
  TxModeSongPlay();
  EXPECT_EQ(gInstrMode, 1);
  EXPECT_EQ(view_.labels["LabelMode"], "SONG PLAY");
  EXPECT_EQ(monitor_.text, "F0 42 30 4D 4E 06 F7 \r\n\r\n");
  EXPECT_TRUE(midi_->Calls().empty());
}
