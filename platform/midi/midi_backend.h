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
  // False for a clock whose waits take no real time: whatever is queued is
  // on the wire as soon as the sender has handed it over.
  virtual bool Sleeps() const = 0;
};

class RealClock : public Clock {
 public:
  RealClock();
  int64_t NowUs() override;
  void SleepUntilUs(int64_t timeUs) override;
  bool Sleeps() const override { return true; }

 private:
  int64_t originNs_;
};

class VirtualClock : public Clock {
 public:
  int64_t NowUs() override;
  void SleepUntilUs(int64_t timeUs) override;
  bool Sleeps() const override { return false; }

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

// The time one byte is given on the wire: 31,250 baud counted with two stop
// bits (11 bits a byte). A hardware port's kernel buffer holds 4 KB and
// drops silently what does not fit, so an interface that sends a little
// slower than the nominal rate must never fall behind.
constexpr int64_t kWireUsPerByte = 352;

class Backend {
 public:
  virtual ~Backend() = default;

  // The external ports now present, outputs (input == false) or inputs, in
  // device-id order.
  virtual std::vector<PortInfo> Ports(bool input) = 0;

  // The output port the mapper (device -1) stands for now: by default the
  // first output port.
  virtual MMRESULT MapperPort(PortInfo* port);
  // Readies the output port called name for SendChunk when a device on it
  // is opened or borrowed; MMSYSERR_ALLOCATED when another program holds
  // the port. DetachOutput undoes it when that device is closed.
  virtual MMRESULT AttachOutput(const std::string& /*name*/) { return MMSYSERR_NOERROR; }
  virtual void DetachOutput(const std::string& /*name*/) {}

  // Puts one chunk (at most 256 bytes) of a message on the wire of the
  // output port called portName; firstOfMessage is set on the first chunk
  // of each message. startUs is the clock time the chunk starts. Called
  // only by the sender thread. False when the bytes could not be delivered:
  // the sender then drops the rest of the message.
  virtual bool SendChunk(const std::string& portName, const std::string& bytes, bool firstOfMessage,
                         int64_t startUs) = 0;
  // The wire time the sender gives each byte.
  virtual int64_t WireUsPerByte() const { return kWireUsPerByte; }

  // Thru: subscribes the input port to the output port. *made is set when
  // this call created the connection (false when it already existed).
  virtual MMRESULT Connect(const std::string& inName, const std::string& outName, bool* made) = 0;
  virtual MMRESULT Disconnect(const std::string& inName, const std::string& outName) = 0;

  // Thru lifted while a SysEx is on the wire to the output (called by the
  // sender thread, in this order). LiftThru takes the connection out; a
  // back end that can reads the input itself until EndThruLift.
  //
  // SettleThruLift comes after the F7, or where the dump was cut off, while
  // the connection is still out, and appends to *owed, as whole messages in
  // the order they must be sent, what brings the output to the state of the
  // player's controls at this point: the note off of each key that was
  // sounding through thru when the lift began and is up (a key let go and
  // pressed again, still down, owes nothing), the last value of each
  // controller, pitch bend and channel pressure that moved, a hold pedal
  // that went up let up where it last did (and pressed again after that
  // when it is down), all notes off and all sound off as played (the keys
  // they let go owe nothing more), reset all controllers, and the last
  // program change of each channel with its bank select. A note begun
  // during the lift is never sent late, nor its note off. The sender sends
  // what it gives and calls it again, until it gives nothing (or a few
  // times): each call owes what the input played since the one before.
  //
  // EndThruLift then puts the connection back when restore is set (false
  // when thru was switched off meanwhile) and appends to *late what is
  // passed on at once of what the input played after the last
  // SettleThruLift until thru was back in place. The moment the connection
  // came back cannot be told exactly, so such a message may have gone
  // through thru already: only what lets go or sets a value is passed on
  // (a note off, a pedal let up, a controller), never a note on nor a hold
  // pedal pressed, so that no note hangs; a key pressed in that instant may
  // go unsounded.
  virtual void LiftThru(const std::string& inName, const std::string& outName) {
    Disconnect(inName, outName);
  }
  virtual void SettleThruLift(const std::string& /*inName*/, const std::string& /*outName*/,
                              std::string* /*owed*/) {}
  virtual void EndThruLift(const std::string& inName, const std::string& outName, bool restore,
                           std::string* /*late*/) {
    bool made = false;
    if (restore) Connect(inName, outName, &made);
  }
  virtual void SetInputStarted(const std::string& /*inName*/, bool /*started*/) {}

  virtual Clock& GetClock() = 0;

  // Why this back end has no devices at all (for example "ALSA sequencer:
  // Permission denied"), or "" when it has simply found none.
  virtual std::string Unavailable() { return std::string(); }
  // Whether the sequencer could not be opened because its device is
  // missing (the reason above is then "No such file or directory").
  virtual bool SequencerDeviceMissing() { return false; }

  // Test hooks: run at the start of each call made through winmm.h, a
  // result that the call named `call` must answer without acting, and the
  // record of each call.
  virtual void BeforeCall(const std::string& /*call*/) {}
  virtual std::optional<MMRESULT> ForcedResult(const std::string& /*call*/) { return std::nullopt; }
  virtual void RecordCall(const std::string& /*name*/, const std::vector<int64_t>& /*args*/,
                          const std::string& /*bytes*/, MMRESULT /*result*/, int64_t /*timeUs*/) {}
};

// The ALSA sequencer back end. Never null: without a sequencer it has no
// ports.
std::unique_ptr<Backend> MakeAlsaBackend();

class SeqApi;
// The ALSA back end over another sequencer (the kernel-like stand-in of the
// tests), on the given clock, giving each byte usPerByte on the wire.
std::unique_ptr<Backend> MakeAlsaBackend(std::unique_ptr<SeqApi> seq, std::shared_ptr<Clock> clock,
                                         int64_t usPerByte = kWireUsPerByte);

namespace internal {
// Shuts down the current back end (as Shutdown does) and puts `backend` in
// its place.
void InstallBackend(std::unique_ptr<Backend> backend);
// Waits until the send queue is empty and its last byte is on the wire.
void WaitSenderIdle();
}  // namespace internal

}  // namespace midiplatform
