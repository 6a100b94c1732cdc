#include "midi/dumps.h"

#include <gtest/gtest.h>

#include "services/strings.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/sysex.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/fakemainview.h"

namespace {

// A WinTag-shaped document: kind, flags, path, then the file image.
std::string Doc(int kind, const std::string& image) {
  return Chr(kind) + Nuls(19) + Space(250) + image;
}

// Unpacks 8-to-7 data back to bytes (the instrument's side).
std::string Unpack(const std::string& packed) {
  std::string out;
  for (size_t i = 0; i < packed.size(); i += 8) {
    const int lead = static_cast<unsigned char>(packed[i]);
    for (size_t k = 1; k < 8 && i + k < packed.size(); ++k)
      out += static_cast<char>(packed[i + k] | ((lead >> (k - 1)) & 1 ? 0x80 : 0));
  }
  return out;
}

std::string Payload(const std::string& msg) { return Unpack(msg.substr(5, msg.size() - 6)); }

}  // namespace

class DumpsTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_EQ(MidiOutOpen(), 0);
    midi_->ClearRecords();
  }
  std::string Sent() const {
    const auto c = midi_->CallsNamed("midiOutLongMsg");
    return c.empty() ? std::string() : c.back().bytes;
  }
};

TEST_F(DumpsTest, ArrangementBankIs12002BytesOfTheRecords) {
  std::string image = "KORG" + Chr(0x4D) + Chr(0) + Chr(3) + Nuls(25);
  for (int i = 0; i < 10496; ++i) image += Chr((i * 7 + 3) & 0xFF);
  gChGlobal = 2;
  TxArrBank(Doc(19, image));
  const std::string msg = Sent();
  ASSERT_EQ(msg.size(), 12002u);
  EXPECT_EQ(msg.substr(0, 5), Chr(0xF0) + Chr(0x42) + Chr(0x32) + Chr(0x4D) + Chr(0x64));
  EXPECT_EQ(Asc(msg, 12002), 0xF7);
  EXPECT_EQ(Payload(msg), image.substr(32));
  EXPECT_EQ(gOutMsg.data, msg);
}

TEST_F(DumpsTest, ProgramDumpSendsProgramsAndTheBlockAndBlanksReferencesOfPgg) {
  std::string image(30480, '\0');
  MidAssign(image, 1, "KORG" + Chr(0x4D) + Chr(0) + Chr(0));
  for (int i = 0; i < 64; ++i) {
    std::string rec(172, static_cast<char>(0x40 + (i % 32)));
    rec[0] = static_cast<char>(i % 3);  // records 1, 4, 7 ... are references
    MidAssign(image, 49 + 172 * i, rec);
  }
  MidAssign(image, 23097, std::string(2104, '\x55'));
  const std::string prg = Doc(21, image);
  TxPrgFile(prg);
  std::string msg = Sent();
  ASSERT_EQ(msg.size(), 14992u);
  EXPECT_EQ(Asc(msg, 5), 0x4C);
  EXPECT_EQ(Payload(msg), image.substr(48, 11008) + image.substr(23096, 2104));  // .prg: unchanged

  std::string pgg = prg;
  MidAssign(pgg, 19, Chr(1));
  TxPrgFile(pgg);
  std::string expected = image.substr(48, 11008);
  for (int i = 0; i < 64; ++i)
    if (i % 3 == 1) MidAssign(expected, 1 + 172 * i, Nuls(20));
  EXPECT_EQ(Payload(Sent()), expected + std::string(2104, '\x55'));
  EXPECT_EQ(Mid(pgg, 319 + 172, 1), Chr(1));  // the document keeps its references

  // A "KPGG" image is blanked even without the flag character.
  std::string kpgg = prg;
  MidAssign(kpgg, 271, "KPGG");
  TxPrgFile(kpgg);
  EXPECT_EQ(Payload(Sent()), expected + std::string(2104, '\x55'));
}

