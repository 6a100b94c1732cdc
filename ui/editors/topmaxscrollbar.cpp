#include "ui/editors/topmaxscrollbar.h"

TopMaxScrollBar::TopMaxScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  setInvertedAppearance(true);
  setInvertedControls(false);
  // The arrows and the groove step towards the end they stand at: with the
  // maximum at the top, the upper arrow raises the value.
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
    if (!mouseDown_) return;
    int step = 0;
    if (action == SliderSingleStepAdd) step = -singleStep();
    if (action == SliderSingleStepSub) step = singleStep();
    if (action == SliderPageStepAdd) step = -pageStep();
    if (action == SliderPageStepSub) step = pageStep();
    if (step != 0) setSliderPosition(value() + step);
  });
}

void TopMaxScrollBar::mousePressEvent(QMouseEvent* event) {
  mouseDown_ = true;
  QScrollBar::mousePressEvent(event);
}

void TopMaxScrollBar::mouseReleaseEvent(QMouseEvent* event) {
  QScrollBar::mouseReleaseEvent(event);
  mouseDown_ = false;
}
