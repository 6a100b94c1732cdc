// The two clocks of the MIDI sender: the real one sleeps, the virtual one
// only moves its time forward.
#include <chrono>
#include <thread>

#include "platform/midi/midi_backend.h"

namespace midiplatform {

namespace {
int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

RealClock::RealClock() : originNs_(SteadyNs()) {}

int64_t RealClock::NowUs() { return (SteadyNs() - originNs_) / 1000; }

void RealClock::SleepUntilUs(int64_t timeUs) {
  const auto target = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(originNs_ + timeUs * 1000));
  std::this_thread::sleep_until(target);
}

int64_t VirtualClock::NowUs() { return nowUs_.load(); }

void VirtualClock::SleepUntilUs(int64_t timeUs) {
  int64_t now = nowUs_.load();
  while (now < timeUs && !nowUs_.compare_exchange_weak(now, timeUs)) {
  }
}

}  // namespace midiplatform
