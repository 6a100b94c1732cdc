// The MIDI output for the fuzz targets of the file readers: there is none,
// so nothing is ever waiting to leave and a status text clears at once.
#include "platform/midi/winmm.h"

namespace midiplatform {
bool OutputQueueBusy() { return false; }
}  // namespace midiplatform
