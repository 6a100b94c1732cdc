// The one send queue of the MIDI output: every short and long message joins
// it in call order, and one thread puts them on the wire in chunks of at most
// 256 bytes, paced at the back end's wire time per byte so that no interface
// buffer ever overflows. A chunk that cannot be delivered marks its output
// failed and drops the rest of its message, so no tail of a SysEx ever
// leaves without its head. While a SysEx is on the wire to an output, the
// thru connections feeding that output are lifted, so a note played on the
// input cannot land inside it; right after the F7, before thru is back, the
// output gets what the back end owes it for that time, so that it follows
// the player, also when the dump was cut off. Private to platform/midi.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/midi_backend.h"

namespace midiplatform {

constexpr int kMaxChunkBytes = 256;
// Extra time a close may wait beyond the wire time of what is still queued.
constexpr int64_t kDrainMarginMs = 3000;

// An output as the sender sees it: the port name it follows, a flag that
// makes the sender drop what is left of its messages, a flag the sender
// sets when a send to it failed, and the inputs whose thru feeds it.
struct OutTarget {
  explicit OutTarget(std::string portName) : name(std::move(portName)) {}
  const std::string name;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> failed{false};

  // Thru into this output, made or dropped by the caller's thread and
  // lifted by the sender's; both hold thruMu while they change it.
  std::mutex thruMu;
  std::vector<std::string> thruInputs;
  bool thruLifted = false;  // the connections are out of the sequencer now
};

class Sender {
 public:
  explicit Sender(Backend& backend) : backend_(backend) {}
  // Drops what is still queued and stops the thread.
  ~Sender();
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  // Queues a message. A global dump (F0 42 3n 4D 51) drops the global dump
  // of the same output and channel that is still waiting, so a run of
  // changes leaves no backlog; nothing else is ever dropped.
  void Push(std::shared_ptr<OutTarget> target, std::string bytes);
  // Waits until every message of target (of all targets when null) is on
  // the wire. If that takes longer than their wire time plus
  // kDrainMarginMs, the rest is dropped and the answer is false.
  bool Drain(const OutTarget* target);
  // Waits until the queue is empty and its last byte is on the wire.
  void WaitIdle();
  // True while a message is queued or its bytes are still on the wire.
  bool Busy();

 private:
  struct Item {
    std::shared_ptr<OutTarget> target;
    std::string bytes;
  };
  void Run();
  void SendItem(const Item& item);
  bool SendBytes(OutTarget& target, const std::string& bytes, bool settling = false);
  bool Pending(const OutTarget* target) const;
  void LiftThru(OutTarget& target);
  std::string SettleThruLift(OutTarget& target);
  std::string EndThruLift(OutTarget& target);

  Backend& backend_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Item> queue_;
  std::shared_ptr<OutTarget> current_;  // target of the message on the wire
  size_t currentBytes_ = 0;
  bool stop_ = false;
  std::thread thread_;
  // Clock time the last chunk handed over leaves the wire (sender thread
  // only; clocks start at 0).
  int64_t prevEndUs_ = 0;
  // The inputs whose thru the SysEx on the wire lifted (sender thread only).
  std::vector<std::string> lifted_;
};

}  // namespace midiplatform
