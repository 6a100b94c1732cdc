// The global block's field map: how each control stores its value (only its
// own bits of a shared byte), how a stored byte is shown (a byte out of
// range shows a fixed entry), the list texts, and the global dump.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "app/nametables.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/sysex.h"
#include "tests/fixtures/filebuilders.h"
#include "ui/editors/gblblock.h"

namespace {

// A global window's document whose block holds the given (offset, byte)
// pairs; every other block byte is 0 after the file header.
std::string Doc(std::initializer_list<std::pair<int, int>> bytes = {}) {
  return Nuls(20) + Space(250) + GblBlockBytes(bytes);
}

int ByteAt(const std::string& doc, int offset) { return Asc(doc, kGblBlockPos + offset); }

class GblBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NameTablesReset();
    NameTablesBuild();
    ChannelsReset();
  }
  void TearDown() override {
    NameTablesReset();
    ChannelsReset();
  }
};

struct StoreCase {
  GblCtl ctl;
  int index;
  int value;
  int offset;
  int before;  // the byte before the store
  int after;
};

TEST_F(GblBlockTest, EachControlWritesOnlyItsOwnField) {
  const StoreCase cases[] = {
      {GblCtl::HScroll1, 0, -50, 32, 0, 206},      // Master Tune, signed byte
      {GblCtl::HScroll1, 0, 50, 32, 0, 50},
      {GblCtl::HScroll1, 1, 127, 244, 0, 127},     // Velocity
      {GblCtl::VScroll2, 0, -1, 64, 0, 255},       // user scale 1, C
      {GblCtl::VScroll2, 47, 50, 111, 0, 50},      // user scale 4, B
      {GblCtl::Combo1, 0, 3, 245, 0x20, 0x2F},     // Octave Upper " U-1" keeps the lower octave
      {GblCtl::Combo1, 1, 0, 245, 0x0F, 0x2F},     // Octave Lower " L+2" keeps the upper octave
      {GblCtl::Combo1, 1, 4, 245, 0x2F, 0xEF},     // " L-2"
      {GblCtl::Combo1, 2, 7, 51, 0, 7},            // Velocity Curve " 8"
      {GblCtl::Combo1, 3, 2, 52, 0, 2},
      {GblCtl::Combo1, 5, 2, 60, 0, 2},            // One Finger
      {GblCtl::Combo1, 6, 23, 37, 0, 23},
      {GblCtl::Combo1, 7, 10, 53, 0, 10},
      {GblCtl::Combo1, 8, 11, 38, 0, 11},
      {GblCtl::Combo1, 9, 1, 54, 0, 1},
      {GblCtl::Combo1, 10, 3, 35, 0, 47},          // the function code, not the position
      {GblCtl::Combo1, 11, 45, 55, 0, 30},
      {GblCtl::Combo1, 15, 51, 59, 0, 53},
      {GblCtl::Combo1, 16, 1, 34, 0x47, 0x4F},     // JS x LOW " DIS" sets bit 3
      {GblCtl::Combo1, 17, 0, 34, 0xFF, 0xEF},     // JS x UP1 " PRG" clears bit 4
      {GblCtl::Combo1, 18, 1, 34, 0x00, 0x20},
      {GblCtl::Combo1, 19, 2, 34, 0x4F, 0x8F},     // Echo Back " IN 2": bits 6-7 = 10
      {GblCtl::Combo1, 19, 0, 34, 0xFF, 0x3F},
      {GblCtl::Check1, 0, 1, 61, 0xF0, 1},         // the whole byte
      {GblCtl::Check1, 1, 1, 254, 0x00, 0x02},     // Transpose Lock: bit 1
      {GblCtl::Check1, 2, 0, 254, 0xFF, 0xFE},     // Voc/Gtr Lock: bit 0
      {GblCtl::Option1, 0, 1, 34, 0x80, 0x81},     // "+" selected
      {GblCtl::Option1, 1, 0, 34, 0x81, 0x80},
      {GblCtl::HScroll3, 0, 36, 248, 0, 36},
      {GblCtl::HScroll3, 1, 96, 249, 0, 96},
      {GblCtl::Check3, 0, 1, 253, 0, 1},
      {GblCtl::Combo3, 0, 6, 247, 0, 253},         // Octave " -3"
      {GblCtl::Combo3, 0, 0, 247, 0, 3},
      {GblCtl::Combo3, 1, 0, 250, 0, 255},         // Channel (Arr) " OFF"
      {GblCtl::Combo3, 1, 16, 250, 0, 15},         // " 16"
      {GblCtl::Combo3, 2, 16, 251, 0, 16},         // Track " ETr8"
      {GblCtl::Combo3, 3, 33, 252, 0, 32},         // Channel (Song Play) " Keyboard"
      {GblCtl::Combo3, 3, 17, 252, 0, 16},         // " Song Ch01"
      {GblCtl::Combo3, 3, 0, 252, 7, 255},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.ctl)) + "/" + std::to_string(c.index) + " = " +
                 std::to_string(c.value));
    std::string doc = Doc({{c.offset, c.before}});
    const std::string before = doc;
    GblStore(doc, c.ctl, c.index, c.value);
    EXPECT_EQ(ByteAt(doc, c.offset), c.after);
    MidAssign(doc, kGblBlockPos + c.offset, Chr(c.before));
    EXPECT_EQ(doc, before);  // no other byte changed
  }
}

