// The program's entry: the toolkit, the real dialogs, then Main.
#include <QApplication>

#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/midi/winmm.h"
#include "ui/documents/register.h"
#include "ui/editors/register.h"
#include "ui/main/frmlingua.h"
#include "ui/main/frmmain.h"
#include "ui/main/nodisplay.h"
#include "ui/main/qt_dialogs.h"

int main(int argc, char** argv) {
  // The toolkit's messages wait while its platform starts: a start that
  // fails says so in one line of the program's own and ends with status 1.
  PlatformStartGuard platformStart(argc, argv);
  QApplication app(argc, argv);
  platformStart.Release();
  app.setApplicationName("Brenvolta");
  QtDialogs dialogs;
  QtDialogs::SetLanguageDialog(&frmLingua::RunModal);
  SetDialogs(&dialogs);
  RegisterDocumentWindows();
  RegisterEditorWindows();

  frmMain* mainWindow = RunMain();
  int rc = gStartStatus;  // a start that showed no window
  if (mainWindow) {
    mainWindow->ExitOnSignals();
    rc = app.exec();
  }
  delete mainWindow;
  midiplatform::Shutdown();
  SetDialogs(nullptr);
  return rc;
}
