#include "ui/main/childform.h"

#include <algorithm>
#include <iterator>

#include <QAbstractButton>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

bool gFormLoading = false;
bool gFormLoading2 = false;

QRect FitInside(const QRect& place, const QRect& room) {
  QRect fitted(place.topLeft(), place.size().boundedTo(room.size()));
  fitted.moveLeft(std::clamp(fitted.left(), room.left(), room.left() + room.width() - fitted.width()));
  fitted.moveTop(std::clamp(fitted.top(), room.top(), room.top() + room.height() - fitted.height()));
  return fitted;
}

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

void ChildForm::SetButtonEnabled(const std::string& name, bool on) {
  if (auto* button = findChild<QAbstractButton*>(QString::fromStdString(name))) button->setEnabled(on);
}

void ChildForm::SetBoxText(const std::string& name, const std::string& text) {
  if (auto* box = findChild<QLineEdit*>(QString::fromStdString(name))) box->setText(ToScreen(text));
}

void ChildForm::SetWindowCaption(const std::string& text) {
  setWindowTitle(ToScreen(text));
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

bool ChildForm::IsActiveForm() const {
  const frmMain* main = frmMain::Instance();
  return main && main->ActiveForm() == this;
}

void ChildForm::RefreshMenuWhenActive() {
  if (IsActiveForm()) MenuUpdate();
}

void ChildForm::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  if (!unloading_) Form_Resize();
}

void ChildForm::showEvent(QShowEvent* event) {
  QMdiSubWindow::showEvent(event);
  FitRestored();
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
  // The window the user came from becomes the active one before this one
  // leaves the area, so the area has no choice of its own to make (it
  // would take the windows by the order they were made and their stacking).
  if (!gClosing)
    if (QMdiSubWindow* back = WindowBefore()) mdiArea()->setActiveSubWindow(back);
  QMdiSubWindow::closeEvent(event);
}

QMdiSubWindow* ChildForm::WindowBefore() const {
  QMdiArea* area = mdiArea();
  const frmMain* main = frmMain::Instance();
  if (!area || !main || area != main->MdiArea()) return nullptr;
  // The area keeps the order its windows were active in, least recent
  // first: this window is the last while it is the one active last.
  const QList<QMdiSubWindow*> history = area->subWindowList(QMdiArea::ActivationHistoryOrder);
  if (history.isEmpty() || history.last() != this) return nullptr;
  for (auto it = std::next(history.rbegin()); it != history.rend(); ++it) {
    QMdiSubWindow* window = *it;
    if (window->isHidden() || window->isMinimized()) continue;
    if (const auto* child = dynamic_cast<const ChildForm*>(window); child && child->Unloading()) continue;
    return window;
  }
  return nullptr;
}

void ChildForm::contextMenuEvent(QContextMenuEvent* event) {
  PopupEditMenu();
  event->accept();
}

void ChildForm::JoinMainWindow() {
  if (frmMain* main = frmMain::Instance(); main && !mdiArea()) main->AddChild(this);
}

void ChildForm::FrameRestore(int top, int left, int height, int width, int maxHeight, int maxWidth) {
  if (maxHeight > 0) height = std::min(height, maxHeight);
  if (maxWidth > 0) width = std::min(width, maxWidth);
  SetGeometryTwips(top, left, height, width);
  restored_ = fitted_ = geometry();
  keepInside_ = true;
  FitRestored();
}

void ChildForm::FitRestored() {
  if (!keepInside_ || fitQueued_) return;
  // After the events already waiting: the main window and its area may be
  // about to take their size.
  fitQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    fitQueued_ = false;
    FitNow();
  });
}

void ChildForm::FitNow() {
  QMdiArea* area = mdiArea();
  if (!keepInside_ || !area || !area->isVisible() || WindowStateNo() != 0) return;
  if (geometry() != fitted_) {
    // Moved or resized since: the window stays where it was put.
    keepInside_ = false;
    area->viewport()->removeEventFilter(this);
    return;
  }
  area->viewport()->installEventFilter(this);  // its resizes fit the window again (installed once)
  const QRect place = FitInside(restored_, area->viewport()->rect());
  if (place != geometry()) setGeometry(place);
  fitted_ = geometry();
}

bool ChildForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && keepInside_ && mdiArea() && watched == mdiArea()->viewport()) FitNow();
  return QMdiSubWindow::eventFilter(watched, event);
}