TEST_F(GblBlockTest, NoSelectionWritesNothing) {
  for (GblCtl ctl : {GblCtl::Combo1, GblCtl::Combo3}) {
    for (int index : {0, 2, 10, 16, 19}) {
      std::string doc = Doc({{245, 0x2F}, {34, 0x55}, {247, 1}});
      const std::string before = doc;
      GblStore(doc, ctl, index, -1);
      EXPECT_EQ(doc, before);
    }
  }
}

struct ShowCase {
  GblCtl ctl;
  int index;
  int offset;
  int byte;
  int shown;
};

TEST_F(GblBlockTest, StoredBytesShowAsTheLoadingRulesSay) {
  const ShowCase cases[] = {
      {GblCtl::HScroll1, 0, 32, 50, 50},   {GblCtl::HScroll1, 0, 32, 100, 0},  {GblCtl::HScroll1, 0, 32, 206, -50},
      {GblCtl::HScroll1, 0, 32, 255, -1},  {GblCtl::HScroll1, 0, 32, 205, 0},  {GblCtl::HScroll1, 1, 244, 127, 127},
      {GblCtl::HScroll1, 1, 244, 128, 0},  {GblCtl::VScroll2, 5, 69, 255, -1}, {GblCtl::VScroll2, 5, 69, 51, 0},
      {GblCtl::Combo1, 2, 51, 7, 7},       {GblCtl::Combo1, 2, 51, 9, 0},      {GblCtl::Combo1, 3, 52, 8, 0},
      {GblCtl::Combo1, 5, 60, 3, 0},       {GblCtl::Combo1, 5, 60, 6, 2},      {GblCtl::Combo1, 5, 60, 1, 1},
      {GblCtl::Combo1, 6, 37, 24, 0},      {GblCtl::Combo1, 7, 53, 23, 23},    {GblCtl::Combo1, 8, 38, 12, 0},
      {GblCtl::Combo1, 9, 54, 11, 11},     {GblCtl::Combo1, 10, 35, 47, 3},    {GblCtl::Combo1, 10, 35, 35, 0},
      {GblCtl::Combo1, 12, 56, 36, 0},     {GblCtl::Combo1, 15, 59, 53, 51},   {GblCtl::Combo1, 13, 57, 43, 46},
      {GblCtl::Combo1, 0, 245, 0x0F, 3},   {GblCtl::Combo1, 0, 245, 0x0E, 4},  {GblCtl::Combo1, 0, 245, 0x07, 2},
      {GblCtl::Combo1, 0, 245, 0x08, 2},   {GblCtl::Combo1, 1, 245, 0x20, 0},  {GblCtl::Combo1, 1, 245, 0xF0, 3},
      {GblCtl::Combo1, 16, 34, 0x08, 1},   {GblCtl::Combo1, 17, 34, 0x08, 0},  {GblCtl::Combo1, 18, 34, 0x20, 1},
      {GblCtl::Combo1, 19, 34, 0x80, 2},   {GblCtl::Combo1, 19, 34, 0xC0, 0},  {GblCtl::Combo1, 19, 34, 0x7F, 1},
      {GblCtl::Check1, 0, 61, 0x03, 1},    {GblCtl::Check1, 0, 61, 0x02, 0},   {GblCtl::Check1, 1, 254, 0x02, 1},
      {GblCtl::Check1, 2, 254, 0x02, 0},   {GblCtl::Option1, 0, 34, 0x01, 1},  {GblCtl::Option1, 1, 34, 0x01, 0},
      {GblCtl::Option1, 1, 34, 0xFE, 1},   {GblCtl::Check3, 0, 253, 0x03, 1},  {GblCtl::Check3, 0, 253, 0x02, 0},
      {GblCtl::HScroll3, 0, 248, 116, 116}, {GblCtl::HScroll3, 0, 248, 117, 0}, {GblCtl::HScroll3, 1, 249, 11, 11},
      {GblCtl::HScroll3, 1, 249, 10, 127}, {GblCtl::HScroll3, 1, 249, 128, 127},
      // Harmony "Octave": 3 shows " 3" (entry 0), 0 shows " 0", 253 " -3";
      // 4-252 show " 3".
      {GblCtl::Combo3, 0, 247, 3, 0},      {GblCtl::Combo3, 0, 247, 2, 1},     {GblCtl::Combo3, 0, 247, 1, 2},
      {GblCtl::Combo3, 0, 247, 0, 3},      {GblCtl::Combo3, 0, 247, 255, 4},   {GblCtl::Combo3, 0, 247, 254, 5},
      {GblCtl::Combo3, 0, 247, 253, 6},    {GblCtl::Combo3, 0, 247, 4, 0},     {GblCtl::Combo3, 0, 247, 252, 0},
      {GblCtl::Combo3, 1, 250, 255, 0},    {GblCtl::Combo3, 1, 250, 15, 16},   {GblCtl::Combo3, 1, 250, 16, 1},
      {GblCtl::Combo3, 2, 251, 16, 16},    {GblCtl::Combo3, 2, 251, 17, 0},    {GblCtl::Combo3, 3, 252, 255, 0},
      {GblCtl::Combo3, 3, 252, 32, 33},    {GblCtl::Combo3, 3, 252, 33, 1},    {GblCtl::Combo3, 3, 252, 0, 1},
  };
  for (const ShowCase& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.ctl)) + "/" + std::to_string(c.index) + " byte " +
                 std::to_string(c.byte));
    EXPECT_EQ(GblShown(Doc({{c.offset, c.byte}}), c.ctl, c.index), c.shown);
  }
}

