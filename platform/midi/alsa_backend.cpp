// The ALSA sequencer back end.
//
// The program is a sequencer client named "Brenvolta" with one output port,
// "Brenvolta Out", and everything is sent to that port's subscribers, so a
// patch made by hand (aconnect, a patchbay) works. A hardware port (a USB or
// DIN interface) opens its device only when it becomes the destination of a
// subscription, so when the output is opened and nothing is patched yet, the
// back end patches it itself: to the port it used last, kept by name in a
// small file of its own in the Windows folder, or else to the first external
// output port. A port the user patches by hand becomes the one followed and
// remembered. When the followed port goes away and comes back (an interface
// unplugged and plugged in again, perhaps under another address), it is
// patched again before the next message; a message whose port goes away
// while it is on the wire fails, and its rest is never sent. When the output
// is closed, the patches the back end made are removed, and only those.
//
// Thru is a subscription of the input port to the output port, so the
// sequencer passes the notes on with no program code in between. While a
// SysEx is on the wire that subscription is lifted, and the input is
// subscribed instead to the program's own port "Brenvolta In" (private: no
// other client may connect to it), which the back end reads: right after
// the F7 (or where the dump was cut off), while thru is still lifted, the
// instrument is sent what brings it to the state of the player's controls
// (see thru_catchup.h), again and again until the input has played nothing
// more that owes anything. Then thru is put back; of what the input played
// in the instant it came back, which may or may not have gone through
// already, only what lets go or sets a value is passed on, never a note on.
// Where the lift begins, where each round of what is owed ends and where
// thru is back is told by an echo event the back end sends to its own port:
// the input's events before it in the same queue were played before that
// point, those after it after.
//
// The external ports are those of every other client except the system
// client, the "Midi Through" client and the program's own clients, and
// except a port that is not in use and the endpoint port of a MIDI 2.0
// device (its group ports are listed). A port is known by
// "<client name>:<port name>".
//
// Where no sequencer can be opened the back end has no ports, and says why.
#include <algorithm>
#include <cerrno>
#include <mutex>

#include "core/bytes.h"
#include "platform/files.h"
#include "platform/midi/midi_backend.h"
#include "platform/midi/seq_api.h"
#include "platform/midi/thru_catchup.h"
#include "platform/winfolder.h"

