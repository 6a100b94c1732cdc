// The order in which the child windows of the main window's area were
// last active. The area itself activates by the order the windows were made
// and their stacking when the active one closes; the history lets a close
// return to the window the user came from instead.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

class QMdiArea;
class QMdiSubWindow;

class ActivationHistory : public QObject {
 public:
  explicit ActivationHistory(QMdiArea* area);

  // The window that was active before `closing`, when `closing` is the one
  // active last: the most recent of the others that is still open, shown
  // and not minimised. nullptr when `closing` was not the last active
  // window, or no such window is left (the area's own choice stands then).
  QMdiSubWindow* Before(const QMdiSubWindow* closing) const;

 private:
  void Activated(QMdiSubWindow* window);
  bool Returnable(const QMdiSubWindow* window) const;

  QMdiArea* area_;
  std::vector<QPointer<QMdiSubWindow>> order_;  // least recent first
};
