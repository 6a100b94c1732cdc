// Global-parameter drag benchmark: a global file's window (File > Open Gbl)
// and a drag of 100 steps on its "Range L(Arr)" scroll bar, thumb held down
// and moved with the mouse, one new value per step, one step every
// STEP_MS milliseconds. Each step sends the whole global dump (481 bytes,
// about 154 ms on the wire) through the program's one send queue, on the
// real clock of the virtual MIDI back end. Measured for each drag: the
// time from the last step to the last byte of the final dump on the wire,
// and how many dumps left the wire. Prints each drag and the medians.
//
//   bench_gbldrag [drags] [STEP_MS]    (defaults 3 and 16)
#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/benchprogram.h"
#include "core/bytes.h"
#include "ui/editors/frmgbl.h"

namespace {

// Lets events and timers run for ms milliseconds.
void Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 2);
  } while (std::chrono::steady_clock::now() < end);
}

// The point of the bar's thumb centre when the bar shows value v.
QPoint ThumbCentre(const QScrollBar* bar, int v) {
  QStyleOptionSlider opt;
  opt.initFrom(bar);
  opt.subControls = QStyle::SC_All;
  opt.orientation = bar->orientation();
  opt.state |= QStyle::State_Horizontal;
  opt.minimum = bar->minimum();
  opt.maximum = bar->maximum();
  opt.singleStep = bar->singleStep();
  opt.pageStep = bar->pageStep();
  opt.sliderPosition = opt.sliderValue = v;
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).center();
}

// How many global dumps the wire bytes hold (0xF0 starts each; packed data
// bytes never have their top bit set).
int DumpsOnWire(const std::string& wire) {
  return static_cast<int>(std::count(wire.begin(), wire.end(), '\xF0'));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int drags = std::max(1, argc > 1 ? std::atoi(argv[1]) : 3);
  const int stepMs = std::max(0, argc > 2 ? std::atoi(argv[2]) : 16);
  constexpr int kSteps = 100;

  BenchProgram program;
  WriteFile(program.Folder() + "/song.gbl", std::string("KORG\x4D\x00\x06\x01", 8) + Nuls(440));
  frmMain* mainWindow = program.Start(true);
  if (!mainWindow) return 1;
  VirtualMidi& midi = program.Midi();
  Pump(20);

  program.ChooseFile(program.Folder() + "/song.gbl");
  mainWindow->mnuApriGbl_Click();
  frmGbl* w = gGblForms[1];
  if (!w) return 1;
  auto* tabs = w->findChild<QTabWidget*>("SSTab1");
  tabs->setCurrentIndex(3);
  auto* bar = w->findChild<QScrollBar*>("HScroll3_0");
  Pump(50);
  midi.WaitIdle();

  std::vector<double> tailMs, dumpsLeft;
  std::printf("bench_gbldrag: %d drags of %d steps, one step every %d ms, real clock\n", drags, kSteps, stepMs);
  for (int d = 0; d < drags; ++d) {
    midi.ClearRecords();
    // Odd drags go back down: each drag moves the thumb over 100 new values.
    const int from = d % 2 == 0 ? 0 : kSteps;
    const int dir = d % 2 == 0 ? 1 : -1;
    if (bar->value() != from) return 1;
    const QPoint grab = ThumbCentre(bar, from);
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, grab);
    int64_t lastStepUs = 0;
    for (int s = 1; s <= kSteps; ++s) {
      Pump(stepMs);
      const int target = from + dir * s;
      QTest::mouseMove(bar, ThumbCentre(bar, target));
      lastStepUs = midi.NowUs();
      if (bar->value() != target) {
        std::printf("  step %d reached %d, not %d\n", s, bar->value(), target);
        return 1;
      }
    }
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, ThumbCentre(bar, from + dir * kSteps));
    midi.WaitIdle();

    const std::vector<VirtualMidi::Call> sent = midi.CallsNamed("midiOutLongMsg");
    const std::vector<VirtualMidi::WireChunk> wire = midi.Wire();
    const std::string wireBytes = midi.WireBytes();
    if (sent.size() != static_cast<size_t>(kSteps) || wire.empty()) return 1;
    // The instrument ends on the last value: the final dump is the last on the wire.
    const std::string& last = sent.back().bytes;
    if (wireBytes.size() < last.size() || wireBytes.compare(wireBytes.size() - last.size(), last.size(), last) != 0) {
      std::printf("  the final dump is not the last on the wire\n");
      return 1;
    }
    const double tail = (wire.back().endUs - lastStepUs) / 1000.0;
    const int left = DumpsOnWire(wireBytes);
    std::printf("  drag %d: %d dumps sent, %d left the wire; last step to last byte %.1f ms\n", d + 1,
                static_cast<int>(sent.size()), left, tail);
    tailMs.push_back(tail);
    dumpsLeft.push_back(left);
  }
  std::printf("  median: last step to last byte of the final dump %.1f ms; %.0f dumps left the wire\n",
              Median(tailMs), Median(dumpsLeft));

  w->close();
  Pump(20);
  return 0;
}
