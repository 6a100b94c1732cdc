// Step timers count their delay from the wire: one that fires while the MIDI
// output still holds bytes waits until they have left, then its own
// Interval again. On the real clock of the virtual back end.
#include "ui/main/steptimer.h"

#include <QApplication>
#include <QDateTime>

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"

namespace {

class StepTimerTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    midi_ = &VirtualMidi::Install(1, 1, true);
    ASSERT_EQ(midiOutOpen(&out_, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  }
  // A SysEx of n bytes, queued: n x 352 us on the wire.
  void QueueDump(int n) {
    MIDIHDR hdr;
    hdr.data = Chr(0xF0) + std::string(static_cast<size_t>(n - 2), '\x01') + Chr(0xF7);
    hdr.dwBufferLength = static_cast<DWORD>(hdr.data.size());
    midiOutPrepareHeader(out_, &hdr, kMidiHdrSize);
    midiOutLongMsg(out_, &hdr, kMidiHdrSize);
  }
  static bool WaitUntil(const std::function<bool()>& done, int ms) {
    const qint64 end = QDateTime::currentMSecsSinceEpoch() + ms;
    while (!done() && QDateTime::currentMSecsSinceEpoch() < end)
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
  }
  HMIDIOUT out_ = 0;
  QObject owner_;
};

TEST_F(StepTimerTest, ADelayThatEndsWhileBytesAreQueuedRunsAgainFromTheLastByte) {
  int64_t ranUs = -1;
  int intervalSeen = -1;
  StepTimer* timer = nullptr;
  timer = new StepTimer(&owner_, "TimerStep", [&] {
    ranUs = midi_->NowUs();
    intervalSeen = timer->interval();
  }, true);
  QueueDump(1500);  // about 530 ms
  timer->setInterval(200);
  timer->SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return !midi_->Wire().empty(); }, 2000));
  // Past its own delay the step still waits, with its code, for the wire.
  ASSERT_TRUE(WaitUntil([&] { return midi_->NowUs() > midi_->Wire().front().startUs + 300000; }, 2000));
  EXPECT_EQ(ranUs, -1);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->interval(), 200);

  ASSERT_TRUE(WaitUntil([&] { return ranUs >= 0; }, 5000));
  EXPECT_GE(ranUs - midi_->Wire().back().endUs, 200000);
  EXPECT_EQ(intervalSeen, 0);  // a control-array timer's Interval is 0 once it runs
  EXPECT_FALSE(timer->Enabled());

  // With nothing queued, the step runs after its own delay only.
  ranUs = -1;
  const int64_t t0 = midi_->NowUs();
  timer->setInterval(100);
  timer->SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return ranUs >= 0; }, 5000));
  EXPECT_GE(ranUs - t0, 100000);
  EXPECT_LT(ranUs - t0, 2000000);
}

TEST_F(StepTimerTest, AStepSwitchedOffWhileItWaitsForTheWireNeverRuns) {
  bool ran = false;
  auto* timer = new StepTimer(&owner_, "TimerStep", [&] { ran = true; });
  QueueDump(1000);
  timer->setInterval(20);
  timer->SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return !timer->isActive(); }, 2000));  // fired, now waiting
  EXPECT_TRUE(timer->Enabled());
  timer->SetEnabled(false);
  midi_->WaitIdle();
  WaitUntil([] { return false; }, 200);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(timer->Enabled());
}

}  // namespace
