// A one-shot timer whose Interval is the state of a two-phase step: 10 means
// idle; any other value is a pending code that is also the delay in
// milliseconds before the second phase. When it fires it switches itself
// off (and, for the timers of a control array, sets its Interval to 0),
// then calls its handler. The main window's Edit relays find it by name and
// start it as it stands.
//
// Sends return before their bytes are on the wire, so a step's delay is
// counted from the wire: a timer that fires while the MIDI output's queue
// still holds bytes waits until the queue is empty and then its own
// Interval again, and only then runs its handler. The pause between two
// dumps thus reaches the instrument, which stores what it got in it. A step
// that sends nothing finds the queue empty and runs on time.
#pragma once

#include <QTimer>
#include <functional>

#include "platform/midi/winmm.h"

class StepTimer : public QTimer {
  Q_OBJECT
 public:
  StepTimer(QObject* parent, const QString& name, std::function<void()> handler, bool zeroOnFire = false)
      : QTimer(parent), handler_(std::move(handler)), zeroOnFire_(zeroOnFire) {
    setObjectName(name);
    setSingleShot(true);
    // Never early: the delay is a pause the instrument needs.
    setTimerType(Qt::PreciseTimer);
    setInterval(10);
    wire_.setInterval(kWirePollMs);
    connect(this, &QTimer::timeout, this, [this] {
      stop();
      if (midiplatform::OutputQueueBusy()) {
        wire_.start();
        return;
      }
      if (zeroOnFire_) setInterval(0);
      if (handler_) handler_();
    });
    connect(&wire_, &QTimer::timeout, this, [this] {
      if (midiplatform::OutputQueueBusy()) return;
      wire_.stop();
      start();  // the step's own delay again, now from the wire
    });
  }
  // On while the delay runs or the timer waits for the wire.
  bool Enabled() const { return isActive() || wire_.isActive(); }
  // Switches the timer on with its Interval as the delay. An Interval of 0
  // is never started: the toolkit would fire it at once, in the same turn.
  void SetEnabled(bool on) {
    wire_.stop();
    if (!on) {
      stop();
    } else if (interval() > 0) {
      start();
    }
  }

 private:
  static constexpr int kWirePollMs = 10;
  std::function<void()> handler_;
  bool zeroOnFire_;
  QTimer wire_;  // polls the output queue while the step waits for it
};
