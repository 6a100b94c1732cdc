// How fast the paced MIDI queue puts bytes on the wire, measured on the back
// end's own clock: a 75,000-byte SysEx with 100 short messages queued behind
// it, sent to the virtual back end once on the virtual clock and once on the
// real one (about 26.5 seconds). The rate is given against the nominal MIDI
// rate of 3,125 bytes a second (31,250 baud, 10 bits a byte). The goal is the
// rate of an interface that sends two stop bits, 31,250 / 11 = 2,841 bytes a
// second (90.9 % of nominal), which the pacing keeps to so that such an
// interface's 4 KB buffer never overflows: neither slower (within 1 %) nor
// faster, with every byte delivered in order.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/bytes.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/winfolder.h"

namespace {

constexpr double kNominalBytesPerSecond = 3125.0;
constexpr double kGoalBytesPerSecond = 31250.0 / 11;

bool Run(bool realClock) {
  VirtualMidi& vm = VirtualMidi::Install(1, 1, realClock);
  HMIDIOUT h = 0;
  if (midiOutOpen(&h, MIDI_MAPPER, 0, 0, 0) != MMSYSERR_NOERROR) {
    std::printf("the virtual output did not open\n");
    return false;
  }

  std::string expected = Chr(0xF0);
  for (int i = 0; i < 75000 - 2; ++i) expected += Chr(i % 0x80);
  expected += Chr(0xF7);
  MIDIHDR hdr;
  hdr.data = expected;
  hdr.dwBufferLength = static_cast<DWORD>(expected.size());

  const auto realStart = std::chrono::steady_clock::now();
  midiOutPrepareHeader(h, &hdr, kMidiHdrSize);
  midiOutLongMsg(h, &hdr, kMidiHdrSize);
  midiOutUnprepareHeader(h, &hdr, kMidiHdrSize);
  for (int i = 0; i < 100; ++i) {
    const int note = 36 + i % 48;
    const DWORD msg = (i % 2 ? 0x80u : 0x90u) | static_cast<DWORD>(note) << 8 | 0x64u << 16;
    midiOutShortMsg(h, msg);
    expected += Chr(static_cast<int>(msg & 0xFF));
    expected += Chr(note);
    expected += Chr(0x64);
  }
  const auto queuedAfter = std::chrono::steady_clock::now() - realStart;
  vm.WaitIdle();
  const double realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();

  const std::vector<VirtualMidi::WireChunk> wire = vm.Wire();
  const std::string sent = vm.WireBytes();
  int64_t maxLateUs = 0;
  size_t maxChunk = 0;
  for (size_t i = 0; i < wire.size(); ++i) {
    if (wire[i].bytes.size() > maxChunk) maxChunk = wire[i].bytes.size();
    if (i > 0 && wire[i].startUs - wire[i - 1].endUs > maxLateUs) maxLateUs = wire[i].startUs - wire[i - 1].endUs;
  }
  const double clockSeconds = wire.empty() ? 0 : (wire.back().endUs - wire.front().startUs) / 1e6;
  const double rate = clockSeconds > 0 ? static_cast<double>(sent.size()) / clockSeconds : 0;
  const bool intact = sent == expected;
  const long lost = static_cast<long>(expected.size()) - static_cast<long>(sent.size());

  std::printf("%s clock:\n", realClock ? "real" : "virtual");
  std::printf("  queued %zu bytes in %.1f ms of real time\n", expected.size(),
              std::chrono::duration<double, std::milli>(queuedAfter).count());
  std::printf("  on the wire: %zu bytes in %zu chunks (largest %zu), %.3f s on the back end's clock\n", sent.size(),
              wire.size(), maxChunk, clockSeconds);
  std::printf("  rate %.1f bytes/s = %.2f %% of the nominal %.0f (goal %.1f %%)\n", rate,
              100.0 * rate / kNominalBytesPerSecond, kNominalBytesPerSecond,
              100.0 * kGoalBytesPerSecond / kNominalBytesPerSecond);
  std::printf("  largest gap between chunks %lld us; real time %.3f s\n", static_cast<long long>(maxLateUs),
              realSeconds);
  std::printf("  bytes lost %ld, order %s\n", lost, intact ? "kept" : "BROKEN");
  midiOutClose(h);
  return intact && rate >= 0.99 * kGoalBytesPerSecond && rate <= kGoalBytesPerSecond * 1.0001;
}

}  // namespace

int main() {
  // The device locks go into a temporary Windows folder.
  std::string folder = (std::filesystem::temp_directory_path() / "bench_wire_pacing.XXXXXX").string();
  if (!mkdtemp(folder.data())) return 2;
  SetWinFolder(folder);
  const bool virtualOk = Run(false);
  const bool realOk = Run(true);
  midiplatform::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::printf("%s\n", virtualOk && realOk ? "goal met" : "goal NOT met");
  return virtualOk && realOk ? 0 : 1;
}
