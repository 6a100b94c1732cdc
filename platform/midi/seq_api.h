// The calls the ALSA back end makes of the sequencer, and nothing more, behind
// one small interface: alsa-lib implements it for the program, and the tests
// put a stand-in that behaves as the kernel does in its place. Results are
// alsa-lib's: 0 or more for success, a negative errno for a failure.
// Private to platform/midi.
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>
#include <vector>

namespace midiplatform {

struct SeqAddr {
  int client = 0;
  int port = 0;
  bool operator==(const SeqAddr& other) const { return client == other.client && port == other.port; }
};

// One port as the sequencer lists it.
struct SeqPortEntry {
  SeqAddr addr;
  std::string clientName;
  std::string portName;
  unsigned caps = 0;  // SND_SEQ_PORT_CAP_...
  unsigned type = 0;  // SND_SEQ_PORT_TYPE_...
};

// Capability bits of kernels newer than some alsa-lib headers: a port that
// is there but not in use, and the endpoint port of a MIDI 2.0 device.
constexpr unsigned kSeqPortCapInactive = 1u << 8;
constexpr unsigned kSeqPortCapUmpEndpoint = 1u << 9;

// One client of the sequencer: the program's own connection to it.
class SeqApi {
 public:
  virtual ~SeqApi() = default;
  // snd_seq_open of the default sequencer, for output and input.
  virtual int Open() = 0;
  virtual int SetClientName(const std::string& name) = 0;
  virtual int ClientId() = 0;
  // A port of this client: its number.
  virtual int CreatePort(const std::string& name, unsigned caps, unsigned type) = 0;
  // Every port of every client, in client order, then port order.
  virtual int ListPorts(std::vector<SeqPortEntry>* ports) = 0;
  // The ports that receive what `port` sends (its read subscribers).
  virtual int Subscribers(SeqAddr port, std::vector<SeqAddr>* dests) = 0;
  // 0 when sender is subscribed to dest, -ENOENT when not.
  virtual int GetSubscription(SeqAddr sender, SeqAddr dest) = 0;
  virtual int Subscribe(SeqAddr sender, SeqAddr dest) = 0;
  virtual int Unsubscribe(SeqAddr sender, SeqAddr dest) = 0;
  // snd_seq_event_output_direct: delivers the event at once.
  virtual int OutputDirect(snd_seq_event_t* ev) = 0;
  // The next event that reached one of this client's own ports, waiting at
  // most timeoutMs for it: 1 with the event in *ev (its fixed part only),
  // -EAGAIN when none came, -ENOSPC once after events were lost because
  // the client's input was full.
  virtual int ReadEvent(snd_seq_event_t* ev, int timeoutMs) = 0;
};

// The sequencer through alsa-lib.
std::unique_ptr<SeqApi> MakeAlsaSeq();

}  // namespace midiplatform