namespace midiplatform {
namespace {

const char kClientName[] = "Brenvolta";
const char kOutPortName[] = "Brenvolta Out";
const char kInPortName[] = "Brenvolta In";
const char kThroughClientName[] = "Midi Through";
// The output port used last: "<client name>:<port name>" and a line end.
const char kRememberedPortFile[] = "midi-out.port";

// Large enough for any chunk, so a SysEx chunk becomes one event.
constexpr size_t kEncoderBytes = 256;

// How long the end of a lift waits for its echo to come back through the
// input queue.
constexpr int kEchoWaitMs = 200;

std::string PortName(const SeqPortEntry& port) { return port.clientName + ":" + port.portName; }
uint16_t Addr16(SeqAddr addr) { return static_cast<uint16_t>(addr.client << 8 | addr.port); }

bool Contains(const std::vector<SeqAddr>& list, SeqAddr addr) {
  return std::find(list.begin(), list.end(), addr) != list.end();
}

class AlsaBackend : public Backend {
 public:
  AlsaBackend(std::unique_ptr<SeqApi> seq, std::shared_ptr<Clock> clock, int64_t usPerByte)
      : seq_(std::move(seq)), clock_(std::move(clock)), usPerByte_(usPerByte) {
    int r = seq_->Open();
    // The sequencer's device file is not there: its kernel module is not
    // loaded (or the machine has no sound devices at all).
    deviceMissing_ = r == -ENOENT;
    if (r >= 0) r = seq_->SetClientName(kClientName);
    if (r >= 0) r = client_ = seq_->ClientId();
    if (r >= 0) {
      r = outPort_ = seq_->CreatePort(kOutPortName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    }
    if (r >= 0) {
      r = inPort_ = seq_->CreatePort(kInPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    }
    if (r >= 0) r = snd_midi_event_new(kEncoderBytes, &encoder_);
    if (r >= 0) r = snd_midi_event_new(kEncoderBytes, &decoder_);
    if (r >= 0) snd_midi_event_no_status(decoder_, 1);  // each message whole
    if (r < 0) {
      unavailable_ = std::string("ALSA sequencer: ") + snd_strerror(r);
      seq_.reset();  // closes the client, if it was made
    }
  }

  ~AlsaBackend() override {
    // Closing the client also removes every patch of its output port.
    seq_.reset();
    if (encoder_) snd_midi_event_free(encoder_);
    if (decoder_) snd_midi_event_free(decoder_);
  }

  std::vector<PortInfo> Ports(bool input) override {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<PortInfo> ports;
    for (const SeqPortEntry& port : ExternalPortsLocked(input)) ports.push_back({PortName(port), Addr16(port.addr)});
    return ports;
  }

  MMRESULT MapperPort(PortInfo* port) override {
    std::lock_guard<std::mutex> lk(mu_);
    const std::vector<SeqPortEntry> outputs = ExternalPortsLocked(false);
    if (outputs.empty()) return MMSYSERR_BADDEVICEID;
    std::vector<SeqAddr> subs;
    seq_->Subscribers(Out(), &subs);
    const std::string remembered = RememberedLocked();
    // A patch already there decides (a patchbay may have made it as the
    // program appeared); else the port used last; else the first.
    const SeqPortEntry* pick = nullptr;
    for (const SeqPortEntry& e : outputs) {
      if (Contains(subs, e.addr) && (!pick || PortName(e) == remembered)) pick = &e;
    }
    for (const SeqPortEntry& e : outputs) {
      if (!pick && PortName(e) == remembered) pick = &e;
    }
    if (!pick) pick = &outputs.front();
    *port = {PortName(*pick), Addr16(pick->addr)};
    return MMSYSERR_NOERROR;
  }

  MMRESULT AttachOutput(const std::string& name) override {
    std::lock_guard<std::mutex> lk(mu_);
    SeqPortEntry port;
    if (!FindLocked(name, false, &port)) return MMSYSERR_BADDEVICEID;
    if (MMRESULT r = PatchLocked(port.addr)) return r;
    FollowLocked(name, port.addr);
    ++attached_;
    return MMSYSERR_NOERROR;
  }

  void DetachOutput(const std::string&) override {
    std::lock_guard<std::mutex> lk(mu_);
    if (!seq_ || attached_ == 0 || --attached_ > 0) return;
    std::vector<SeqAddr> subs;
    if (seq_->Subscribers(Out(), &subs) >= 0) {
      FollowHandPatchLocked(subs);
      for (const SeqAddr& addr : own_) {
        if (Contains(subs, addr)) seq_->Unsubscribe(Out(), addr);
      }
    }
    own_.clear();
    lastSubs_.clear();
    followed_.clear();
  }

  bool SendChunk(const std::string& portName, const std::string& bytes, bool firstOfMessage, int64_t) override {
    std::lock_guard<std::mutex> lk(mu_);
    if (!seq_) return false;
    // Keys played during a dump are taken as they come, so the input's
    // queue never fills. Once it is over, what the input plays while the
    // owed goes out waits in the queue for the next round, or for the
    // return of thru, which tell it from what came before.
    if (std::any_of(lifts_.begin(), lifts_.end(), [](const Lift& l) { return !l.settleEcho; }))
      ReadInputLocked(0);
    if (firstOfMessage) {
      snd_midi_event_reset_encode(encoder_);
      if (!ReadyLocked(portName)) return false;
    } else {
      // The port the message began on must still be patched: a tail sent
      // to a port that came back would arrive without its head.
      std::vector<SeqAddr> subs;
      if (seq_->Subscribers(Out(), &subs) < 0 || !Contains(subs, msgDest_)) return false;
    }
    return OutputLocked(bytes);
  }

  int64_t WireUsPerByte() const override { return usPerByte_; }

  MMRESULT Connect(const std::string& inName, const std::string& outName, bool* made) override {
    std::lock_guard<std::mutex> lk(mu_);
    *made = false;
    SeqPortEntry in;
    SeqPortEntry out;
    if (!FindLocked(inName, true, &in) || !FindLocked(outName, false, &out)) return MMSYSERR_ERROR;
    if (seq_->GetSubscription(in.addr, out.addr) == 0) return MMSYSERR_NOERROR;  // already patched
    if (seq_->Subscribe(in.addr, out.addr) < 0) return MMSYSERR_ERROR;
    *made = true;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Disconnect(const std::string& inName, const std::string& outName) override {
    std::lock_guard<std::mutex> lk(mu_);
    SeqPortEntry in;
    SeqPortEntry out;
    if (!FindLocked(inName, true, &in) || !FindLocked(outName, false, &out)) return MMSYSERR_ERROR;
    return seq_->Unsubscribe(in.addr, out.addr) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
  }

  void LiftThru(const std::string& inName, const std::string& outName) override {
    std::lock_guard<std::mutex> lk(mu_);
    SeqPortEntry in;
    SeqPortEntry out;
    if (!FindLocked(inName, true, &in) || !FindLocked(outName, false, &out)) return;
    // What is still queued came before this lift.
    ReadInputLocked(0);
    Lift lift;
    lift.inName = inName;
    lift.in = in.addr;
    lift.reading = seq_->Subscribe(in.addr, OwnIn()) >= 0;
    seq_->Unsubscribe(in.addr, out.addr);
    if (lift.reading) lift.startEcho = SendEchoLocked();
    lifts_.push_back(lift);
  }

  void SettleThruLift(const std::string& inName, const std::string&, std::string* owed) override {
    std::lock_guard<std::mutex> lk(mu_);
    Lift* lift = FindLiftLocked(inName);
    if (!lift) return;
    if (lift->reading) {
      // Everything played until now; what follows the echo comes after.
      lift->settleEcho = SendEchoLocked();
      ReadInputLocked(lift->settleEcho);
    }
    *owed += lift->played.Take();
  }

  void EndThruLift(const std::string& inName, const std::string& outName, bool restore,
                   std::string* late) override {
    std::lock_guard<std::mutex> lk(mu_);
    // What the inputs play from the last round's echo on comes in the
    // instant thru comes back.
    for (Lift& lift : lifts_) {
      if (!lift.lastEcho) lift.lastEcho = lift.settleEcho;
    }
    SeqPortEntry in;
    SeqPortEntry out;
    if (restore && FindLocked(inName, true, &in) && FindLocked(outName, false, &out) &&
        seq_->GetSubscription(in.addr, out.addr) != 0) {
      seq_->Subscribe(in.addr, out.addr);
    }
    Lift* lift = FindLiftLocked(inName);
    if (!lift) return;
    if (lift->reading) {
      // The keys played until thru was back in place.
      lift->endEcho = SendEchoLocked();
      ReadInputLocked(lift->endEcho);
      seq_->Unsubscribe(lift->in, OwnIn());
    }
    // Owed only when the last round's end could not be told from the queue:
    // sent once thru is back, it may follow what went through meanwhile.
    *late += ThruCatchUp::Late(lift->played.Take());
    if (restore) *late += lift->late;
    lifts_.erase(lifts_.begin() + (lift - lifts_.data()));
  }

  Clock& GetClock() override { return *clock_; }

  std::string Unavailable() override {
    std::lock_guard<std::mutex> lk(mu_);
    return unavailable_;
  }

  bool SequencerDeviceMissing() override {
    std::lock_guard<std::mutex> lk(mu_);
    return deviceMissing_;
  }

 private:
  // An input read while its thru is lifted.
  struct Lift {
    std::string inName;
    SeqAddr in;
    bool reading = false;      // the input is subscribed to the program's own port
    unsigned startEcho = 0;    // the echo sent as thru was taken out
    unsigned settleEcho = 0;   // the echo sent at the end of the last round of what is owed
    unsigned lastEcho = 0;     // that echo, once no round follows it
    unsigned endEcho = 0;      // the echo sent as thru was back
    bool sure = false;         // the start echo came: what follows never reached the output
    bool ended = false;        // the end echo came: what follows went through thru
    ThruCatchUp played;        // what the output is owed
    std::string late;          // what came in the instant thru came back, to pass on
  };

  Lift* FindLiftLocked(const std::string& inName) {
    auto it = std::find_if(lifts_.begin(), lifts_.end(), [&](const Lift& l) { return l.inName == inName; });
    return it == lifts_.end() ? nullptr : &*it;
  }

  SeqAddr Out() const { return {client_, outPort_}; }
  SeqAddr OwnIn() const { return {client_, inPort_}; }

  // Sends an echo event to the program's own port: it lands in the input
  // queue behind every event of the inputs that is already there. 0 when
  // it could not be sent.
  unsigned SendEchoLocked() {
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    ev.type = SND_SEQ_EVENT_ECHO;
    snd_seq_ev_set_source(&ev, static_cast<unsigned char>(outPort_));
    snd_seq_ev_set_dest(&ev, static_cast<unsigned char>(client_), static_cast<unsigned char>(inPort_));
    snd_seq_ev_set_direct(&ev);
    const unsigned echo = ++echoes_;
    ev.data.raw32.d[0] = echo;
    return seq_->OutputDirect(&ev) < 0 ? 0 : echo;
  }

  // Takes the events that reached the program's own port: those queued
  // now, or, when echo is given, until that echo has come, waiting for it
  // a little.
  void ReadInputLocked(unsigned echo) {
    for (;;) {
      const bool waiting = echo != 0 && echoSeen_ < echo;
      if (echo != 0 && !waiting) return;
      snd_seq_event_t ev;
      const int r = seq_->ReadEvent(&ev, waiting ? kEchoWaitMs : 0);
      if (r == -ENOSPC) continue;  // some were lost; go on with the rest
      if (r < 0) return;
      TakeEventLocked(ev);
    }
  }

  void TakeEventLocked(const snd_seq_event_t& ev) {
    if (ev.type == SND_SEQ_EVENT_ECHO && ev.source.client == client_) {
      // Echoes come back in the order they were sent: one marks the points
      // of every echo sent before it, in case one was lost.
      const unsigned echo = ev.data.raw32.d[0];
      echoSeen_ = std::max(echoSeen_, echo);
      for (Lift& lift : lifts_) {
        if (lift.startEcho && echo >= lift.startEcho) lift.sure = true;
        if (lift.endEcho && echo >= lift.endEcho) lift.ended = true;
      }
      return;
    }
    const SeqAddr source{ev.source.client, ev.source.port};
    // An input's events before its lift, or after its end echo, went
    // through thru.
    auto lift = std::find_if(lifts_.begin(), lifts_.end(),
                             [&](const Lift& l) { return l.reading && !l.ended && l.in == source; });
    if (lift == lifts_.end()) return;
    // Whole messages (a 14-bit controller or a parameter number is more
    // than one).
    const std::string msgs = BytesOfLocked(ev);
    if (lift->lastEcho && echoSeen_ >= lift->lastEcho) {
      lift->late += ThruCatchUp::Late(msgs);
    } else {
      lift->played.Played(msgs, lift->sure);
    }
  }

  // The bytes of a channel message, as thru would have passed it on.
  std::string BytesOfLocked(const snd_seq_event_t& ev) {
    switch (ev.type) {
      case SND_SEQ_EVENT_NOTEON:
      case SND_SEQ_EVENT_NOTEOFF:
      case SND_SEQ_EVENT_KEYPRESS:
      case SND_SEQ_EVENT_CONTROLLER:
      case SND_SEQ_EVENT_PGMCHANGE:
      case SND_SEQ_EVENT_CHANPRESS:
      case SND_SEQ_EVENT_PITCHBEND:
      case SND_SEQ_EVENT_CONTROL14:
      case SND_SEQ_EVENT_NONREGPARAM:
      case SND_SEQ_EVENT_REGPARAM:
        break;
      default:
        return std::string();  // only the fixed part of an event is read
    }
    unsigned char buf[16];
    snd_seq_event_t copy = ev;
    snd_midi_event_reset_decode(decoder_);
    const long n = snd_midi_event_decode(decoder_, buf, sizeof buf, &copy);
    return n > 0 ? std::string(reinterpret_cast<const char*>(buf), static_cast<size_t>(n)) : std::string();
  }

  std::vector<SeqPortEntry> ExternalPortsLocked(bool input) {
    std::vector<SeqPortEntry> all;
    std::vector<SeqPortEntry> ports;
    if (!seq_ || seq_->ListPorts(&all) < 0) return ports;
    const unsigned need = input ? (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)
                                : (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    const unsigned refused = SND_SEQ_PORT_CAP_NO_EXPORT | kSeqPortCapInactive | kSeqPortCapUmpEndpoint;
    for (const SeqPortEntry& port : all) {
      const int client = port.addr.client;
      if (client == SND_SEQ_CLIENT_SYSTEM || client == client_ || port.clientName == kClientName ||
          Left(port.clientName, static_cast<int>(sizeof kThroughClientName) - 1) == kThroughClientName ||
          client > 255 || port.addr.port > 255) {
        continue;
      }
      if ((port.caps & need) != need || (port.caps & refused)) continue;
      ports.push_back(port);
    }
    return ports;
  }

  bool FindLocked(const std::string& name, bool input, SeqPortEntry* found) {
    for (const SeqPortEntry& port : ExternalPortsLocked(input)) {
      if (PortName(port) == name) {
        *found = port;
        return true;
      }
    }
    return false;
  }

  std::string RememberedLocked() {
    std::string text;
    if (ReadWholeFile(WinPath(kRememberedPortFile), text) != 0) return std::string();
    const int end = InStr(text, "\n");
    return end > 0 ? Left(text, end - 1) : text;
  }

  // The port becomes the one sent to, and the one used first at the next
  // start.
  void FollowLocked(const std::string& name, SeqAddr addr) {
    followed_ = name;
    followedAddr_ = addr;
    if (name != RememberedLocked()) WriteWholeFileAtomic(WinPath(kRememberedPortFile), name + "\n");
  }

  // Subscribes the output port to dest unless it is already patched there.
  MMRESULT PatchLocked(SeqAddr dest) {
    std::vector<SeqAddr> subs;
    if (seq_->Subscribers(Out(), &subs) < 0) return MMSYSERR_ERROR;
    if (Contains(subs, dest)) return MMSYSERR_NOERROR;
    const int r = seq_->Subscribe(Out(), dest);
    // The interface is held by another program (its device is open): the
    // kernel's MIDI ports answer -EAGAIN, some drivers -EBUSY.
    if (r == -EAGAIN || r == -EBUSY) return MMSYSERR_ALLOCATED;
    if (r < 0) return MMSYSERR_ERROR;
    own_.push_back(dest);
    return MMSYSERR_NOERROR;
  }

  // A subscriber the back end did not make is a patch by hand: the first
  // new one to an external output port becomes the one followed.
  void FollowHandPatchLocked(const std::vector<SeqAddr>& subs) {
    if (subs == lastSubs_) return;
    std::vector<SeqAddr> before = lastSubs_;
    lastSubs_ = subs;
    for (const SeqAddr& addr : subs) {
      if (Contains(own_, addr) || Contains(before, addr)) continue;
      for (const SeqPortEntry& port : ExternalPortsLocked(false)) {
        if (port.addr == addr) {
          FollowLocked(PortName(port), addr);
          return;
        }
      }
    }
  }

  // Before the first chunk of a message: the port it goes to, patched
  // again if it went away and came back.
  bool ReadyLocked(const std::string& portName) {
    if (followed_.empty()) followed_ = portName;
    std::vector<SeqAddr> subs;
    if (seq_->Subscribers(Out(), &subs) < 0) return false;
    // The sequencer drops a patch when its port goes away.
    own_.erase(std::remove_if(own_.begin(), own_.end(), [&](SeqAddr a) { return !Contains(subs, a); }), own_.end());
    if (!subs.empty()) {
      FollowHandPatchLocked(subs);
      msgDest_ = Contains(subs, followedAddr_) ? followedAddr_ : subs.front();
      return true;
    }
    SeqPortEntry port;
    if (!FindLocked(followed_, false, &port) || PatchLocked(port.addr) != MMSYSERR_NOERROR) return false;
    followedAddr_ = msgDest_ = port.addr;
    lastSubs_ = {port.addr};
    return true;
  }

  // Turns the bytes into sequencer events for the output's subscribers and
  // delivers them at once.
  bool OutputLocked(const std::string& bytes) {
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    long left = static_cast<long>(bytes.size());
    while (left > 0) {
      snd_seq_event_t ev;
      snd_seq_ev_clear(&ev);
      const long used = snd_midi_event_encode(encoder_, data, left, &ev);
      if (used <= 0) return false;
      data += used;
      left -= used;
      if (ev.type == SND_SEQ_EVENT_NONE) continue;  // the message goes on in the next bytes
      snd_seq_ev_set_source(&ev, static_cast<unsigned char>(outPort_));
      snd_seq_ev_set_subs(&ev);
      snd_seq_ev_set_direct(&ev);
      if (seq_->OutputDirect(&ev) < 0) return false;
    }
    return true;
  }

  std::mutex mu_;
  std::unique_ptr<SeqApi> seq_;  // null when no sequencer could be opened
  std::shared_ptr<Clock> clock_;
  const int64_t usPerByte_;
  std::string unavailable_;
  bool deviceMissing_ = false;
  int client_ = -1;
  int outPort_ = -1;
  int inPort_ = -1;
  snd_midi_event_t* encoder_ = nullptr;
  snd_midi_event_t* decoder_ = nullptr;  // what the input played during a lift, as bytes
  int attached_ = 0;              // devices open on the output
  std::vector<SeqAddr> own_;      // patches the back end made
  std::vector<SeqAddr> lastSubs_;  // the patches as last seen
  std::string followed_;          // the port sent to, by name
  SeqAddr followedAddr_;
  SeqAddr msgDest_;               // where the message on the wire began
  std::vector<Lift> lifts_;       // the inputs read while their thru is lifted
  unsigned echoes_ = 0;           // the last echo's number
  unsigned echoSeen_ = 0;         // the last echo that came back
};

}  // namespace

std::unique_ptr<Backend> MakeAlsaBackend(std::unique_ptr<SeqApi> seq, std::shared_ptr<Clock> clock,
                                         int64_t usPerByte) {
  return std::make_unique<AlsaBackend>(std::move(seq), std::move(clock), usPerByte);
}

std::unique_ptr<Backend> MakeAlsaBackend() { return MakeAlsaBackend(MakeAlsaSeq(), std::make_shared<RealClock>()); }

}  // namespace midiplatform
