// A vertical scroll bar whose maximum is at the top: dragging the thumb
// up, the upper arrow, the groove above the thumb, the Up key and the
// wheel turned up all raise the value. The editors' level, tempo and
// tuning bars.
#pragma once

#include <QScrollBar>

class TopMaxScrollBar : public QScrollBar {
  Q_OBJECT
 public:
  explicit TopMaxScrollBar(QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool mouseDown_ = false;
};
