// A one-shot timer whose Interval is the state of a two-phase step: 10 means
// idle; any other value is a pending code that is also the delay in
// milliseconds before the second phase. When it fires it switches itself
// off (and, for the timers of a control array, sets its Interval to 0),
// then calls its handler. The main window's Edit relays find it by name and
// start it as it stands.
#pragma once

#include <QTimer>
#include <functional>

class StepTimer : public QTimer {
  Q_OBJECT
 public:
  StepTimer(QObject* parent, const QString& name, std::function<void()> handler, bool zeroOnFire = false)
      : QTimer(parent), handler_(std::move(handler)), zeroOnFire_(zeroOnFire) {
    setObjectName(name);
    setSingleShot(true);
    setInterval(10);
    connect(this, &QTimer::timeout, this, [this] {
      stop();
      if (zeroOnFire_) setInterval(0);
      if (handler_) handler_();
    });
  }
  bool Enabled() const { return isActive(); }
  // Switches the timer on with its Interval as the delay. An Interval of 0
  // is never started: the toolkit would fire it at once, in the same turn.
  void SetEnabled(bool on) {
    if (!on) {
      stop();
    } else if (interval() > 0) {
      start();
    }
  }

 private:
  std::function<void()> handler_;
  bool zeroOnFire_;
};
