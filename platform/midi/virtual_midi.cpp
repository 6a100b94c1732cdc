// The virtual MIDI back end: a machine with "Virtual Out i" and "Virtual In i"
// ports that records what the program does with them.
#include "platform/midi/virtual_midi.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "platform/midi/midi_backend.h"
#include "platform/midi/midi_sender.h"

namespace {
VirtualMidi* gCurrent = nullptr;

std::string OutName(int i) { return "Virtual Out " + std::to_string(i); }
std::string InName(int i) { return "Virtual In " + std::to_string(i); }

// The index of the port called name among count ports, or -1.
int PortIndex(const std::string& name, bool input, int count) {
  for (int i = 0; i < count; ++i) {
    if (name == (input ? InName(i) : OutName(i))) return i;
  }
  return -1;
}
}  // namespace

struct VirtualMidi::Impl : midiplatform::Backend {
  Impl(int outputs, int inputs, bool realClock) : outputs(outputs), inputs(inputs), facade(this) {
    if (realClock) {
      clock = std::make_unique<midiplatform::RealClock>();
    } else {
      clock = std::make_unique<midiplatform::VirtualClock>();
    }
  }
  ~Impl() override {
    if (gCurrent == &facade) gCurrent = nullptr;
  }

  std::vector<midiplatform::PortInfo> Ports(bool input) override {
    std::lock_guard<std::mutex> lk(mu);
    std::vector<midiplatform::PortInfo> ports;
    const int count = input ? inputs : outputs;
    for (int i = 0; i < count; ++i) {
      ports.push_back({input ? InName(i) : OutName(i), static_cast<uint16_t>(i)});
    }
    return ports;
  }

  bool SendChunk(const std::string& portName, const std::string& bytes, bool, int64_t startUs) override {
    std::lock_guard<std::mutex> lk(mu);
    const int port = PortIndex(portName, false, outputs);
    if (port < 0) return false;  // unplugged: the bytes are lost
    wire.push_back({static_cast<uint32_t>(port), bytes, startUs,
                    startUs + static_cast<int64_t>(bytes.size()) * WireUsPerByte()});
    return true;
  }

  MMRESULT Connect(const std::string& inName, const std::string& outName, bool* made) override {
    std::lock_guard<std::mutex> lk(mu);
    const std::pair<int, int> link(PortIndex(inName, true, inputs), PortIndex(outName, false, outputs));
    *made = false;
    if (link.first < 0 || link.second < 0) return MMSYSERR_ERROR;
    if (std::find(thru.begin(), thru.end(), link) == thru.end()) {
      thru.push_back(link);
      *made = true;
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT Disconnect(const std::string& inName, const std::string& outName) override {
    std::lock_guard<std::mutex> lk(mu);
    const std::pair<int, int> link(PortIndex(inName, true, inputs), PortIndex(outName, false, outputs));
    auto it = std::find(thru.begin(), thru.end(), link);
    if (it == thru.end()) return MMSYSERR_ERROR;
    thru.erase(it);
    return MMSYSERR_NOERROR;
  }

  void SetInputStarted(const std::string& inName, bool on) override {
    std::lock_guard<std::mutex> lk(mu);
    const int port = PortIndex(inName, true, inputs);
    if (port < 0) return;
    if (on) {
      started.insert(port);
    } else {
      started.erase(port);
    }
  }

  midiplatform::Clock& GetClock() override { return *clock; }

  void BeforeCall(const std::string& call) override {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lk(mu);
      hook = callHook;
    }
    if (hook) hook(call);
  }

  std::optional<MMRESULT> ForcedResult(const std::string& call) override {
    std::lock_guard<std::mutex> lk(mu);
    auto it = forced.find(call);
    if (it == forced.end()) return std::nullopt;
    const MMRESULT result = it->second.first;
    if (it->second.second > 0 && --it->second.second == 0) forced.erase(it);
    return result;
  }

  void RecordCall(const std::string& name, const std::vector<int64_t>& args, const std::string& bytes,
                  MMRESULT result, int64_t timeUs) override {
    std::lock_guard<std::mutex> lk(mu);
    calls.push_back({name, args, bytes, result, timeUs});
  }

  mutable std::mutex mu;
  int outputs;
  int inputs;
  std::unique_ptr<midiplatform::Clock> clock;
  std::map<std::string, std::pair<MMRESULT, int>> forced;  // result, calls left (< 0: all)
  std::function<void(const std::string&)> callHook;
  std::vector<Call> calls;
  std::vector<WireChunk> wire;
  std::vector<std::pair<int, int>> thru;
  std::set<int> started;
  VirtualMidi facade;
};

VirtualMidi& VirtualMidi::Install(int outputs, int inputs, bool realClock) {
  auto impl = std::make_unique<Impl>(outputs, inputs, realClock);
  VirtualMidi& facade = impl->facade;
  midiplatform::internal::InstallBackend(std::move(impl));
  gCurrent = &facade;
  return facade;
}

VirtualMidi* VirtualMidi::Current() { return gCurrent; }

void VirtualMidi::SetDeviceCounts(int outputs, int inputs) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->outputs = outputs;
  impl_->inputs = inputs;
}

void VirtualMidi::SetResult(const std::string& call, MMRESULT result, int times) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  if (times == 0) {
    impl_->forced.erase(call);
  } else {
    impl_->forced[call] = {result, times};
  }
}

void VirtualMidi::ClearResults() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->forced.clear();
}

void VirtualMidi::SetCallHook(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->callHook = std::move(hook);
}

void VirtualMidi::WaitIdle() { midiplatform::internal::WaitSenderIdle(); }

std::vector<VirtualMidi::Call> VirtualMidi::Calls() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->calls;
}

std::vector<VirtualMidi::Call> VirtualMidi::CallsNamed(const std::string& name) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  std::vector<Call> named;
  for (const Call& call : impl_->calls) {
    if (call.name == name) named.push_back(call);
  }
  return named;
}

std::vector<VirtualMidi::WireChunk> VirtualMidi::Wire() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->wire;
}

std::string VirtualMidi::WireBytes() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  std::string bytes;
  for (const WireChunk& chunk : impl_->wire) bytes += chunk.bytes;
  return bytes;
}

void VirtualMidi::ClearRecords() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->calls.clear();
  impl_->wire.clear();
}

std::vector<std::pair<int, int>> VirtualMidi::ThruConnections() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->thru;
}

bool VirtualMidi::InputStarted(int inputPort) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->started.count(inputPort) > 0;
}

int64_t VirtualMidi::NowUs() const { return impl_->clock->NowUs(); }
