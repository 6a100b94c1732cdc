// The MIDI calls of winmm.h over the current back end.
//
// Module state: the back end and its sender, the devices this process has
// open or has borrowed, the handles it closed, the thru connections it made
// and the ones a process that ended left behind. midiplatform::Shutdown puts
// it all back to the start.
#include "platform/midi/winmm.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "core/bytes.h"
#include "platform/midi/midi_backend.h"
#include "platform/midi/midi_lock.h"
#include "platform/midi/midi_sender.h"

namespace midiplatform {

MMRESULT Backend::MapperPort(PortInfo* port) {
  const std::vector<PortInfo> ports = Ports(false);
  if (ports.empty()) return MMSYSERR_BADDEVICEID;
  *port = ports.front();
  return MMSYSERR_NOERROR;
}

namespace {

// A handle is 'M' in its top byte, a direction bit and the port's 16-bit
// address, so the same number names the same port in every process, and no
// small number or zero is ever a handle.
constexpr uint32_t kHandleTag = 0x4D000000;
constexpr uint32_t kHandleTagMask = 0xFFFE0000;
constexpr uint32_t kInputBit = 0x00010000;

uint32_t MakeHandle(bool input, uint16_t addr) { return kHandleTag | (input ? kInputBit : 0) | addr; }

bool HandleAddr(uint32_t handle, bool input, uint16_t* addr) {
  if ((handle & kHandleTagMask) != kHandleTag || ((handle & kInputBit) != 0) != input) return false;
  *addr = static_cast<uint16_t>(handle & 0xFFFF);
  return true;
}

struct Device {
  bool input = false;
  bool borrowed = false;  // opened by another process: no lock held here
  std::string name;       // the port, followed by name
  int lockFd = -1;
  std::shared_ptr<OutTarget> target;  // outputs only
};

struct ThruLink {
  HMIDIIN in;
  HMIDIOUT out;
  std::string inName;
  std::string outName;
  std::shared_ptr<OutTarget> target;  // the output's, which lifts it during a SysEx
  int recordFd = -1;                  // the record that marks it as this process's
};

std::mutex gMu;
std::unique_ptr<Backend> gBackend;
std::unique_ptr<Sender> gSender;
std::map<uint32_t, Device> gDevices;
std::set<uint32_t> gClosedHere;  // closed by this process: no longer valid here
std::vector<ThruLink> gThru;     // connections this process made
// Connections left by a process that ended, found when this process opened
// an input: the thru connect that follows at start adopts its own, any
// other call first removes them.
std::vector<ThruRecord> gStaleThru;
bool gAtExitRegistered = false;

void ShutdownAtExit() { Shutdown(); }

void SetBackendLocked(std::unique_ptr<Backend> backend) {
  gBackend = std::move(backend);
  gSender = std::make_unique<Sender>(*gBackend);
  if (!gAtExitRegistered) {
    std::atexit(ShutdownAtExit);
    gAtExitRegistered = true;
  }
}

Backend& TheBackend() {
  if (!gBackend) SetBackendLocked(MakeAlsaBackend());
  return *gBackend;
}

// Takes the link out of the output's thru, so the sender no longer lifts
// it; true when it is in the sequencer now (not lifted).
bool ForgetThru(const ThruLink& link) {
  if (!link.target) return true;
  std::lock_guard<std::mutex> lk(link.target->thruMu);
  auto& inputs = link.target->thruInputs;
  for (auto it = inputs.begin(); it != inputs.end(); ++it) {
    if (*it == link.inName) {
      inputs.erase(it);
      break;
    }
  }
  return !link.target->thruLifted;
}

void RemoveThruLink(Backend& backend, const ThruLink& link) {
  if (ForgetThru(link)) backend.Disconnect(link.inName, link.outName);
  DropThruRecord(link.recordFd, link.inName, link.outName);
}

void RemoveStaleThru(Backend& backend) {
  for (const ThruRecord& stale : gStaleThru) {
    backend.Disconnect(stale.inName, stale.outName);
    DropThruRecord(stale.fd, stale.inName, stale.outName);
  }
  gStaleThru.clear();
}

void ShutdownLocked() {
  if (gSender) gSender->Drain(nullptr);
  for (const ThruLink& link : gThru) RemoveThruLink(*gBackend, link);
  gThru.clear();
  if (gBackend) RemoveStaleThru(*gBackend);
  for (auto& entry : gDevices) {
    if (!entry.second.input) gBackend->DetachOutput(entry.second.name);
    ReleaseDeviceLock(entry.second.lockFd);
  }
  gDevices.clear();
  gClosedHere.clear();
  gSender.reset();  // before the back end it sends through
  gBackend.reset();
}

// Runs one call: a result forced by the back end replaces the action, and
// the call is recorded with its result and the clock time it was made.
template <typename Action>
MMRESULT RunCall(const char* name, std::vector<int64_t> args, const std::string& bytes, Action action) {
  std::lock_guard<std::mutex> lk(gMu);
  Backend& backend = TheBackend();
  backend.BeforeCall(name);
  if (!gStaleThru.empty() && std::string(name) != "midiConnect") RemoveStaleThru(backend);
  const int64_t timeUs = backend.GetClock().NowUs();
  MMRESULT result;
  if (std::optional<MMRESULT> forced = backend.ForcedResult(name)) {
    result = *forced;
  } else {
    result = action(backend, args);
  }
  backend.RecordCall(name, args, bytes, result, timeUs);
  return result;
}

// The device behind a handle: one open here, or one published by another
// process whose port can be found now (it is then recorded here as
// borrowed). Null when the handle is neither.
Device* Resolve(Backend& backend, uint32_t handle, bool input) {
  auto it = gDevices.find(handle);
  if (it != gDevices.end()) return it->second.input == input ? &it->second : nullptr;
  uint16_t addr = 0;
  if (gClosedHere.count(handle) || !HandleAddr(handle, input, &addr)) return nullptr;
  // The owner's lock names the port it opened, even if the port has since
  // come back under another address; without one, the address decides.
  std::string name = FindLockedPortName(input, handle);
  if (name.empty()) {
    for (const PortInfo& port : backend.Ports(input)) {
      if (port.addr == addr) name = port.name;
    }
  }
  if (name.empty()) return nullptr;
  Device device;
  device.input = input;
  device.borrowed = true;
  device.name = name;
  if (!input) {
    device.target = std::make_shared<OutTarget>(name);
    // Sent through this process's own connection: a send that cannot
    // reach the port says so at the next call.
    backend.AttachOutput(name);
  }
  return &gDevices.emplace(handle, std::move(device)).first->second;
}

MMRESULT OpenDevice(Backend& backend, bool input, int deviceId, uint32_t* handle) {
  *handle = 0;
  PortInfo port;
  if (!input && deviceId == MIDI_MAPPER) {
    if (MMRESULT r = backend.MapperPort(&port)) return r;
  } else {
    const std::vector<PortInfo> ports = backend.Ports(input);
    if (deviceId < 0 || deviceId >= static_cast<int>(ports.size())) return MMSYSERR_BADDEVICEID;
    port = ports[static_cast<size_t>(deviceId)];
  }
  const uint32_t h = MakeHandle(input, port.addr);
  auto it = gDevices.find(h);
  if (it != gDevices.end() && !it->second.borrowed) return MMSYSERR_ALLOCATED;
  int fd = -1;
  if (MMRESULT r = TakeDeviceLock(input, port.name, h, &fd)) return r;
  if (!input && (it == gDevices.end() || it->second.name != port.name)) {
    if (MMRESULT r = backend.AttachOutput(port.name)) {
      ReleaseDeviceLock(fd);
      return r;
    }
  }
  if (input) {
    for (ThruRecord& stale : TakeStaleThruRecords()) gStaleThru.push_back(std::move(stale));
  }
  Device& device = gDevices[h];  // a borrowed entry becomes our own
  device.input = input;
  device.borrowed = false;
  device.lockFd = fd;
  if (device.name != port.name || (!input && !device.target)) {
    device.name = port.name;
    if (!input) device.target = std::make_shared<OutTarget>(port.name);
  }
  gClosedHere.erase(h);
  *handle = h;
  return MMSYSERR_NOERROR;
}

void RemoveThru(Backend& backend, bool input, uint32_t handle) {
  for (auto it = gThru.begin(); it != gThru.end();) {
    if ((input ? it->in : it->out) == handle) {
      RemoveThruLink(backend, *it);
      it = gThru.erase(it);
    } else {
      ++it;
    }
  }
}

MMRESULT CloseDevice(Backend& backend, uint32_t handle, bool input) {
  Device* device = Resolve(backend, handle, input);
  if (!device) return MMSYSERR_INVALHANDLE;
  // Drain first, so the last dump is not cut off; the wait is bounded.
  if (!input) gSender->Drain(device->target.get());
  RemoveThru(backend, input, handle);
  if (input) backend.SetInputStarted(device->name, false);
  if (!input) backend.DetachOutput(device->name);
  ReleaseDeviceLock(device->lockFd);
  gDevices.erase(handle);
  gClosedHere.insert(handle);
  return MMSYSERR_NOERROR;
}

// The number of bytes a short message puts on the wire, by its status; 0
// for what is not a short message.
int ShortMsgLength(uint32_t status) {
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return 0;
  if (status < 0xF0) {
    const uint32_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
  }
  if (status == 0xF2) return 3;
  if (status == 0xF1 || status == 0xF3) return 2;
  return 1;
}

std::string ShortMsgBytes(DWORD msg) {
  std::string bytes;
  const int n = ShortMsgLength(msg & 0xFF);
  for (int i = 0; i < n; ++i) bytes += Chr(static_cast<int>((msg >> (8 * i)) & 0xFF));
  return bytes;
}

MMRESULT CheckHeader(const MIDIHDR* hdr, UINT size) {
  return (!hdr || size < kMidiHdrSize) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

// Queues a message on the device's output. A send to it that failed since
// the last call is answered here: the user learns that bytes were lost,
// and this message still goes out, whole. The flag is read before the
// message is queued: the sender may take it at once, and a failure of this
// message belongs to the next call, not to this one.
MMRESULT Queue(Device& device, std::string bytes) {
  const bool lost = device.target->failed.exchange(false);
  gSender->Push(device.target, std::move(bytes));
  return lost ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

}  // namespace

void UseAlsaBackend() { internal::InstallBackend(MakeAlsaBackend()); }

void Shutdown() {
  std::lock_guard<std::mutex> lk(gMu);
  ShutdownLocked();
}

bool OutputQueueBusy() {
  std::lock_guard<std::mutex> lk(gMu);
  if (!gBackend || !gSender) return false;
  if (!gBackend->GetClock().Sleeps()) {
    // The wire takes no real time on this clock: what is queued is gone as
    // soon as the sender has handed it over.
    gSender->WaitIdle();
    return false;
  }
  return gSender->Busy();
}

std::string NoDeviceReason() {
  std::lock_guard<std::mutex> lk(gMu);
  return TheBackend().Unavailable();
}

bool SequencerDeviceMissing() {
  std::lock_guard<std::mutex> lk(gMu);
  return TheBackend().SequencerDeviceMissing();
}

namespace internal {

void InstallBackend(std::unique_ptr<Backend> backend) {
  std::lock_guard<std::mutex> lk(gMu);
  ShutdownLocked();
  SetBackendLocked(std::move(backend));
}

void WaitSenderIdle() {
  std::lock_guard<std::mutex> lk(gMu);
  if (gSender) gSender->WaitIdle();
}

}  // namespace internal
}  // namespace midiplatform

using midiplatform::Backend;
using midiplatform::Device;
using midiplatform::RunCall;

UINT midiOutGetNumDevs() {
  return RunCall("midiOutGetNumDevs", {}, "", [](Backend& b, std::vector<int64_t>&) {
    return static_cast<UINT>(b.Ports(false).size());
  });
}

MMRESULT midiOutOpen(HMIDIOUT* handle, int deviceId, uintptr_t callback, uintptr_t instance, DWORD flags) {
  return RunCall("midiOutOpen",
                 {deviceId, static_cast<int64_t>(callback), static_cast<int64_t>(instance), flags}, "",
                 [&](Backend& b, std::vector<int64_t>& args) -> MMRESULT {
                   if (!handle) return MMSYSERR_INVALPARAM;
                   const MMRESULT r = midiplatform::OpenDevice(b, false, deviceId, handle);
                   args.push_back(*handle);
                   return r;
                 });
}

MMRESULT midiOutClose(HMIDIOUT handle) {
  return RunCall("midiOutClose", {handle}, "", [&](Backend& b, std::vector<int64_t>&) {
    return midiplatform::CloseDevice(b, handle, false);
  });
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD msg) {
  const std::string bytes = midiplatform::ShortMsgBytes(msg);
  return RunCall("midiOutShortMsg", {handle, msg}, bytes, [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    Device* device = midiplatform::Resolve(b, handle, false);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (bytes.empty()) return MMSYSERR_INVALPARAM;
    return midiplatform::Queue(*device, bytes);
  });
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* hdr, UINT size) {
  return RunCall("midiOutPrepareHeader", {handle, size}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    if (!midiplatform::Resolve(b, handle, false)) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = midiplatform::CheckHeader(hdr, size)) return r;
    hdr->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* hdr, UINT size) {
  const std::string bytes = hdr ? Left(hdr->data, static_cast<int>(hdr->dwBufferLength)) : "";
  return RunCall("midiOutLongMsg", {handle, size}, bytes, [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    Device* device = midiplatform::Resolve(b, handle, false);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = midiplatform::CheckHeader(hdr, size)) return r;
    if (!(hdr->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (hdr->dwBufferLength > hdr->data.size()) return MMSYSERR_INVALPARAM;
    // The bytes are copied into the queue, so the header is free again at
    // once: the caller may unprepare it and change its data.
    const MMRESULT r = midiplatform::Queue(*device, bytes);
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    return r;
  });
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* hdr, UINT size) {
  return RunCall("midiOutUnprepareHeader", {handle, size}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    if (!midiplatform::Resolve(b, handle, false)) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = midiplatform::CheckHeader(hdr, size)) return r;
    hdr->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  });
}

UINT midiInGetNumDevs() {
  return RunCall("midiInGetNumDevs", {}, "", [](Backend& b, std::vector<int64_t>&) {
    return static_cast<UINT>(b.Ports(true).size());
  });
}

MMRESULT midiInGetDevCapsA(UINT deviceId, MIDIINCAPS* caps, UINT size) {
  return RunCall("midiInGetDevCapsA", {deviceId, size}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    if (!caps || size < kMidiInCapsSize) return MMSYSERR_INVALPARAM;
    const std::vector<midiplatform::PortInfo> ports = b.Ports(true);
    if (deviceId >= ports.size()) return MMSYSERR_BADDEVICEID;
    *caps = MIDIINCAPS{};
    std::strncpy(caps->szPname, ports[deviceId].name.c_str(), sizeof caps->szPname - 1);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, uintptr_t callback, uintptr_t instance, DWORD flags) {
  // No callback is ever made: the input only feeds the thru connection.
  return RunCall("midiInOpen",
                 {deviceId, static_cast<int64_t>(callback), static_cast<int64_t>(instance), flags}, "",
                 [&](Backend& b, std::vector<int64_t>& args) -> MMRESULT {
                   if (!handle) return MMSYSERR_INVALPARAM;
                   *handle = 0;
                   MMRESULT r = MMSYSERR_BADDEVICEID;
                   if (deviceId <= 0x7FFFFFFF) r = midiplatform::OpenDevice(b, true, static_cast<int>(deviceId), handle);
                   args.push_back(*handle);
                   return r;
                 });
}

MMRESULT midiInClose(HMIDIIN handle) {
  return RunCall("midiInClose", {handle}, "", [&](Backend& b, std::vector<int64_t>&) {
    return midiplatform::CloseDevice(b, handle, true);
  });
}

namespace {
MMRESULT SetInput(const char* name, HMIDIIN handle, bool started) {
  return RunCall(name, {handle}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    Device* device = midiplatform::Resolve(b, handle, true);
    if (!device) return MMSYSERR_INVALHANDLE;
    b.SetInputStarted(device->name, started);
    return MMSYSERR_NOERROR;
  });
}
}  // namespace

MMRESULT midiInStart(HMIDIIN handle) { return SetInput("midiInStart", handle, true); }
MMRESULT midiInStop(HMIDIIN handle) { return SetInput("midiInStop", handle, false); }

MMRESULT midiConnect(HMIDIIN in, HMIDIOUT out, void*) {
  return RunCall("midiConnect", {in, out}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    Device* input = midiplatform::Resolve(b, in, true);
    Device* output = midiplatform::Resolve(b, out, false);
    if (!input || !output) return MMSYSERR_INVALHANDLE;
    for (const midiplatform::ThruLink& link : midiplatform::gThru) {
      if (link.in == in && link.out == out) return MMSYSERR_NOERROR;
    }
    // One left by a process that ended becomes this process's own.
    int recordFd = -1;
    auto& stale = midiplatform::gStaleThru;
    for (auto it = stale.begin(); it != stale.end(); ++it) {
      if (it->inName == input->name && it->outName == output->name) {
        recordFd = it->fd;
        stale.erase(it);
        break;
      }
    }
    std::lock_guard<std::mutex> lk(output->target->thruMu);
    bool made = true;
    // While the sender has the output's thru lifted, it puts this one in
    // after the F7 with the others.
    const MMRESULT r = output->target->thruLifted ? MMSYSERR_NOERROR : b.Connect(input->name, output->name, &made);
    // A connection that was there before (patched by hand) is not ours to
    // remove at close.
    if (r == MMSYSERR_NOERROR && (made || recordFd >= 0)) {
      if (recordFd < 0) recordFd = midiplatform::RecordThru(input->name, output->name);
      output->target->thruInputs.push_back(input->name);
      midiplatform::gThru.push_back({in, out, input->name, output->name, output->target, recordFd});
    } else {
      midiplatform::DropThruRecord(recordFd, input->name, output->name);
    }
    return r;
  });
}

MMRESULT midiDisconnect(HMIDIIN in, HMIDIOUT out, void*) {
  return RunCall("midiDisconnect", {in, out}, "", [&](Backend& b, std::vector<int64_t>&) -> MMRESULT {
    Device* input = midiplatform::Resolve(b, in, true);
    Device* output = midiplatform::Resolve(b, out, false);
    if (!input || !output) return MMSYSERR_INVALHANDLE;
    auto& thru = midiplatform::gThru;
    for (auto it = thru.begin(); it != thru.end(); ++it) {
      if (it->in == in && it->out == out) {
        const bool inSequencer = midiplatform::ForgetThru(*it);
        midiplatform::DropThruRecord(it->recordFd, it->inName, it->outName);
        thru.erase(it);
        // A lifted connection is out of the sequencer already and is not
        // put back.
        if (!inSequencer) return MMSYSERR_NOERROR;
        break;
      }
    }
    return b.Disconnect(input->name, output->name);
  });
}
