#include "midi/midilink.h"

#include <cstdio>

#include "services/messages.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "midi/monitor.h"

int gMidiState = 1;
int gMidiOpen = 0;
MMRESULT gMidiErr = 0;
HMIDIOUT gMidiOutHandle = 0;
HMIDIIN gMidiInHandle = 0;
bool gMidiGuest = false;
uint32_t gShortMsg = 0;
MIDIHDR gOutMsg;
bool gKbdMonitorOn = false;
unsigned gTxFailCount = 0;

namespace {
// The text under the sequencer's reason when its device is missing.
constexpr int kSeqDeviceMissingId = 155;
}  // namespace

int MidiOutOpen() {
  if (gMidiState != 1) return 0;
  const UINT count = midiOutGetNumDevs();
  gMidiOpen = 1;
  if (count == 0) {
    // Shown in the quiet mode too: the user must know there is no output,
    // and why when the sequencer itself could not be opened (it is then no
    // use replugging the interface).
    gMidiOpen = 0;
    std::string reason = midiplatform::NoDeviceReason();
    std::string printed = reason;
    if (midiplatform::SequencerDeviceMissing()) {
      // "No such file or directory" alone does not say which file, nor
      // what makes it.
      reason += "\r\n" + Res(kSeqDeviceMissingId);
      printed += "\n" + Res(kSeqDeviceMissingId);
    }
    if (!printed.empty()) std::fprintf(stderr, "%s\n", printed.c_str());
    ShowMsgReason(22, kAppTitle, "", reason);
    gMidiState = 0;
    return 0;
  }
  gMidiErr = midiOutOpen(&gMidiOutHandle, MIDI_MAPPER, 0, 0, 0);
  if (!gMidiGuest) MidiOutErrCheck();
  return static_cast<int>(gMidiErr);
}

int MidiInOpen() {
  if (gMidiState == 0) return 0;
  midiInGetNumDevs();
  gMidiOpen = 1;
  MIDIINCAPS caps;
  gMidiErr = midiInGetDevCapsA(0, &caps, kMidiInCapsSize);
  if (gMidiErr > 0) {
    // No input device 0; the caller reports it.
    gMidiOpen = 0;
    gMidiState = 0;
    return 100;
  }
  gMidiErr = midiInOpen(&gMidiInHandle, 0, 0, 0, 0);
  if (!gMidiGuest) MidiOutErrCheck();
  return static_cast<int>(gMidiErr);
}

void MidiOutClose() {
  if (gMidiState == 0) return;
  gMidiErr = midiOutClose(gMidiOutHandle);
  if (gMidiErr != 0) {
    ShowMsg(23, kAppTitle, "");
  } else {
    gMidiOpen = 0;
  }
}

void MidiInClose() {
  if (gMidiState == 0) return;
  gMidiErr = midiInClose(gMidiInHandle);
  if (gMidiErr != 0) {
    ShowMsg(23, kAppTitle, "");
  } else {
    gMidiOpen = 0;
  }
}

void MidiThruOn() {
  if (gMidiState == 0) return;
  gMidiErr = midiConnect(gMidiInHandle, gMidiOutHandle, nullptr);
}

void MidiThruOff() {
  if (gMidiState == 0) return;
  gMidiErr = midiDisconnect(gMidiInHandle, gMidiOutHandle, nullptr);
}

void MidiInStart() {
  if (gMidiState == 0) return;
  gMidiErr = midiInStart(gMidiInHandle);
}

void MidiInStop() {
  if (gMidiState == 0) return;
  gMidiErr = midiInStop(gMidiInHandle);
}

void TxShortMsg() {
  if (gMidiState == 0) {
    ++gTxFailCount;
    return;
  }
  gMidiErr = midiOutShortMsg(gMidiOutHandle, gShortMsg);
  if (gMidiErr != 0) ++gTxFailCount;
  MidiOutErrCheck();
}

void TxSysEx() {
  if (gMidiState == 0) {
    ++gTxFailCount;
    return;
  }
  bool failed = false;
  gOutMsg.dwBufferLength = static_cast<DWORD>(gOutMsg.data.size());
  gOutMsg.dwBytesRecorded = 0;
  gOutMsg.dwUser = 0;
  gOutMsg.dwFlags = 0;
  // Each step runs whatever the one before answered, as designed: one
  // failing send may show up to three boxes.
  gMidiErr = midiOutPrepareHeader(gMidiOutHandle, &gOutMsg, kMidiHdrSize);
  failed |= gMidiErr != 0;
  MidiOutErrCheck();
  gMidiErr = midiOutLongMsg(gMidiOutHandle, &gOutMsg, kMidiHdrSize);
  failed |= gMidiErr != 0;
  MidiOutErrCheck();
  gMidiErr = midiOutUnprepareHeader(gMidiOutHandle, &gOutMsg, kMidiHdrSize);
  failed |= gMidiErr != 0;
  MidiOutErrCheck();
  if (failed) ++gTxFailCount;
}

bool SentWithoutError(const std::function<void()>& send) {
  const unsigned before = gTxFailCount;
  send();
  return gTxFailCount == before;
}

void MidiOutErrCheck() {
  if (gMidiErr == 0) return;
  ShowMsg(gMidiErr == MMSYSERR_ALLOCATED ? 20 : 21, kAppTitle, "");
}

static void TxNote(int status, int channel, int note, int velocity) {
  if (gKbdMonitorOn) MidiMonLog("");
  const uint32_t statusByte = static_cast<uint32_t>((channel | status) & 0xFF);
  gShortMsg = statusByte | static_cast<uint32_t>(note & 0xFF) << 8 | static_cast<uint32_t>(velocity & 0xFF) << 16;
  TxShortMsg();
  if (gKbdMonitorOn) MidiMonLog(Chr(static_cast<int>(statusByte)) + Chr(note) + Chr(velocity));
}

void TxNoteOn(int channel, int note, int velocity) { TxNote(0x90, channel, note, velocity); }
void TxNoteOff(int channel, int note, int velocity) { TxNote(0x80, channel, note, velocity); }

void MidiLinkReset() {
  gMidiState = 1;
  gMidiOpen = 0;
  gMidiErr = 0;
  gMidiOutHandle = 0;
  gMidiInHandle = 0;
  gMidiGuest = false;
  gShortMsg = 0;
  gOutMsg = MIDIHDR();
  gKbdMonitorOn = false;
  gTxFailCount = 0;
}
