// One owner per MIDI device: a lock file in the Windows folder, held with
// flock for as long as the device is open and freed by the system when the
// owning process ends, however it ends. The file also names the handle its
// owner published, so a borrower can find the port behind a handle even
// after the port came back under another address. Private to platform/midi.
#pragma once

#include <cstdint>
#include <string>

#include "platform/midi/winmm.h"

namespace midiplatform {

// "midi-out-<name>.lock" / "midi-in-<name>.lock", the port name with every
// character other than a letter, digit, '.', '-' or '_' turned into '_'.
std::string DeviceLockFileName(bool input, const std::string& portName);

// Takes the device's lock and writes the handle into it. On success *fd is
// the lock's descriptor; MMSYSERR_ALLOCATED when any process (this one
// included) holds it; MMSYSERR_ERROR when the file cannot be made.
MMRESULT TakeDeviceLock(bool input, const std::string& portName, uint32_t handle, int* fd);
void ReleaseDeviceLock(int fd);

// The name of the port whose held lock carries `handle`, or "" when no
// owner holds one.
std::string FindLockedPortName(bool input, uint32_t handle);

}  // namespace midiplatform
