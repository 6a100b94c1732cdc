// The MIDI calls the program makes, with the shapes and results of the
// multimedia MIDI functions it was designed against: 0 for success, an error
// code otherwise (4 when another process holds the device). Behind them sits
// one of two back ends: the ALSA sequencer for real instruments, or the
// virtual back end of the tests (virtual_midi.h).
//
// Device -1 (the mapper) is the output port the program's own output is
// patched to (see the ALSA back end); input device 0 is the first external
// input port. Handles are non-zero 32-bit ids that stay valid in another
// process: a process that uses a handle it did not open (one published by a
// sibling program) sends through its own connection to the same port.
//
// Sending: midiOutShortMsg and midiOutLongMsg copy the bytes and return at
// once; every message leaves in call order through one queue, paced at 352
// microseconds a byte (31,250 baud counted with two stop bits). A send that
// fails on the wire drops the rest of its message, and the next
// midiOutShortMsg or midiOutLongMsg on that handle answers MMSYSERR_ERROR.
// A global dump still waiting in the queue gives way to a newer one for the
// same output and channel. midiOutClose drains the queue first (bounded),
// so the last dump is not cut off.
#pragma once

#include <cstdint>
#include <string>

using MMRESULT = uint32_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using HMIDIOUT = uint32_t;
using HMIDIIN = uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;

constexpr int MIDI_MAPPER = -1;

constexpr DWORD MHDR_DONE = 1;
constexpr DWORD MHDR_PREPARED = 2;
constexpr DWORD MHDR_INQUEUE = 4;

// The long-message header. data is the message (one char per byte); the
// other fields are laid out and used as the designed header is.
struct MIDIHDR {
  std::string data;
  DWORD dwBufferLength = 0;
  DWORD dwBytesRecorded = 0;
  DWORD dwUser = 0;
  DWORD dwFlags = 0;
  DWORD lpNext = 0;
  DWORD reserved = 0;
};
constexpr UINT kMidiHdrSize = 28;

// Input capabilities record (40 bytes as designed). Only the result of the
// query is used by the program.
struct MIDIINCAPS {
  uint16_t wMid = 0;
  uint16_t wPid = 0;
  uint32_t vDriverVersion = 0;
  char szPname[32] = {};
  uint32_t dwSupport = 0;
};
constexpr UINT kMidiInCapsSize = 40;

UINT midiOutGetNumDevs();
MMRESULT midiOutOpen(HMIDIOUT* handle, int deviceId, uintptr_t callback, uintptr_t instance, DWORD flags);
MMRESULT midiOutClose(HMIDIOUT handle);
MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD msg);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* hdr, UINT size);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* hdr, UINT size);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* hdr, UINT size);

UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT deviceId, MIDIINCAPS* caps, UINT size);
MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, uintptr_t callback, uintptr_t instance, DWORD flags);
MMRESULT midiInClose(HMIDIIN handle);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);

// Thru: subscribes the input's port to the output's port inside the
// sequencer; no program code runs for the data, except that the sender
// lifts the connection while a SysEx is on the wire to the output, and the
// back end meanwhile reads the input: a key let go during the dump is let
// go on the output right after its F7. A
// connection made by this process is removed by midiDisconnect, midiInClose,
// midiOutClose and at the end of the process; one left behind by a process
// that ended is found when an input is opened, and is adopted by the
// midiConnect that follows it, or else removed by the next call.
MMRESULT midiConnect(HMIDIIN in, HMIDIOUT out, void* reserved);
MMRESULT midiDisconnect(HMIDIIN in, HMIDIOUT out, void* reserved);

// Selects the back end. Until one is chosen, the first call picks ALSA; a
// machine where no sequencer can be opened has no MIDI devices (0 outputs).
namespace midiplatform {
void UseAlsaBackend();
// Drains and closes everything this process opened; used at exit and by
// tests between cases.
void Shutdown();
// True while the output queue holds a message or its last byte has not yet
// left the wire.
bool OutputQueueBusy();
// Why there are no MIDI devices at all, as one line for the user ("ALSA
// sequencer: Permission denied"), or "" when there is no such reason.
std::string NoDeviceReason();
// Whether that reason is the sequencer's device missing (/dev/snd/seq, made
// by the snd-seq kernel module).
bool SequencerDeviceMissing();
}  // namespace midiplatform