bool ChildForm::FrameResize(int maxHeight, int maxWidth, int16_t* height, int16_t* width, uint8_t* state) {
  if (WindowStateNo() == 0) {
    // Compared in pixels: a size in twips read back from pixels is rounded.
    const int w = geometry().width(), h = geometry().height();
    const int maxW = maxWidth > 0 ? TwipsToPixels(maxWidth) : w;
    const int maxH = maxHeight > 0 ? TwipsToPixels(maxHeight) : h;
    if (w > maxW || h > maxH) {
      const bool fitted = keepInside_ && geometry() == fitted_;
      resize(std::min(w, maxW), std::min(h, maxH));
      if (fitted) {
        // The cut is the frame's own: the restored window is still kept inside.
        restored_.setSize(restored_.size().boundedTo(QSize(maxW, maxH)));
        fitted_ = geometry();
      }
      return false;
    }
  }
  if (height) *height = ClampTwips16(HeightTwips());
  if (width) *width = ClampTwips16(WidthTwips());
  if (state) StateOfWindow(state);
  return true;
}

void ChildForm::StateOfWindow(uint8_t* state) const {
  if (WindowStateNo() == 0) *state = 1;
  if (WindowStateNo() == 1) *state = 2;
}

void ChildForm::FrameUnload(int16_t* top, int16_t* left, uint8_t* state) {
  if (top) *top = ClampTwips16(TopTwips());
  if (left) *left = ClampTwips16(LeftTwips());
  if (state && !gClosing) *state = 0;
}

void ChildForm::FrameUnloadDocument(int16_t* top, int16_t* left, uint8_t* state) {
  FrameUnload(top, left, state);
  if (state && gClosing) StateOfWindow(state);
}

void ChildForm::StopSteps() {
  for (StepTimer* t : findChildren<StepTimer*>()) t->SetEnabled(false);
}

void ChildForm::FrameControls() {
  if (auto* close = findChild<QPushButton*>("CommClose"))
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  if (auto* arr = findChild<QPushButton*>("CommArrPlay")) connect(arr, &QPushButton::clicked, this, [] { TxModeArrPlay(); });
  if (auto* song = findChild<QPushButton*>("CommSongPlay"))
    connect(song, &QPushButton::clicked, this, [] { TxModeSongPlay(); });
  if (auto* list = findChild<QListWidget*>("List1")) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this] { PopupEditMenu(); });
  }
}

namespace {
QListWidget* List1Of(const QObject* form) { return form->findChild<QListWidget*>("List1"); }
QComboBox* Combo1Of(const QObject* form) { return form->findChild<QComboBox*>("Combo1"); }
}  // namespace

int ChildForm::ListIndex() const {
  const QListWidget* list = List1Of(this);
  return list ? list->currentRow() : -1;
}

bool ChildForm::ListSelected(int index) const {
  const QListWidget* list = List1Of(this);
  const QListWidgetItem* item = list ? list->item(index) : nullptr;
  return item && item->isSelected();
}

std::string ChildForm::ListText(int index) const {
  const QListWidget* list = List1Of(this);
  return list ? ListItemText(list, index) : std::string();
}

void ChildForm::SetListText(int index, const std::string& text) {
  if (QListWidget* list = List1Of(this)) ListSetItem(list, index, text);
}

void ChildForm::Combo1Clear() {
  if (QComboBox* combo = Combo1Of(this)) {
    combo->clear();
    ComboSetText(combo, "");
  }
}

void ChildForm::Combo1AddItem(const std::string& text) {
  if (QComboBox* combo = Combo1Of(this)) ComboAddItem(combo, text);
}

int ChildForm::Combo1ListCount() const {
  const QComboBox* combo = Combo1Of(this);
  return combo ? combo->count() : 0;
}

std::string ChildForm::Combo1List(int index) const {
  const QComboBox* combo = Combo1Of(this);
  return combo ? ComboItemText(combo, index) : std::string();
}

void ChildForm::Combo1SetListIndex(int index) {
  if (QComboBox* combo = Combo1Of(this)) combo->setCurrentIndex(index);
}

void ChildForm::Combo1SetText(const std::string& text) {
  if (QComboBox* combo = Combo1Of(this)) ComboSetText(combo, text);
}
