// Arrangement-file window benchmark: File > Open Arr of a file with its
// companion style and program files, timed from the command to the list
// shown; then the call-up of an arrangement that needs nothing sent, timed
// from the click to its messages queued. The program runs as Main starts it
// (first start, English), offscreen, on the virtual MIDI back end, in
// temporary Windows and program folders. Prints the median of each.
//
//   bench_arrwindow [repetitions]    (default 50, at least 20)
#include <QApplication>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/sharedinfo.h"
#include "app/slots.h"
#include "bench/benchprogram.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "ui/documents/frmarru.h"

namespace {

using Clock = std::chrono::steady_clock;

// An arrangement file whose 64 arrangements are all used, half of them
// with a style of the file's own group.
std::string ArrImage() {
  std::string file = std::string("KORG\x4D\x00\x03", 7) + Nuls(25) + Nuls(64 * 164);
  for (int i = 0; i < 64; ++i) {
    std::string rec = Nuls(164);
    MidAssign(rec, 1, PadRight("Arrangement " + CStr(i), 16));
    MidAssign(rec, 18, Chr(i % 2 ? i % 4 : i));
    MidAssign(rec, 19, Chr(i % 2));
    MidAssign(file, 33 + 164 * i, rec);
  }
  return file;
}

// A one-bank style group of four 1,000-byte styles.
std::string StyImage() {
  std::string group = Nuls(224);
  MidAssign(group, 1, std::string("KORG\x4D\x00\x04", 7));
  for (int k = 0; k < 4; ++k) {
    PutU16LE(group, 25 + 4 * k, 1000);
    group += PadRight("Style " + CStr(k), 16) + std::string(984, 's');
  }
  return group;
}

std::string PrgImage() {
  return PadRight(std::string("KORG\x4D\x00\x00", 7), 30480, '\0');
}

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int reps = std::max(20, argc > 1 ? std::atoi(argv[1]) : 50);

  BenchProgram program;
  const std::string& folder = program.Folder();
  WriteFile(folder + "/r40Sty", StyTemplateFileImage());
  WriteFile(folder + "/song.arr", ArrImage());
  WriteFile(folder + "/song.sty", StyImage());
  WriteFile(folder + "/song.prg", PrgImage());
  frmMain* mainWindow = program.Start(false);
  if (!mainWindow) return 1;
  VirtualMidi& midi = program.Midi();
  app.processEvents();

  // The instrument holds this file already, and Load Arrangement is on, so
  // the call-up compares with the info file and then sends only itself.
  if (!mainWindow->MenuChecked("mnuCaricaArr")) mainWindow->Toggle_Click("mnuCaricaArr");

  std::vector<double> openMs, callMs;
  for (int r = 0; r < reps; ++r) {
    program.ChooseFile(folder + "/song.arr");

    const Clock::time_point t0 = Clock::now();
    mainWindow->mnuApriArr_Click();
    frmArrU* w = gArrUForms[gArrSlotIdx];
    app.processEvents();
    const Clock::time_point t1 = Clock::now();
    if (!w || w->findChild<QListWidget*>("List1")->count() != 64) return 1;
    if (r == 0) SharedInfoPutArr(w->Tag());

    const size_t before = midi.CallsNamed("midiOutShortMsg").size();
    const Clock::time_point t2 = Clock::now();
    w->SelectLine(r % 64);
    const Clock::time_point t3 = Clock::now();
    if (midi.CallsNamed("midiOutShortMsg").size() != before + 3) return 1;

    openMs.push_back(Ms(t0, t1));
    callMs.push_back(Ms(t2, t3));
    w->close();
    app.processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::printf("bench_arrwindow: %d repetitions\n", reps);
  std::printf("  open and list (File > Open Arr to list shown): median %.3f ms\n", Median(openMs));
  std::printf("  call-up needing nothing sent (click to queued): median %.3f ms\n", Median(callMs));
  return 0;
}
