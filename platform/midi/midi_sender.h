// The one send queue of the MIDI output: every short and long message joins
// it in call order, and one thread puts them on the wire in chunks of at most
// 256 bytes, paced at the MIDI wire rate so that no interface buffer ever
// overflows. Private to platform/midi.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/midi/midi_backend.h"

namespace midiplatform {

constexpr int64_t kWireUsPerByte = 320;  // 31,250 baud, 10 bits a byte
constexpr int kMaxChunkBytes = 256;
// Extra time a close may wait beyond the wire time of what is still queued.
constexpr int64_t kDrainMarginMs = 3000;

// An output as the sender sees it: the port name it follows, and a flag that
// makes the sender drop what is left of its messages.
struct OutTarget {
  explicit OutTarget(std::string portName) : name(std::move(portName)) {}
  const std::string name;
  std::atomic<bool> cancelled{false};
};

class Sender {
 public:
  explicit Sender(Backend& backend) : backend_(backend) {}
  // Drops what is still queued and stops the thread.
  ~Sender();
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  void Push(std::shared_ptr<OutTarget> target, std::string bytes);
  // Waits until every message of target (of all targets when null) is on
  // the wire. If that takes longer than their wire time plus
  // kDrainMarginMs, the rest is dropped and the answer is false.
  bool Drain(const OutTarget* target);
  // Waits until the queue is empty and its last byte is on the wire.
  void WaitIdle();

 private:
  struct Item {
    std::shared_ptr<OutTarget> target;
    std::string bytes;
  };
  void Run();
  void SendItem(const Item& item);
  bool Pending(const OutTarget* target) const;

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
};

}  // namespace midiplatform
