// One owner per MIDI device: a lock file in the Windows folder, held with
// flock for as long as the device is open and freed by the system when the
// owning process ends, however it ends. The file also names the handle its
// owner published, so a borrower can find the port behind a handle even
// after the port came back under another address. Private to platform/midi.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/midi/winmm.h"

namespace midiplatform {

// "midi-out-<name>.lock" / "midi-in-<name>.lock", the port name with every
// character other than a letter, digit, '.', '-' or '_' turned into '_'.
std::string DeviceLockFileName(bool input, const std::string& portName);

// Takes the device's lock and writes the handle into it. On success *fd is
// the lock's descriptor; MMSYSERR_ALLOCATED when any process (this one
// included) still holds it after a few tries over about 50 ms (a sibling
// that looks the handles up holds a lock for a moment); MMSYSERR_ERROR when
// the file cannot be made.
MMRESULT TakeDeviceLock(bool input, const std::string& portName, uint32_t handle, int* fd);
void ReleaseDeviceLock(int fd);

// The name of the port whose held lock carries `handle`, or "" when no
// owner holds one.
std::string FindLockedPortName(bool input, uint32_t handle);

// The thru connections a process made between two external ports outlive
// it in the sequencer. Each is recorded beside the locks, in a file its
// maker holds (flock) while the connection is its own, so that one left by
// a process that ended without removing it can be found and cleaned up.

// Records the connection from the input port inName to the output port
// outName: the record's descriptor, or -1 when it cannot be made.
int RecordThru(const std::string& inName, const std::string& outName);
// Removes the record (the connection itself is the caller's).
void DropThruRecord(int fd, const std::string& inName, const std::string& outName);

struct ThruRecord {
  std::string inName;
  std::string outName;
  int fd = -1;  // held by this process now
};
// The records nobody holds, taken over by this process.
std::vector<ThruRecord> TakeStaleThruRecords();

}  // namespace midiplatform
