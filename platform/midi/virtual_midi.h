// The virtual MIDI back end of the tests. It behaves as a machine with the
// given number of output and input ports, records every call made through
// winmm.h (name, arguments, result, time) and every byte that reaches the
// wire (with its time on the back end's clock), and can be told the result of
// each call (no device, allocated, send error).
//
// The clock is virtual by default: pacing advances it instead of sleeping, so
// a 75,000-byte dump "takes" 26.4 seconds in no real time, exactly. With a
// real clock the pacing sleeps as it does against an instrument.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/midi/winmm.h"

class VirtualMidi {
 public:
  // args per call: the handle first for every call that takes one (two for
  // midiConnect/midiDisconnect: input, output), then the message for
  // midiOutShortMsg or the header size for the header calls; the opens
  // record device id, callback, instance, flags and then the handle written
  // (0 when none); midiInGetDevCapsA records device id and size. The
  // GetNumDevs calls have none and record the count as their result.
  struct Call {
    std::string name;           // "midiOutOpen", "midiOutShortMsg", ...
    std::vector<int64_t> args;  // numeric arguments: handle, device id, msg, size ...
    std::string bytes;          // the bytes handed over (short message on the wire form, long message data)
    MMRESULT result = 0;
    int64_t timeUs = 0;         // clock time of the call
  };
  struct WireChunk {
    uint32_t port = 0;          // output port index the chunk left on
    std::string bytes;          // at most 256 bytes
    int64_t startUs = 0;        // clock time the chunk began on the wire
    int64_t endUs = 0;          // startUs + 352 us per byte
  };

  // Installs a fresh virtual back end in place of the current one and
  // returns it. Any previous back end is shut down first. The object lives
  // until the next Install or midiplatform::Shutdown/UseAlsaBackend.
  static VirtualMidi& Install(int outputs = 1, int inputs = 1, bool realClock = false);
  // The installed virtual back end, or nullptr.
  static VirtualMidi* Current();

  void SetDeviceCounts(int outputs, int inputs);
  // The next `times` calls named `call` answer `result` without acting
  // (times < 0: every later call). E.g. ("midiOutOpen", 4) for a device held
  // elsewhere, ("midiOutLongMsg", 1) for a send error.
  void SetResult(const std::string& call, MMRESULT result, int times = 1);
  void ClearResults();

  // Runs hook(call name) at the start of every call made through winmm.h,
  // on the caller's thread (nullptr: none). The hook must not make MIDI
  // calls itself.
  void SetCallHook(std::function<void(const std::string&)> hook);

  // Waits until the send queue is empty and every byte is on the wire.
  void WaitIdle();

  std::vector<Call> Calls() const;
  std::vector<Call> CallsNamed(const std::string& name) const;
  std::vector<WireChunk> Wire() const;
  // All wire bytes of all ports, in order.
  std::string WireBytes() const;
  void ClearRecords();

  // Thru connections now made (input port index, output port index).
  std::vector<std::pair<int, int>> ThruConnections() const;
  bool InputStarted(int inputPort) const;

  int64_t NowUs() const;

  struct Impl;
  Impl* impl() { return impl_; }

 private:
  explicit VirtualMidi(Impl* impl) : impl_(impl) {}
  Impl* impl_;
};
