#include "midi/sysex.h"

#include "services/messages.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/monitor.h"

std::string SysExHeader() { return Chr(0xF0) + Chr(0x42) + Chr(0x30 | (gChGlobal & 0x0F)) + Chr(0x4D); }

std::string Pack8to7(const std::string& data) {
  std::string out;
  out.reserve(data.size() + data.size() / 7 + 8);
  size_t leadPlace = 0;
  int lead = 0;
  int count = 0;
  for (unsigned char c : data) {
    if (count == 0) {
      leadPlace = out.size();
      out += '\0';
    }
    if (c & 0x80) lead |= 1 << count;
    out += static_cast<char>(c & 0x7F);
    if (++count == 7) {
      out[leadPlace] = static_cast<char>(lead);
      lead = 0;
      count = 0;
    }
  }
  if (count > 0) out[leadPlace] = static_cast<char>(lead);
  return out;
}

void Data8to7(const std::string& data) { gOutMsg.data = Pack8to7(data); }

void TxParamChange(int part, int paramId, int value, int negFlag) {
  int v = static_cast<int16_t>(value);
  if (paramId == 70) {
    switch (part) {
      case 5: v += 64; break;
      case 6: v += 128; break;
      case 7: v += 192; break;
      case 8: v += 256; break;
      case 21: v += 320; break;
      case 9: v += 384; break;
      default: break;  // 4 and any other part add nothing
    }
  }
  const int vl = v & 0x7F;
  // Integer division truncating towards zero; a data byte keeps 7 bits so
  // it can never be read as a status byte.
  const int vh = negFlag == 1 ? 0x7F : (v / 128) & 0x7F;
  gOutMsg.data = SysExHeader() + Chr(0x41) + Chr(paramId & 0x7F) + Chr(vl) + Chr(vh) + Chr(0xF7);
  TxSysEx();
}

static void SendMode(int modeByte) {
  MidiMonLog("");
  gOutMsg.data = SysExHeader() + Chr(0x4E) + Chr(modeByte) + Chr(0xF7);
  TxSysEx();
  MidiMonLog(gOutMsg.data);
}

void TxModeArrPlay() {
  SendMode(0x0A);
  gInstrMode = 0;
  ModeShow();
}

void TxModeSongPlay() {
  SendMode(0x06);
  gInstrMode = 1;
  ModeShow();
}

void TxModeGlobal() {
  // The global mode shows itself before it is sent.
  gInstrMode = 2;
  ModeShow();
  SendMode(0x04);
}
