// The ALSA sequencer back end.
//
// The program is a sequencer client named "Brenvolta" with one output port
// and one input port, which the user may also patch by hand. The external
// ports are those of every other client except the system client (with its
// announce port), the "Midi Through" client and the program's own clients.
// Bytes are sent as sequencer events straight to the destination port; a
// port is known by "<client name>:<port name>", and its address is looked up
// again whenever the client at the last address no longer carries that name,
// so sending resumes after the interface is unplugged and plugged back in.
//
// Where no sequencer can be opened the back end simply has no ports. The
// library's own error printer is silenced: every failure comes back through
// the results of the calls.
#include <alsa/asoundlib.h>

#include <map>
#include <mutex>
#include <utility>

#include "core/bytes.h"
#include "platform/midi/midi_backend.h"

namespace midiplatform {
namespace {

const char kClientName[] = "Brenvolta";
const char kThroughClientName[] = "Midi Through";

void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class AlsaBackend : public Backend {
 public:
  AlsaBackend() {
    snd_lib_error_set_handler(QuietAlsaErrors);
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) {
      seq_ = nullptr;
      return;
    }
    snd_seq_set_client_name(seq_, kClientName);
    client_ = snd_seq_client_id(seq_);
    outPort_ = snd_seq_create_simple_port(seq_, "Brenvolta Out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    inPort_ = snd_seq_create_simple_port(seq_, "Brenvolta In", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (client_ < 0 || outPort_ < 0 || inPort_ < 0 || snd_midi_event_new(kEncoderBytes, &encoder_) < 0) {
      Close();
    }
  }

  ~AlsaBackend() override {
    Close();
    snd_config_update_free_global();
  }

  std::vector<PortInfo> Ports(bool input) override {
    std::lock_guard<std::mutex> lk(mu_);
    return PortsLocked(input);
  }

  bool SendChunk(const std::string& portName, const std::string& bytes, bool firstOfMessage, int64_t) override {
    std::lock_guard<std::mutex> lk(mu_);
    if (!seq_) return false;
    if (firstOfMessage) snd_midi_event_reset_encode(encoder_);
    snd_seq_addr_t dest;
    if (!AddressLocked(portName, false, &dest)) return false;
    if (OutputLocked(dest, bytes)) return true;
    // The port may have gone away and come back elsewhere: look it up once
    // more and send the chunk again.
    cache_.erase({false, portName});
    if (firstOfMessage) snd_midi_event_reset_encode(encoder_);
    return AddressLocked(portName, false, &dest) && OutputLocked(dest, bytes);
  }

  MMRESULT Connect(const std::string& inName, const std::string& outName, bool* made) override {
    std::lock_guard<std::mutex> lk(mu_);
    *made = false;
    snd_seq_port_subscribe_t* sub = nullptr;
    snd_seq_port_subscribe_alloca(&sub);
    if (!SubscriptionLocked(inName, outName, sub)) return MMSYSERR_ERROR;
    if (snd_seq_get_port_subscription(seq_, sub) == 0) return MMSYSERR_NOERROR;  // already patched
    if (snd_seq_subscribe_port(seq_, sub) < 0) return MMSYSERR_ERROR;
    *made = true;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Disconnect(const std::string& inName, const std::string& outName) override {
    std::lock_guard<std::mutex> lk(mu_);
    snd_seq_port_subscribe_t* sub = nullptr;
    snd_seq_port_subscribe_alloca(&sub);
    if (!SubscriptionLocked(inName, outName, sub)) return MMSYSERR_ERROR;
    return snd_seq_unsubscribe_port(seq_, sub) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
  }

  Clock& GetClock() override { return clock_; }

 private:
  // Large enough for any chunk, so a SysEx chunk becomes one event.
  static constexpr size_t kEncoderBytes = 256;

  void Close() {
    if (encoder_) snd_midi_event_free(encoder_);
    encoder_ = nullptr;
    if (seq_) snd_seq_close(seq_);
    seq_ = nullptr;
  }

  std::vector<PortInfo> PortsLocked(bool input) {
    std::vector<PortInfo> ports;
    if (!seq_) return ports;
    const unsigned need = input ? (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)
                                : (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq_, clientInfo) >= 0) {
      const int client = snd_seq_client_info_get_client(clientInfo);
      const std::string clientName = snd_seq_client_info_get_name(clientInfo);
      if (client == SND_SEQ_CLIENT_SYSTEM || client == client_ || clientName == kClientName ||
          Left(clientName, static_cast<int>(sizeof kThroughClientName) - 1) == kThroughClientName || client > 255) {
        continue;
      }
      snd_seq_port_info_set_client(portInfo, client);
      snd_seq_port_info_set_port(portInfo, -1);
      while (snd_seq_query_next_port(seq_, portInfo) >= 0) {
        const unsigned caps = snd_seq_port_info_get_capability(portInfo);
        const int port = snd_seq_port_info_get_port(portInfo);
        if ((caps & need) != need || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) || port > 255) continue;
        ports.push_back({clientName + ":" + snd_seq_port_info_get_name(portInfo),
                         static_cast<uint16_t>(client << 8 | port)});
      }
    }
    return ports;
  }

