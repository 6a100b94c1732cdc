#include "platform/midi/midi_sender.h"

#include <algorithm>
#include <chrono>

#include "core/bytes.h"

namespace midiplatform {

namespace {
// The next chunk is handed over when the one before has this much wire time
// left, so a thread that wakes up late does not leave the wire idle. The
// interface's buffer then holds at most this much (about 310 bytes) plus one
// chunk, far below what it can take.
constexpr int64_t kLeadUs = 100000;

// Between two messages the lead is short: the next message stays in the
// queue until the one on the wire has almost left, so that a newer global
// dump for the same output can still take its place. A slider drag then
// ends at most two dump times behind the user, not three.
constexpr int64_t kNextMessageLeadUs = 5000;

// The rounds of what a dump leaves owed: each sends what the input played
// while the one before went out.
constexpr int kSettleRounds = 4;

bool Matches(const OutTarget* t, const OutTarget* wanted) { return t && (!wanted || t == wanted); }

// A global dump: F0 42 3n 4D 51, n the global channel.
bool IsGlobalDump(const std::string& bytes) {
  return bytes.size() >= 5 && static_cast<unsigned char>(bytes[0]) == 0xF0 && bytes[1] == 0x42 &&
         (static_cast<unsigned char>(bytes[2]) & 0xF0) == 0x30 && bytes[3] == 0x4D && bytes[4] == 0x51;
}
}  // namespace

Sender::~Sender() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stop_ = true;
    queue_.clear();
    if (current_) current_->cancelled = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Sender::Push(std::shared_ptr<OutTarget> target, std::string bytes) {
  if (bytes.empty()) return;
  {
    std::lock_guard<std::mutex> lk(mu_);
    if (IsGlobalDump(bytes)) {
      // The waiting one would only be overwritten on the instrument a dump
      // time later; the newer takes its turn at the end of the queue.
      for (auto it = queue_.begin(); it != queue_.end();) {
        const bool older = it->target->name == target->name && it->bytes.compare(0, 5, bytes, 0, 5) == 0;
        it = older ? queue_.erase(it) : it + 1;
      }
    }
    queue_.push_back(Item{std::move(target), std::move(bytes)});
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  cv_.notify_all();
}

bool Sender::Pending(const OutTarget* target) const {
  if (Matches(current_.get(), target)) return true;
  for (const Item& item : queue_) {
    if (Matches(item.target.get(), target)) return true;
  }
  return false;
}

bool Sender::Drain(const OutTarget* target) {
  std::unique_lock<std::mutex> lk(mu_);
  int64_t bytes = Matches(current_.get(), target) ? static_cast<int64_t>(currentBytes_) : 0;
  for (const Item& item : queue_) {
    if (Matches(item.target.get(), target)) bytes += static_cast<int64_t>(item.bytes.size());
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(bytes * backend_.WireUsPerByte()) +
                        std::chrono::milliseconds(kDrainMarginMs);
  if (cv_.wait_until(lk, deadline, [&] { return !Pending(target); })) return true;

  // The wire did not take it in time (a stalled port): drop the rest.
  for (auto it = queue_.begin(); it != queue_.end();) {
    it = Matches(it->target.get(), target) ? queue_.erase(it) : it + 1;
  }
  if (Matches(current_.get(), target)) current_->cancelled = true;
  cv_.wait(lk, [&] { return !Matches(current_.get(), target); });
  return false;
}

void Sender::WaitIdle() {
  std::unique_lock<std::mutex> lk(mu_);
  cv_.wait(lk, [&] { return queue_.empty() && !current_; });
}

bool Sender::Busy() {
  std::lock_guard<std::mutex> lk(mu_);
  return Pending(nullptr);
}

void Sender::Run() {
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lk(mu_);
      cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
      current_ = item.target;
      currentBytes_ = item.bytes.size();
    }
    SendItem(item);
    bool last;
    {
      std::lock_guard<std::mutex> lk(mu_);
      last = queue_.empty();
    }
    // Idle means the last byte has left the wire, not only the queue.
    backend_.GetClock().SleepUntilUs(last ? prevEndUs_ : prevEndUs_ - kNextMessageLeadUs);
    {
      std::lock_guard<std::mutex> lk(mu_);
      current_.reset();
      currentBytes_ = 0;
    }
    cv_.notify_all();
  }
}

void Sender::LiftThru(OutTarget& target) {
  std::lock_guard<std::mutex> lk(target.thruMu);
  lifted_ = target.thruInputs;
  for (const std::string& in : lifted_) backend_.LiftThru(in, target.name);
  target.thruLifted = true;
}

std::string Sender::SettleThruLift(OutTarget& target) {
  std::string owed;
  for (const std::string& in : lifted_) backend_.SettleThruLift(in, target.name, &owed);
  return owed;
}

std::string Sender::EndThruLift(OutTarget& target) {
  std::lock_guard<std::mutex> lk(target.thruMu);
  const auto on = [](const std::vector<std::string>& list, const std::string& in) {
    return std::find(list.begin(), list.end(), in) != list.end();
  };
  std::string late;
  for (const std::string& in : lifted_)
    backend_.EndThruLift(in, target.name, on(target.thruInputs, in), &late);
  // Thru switched on while the dump was on the wire joins now.
  for (const std::string& in : target.thruInputs) {
    bool made = false;
    if (!on(lifted_, in)) backend_.Connect(in, target.name, &made);
  }
  lifted_.clear();
  target.thruLifted = false;
  return late;
}

// settling: what a dump leaves owed. It is sent also when the dump was cut
// off (its first status byte ends the cut SysEx on the instrument), and
// nothing waits after its last chunk, so thru comes back at once.
bool Sender::SendBytes(OutTarget& target, const std::string& bytes, bool settling) {
  Clock& clock = backend_.GetClock();
  const int64_t usPerByte = backend_.WireUsPerByte();
  const int size = static_cast<int>(bytes.size());
  for (int pos = 1; pos <= size; pos += kMaxChunkBytes) {
    if (target.cancelled && !settling) return false;
    const std::string chunk = Mid(bytes, pos, kMaxChunkBytes);
    // A chunk begins on the wire when it is handed over, or when the one
    // before has left, whichever is later.
    const int64_t now = clock.NowUs();
    const int64_t startUs = std::max(now, prevEndUs_);
    if (!backend_.SendChunk(target.name, chunk, pos == 1, startUs)) {
      // The rest of this message is dropped: a tail without its head would
      // be read as another message. The next call on the output says so.
      target.failed = true;
      return false;
    }
    prevEndUs_ = startUs + static_cast<int64_t>(chunk.size()) * usPerByte;
    if (!settling || pos + kMaxChunkBytes <= size) clock.SleepUntilUs(prevEndUs_ - kLeadUs);
  }
  return true;
}

void Sender::SendItem(const Item& item) {
  const bool sysEx = Asc(item.bytes, 1) == 0xF0;
  if (!sysEx) {
    SendBytes(*item.target, item.bytes);
    return;
  }
  LiftThru(*item.target);
  SendBytes(*item.target, item.bytes);
  // After the F7, or where the dump was cut off (a stalled port, the exit),
  // the instrument is brought to the state of the player's controls while
  // thru is still lifted: a key pressed again as the dump ends then reaches
  // the instrument after its own note off, never before it. What the input
  // plays while that goes out is owed in turn, a few rounds at most.
  for (int round = 1;; ++round) {
    const std::string owed = SettleThruLift(*item.target);
    if (owed.empty() || !SendBytes(*item.target, owed, true) || round == kSettleRounds) break;
  }
  // Thru comes back: what the input plays now follows it. Of what it played
  // in that instant, what lets go goes now.
  const std::string late = EndThruLift(*item.target);
  if (!late.empty()) SendBytes(*item.target, late, true);
}

}  // namespace midiplatform
