#include "ui/main/activationhistory.h"

#include <algorithm>

#include <QMdiArea>
#include <QMdiSubWindow>

#include "ui/main/childform.h"

ActivationHistory::ActivationHistory(QMdiArea* area) : QObject(area), area_(area) {
  connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) { Activated(w); });
}

void ActivationHistory::Activated(QMdiSubWindow* window) {
  // The area reports no window while the main window is not the active
  // one (a message box is up): the order stays as it was.
  if (!window) return;
  order_.erase(std::remove_if(order_.begin(), order_.end(),
                              [window](const QPointer<QMdiSubWindow>& w) { return !w || w == window; }),
               order_.end());
  order_.emplace_back(window);
}

bool ActivationHistory::Returnable(const QMdiSubWindow* window) const {
  if (!window || window->mdiArea() != area_ || window->isHidden() || window->isMinimized()) return false;
  if (!area_->subWindowList().contains(const_cast<QMdiSubWindow*>(window))) return false;
  const auto* child = dynamic_cast<const ChildForm*>(window);
  return !child || !child->Unloading();
}

QMdiSubWindow* ActivationHistory::Before(const QMdiSubWindow* closing) const {
  auto last = std::find_if(order_.rbegin(), order_.rend(),
                           [](const QPointer<QMdiSubWindow>& w) { return !w.isNull(); });
  if (last == order_.rend() || *last != closing) return nullptr;
  for (auto it = std::next(last); it != order_.rend(); ++it)
    if (Returnable(*it)) return *it;
  return nullptr;
}
