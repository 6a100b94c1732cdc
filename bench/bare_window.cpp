// The yardstick of the start-up benchmark: a bare main window with an MDI
// area, menus and a status bar that shows and quits when idle.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setCentralWidget(new QMdiArea(&window));
  for (const char* title : {"&File", "&Edit", "&View", "&Preferences", "&Window", "&?"}) {
    QMenu* menu = window.menuBar()->addMenu(title);
    for (int i = 0; i < 10; ++i) menu->addAction(QString("Item %1").arg(i));
  }
  for (int i = 0; i < 6; ++i) window.statusBar()->addWidget(new QLabel(QString("Label %1").arg(i)));
  window.show();
  QTimer::singleShot(0, &app, &QApplication::quit);
  return app.exec();
}