TEST_F(GblBlockTest, TheChannelTableIsTheProgramsNotTheBlocks) {
  gChDrum = 9;
  EXPECT_EQ(GblShown(Doc(), GblCtl::Combo3, 9), 9);
  std::string doc = Doc();
  const std::string before = doc;
  GblStore(doc, GblCtl::Combo3, 4, 4);   // GLB " 5"
  GblStore(doc, GblCtl::Combo3, 14, 15);  // AC3 " 16"
  EXPECT_EQ(gChGlobal, 4);
  EXPECT_EQ(gChAcc3, 15);
  EXPECT_EQ(doc, before);
}

TEST_F(GblBlockTest, ListsReadAsTheInstrumentNamesThem) {
  EXPECT_EQ(GblListItems(GblCtl::Combo1, 8),
            (std::vector<std::string>{" C", " C#", " D", " D#", " E", " F", " F#", " G", " G#", " A", " A#", " B"}));
  EXPECT_EQ(GblListItems(GblCtl::Combo1, 1), (std::vector<std::string>{" L+2", " L+1", " U+0", " L-1", " L-2"}));
  const auto scales = GblListItems(GblCtl::Combo1, 7);
  ASSERT_EQ(scales.size(), 24u);
  EXPECT_EQ(scales[10], "USER SCALE 1");
  EXPECT_EQ(scales[23], "USER SCALE 14");
  const auto functions = GblListItems(GblCtl::Combo1, 12);
  ASSERT_EQ(functions.size(), 52u);
  EXPECT_EQ(functions[0], "OFF");
  EXPECT_EQ(functions[51], "A/B FADER");
  const auto track = GblListItems(GblCtl::Combo3, 2);
  ASSERT_EQ(track.size(), 17u);
  EXPECT_EQ(track[8], " LOW/UP2");
  EXPECT_EQ(track[16], " ETr8");
  const auto song = GblListItems(GblCtl::Combo3, 3);
  ASSERT_EQ(song.size(), 34u);
  EXPECT_EQ(song[1], " MIDI Ch01");
  EXPECT_EQ(song[32], " Song Ch16");
  EXPECT_EQ(song[33], " Keyboard");
  EXPECT_EQ(GblListItems(GblCtl::Combo3, 1).size(), 17u);
  EXPECT_EQ(GblListItems(GblCtl::Combo3, 7).back(), " 16");
  EXPECT_TRUE(GblListItems(GblCtl::Combo1, 4).empty());  // there is no GblCombo1(4)
}

TEST_F(GblBlockTest, TheDumpCarriesOffsets32To446Packed) {
  gChGlobal = 3;
  std::string doc = Doc();
  for (int k = 32; k <= 446; ++k) MidAssign(doc, kGblBlockPos + k, Chr((k * 37) & 0xFF));
  GblDumpMsg(doc);
  const std::string dump = gOutMsg.data;
  ASSERT_EQ(dump.size(), 481u);
  EXPECT_EQ(Left(dump, 5), std::string("\xF0\x42\x33\x4D\x51", 5));
  EXPECT_EQ(Asc(dump, 481), 0xF7);
  EXPECT_EQ(Mid(dump, 6, 475), Pack8to7(Mid(doc, 303, 415)));
  // The header and offset 447 never go out.
  MidAssign(doc, kGblBlockPos + 31, Chr(0x7E));
  MidAssign(doc, kGblBlockPos + 447, Chr(0x7E));
  GblDumpMsg(doc);
  EXPECT_EQ(gOutMsg.data, dump);
}

}  // namespace
