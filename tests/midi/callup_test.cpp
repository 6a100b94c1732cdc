#include "midi/callup.h"

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/midibytes.h"

namespace {
// A window document of the given kind with its channel at 16 (banks, kits)
// or 286 (program files), and program records from 319.
std::string Doc(int kind, int channel) {
  std::string d = Chr(kind) + Nuls(30480 + 270);
  MidAssign(d, (kind == 21 || kind == 22) ? 286 : 16, Chr(channel));
  return d;
}
}  // namespace

class CallupTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_EQ(MidiOutOpen(), 0);
    midi_->ClearRecords();
  }
  std::string Wire() {
    midi_->WaitIdle();
    std::string w = midi_->WireBytes();
    midi_->ClearRecords();
    return w;
  }
};

TEST_F(CallupTest, ArrangementsOnTheArrangementChannel) {
  int n = 5;
  TxBankPrg(n, 3);
  EXPECT_EQ(n, 69);
  EXPECT_EQ(gOutMsg.data, Bytes({0xB0, 0x00, 0x00, 0xB0, 0x20, 0x00, 0xC0, 0x45}));
  EXPECT_EQ(Wire(), gOutMsg.data);
  gChArrang = 4;
  n = 7;
  TxBankPrg(n, 19);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(Wire(), Bytes({0xB4, 0x00, 0x00, 0xB4, 0x20, 0x01, 0xC4, 0x07}));
  n = 0;
  TxBankPrg(n, 2);
  EXPECT_EQ(Wire(), Bytes({0xB4, 0x00, 0x00, 0xB4, 0x20, 0x00, 0xC4, 0x00}));
}

TEST_F(CallupTest, NothingIsSentForALineOutsideTheList) {
  for (int bad : {-1, 64}) {
    int n = bad;
    TxBankPrg(n, 19);
    EXPECT_TRUE(gOutMsg.data.empty());
    TxPrgSelect(Doc(4, 0), bad);
    EXPECT_TRUE(gOutMsg.data.empty());
  }
  TxPrgSelect(Doc(9, 0), 16);
  EXPECT_TRUE(gOutMsg.data.empty());
  EXPECT_TRUE(midi_->Calls().empty());
}

TEST_F(CallupTest, ProgramsByWindowKind) {
  struct Case {
    int kind, channel, index;
    std::string sent;
  };
  const Case cases[] = {
      {4, 1, 3, Bytes({0xB1, 0, 0, 0xB1, 0x20, 0, 0xC1, 3})},
      {5, 1, 3, Bytes({0xB1, 0, 0, 0xB1, 0x20, 0, 0xC1, 67})},
      {6, 2, 10, Bytes({0xB2, 0, 0, 0xB2, 0x20, 1, 0xC2, 10})},
      {7, 2, 10, Bytes({0xB2, 0, 0, 0xB2, 0x20, 1, 0xC2, 74})},
      {8, 0x13, 0, Bytes({0xB3, 0, 0, 0xB3, 0x20, 2, 0xC3, 0})},  // a stray high bit stays off the wire
      {9, 9, 13, Bytes({0xB9, 0, 0, 0xB9, 0x20, 4, 0xC9, 56})},
      {10, 9, 10, Bytes({0xB9, 0, 0, 0xB9, 0x20, 4, 0xC9, 64})},
      {21, 5, 7, Bytes({0xB5, 0, 0, 0xB5, 0x20, 3, 0xC5, 7})},
      {22, 6, 8, Bytes({0xB6, 0, 0, 0xB6, 0x20, 3, 0xC6, 8})},
  };
  for (const Case& c : cases) {
    TxPrgSelect(Doc(c.kind, c.channel), c.index);
    EXPECT_EQ(gOutMsg.data, c.sent) << c.kind;
    EXPECT_EQ(Wire(), c.sent) << c.kind;
    EXPECT_EQ(gSelWinKind, c.kind);
  }
}

TEST_F(CallupTest, AReferenceRecordCallsUpItsInternalProgram) {
  std::string doc = Doc(21, 0);
  MidAssign(doc, 319 + 172 * 9, Bytes({0x01, 0x05, 0x21}));
  TxPrgSelect(doc, 9);
  EXPECT_EQ(Wire(), Bytes({0xB0, 0, 0, 0xB0, 0x20, 5, 0xC0, 0x21}));
  MidAssign(doc, 319 + 172 * 9, Bytes({0x01, 0x85, 0xA1}));
  TxPrgSelect(doc, 9);
  EXPECT_EQ(Wire(), Bytes({0xB0, 0, 0, 0xB0, 0x20, 5, 0xC0, 0x21}));
}

TEST_F(CallupTest, InProgramPickModeThePartChannelIsUsed) {
  gPrgPickMode = true;
  gChUpper1 = 7;
  gEditArrFieldSel[14] = 1;
  gEditArrFieldSel[16] = 1;
  TxPrgSelect(Doc(6, 2), 5);
  EXPECT_EQ(Wire(), Bytes({0xB7, 0, 0, 0xB7, 0x20, 1, 0xC7, 5}));
  gEditArrFieldSel[1] = 1;  // the lowest selected field is not a program field
  TxPrgSelect(Doc(6, 2), 5);
  EXPECT_EQ(Wire(), Bytes({0xB2, 0, 0, 0xB2, 0x20, 1, 0xC2, 5}));
}

TEST_F(CallupTest, AllNotesOffAndMidiOff) {
  TxAllNotesOff(0);
  EXPECT_EQ(gOutMsg.data, Bytes({0xB0, 0x7B, 0x00}));
  EXPECT_EQ(Wire(), Bytes({0xB0, 0x7B, 0x00}));
  gMidiState = 0;
  int n = 1;
  TxBankPrg(n, 2);
  EXPECT_EQ(gOutMsg.data, Bytes({0xB0, 0, 0, 0xB0, 0x20, 0, 0xC0, 1}));
  EXPECT_TRUE(midi_->Calls().empty());
}
