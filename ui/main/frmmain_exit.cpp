// The exit: the main window's query step, every child's close query, every
// child's unload, then the main window's unload (device sharing and the
// settings write).
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/settings.h"
#include "app/slots.h"
#include "app/startup.h"
#include "app/winpos.h"
#include "platform/exitsignals.h"
#include "platform/twips.h"
#include "ui/main/childform.h"
#include "ui/main/frmmain.h"
#include "ui/main/openers.h"

namespace {
// The open flags the query step cleared, so that a cancelled exit can put
// them back.
uint8_t sPrgOpen[9];
uint8_t sArrOpen[9];
}  // namespace

void frmMain::QueryUnloadStep() {
  gClosing = true;
  if (Openers().closeDatabaseWindows) Openers().closeDatabaseWindows();
  // Only the slots whose window is open now: the records of windows that an
  // earlier, refused exit closed keep their flag and reopen at next start.
  for (int i = 1; i <= 8; ++i) {
    sPrgOpen[i] = gPrgSlots[i].Open;
    sArrOpen[i] = gArrSlots[i].Open;
    if (gPrgSlotUsed[i] == 1) gPrgSlots[i].Open = 0;
    if (gArrSlotUsed[i] == 1) gArrSlots[i].Open = 0;
  }
}

void frmMain::UndoQueryUnload() {
  gClosing = false;
  for (int i = 1; i <= 8; ++i) {
    if (gPrgSlotUsed[i] == 1) gPrgSlots[i].Open = sPrgOpen[i];
    if (gArrSlotUsed[i] == 1) gArrSlots[i].Open = sArrOpen[i];
  }
  // The find-by-ID and database windows were closed by the query step.
  gWinPosTab[kKindFindId].State = 0;
  gWinPosTab[kKindEditDBArr].State = 0;
  MenuUpdate();
}

void frmMain::closeEvent(QCloseEvent* event) {
  exitRefused_ = false;
  QueryUnloadStep();
  const QList<QMdiSubWindow*> children = mdi_->subWindowList();
  for (QMdiSubWindow* w : children) {
    auto* child = dynamic_cast<ChildForm*>(w);
    if (child && !child->QueryUnload()) {
      UndoQueryUnload();
      exitRefused_ = true;
      event->ignore();
      return;
    }
  }
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    if (auto* child = dynamic_cast<ChildForm*>(w)) child->UnloadNow();
  }
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  UnloadStep(event);
}

void frmMain::ExitOnSignals() {
  watchesSignals_ = true;
  WatchExitSignals([this] { ExitRequested(); });
}

void frmMain::ExitRequested() {
  // A modal box (a save prompt, a message) holds its own event loop: the
  // exit would run inside it. It waits until the box is answered.
  if (QApplication::activeModalWidget()) {
    if (exitWaiting_) return;
    exitWaiting_ = true;
    QTimer::singleShot(200, this, [this] {
      exitWaiting_ = false;
      ExitRequested();
    });
    return;
  }
  mnuExit_Click();
}

void frmMain::UnloadStep(QCloseEvent* event) {
  const int sharing = ExitDeviceSharing();
  if (sharing == kExitRefused) {
    exitRefused_ = true;
    gClosing = false;
    MenuUpdate();
    event->ignore();
    return;
  }
  if (sharing == kExitGoOn) {
    MainWindowState state;
    state.state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    const QRect frame = frameGeometry();
    state.top = PixelsToTwips(frame.top());
    state.left = PixelsToTwips(frame.left());
    state.height = PixelsToTwips(frame.height());
    state.width = PixelsToTwips(frame.width());
    state.loadArrChecked = MenuChecked("mnuCaricaArr");
    state.statusBarChecked = MenuChecked("mnuVisBarraStato");
    SettingsWrite(state);
  }
  event->accept();
}
