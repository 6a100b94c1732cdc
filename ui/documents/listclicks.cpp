#include "ui/documents/listclicks.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMouseEvent>

int SelectedCurrentLine(const QListWidget* list) {
  const int row = list ? list->currentRow() : -1;
  const QListWidgetItem* item = row < 0 ? nullptr : list->item(row);
  return item && item->isSelected() ? row : -1;
}

ListClicks::ListClicks(QListWidget* list, std::function<void()> click, std::function<void()> rightUp,
                       std::function<void()> selectionChanged)
    : QObject(list),
      list_(list),
      viewport_(list->viewport()),
      click_(std::move(click)),
      rightUp_(std::move(rightUp)) {
  viewport_->installEventFilter(this);
  if (selectionChanged) connect(list_, &QListWidget::itemSelectionChanged, this, std::move(selectionChanged));
  // A line made current with its selection (a selection in code, a keyboard
  // move). During a mouse press the toolkit makes the line current before
  // it selects it: the release's click below stands for it.
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (pressing_ || row < 0) return;
    const QListWidgetItem* item = list_->item(row);
    if (item && item->isSelected()) click_();
  });
  // Press and release on one line: also a click on the selected line.
  connect(list_, &QAbstractItemView::clicked, this, [this](const QModelIndex&) {
    if (doubled_) {
      doubled_ = false;  // the second half of a double click is no new click
      return;
    }
    click_();
  });
}

void ListClicks::SelectLine(QListWidget* list, int index) {
  list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

bool ListClicks::eventFilter(QObject* watched, QEvent* event) {
  // Compared by address only: the list may be going away already.
  if (watched != viewport_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return true;  // the selection stays
      pressing_ = true;
      doubled_ = event->type() == QEvent::MouseButtonDblClick;
      return false;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        if (rightUp_) rightUp_();
        return true;
      }
      if (mouse->button() != Qt::LeftButton) return true;
      pressing_ = false;
      return false;
    }
    default:
      return false;
  }
}

RightButtonUp::RightButtonUp(QWidget* form, std::function<void()> mouseUp)
    : QObject(form), form_(form), mouseUp_(std::move(mouseUp)) {
  form->installEventFilter(this);
}

bool RightButtonUp::eventFilter(QObject* watched, QEvent* event) {
  if (watched != form_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
      mouseUp_();
      return true;
    case QEvent::ContextMenu:
      return static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse;
    default:
      return false;
  }
}