  // True when the port at addr still carries the name.
  bool NamedLocked(const snd_seq_addr_t& addr, const std::string& name) {
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    if (snd_seq_get_any_client_info(seq_, addr.client, clientInfo) < 0 ||
        snd_seq_get_any_port_info(seq_, addr.client, addr.port, portInfo) < 0) {
      return false;
    }
    return std::string(snd_seq_client_info_get_name(clientInfo)) + ":" + snd_seq_port_info_get_name(portInfo) ==
           name;
  }

  // The address of the external port called name, looked up again when the
  // remembered one no longer carries it.
  bool AddressLocked(const std::string& name, bool input, snd_seq_addr_t* addr) {
    if (!seq_) return false;
    const auto key = std::make_pair(input, name);
    auto it = cache_.find(key);
    if (it != cache_.end() && NamedLocked(it->second, name)) {
      *addr = it->second;
      return true;
    }
    cache_.erase(key);
    for (const PortInfo& port : PortsLocked(input)) {
      if (port.name == name) {
        addr->client = static_cast<unsigned char>(port.addr >> 8);
        addr->port = static_cast<unsigned char>(port.addr & 0xFF);
        cache_[key] = *addr;
        return true;
      }
    }
    return false;
  }

  bool SubscriptionLocked(const std::string& inName, const std::string& outName, snd_seq_port_subscribe_t* sub) {
    snd_seq_addr_t sender;
    snd_seq_addr_t dest;
    if (!AddressLocked(inName, true, &sender) || !AddressLocked(outName, false, &dest)) return false;
    snd_seq_port_subscribe_set_sender(sub, &sender);
    snd_seq_port_subscribe_set_dest(sub, &dest);
    return true;
  }

  // Turns the bytes into sequencer events and delivers them at once.
  bool OutputLocked(const snd_seq_addr_t& dest, const std::string& bytes) {
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
      snd_seq_ev_set_source(&ev, outPort_);
      snd_seq_ev_set_dest(&ev, dest.client, dest.port);
      snd_seq_ev_set_direct(&ev);
      if (snd_seq_event_output_direct(seq_, &ev) < 0) return false;
    }
    return true;
  }

  std::mutex mu_;
  snd_seq_t* seq_ = nullptr;
  int client_ = -1;
  int outPort_ = -1;
  int inPort_ = -1;
  snd_midi_event_t* encoder_ = nullptr;
  std::map<std::pair<bool, std::string>, snd_seq_addr_t> cache_;
  RealClock clock_;
};

}  // namespace

std::unique_ptr<Backend> MakeAlsaBackend() { return std::make_unique<AlsaBackend>(); }

}  // namespace midiplatform
