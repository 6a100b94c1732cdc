#include "ui/editors/gblblock.h"

#include "app/nametables.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/sysex.h"

namespace {

int Byte(const std::string& doc, int offset) { return Asc(doc, kGblBlockPos + offset); }

void SetByte(std::string& doc, int offset, int value) { MidAssign(doc, kGblBlockPos + offset, Chr(value & 0xFF)); }

// Writes bits [low, low + count) of a byte, keeping its other bits.
void SetBits(std::string& doc, int offset, int low, int count, int value) {
  const int mask = ((1 << count) - 1) << low;
  SetByte(doc, offset, (Byte(doc, offset) & ~mask) | ((value << low) & mask));
}

int Bit(const std::string& doc, int offset, int bit) { return (Byte(doc, offset) >> bit) & 1; }

// A byte as a signed value of -50..+50 (Master Tune, user-scale notes).
int SignedCents(int byte) {
  if (byte <= 50) return byte;
  if (byte >= 206) return byte - 256;
  return 0;
}

// The list position of an octave nibble: a value v of -2..+2 is entry 2 - v,
// any other value entry 2 (0).
int OctaveEntry(int nibble) {
  const int v = nibble >= 8 ? nibble - 16 : nibble;
  return v >= -2 && v <= 2 ? 2 - v : 2;
}

// The first entry of the function list whose code is the byte; "OFF" for a
// byte that is no code of the table.
int FunctionEntry(int byte) {
  for (int i = 0; i < 52; ++i)
    if (gGblFuncCodes[i] == byte) return i;
  return 0;
}

// Block offsets of the lists that store their position (or a function code).
int Combo1Offset(int index) {
  switch (index) {
    case 2: return 51;   // Velocity Curve
    case 3: return 52;   // After Touch Curve
    case 5: return 60;   // Chord Recognition
    case 6: return 37;   // Main Scale Type
    case 7: return 53;   // Sub Scale Type
    case 8: return 38;   // Main Scale Key
    case 9: return 54;   // Sub Scale Key
    case 10: return 35;  // Assignable Pedal
    default: return index >= 11 && index <= 15 ? 55 + index - 11 : -1;  // Ext. Controller A-E
  }
}

// The program's channel of part k (Combo3 4 + k): global, arrangement,
// lower, upper 2, upper 1, drum, percussion, bass, accompaniment 1-3.
int* const kPartChannels[11] = {&gChGlobal, &gChArrang, &gChLower, &gChUpper2, &gChUpper1, &gChDrum,
                                &gChPerc,   &gChBass,   &gChAcc1,  &gChAcc2,   &gChAcc3};

int Combo1Shown(const std::string& doc, int index) {
  switch (index) {
    case 0: return OctaveEntry(Byte(doc, 245) & 0x0F);
    case 1: return OctaveEntry(Byte(doc, 245) >> 4);
    case 2: case 3: {
      const int b = Byte(doc, Combo1Offset(index));
      return b > 7 ? 0 : b;
    }
    case 5: {
      const int b = Byte(doc, 60) & 3;
      return b == 3 ? 0 : b;
    }
    case 6: case 7: {
      const int b = Byte(doc, Combo1Offset(index));
      return b > 23 ? 0 : b;
    }
    case 8: case 9: {
      const int b = Byte(doc, Combo1Offset(index));
      return b > 11 ? 0 : b;
    }
    case 16: case 17: case 18: return Bit(doc, 34, index - 13);
    case 19: {
      const int b = Byte(doc, 34) >> 6;
      return b == 3 ? 0 : b;
    }
    default:
      if (index >= 10 && index <= 15) return FunctionEntry(Byte(doc, Combo1Offset(index)));
      return 0;
  }
}

int Combo3Shown(const std::string& doc, int index) {
  const int b = index <= 3 ? Byte(doc, index == 0 ? 247 : 249 + index) : 0;
  switch (index) {
    case 0:  // Octave: 253-255 are -3..-1, 0-3 are 0..3, any other byte shows " 3"
      if (b >= 253) return 3 - (b - 256);
      return b <= 3 ? 3 - b : 0;
    case 1: return b == 255 ? 0 : (b <= 15 ? b + 1 : 1);
    case 2: return b > 16 ? 0 : b;
    case 3: return b == 255 ? 0 : (b <= 32 ? b + 1 : 1);
    default: {
      const int ch = index >= 4 && index <= 14 ? *kPartChannels[index - 4] : 0;
      return ch >= 0 && ch <= 15 ? ch : 0;
    }
  }
}

void Combo1Store(std::string& doc, int index, int pos) {
  switch (index) {
    case 0: SetBits(doc, 245, 0, 4, 2 - pos); break;
    case 1: SetBits(doc, 245, 4, 4, 2 - pos); break;
    case 16: case 17: case 18: SetBits(doc, 34, index - 13, 1, pos == 1 ? 1 : 0); break;
    case 19: SetBits(doc, 34, 6, 2, pos); break;
    default: {
      const int offset = Combo1Offset(index);
      if (offset < 0) return;
      if (index >= 10) {
        if (pos < 52) SetByte(doc, offset, gGblFuncCodes[pos]);
      } else {
        SetByte(doc, offset, pos);
      }
    }
  }
}

void Combo3Store(std::string& doc, int index, int pos) {
  switch (index) {
    case 0: SetByte(doc, 247, 3 - pos); break;
    case 1: SetByte(doc, 250, pos == 0 ? 255 : pos - 1); break;
    case 2: SetByte(doc, 251, pos); break;
    case 3: SetByte(doc, 252, pos == 0 ? 255 : pos - 1); break;
    default:
      if (index >= 4 && index <= 14 && pos <= 15) *kPartChannels[index - 4] = pos;
  }
}

std::vector<std::string> Numbered(const std::string& prefix, int count, int width = 1) {
  std::vector<std::string> items;
  for (int n = 1; n <= count; ++n) {
    std::string digits = CStr(n);
    while (static_cast<int>(digits.size()) < width) digits = "0" + digits;
    items.push_back(prefix + digits);
  }
  return items;
}

std::vector<std::string> Joined(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

}  // namespace

int GblShown(const std::string& doc, GblCtl ctl, int index) {
  switch (ctl) {
    case GblCtl::Combo1: return Combo1Shown(doc, index);
    case GblCtl::Check1: return index == 0 ? Bit(doc, 61, 0) : Bit(doc, 254, index == 1 ? 1 : 0);
    case GblCtl::Option1: return Bit(doc, 34, 0) == (index == 0 ? 1 : 0) ? 1 : 0;
    case GblCtl::HScroll1:
      if (index == 0) return SignedCents(Byte(doc, 32));
      return Byte(doc, 244) > 127 ? 0 : Byte(doc, 244);
    case GblCtl::VScroll2: return SignedCents(Byte(doc, 64 + index));
    case GblCtl::HScroll3: {
      const int b = Byte(doc, 248 + index);
      if (index == 0) return b > 116 ? 0 : b;
      return b < 11 || b > 127 ? 127 : b;
    }
    case GblCtl::Check3: return Bit(doc, 253, 0);
    case GblCtl::Combo3: return Combo3Shown(doc, index);
  }
  return 0;
}

void GblStore(std::string& doc, GblCtl ctl, int index, int value) {
  if (static_cast<int>(doc.size()) < kGblDocLen) return;
  switch (ctl) {
    case GblCtl::Combo1:
      if (value >= 0) Combo1Store(doc, index, value);
      break;
    case GblCtl::Check1:
      if (index == 0) SetByte(doc, 61, value);
      else SetBits(doc, 254, index == 1 ? 1 : 0, 1, value);
      break;
    case GblCtl::Option1: SetBits(doc, 34, 0, 1, value ? 1 : 0); break;
    case GblCtl::HScroll1: SetByte(doc, index == 0 ? 32 : 244, value); break;
    case GblCtl::VScroll2: SetByte(doc, 64 + index, value); break;
    case GblCtl::HScroll3: SetByte(doc, 248 + index, value); break;
    case GblCtl::Check3: SetByte(doc, 253, value); break;
    case GblCtl::Combo3:
      if (value >= 0) Combo3Store(doc, index, value);
      break;
  }
}

std::vector<std::string> GblListItems(GblCtl ctl, int index) {
  static const std::vector<std::string> kKeys = {" C",  " C#", " D",  " D#", " E",  " F",
                                                 " F#", " G",  " G#", " A",  " A#", " B"};
  if (ctl == GblCtl::Combo3) {
    switch (index) {
      case 0: return {" 3", " 2", " 1", " 0", " -1", " -2", " -3"};
      case 1: return Joined({" OFF"}, Numbered(" ", 16));
      case 2:
        return Joined({" OFF", " DRUM", " PERC", " BASS", " ACC1", " ACC2", " ACC3", " UP1", " LOW/UP2"},
                      Numbered(" ETr", 8));
      case 3:
        return Joined(Joined({" OFF"}, Numbered(" MIDI Ch", 16, 2)),
                      Joined(Numbered(" Song Ch", 16, 2), {" Keyboard"}));
      default: return Numbered(" ", 16);  // the MIDI channel table
    }
  }
  if (ctl != GblCtl::Combo1) return {};
  switch (index) {
    case 0: return {" U+2", " U+1", " U+0", " U-1", " U-2"};
    case 1: return {" L+2", " L+1", " U+0", " L-1", " L-2"};
    case 2: case 3: return Numbered(" ", 8);
    case 5: return {"Fingered1", "Fingered2", "One Finger"};
    case 6: case 7:
      return Joined({"EQUAL TEMP", "EQUAL TEMP 2", "PURE MAJOR", "PURE MINOR", "ARABIC", "PYTHAGOREAN",
                     "WERKMEISTER", "KIRNBERGER", "SLENDRO", "PELOG"},
                    Numbered("USER SCALE ", 14));
    case 8: case 9: return kKeys;
    case 16: case 17: case 18: return {" PRG", " DIS"};
    case 19: return {" OFF", " IN 1", " IN 2"};
    default:
      if (index >= 10 && index <= 15) return {kGblFuncListTexts.begin(), kGblFuncListTexts.end()};
      return {};
  }
}

void GblDumpMsg(const std::string& doc) {
  Data8to7(PadRight(Mid(doc, kGblBlockPos + kGblPayloadOffset, kGblPayloadLen), kGblPayloadLen, '\0'));
  gOutMsg.data = SysExHeader() + Chr(0x51) + gOutMsg.data + Chr(0xF7);
}
