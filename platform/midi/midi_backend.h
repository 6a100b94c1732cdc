// What the MIDI calls of winmm.h need from a back end (the ALSA sequencer or
// the virtual back end of the tests), and the clock that paces the wire.
// Private to platform/midi.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/winmm.h"

namespace midiplatform {

// Time on a back end's clock, in microseconds from an arbitrary start.
// SleepUntilUs is how the sender waits for the wire: a real clock sleeps, a
// virtual one moves its time forward and returns at once.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowUs() = 0;
  virtual void SleepUntilUs(int64_t timeUs) = 0;
};

class RealClock : public Clock {
 public:
  RealClock();
  int64_t NowUs() override;
  void SleepUntilUs(int64_t timeUs) override;

 private:
  int64_t originNs_;
};

class VirtualClock : public Clock {
 public:
  int64_t NowUs() override;
  void SleepUntilUs(int64_t timeUs) override;

 private:
  std::atomic<int64_t> nowUs_{0};
};

// One external port. addr is the 16-bit address the handles carry (for the
// sequencer: client number x 256 + port number); name is how the port is
// followed when it goes away and comes back.
struct PortInfo {
  std::string name;
  uint16_t addr = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The external ports now present, outputs (input == false) or inputs, in
  // device-id order.
  virtual std::vector<PortInfo> Ports(bool input) = 0;

  // Puts one chunk (at most 256 bytes) of a message on the wire of the
  // output port called portName; firstOfMessage is set on the first chunk
  // of each message. startUs is the clock time the chunk starts. Called
  // only by the sender thread. False when the bytes could not be delivered.
  virtual bool SendChunk(const std::string& portName, const std::string& bytes, bool firstOfMessage,
                         int64_t startUs) = 0;

  // Thru: subscribes the input port to the output port. *made is set when
  // this call created the connection (false when it already existed).
  virtual MMRESULT Connect(const std::string& inName, const std::string& outName, bool* made) = 0;
  virtual MMRESULT Disconnect(const std::string& inName, const std::string& outName) = 0;
  virtual void SetInputStarted(const std::string& /*inName*/, bool /*started*/) {}

  virtual Clock& GetClock() = 0;

  // Test hooks: a result that the call named `call` must answer without
  // acting, and the record of each call made through winmm.h.
  virtual std::optional<MMRESULT> ForcedResult(const std::string& /*call*/) { return std::nullopt; }
  virtual void RecordCall(const std::string& /*name*/, const std::vector<int64_t>& /*args*/,
                          const std::string& /*bytes*/, MMRESULT /*result*/, int64_t /*timeUs*/) {}
};

// The ALSA sequencer back end. Never null: without a sequencer it has no
// ports.
std::unique_ptr<Backend> MakeAlsaBackend();

namespace internal {
// Shuts down the current back end (as Shutdown does) and puts `backend` in
// its place.
void InstallBackend(std::unique_ptr<Backend> backend);
// Waits until the send queue is empty and its last byte is on the wire.
void WaitSenderIdle();
}  // namespace internal

}  // namespace midiplatform
