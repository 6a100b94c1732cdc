// A running copy of the program for the tests that need a second process
// (the exit on a signal, the one-copy lock): the real main window started as
// the program starts it, on scripted dialogs and the virtual MIDI back end,
// with the Windows folder and the program folder given as its arguments.
//
//   brv_program_copy WINFOLDER PROGFOLDER [--refuse-first-close | --report-windows]
//
// It prints "ready" once its event loop runs, then, when it ends, one line
// "box TITLE | TEXT" for each message box shown. With --refuse-first-close
// a document window refuses the first close query, as a Cancel in its save
// prompt does. With --report-windows "ready" waits until the windows of the
// last run are restored, and comes after the geometry in pixels of the
// screen ("screen W H", its available part), of the main window's frame
// ("main X Y W H"), of its MDI area ("area W H") and of each child window
// ("window KIND X Y W H"). Exit status: 0 after the exit ran, 3 when the
// start ended.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

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

// True once the restore timers of the start have all run.
bool Restored(const frmMain* window) {
  if (window->RestoreTimersRun() != window->RestoreTimersArmed() || window->TimerArrU(1)->isActive())
    return false;
  for (int i = 2; i <= 11; ++i)
    if (window->TimerAuto(i)->isActive()) return false;
  return true;
}

void ReportWindows(const frmMain* window) {
  const QRect screen = window->screen()->availableGeometry();
  std::printf("screen %d %d\n", screen.width(), screen.height());
  const QRect frame = window->frameGeometry();
  std::printf("main %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
  const QSize area = window->MdiArea()->viewport()->size();
  std::printf("area %d %d\n", area.width(), area.height());
  for (QMdiSubWindow* w : window->MdiArea()->subWindowList())
    if (auto* child = dynamic_cast<ChildForm*>(w))
      std::printf("window %d %d %d %d %d\n", child->Kind(), w->x(), w->y(), w->width(), w->height());
}

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
    const std::string option = argc > 3 ? argv[3] : "";
    if (option == "--refuse-first-close") new CancelOnce(window);
    window->ExitOnSignals();
    // Restored twice in a row: the windows' own fits have run too.
    auto* poll = new QTimer(window);
    auto settled = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [=] {
      if (option == "--report-windows") {
        *settled = Restored(window) ? *settled + 1 : 0;
        if (*settled < 2) return;
        ReportWindows(window);
      }
      poll->stop();
      std::printf("ready\n");
      std::fflush(stdout);
    });
    poll->start(option == "--report-windows" ? 20 : 0);
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
