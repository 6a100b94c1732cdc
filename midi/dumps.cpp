#include "midi/dumps.h"

#include "services/messages.h"
#include "core/bytes.h"
#include "midi/midilink.h"
#include "midi/sysex.h"

namespace {
constexpr int kArrRecordsPos = 303;
constexpr int kArrRecordsLen = 10496;
constexpr int kPrgRecordsPos = 319;
constexpr int kPrgRecordLen = 172;
constexpr int kPrgRecordsLen = 64 * kPrgRecordLen;  // 11,008
constexpr int kPrgBlockPos = 23367;
constexpr int kPrgBlockLen = 2104;

// Exactly len bytes from pos: a document too short for its layout gives
// zeros rather than a shorter message.
std::string Field(const std::string& tag, int pos, int len) { return PadRight(Mid(tag, pos, len), len, '\0'); }
}  // namespace

void TxArrBank(const std::string& tag) {
  Data8to7(Field(tag, kArrRecordsPos, kArrRecordsLen));
  gOutMsg.data = SysExHeader() + Chr(0x64) + gOutMsg.data + Chr(0xF7);
  TxSysEx();
}

void TxPrgFile(const std::string& tag) {
  std::string programs = Field(tag, kPrgRecordsPos, kPrgRecordsLen);
  const bool pgg = Asc(tag, 19) == 1 || Mid(tag, 271, 4) == "KPGG";
  if (pgg) {
    for (int i = 0; i < 64; ++i) {
      const int pos = 1 + i * kPrgRecordLen;
      if (Asc(programs, pos) == 0x01) MidAssign(programs, pos, Nuls(20));
    }
  }
  Data8to7(programs + Field(tag, kPrgBlockPos, kPrgBlockLen));
  gOutMsg.data = SysExHeader() + Chr(0x4C) + gOutMsg.data + Chr(0xF7);
  TxSysEx();
}

int StyMsgBuild(const std::string& tag, int bank) {
  if (bank < 0 || bank > 3) return 1;
  const int kind = Asc(tag, 1);
  const bool styleWindow = kind == 23 || kind == 24;
  const int base = styleWindow ? 686 : 42639;
  const int dataStart = styleWindow ? 894 : 42847;
  auto length = [&](int b, int k) { return GetU16LE(tag, base + 8 + 16 * b + 4 * k); };

  std::string directory;
  long offset = 24;
  long dataLength = 0;
  for (int k = 0; k < 4; ++k) {
    const int len = length(bank, k);
    // A missing style, or one longer than a style can be, leaves the bank unsent.
    if (len == 0 || len >= 32768) return 1;
    if (offset > 0xFFFF) return 1;  // the directory holds 16-bit offsets
    directory += Chr(static_cast<int>(offset & 0xFF)) + Chr(0) + Chr(static_cast<int>(offset >> 8)) +
                 Chr(0x80 | bank) + Chr(len & 0xFF) + Chr(len >> 8);
    offset += len;
    dataLength += len;
  }
  long start = dataStart;
  for (int b = 0; b < bank; ++b)
    for (int k = 0; k < 4; ++k) start += length(b, k);
  if (start - 1 + dataLength > static_cast<long>(tag.size())) return 1;

  const std::string payload = directory + Mid(tag, static_cast<int>(start), static_cast<int>(dataLength));
  gOutMsg.data = SysExHeader() + Chr(0x65) + Pack8to7(payload) + Chr(0xF7);
  return 0;
}

int TxSty(int bank, const std::string& tag) {
  if (StyMsgBuild(tag, bank) == 1) return 1;
  StatusShow(2, "");
  TxSysEx();
  return 0;
}
