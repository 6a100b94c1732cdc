#include "midi/callup.h"

#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"

bool gPrgPickMode = false;
int gEditArrFieldSel[19] = {};
int gSelWinKind = 0;
unsigned gSelLsbWord = 0;
unsigned gSelPrgWord = 0;

namespace {

// Sends one channel message and appends its bytes to the data of gOutMsg.
void Send(int status, int data1, int data2, bool twoBytes) {
  gShortMsg = static_cast<uint32_t>(status & 0xFF) | static_cast<uint32_t>(data1 & 0x7F) << 8 |
              static_cast<uint32_t>(twoBytes ? 0 : data2 & 0x7F) << 16;
  TxShortMsg();
  gOutMsg.data += Chr(status) + Chr(data1);
  if (!twoBytes) gOutMsg.data += Chr(data2);
}

void SendCallup(int channel, int bank, int program) {
  const int n = channel & 0x0F;
  gOutMsg.data.clear();
  Send(0xB0 | n, 0x00, 0x00, false);
  Send(0xB0 | n, 0x20, bank, false);
  Send(0xC0 | n, program, 0, true);
}

// The part channel of the editor's lowest selected program field, or -1.
int PickChannel() {
  switch (EditArrLowestField()) {
    case 2: return gChDrum;
    case 4: return gChPerc;
    case 6: return gChBass;
    case 8: return gChAcc1;
    case 10: return gChAcc2;
    case 12: return gChAcc3;
    case 14: return gChUpper1;
    case 16: return gChUpper2;
    case 18: return gChLower;
    default: return -1;
  }
}

}  // namespace

int EditArrLowestField() {
  for (int i = 0; i <= 18; ++i)
    if (gEditArrFieldSel[i] == 1) return i;
  return -1;
}

void TxBankPrg(int& number, int code) {
  if (number < 0 || number > 63) {
    gOutMsg.data.clear();  // no line selected, or not an arrangement of the list
    return;
  }
  int bank = 0;
  if (code == 3) number += 64;
  if (code == 19 || code == 20) bank = 1;
  SendCallup(gChArrang, bank, number);
}

void TxPrgSelect(const std::string& tag, int index) {
  const int kind = Asc(tag, 1);
  gSelWinKind = kind;
  int channel = (kind == 21 || kind == 22) ? Asc(tag, 286) : Asc(tag, 16);
  if (gPrgPickMode) {
    const int part = PickChannel();
    if (part >= 0) channel = part;
  }
  gShortMsg = 0;
  const int maxIndex = (kind == 9 || kind == 10) ? 15 : 63;
  if (index < 0 || index > maxIndex) {
    gOutMsg.data.clear();
    return;
  }
  int bank, program;
  switch (kind) {
    case 4: bank = 0; program = index; break;
    case 5: bank = 0; program = index + 64; break;
    case 6: bank = 1; program = index; break;
    case 7: bank = 1; program = index + 64; break;
    case 8: bank = 2; program = index; break;
    case 9: case 10: bank = 4; program = kKitPrograms[index]; break;
    case 21: case 22: {
      const int rec = 319 + 172 * index;
      if (Asc(tag, rec) == 0x01) {
        bank = Asc(tag, rec + 1) & 0x7F;
        program = Asc(tag, rec + 2) & 0x7F;
      } else {
        bank = 3;
        program = index;
      }
      break;
    }
    default:
      gOutMsg.data.clear();
      return;
  }
  gSelLsbWord = 0xB0u | 0x20u << 8 | static_cast<unsigned>(bank) << 16;
  gSelPrgWord = static_cast<unsigned>(program) << 8;
  SendCallup(channel, bank, program);
}

void TxAllNotesOff(int channel) {
  gOutMsg.data.clear();
  Send(0xB0 | (channel & 0x0F), 0x7B, 0x00, false);
}

void CallupReset() {
  gPrgPickMode = false;
  for (int& f : gEditArrFieldSel) f = 0;
  gSelWinKind = 0;
  gSelLsbWord = 0;
  gSelPrgWord = 0;
}
