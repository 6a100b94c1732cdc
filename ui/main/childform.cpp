#include "ui/main/childform.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QTimer>

#include "core/bytes.h"
#include "platform/twips.h"
#include "ui/main/frmmain.h"

bool gFormLoading = false;

ChildForm::ChildForm(QWidget* parent) : QMdiSubWindow(parent) { setAttribute(Qt::WA_DeleteOnClose); }

ChildForm::~ChildForm() = default;

int ChildForm::Kind() const { return Asc(winTag_, 1); }

int ChildForm::TopTwips() const { return PixelsToTwips(geometry().top()); }
int ChildForm::LeftTwips() const { return PixelsToTwips(geometry().left()); }
int ChildForm::HeightTwips() const { return PixelsToTwips(geometry().height()); }
int ChildForm::WidthTwips() const { return PixelsToTwips(geometry().width()); }

void ChildForm::SetGeometryTwips(int top, int left, int height, int width) {
  setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

void ChildForm::SetSizeTwips(int height, int width) { resize(TwipsToPixels(width), TwipsToPixels(height)); }

int ChildForm::WindowStateNo() const {
  if (isMinimized()) return 1;
  if (isMaximized()) return 2;
  return 0;
}

bool ChildForm::ButtonEnabled(const std::string& name) const {
  const auto* button = findChild<QAbstractButton*>(QString::fromStdString(name));
  return button && button->isEnabled();
}

void ChildForm::SetWindowCaption(const std::string& text) {
  setWindowTitle(QString::fromUtf8(ScreenUtf8(text)));
}

bool ChildForm::StartTimer(const std::string& name) {
  auto* timer = findChild<QTimer*>(QString::fromStdString(name));
  if (!timer) return false;
  timer->start();
  return true;
}

bool ChildForm::QueryUnload() {
  bool cancel = false;
  Form_QueryUnload(cancel);
  return !cancel;
}

void ChildForm::UnloadNow() {
  queried_ = true;
  close();
}

void ChildForm::PopupEditMenu() {
  if (frmMain* main = frmMain::Instance()) main->EditMenu()->popup(QCursor::pos());
}

void ChildForm::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  if (!unloading_) Form_Resize();
}

void ChildForm::changeEvent(QEvent* event) {
  QMdiSubWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && !unloading_) Form_Resize();
}

void ChildForm::closeEvent(QCloseEvent* event) {
  if (!queried_ && !QueryUnload()) {
    event->ignore();
    return;
  }
  queried_ = false;
  unloading_ = true;
  Form_Unload();
  QMdiSubWindow::closeEvent(event);
}

void ChildForm::contextMenuEvent(QContextMenuEvent* event) {
  PopupEditMenu();
  event->accept();
}
