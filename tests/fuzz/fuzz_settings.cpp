// The settings file: any bytes read at start-up, then written back at exit
// and read again. The second read must give the same state as the first.
#include "tests/fuzz/fuzz_foundation.h"

namespace {
struct Snapshot {
  std::string bytes;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
  std::string s;
  auto add = [&s](long v) { s += std::to_string(v) + ","; };
  for (bool b : {gOptReadOnly, gOptLoadStyNewArr, gOptLoadSty, gOptOpenPrgFile, gOptLoadPrg, gOptAutoDB,
                 gOptStatusBar, gOptLoadArr, gMidiThru})
    add(b);
  add(gLangSel);
  add(gInstrMode);
  for (int c : {gChGlobal, gChArrang, gChLower, gChUpper2, gChUpper1, gChDrum, gChPerc, gChBass, gChAcc1, gChAcc2,
                gChAcc3})
    add(c);
  for (int i = 1; i <= 16; ++i) add(gTasSettings[i]);
  for (int k = 2; k <= 18; ++k) {
    add(gWinPosTab[k].Height);
    add(gWinPosTab[k].Width);
  }
  for (int i = 1; i <= 8; ++i) {
    add(gPrgSlots[i].Open);
    if (gPrgSlots[i].Open) s += gPrgSlots[i].Path;
    add(gArrSlots[i].Open);
    if (gArrSlots[i].Open) s += gArrSlots[i].Path;
  }
  for (const RecentFileRec& r : gRecentFiles) {
    add(r.Kind);
    if (r.Kind) s += r.Path;
  }
  return {s};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzWinDir();
  FuzzResetState();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  // An even first byte puts the rest behind a valid tag, so the reading
  // path is reached as often as the first start.
  if (!bytes.empty() && (static_cast<unsigned char>(bytes[0]) & 1) == 0) {
    bytes = std::string("Brenvolta") + '\0' + bytes.substr(1);
  }
  FuzzWrite("Brenvolta.ini", bytes);
  FuzzBoxes().language = size % 3;  // 0 cancels the language choice
  InitApp();
  if (gStartCancelled) return 0;
  FUZZ_CHECK(gLangSel == 1 || gLangSel == 2);
  FUZZ_CHECK(gChGlobal >= 0 && gChGlobal <= 15 && gChAcc3 >= 0 && gChAcc3 <= 15);
  const Snapshot first = Take();

  MainWindowState main;
  main.state = gWinPosTab[1].State % 3;
  main.height = gWinPosTab[1].Height;
  main.width = gWinPosTab[1].Width;
  main.loadArrChecked = gOptLoadArr;
  main.statusBarChecked = gOptStatusBar;
  FUZZ_CHECK(SettingsWrite(main) == 0);

  FuzzResetState();
  InitApp();
  FUZZ_CHECK(!gStartCancelled);
  FUZZ_CHECK(Take() == first);
  return 0;
}
