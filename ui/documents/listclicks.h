// The click of an arrangement window's list (List1), as the window expects
// it: the click handler runs on every left click on a line (the line that is
// already selected included), on a keyboard move and at once when code
// selects a line; not when the toolkit only makes a line current (as it does
// when the list takes the focus). A right click never moves the selection:
// the window's right-button handler runs when the button is released.
// What follows the selection (the Edit menu, the window's buttons) runs
// whenever the selection changes, however it changes: a click, Ctrl+click,
// Ctrl+Space, Shift with the arrows, Ctrl+A, code. It is no click: a key
// that only changes the selection calls nothing up.
#pragma once

#include <QObject>
#include <functional>

class QListWidget;
class QWidget;

// The line a click acts on: the list's current line while it is selected,
// else -1. A Ctrl+click on the selected current line deselects it and
// leaves it current: such a line is not called up.
int SelectedCurrentLine(const QListWidget* list);

class ListClicks : public QObject {
 public:
  ListClicks(QListWidget* list, std::function<void()> click, std::function<void()> rightUp,
             std::function<void()> selectionChanged = nullptr);

  // Selects line index alone and makes it current; the click handler runs
  // when the line was not current yet.
  static void SelectLine(QListWidget* list, int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QListWidget* list_;
  QObject* viewport_;
  std::function<void()> click_;
  std::function<void()> rightUp_;
  bool pressing_ = false;  // a left button is down on the list
  bool doubled_ = false;   // the press was the second of a double click
};

// The right button on a window's body (outside its list), as the window
// expects it: the handler runs when the button is released; the context
// menu the toolkit raises with the press is swallowed (the keyboard's menu
// key keeps the window's own context menu).
class RightButtonUp : public QObject {
 public:
  RightButtonUp(QWidget* form, std::function<void()> mouseUp);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QObject* form_;
  std::function<void()> mouseUp_;
};
