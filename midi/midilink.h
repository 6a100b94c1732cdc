// The MIDI device link: the program's only contact with the MIDI system.
// It opens one output (always the mapper, device -1) and one input (always
// device 0, the source of MIDI thru), holds their handles, sends the packed
// channel message gShortMsg and the System Exclusive message in gOutMsg,
// switches thru, and turns every failing result into a message box where the
// user must know. Every routine first tests gMidiState and does nothing while
// MIDI is off, so callers test nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/midi/winmm.h"

extern int gMidiState;         // 1 MIDI in use, 0 off
extern int gMidiOpen;          // 1 once an open found its device class present
extern MMRESULT gMidiErr;      // result of the last call made here
extern HMIDIOUT gMidiOutHandle;
extern HMIDIIN gMidiInHandle;
extern bool gMidiGuest;        // quiet open during start-up: no box from the result check
extern uint32_t gShortMsg;     // status | data1 << 8 | data2 << 16
extern MIDIHDR gOutMsg;        // the long message; its data also feed the monitor echo
extern bool gKbdMonitorOn;     // the on-screen keyboard echoes its notes
// The sends (TxShortMsg, TxSysEx) that were not handed to an open output
// without error: made while MIDI is off, or answered an error by one of
// their calls. A send returns once its bytes are queued; one that then fails
// on the wire makes the next call answer an error, so it is counted there.
// A transfer takes the count before a file's first dump and records the
// file as held by the instrument only when the count is the same after its
// last dump.
extern unsigned gTxFailCount;
// Runs send (the dumps of one file) and tells whether each send it made was
// handed to an open output without error: whether the file may be recorded
// as held by the instrument.
bool SentWithoutError(const std::function<void()>& send);

int MidiOutOpen();
int MidiInOpen();
void MidiOutClose();
void MidiInClose();
void MidiThruOn();
void MidiThruOff();
void MidiInStart();
void MidiInStop();
void TxShortMsg();
void TxSysEx();
void MidiOutErrCheck();
void TxNoteOn(int channel, int note, int velocity);
void TxNoteOff(int channel, int note, int velocity);

void MidiLinkReset();
