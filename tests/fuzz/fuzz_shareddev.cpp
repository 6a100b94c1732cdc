// The device-sharing file: any bytes met at start-up by Main (on the
// virtual MIDI back end, devices free or held as the input says), then the
// exit's step over whatever the start left, or over other bytes.
#include "tests/fuzz/fuzz_foundation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char arg0[] = "fuzz";
  static char* argv[] = {arg0, nullptr};
  static QCoreApplication app(argc, argv);
  FuzzWinDir();
  FuzzResetState();
  if (size < 2) return 0;
  const int how = data[0];
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (how & 1) bytes = "Veltrano" + bytes;  // reach the in-use paths
  FuzzWrite("Brenvolta.ini", FuzzValidSettings());
  FuzzWrite("Veltrano", bytes);

  VirtualMidi& midi = VirtualMidi::Install((how >> 1) & 1, (how >> 2) & 1);
  if (how & 8) midi.SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  if (how & 16) midi.SetResult("midiInOpen", (how & 32) ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER);

  const bool shown = Main();
  const std::string after = FuzzWinDir().empty() ? std::string() : std::string();
  (void)after;
  if (shown) {
    if (how & 64) FuzzWrite("Veltrano", bytes.substr(0, bytes.size() / 2));
    const int r = ExitDeviceSharing();
    FUZZ_CHECK(r == kExitGoOn || r == kExitRefused || r == kExitError);
  }
  midiplatform::Shutdown();
  FuzzRemove("Veltrano");
  return 0;
}