class StyleDumpTest : public DumpsTest {
 protected:
  // A style-window document whose group has the given lengths for slots
  // 0-15, each slot's data filled with its slot number.
  std::string StyleDoc(const std::vector<int>& lengths, int kind = 23) {
    std::string header(224, '\0');
    MidAssign(header, 1, "KORG" + Chr(0x4D) + Chr(0) + Chr(4));
    std::string data;
    for (size_t k = 0; k < lengths.size(); ++k) {
      PutU16LE(header, 25 + 4 * static_cast<int>(k), lengths[k]);
      data += std::string(static_cast<size_t>(lengths[k]), static_cast<char>(0x80 | k));
    }
    std::string doc = Chr(kind) + Nuls(19) + Space(250) + Nuls(399);  // up to 669
    if (kind != 23 && kind != 24) doc = Chr(kind) + Nuls(42621);    // an arrangement window
    return doc + header + data;
  }
};

TEST_F(StyleDumpTest, DirectoryAndDataOfBankZero) {
  FakeMainView view;
  SetMainView(&view);
  gLangBase = 200;
  const std::string doc = StyleDoc({100, 200, 300, 400});
  EXPECT_EQ(TxSty(0, doc), 0);
  EXPECT_EQ(view.labels["Label1"], "Loading Style");
  const std::string payload = Payload(Sent());
  ASSERT_EQ(payload.size(), 1024u);
  const std::string dir = Chr(24) + Chr(0) + Chr(0) + Chr(0x80) + Chr(100) + Chr(0) +   //
                          Chr(124) + Chr(0) + Chr(0) + Chr(0x80) + Chr(200) + Chr(0) +   //
                          Chr(0x44) + Chr(0) + Chr(1) + Chr(0x80) + Chr(0x2C) + Chr(1) +  // 324, len 300
                          Chr(0x70) + Chr(0) + Chr(2) + Chr(0x80) + Chr(0x90) + Chr(1);   // 624, len 400
  EXPECT_EQ(payload.substr(0, 24), dir);
  EXPECT_EQ(payload.substr(24), std::string(100, '\x80') + std::string(200, '\x81') + std::string(300, '\x82') +
                                    std::string(400, '\x83'));
  EXPECT_EQ(Asc(Sent(), 5), 0x65);
}

TEST_F(StyleDumpTest, BankTwoOfAnArrangementWindowStartsAfterBanksZeroAndOne) {
  const std::string doc = StyleDoc({10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33}, 19);
  ASSERT_EQ(StyMsgBuild(doc, 2), 0);
  const std::string payload = Unpack(gOutMsg.data.substr(5, gOutMsg.data.size() - 6));
  EXPECT_EQ(payload.substr(3, 1), Chr(0x82));
  EXPECT_EQ(payload.substr(24), std::string(30, '\x88') + std::string(31, '\x89') + std::string(32, '\x8A') +
                                    std::string(33, '\x8B'));
}

TEST_F(StyleDumpTest, AnIncompleteOrDamagedBankIsNotSent) {
  FakeMainView view;
  SetMainView(&view);
  gOutMsg.data = "previous";
  EXPECT_EQ(TxSty(0, StyleDoc({100, 200, 0, 400})), 1);
  EXPECT_EQ(gOutMsg.data, "previous");
  EXPECT_TRUE(midi_->Calls().empty());
  EXPECT_EQ(view.labels.count("Label1"), 0u);
  // A length beyond what a style can be, or data past the end of the document.
  std::string doc = StyleDoc({100, 200, 300, 400});
  PutU16LE(doc, 694 + 4, 40000);
  EXPECT_EQ(StyMsgBuild(doc, 0), 1);
  doc = StyleDoc({100, 200, 300, 400});
  EXPECT_EQ(StyMsgBuild(doc.substr(0, doc.size() - 1), 0), 1);
  EXPECT_EQ(StyMsgBuild(StyleDoc({100, 200, 300, 400}), 4), 1);
}
