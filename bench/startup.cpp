// Start-up benchmark: the program's normal start (settings read, devices
// settled on the virtual MIDI back end, the main window loaded and shown)
// until the event loop is idle, then quit. Time the whole process from
// outside, beside bench_bare_window.
//
//   bench_startup <windows-folder>
// The folder must hold a settings file of a previous run (a normal start).
#include <QApplication>
#include <QTimer>

#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/winfolder.h"
#include "ui/documents/register.h"
#include "ui/editors/register.h"
#include "ui/main/frmmain.h"
#include "ui/main/qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc > 1) SetWinFolder(argv[1]);
  VirtualMidi::Install(1, 1);
  QtDialogs dialogs;
  SetDialogs(&dialogs);
  RegisterDocumentWindows();
  RegisterEditorWindows();
  frmMain* mainWindow = RunMain();
  int rc = 1;
  if (mainWindow) {
    QTimer::singleShot(0, &app, &QApplication::quit);
    rc = app.exec();
  }
  delete mainWindow;
  midiplatform::Shutdown();
  SetDialogs(nullptr);
  return rc;
}
