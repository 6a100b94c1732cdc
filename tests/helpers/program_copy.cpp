// A running copy of the program for the tests that need a second process
// (the exit on a signal, the one-copy lock): the real main window started as
// the program starts it, on scripted dialogs and the virtual MIDI back end,
// with the Windows folder and the program folder given as its arguments.
//
//   brv_program_copy WINFOLDER PROGFOLDER [--refuse-first-close]
//
// It prints "ready" once its event loop runs, then, when it ends, one line
// "box TITLE | TEXT" for each message box shown. With --refuse-first-close
// a document window refuses the first close query, as a Cancel in its save
// prompt does. Exit status: 0 after the exit ran, 3 when the start ended.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "app/winpos.h"
#include "platform/dialogs.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/winfolder.h"
#include "tests/fixtures/testchild.h"
#include "ui/documents/register.h"
#include "ui/editors/register.h"
#include "ui/main/frmmain.h"

namespace {

// A document window whose first close query answers Cancel.
class CancelOnce : public TestChild {
 public:
  CancelOnce(frmMain* main) : TestChild(main, kKindArrFile, 1) {}

 protected:
  void Form_QueryUnload(bool& cancel) override { cancel = ++queries == 1; }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) return 2;
  SetWinFolder(argv[1]);
  QDir::setCurrent(QFile::decodeName(argv[2]));
  ScriptedDialogs dialogs;
  SetDialogs(&dialogs);
  VirtualMidi::Install(1, 1);
  RegisterDocumentWindows();
  RegisterEditorWindows();

  frmMain* window = RunMain();
  int rc = 3;
  if (window) {
    if (argc > 3 && std::strcmp(argv[3], "--refuse-first-close") == 0) new CancelOnce(window);
    window->ExitOnSignals();
    QTimer::singleShot(0, [] {
      std::printf("ready\n");
      std::fflush(stdout);
    });
    app.exec();
    rc = 0;
  }
  for (const ScriptedDialogs::Box& b : dialogs.boxes)
    std::printf("box %s | %s\n", b.title.c_str(), b.text.c_str());
  std::fflush(stdout);
  delete window;
  midiplatform::Shutdown();
  SetDialogs(nullptr);
  return rc;
}
