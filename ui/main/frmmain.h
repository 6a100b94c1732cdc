// The main window: an MDI parent with the menus, the status bar Picture1
// and its six labels. It is the program's MainView: the libraries reach its
// labels and menu items by name through that interface.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <string>

#include "services/mainview.h"
#include "ui/main/frmabout.h"
#include "ui/main/frmguida.h"
#include "ui/main/frmmsgex.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class ChildForm;

class frmMain : public QMainWindow, public MainView {
  Q_OBJECT
 public:
  frmMain();
  ~frmMain() override;

  // The one main window, or nullptr.
  static frmMain* Instance();

  // The load handler: runs once when Main shows the window.
  void MDIForm_Load();

  QMdiArea* MdiArea() const { return mdi_; }
  QMenu* EditMenu() const { return editMenu_; }
  QAction* Item(const std::string& name) const;
  QLabel* Label(const std::string& name) const;
  QTimer* TimerAuto(int index) const;
  QTimer* TimerArrU(int index) const;
  QTimer* Timer0() const { return timer0_; }
  // The current child window (the one commands act on), or nullptr.
  ChildForm* ActiveForm() const;
  // Adds a child window to the MDI area.
  QMdiSubWindow* AddChild(ChildForm* child);
  // Outer geometry in twips.
  int HeightTwips() const;
  int WidthTwips() const;
  int Picture1HeightTwips() const;
  frmMsgEx* MsgEx() const { return msgEx_; }
  frmGuida* Guida() const { return guida_; }
  frmAbout* About() const { return about_; }

  // Restore counters of the start-up.
  int RestoreTimersArmed() const { return restoreArmed_; }
  int RestoreTimersRun() const { return restoreRun_; }

  // File menu.
  void mnuNuovoArr_Click();
  void mnuNuovoSty_Click();
  void mnuNuovoPrg_Click();
  void mnuApriArr_Click();
  void mnuApriSty_Click();
  void mnuApriPrg_Click();
  void mnuApriGbl_Click();
  void mnuRecentFile_Click(int index);
  void mnuChiudi_Click();
  void mnuSalva_Click();
  void mnuSalvaAs_Click();
  void mnuExit_Click();
  // Edit menu.
  void mnuIngrandisci_Click();
  // Copy, Cut and Paste on the program's own clipboard. Cut is also the
  // Delete key of the arrangement-file and program-file windows.
  void mnuCopia_Click();
  void mnuTaglia_Click();
  void mnuIncolla_Click();
  void Relay(const std::string& timerName);
  void mnuLoadSty_Click();
  void mnui40DBArr_Click();
  void mnuArrPlay_Click();
  void mnuSongPlay_Click();
  void mnuWFindID_Click();
  void mnuAggArr_Click();
  void Timer_Timer();
  // View menu.
  void mnuArrA_Click();
  void mnuArrB_Click();
  void mnuStyA_Click();
  void mnuStyB_Click();
  void mnuWProg_Click(int kind);
  void mnuDrum_Click();
  void mnuPerc_Click();
  void mnuGlobalParam_Click();
  void mnuMsgEx_Click();
  void mnuWEditDBArr_Click();
  void mnuTastiera_Click();
  // Preferences.
  void Toggle_Click(const std::string& item);
  void mnuMIDIThru_Click();
  void mnuLanguage_Click(int language);
  // Window and Help.
  void mnuWCascade_Click();
  void mnuGuida_Click();
  void mnuInfo_Click();

  // MainView
  void SetLabelCaption(const std::string& label, const std::string& text) override;
  std::string LabelCaption(const std::string& label) const override;
  void SetBusyCursor(bool hourglass) override;
  bool MenuEnabled(const std::string& item) const override;
  void SetMenuEnabled(const std::string& item, bool on) override;
  bool MenuChecked(const std::string& item) const override;
  void SetMenuChecked(const std::string& item, bool on) override;
  bool MenuVisible(const std::string& item) const override;
  void SetMenuVisible(const std::string& item, bool on) override;
  std::string MenuCaption(const std::string& item) const override;
  void SetMenuCaption(const std::string& item, const std::string& text) override;
  ChildView* ActiveChild() const override;
  ChildView* ChildOfKind(int kind, int slot) const override;

  // Closes the arrangement editor as its owner's close does: its own prompt
  // may store the edited arrangement back, or cancel. False when the user
  // cancelled (gArrSavedBack) and the editor stays open; otherwise no
  // arrangement is linked to the editor any more.
  bool CloseArrEditor();

  // True when the last close of the window was refused or cancelled.
  bool ExitRefused() const { return exitRefused_; }

  // From now on SIGTERM and SIGHUP run the exit as File > Exit does (a
  // Cancel in a save prompt keeps the program open), once no modal box is
  // waiting for an answer.
  void ExitOnSignals();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void BuildTimers();
  void ConnectCommands();
  void LayoutStatusBar();
  void ApplyCaptions();
  void RestoreProgramWindows();
  // The stored size of the main window is its outer size, frame included,
  // as the exit stores it: the inside is made smaller by the frame, which
  // the platform tells once the window is on the screen; until then the
  // size waits in pendingOuter_.
  void RestoreOuterSize(const QSize& outer);
  void FitOuterSize();
  void TimerAuto_Timer(int index);
  void TimerArrU_Timer(int index);
  // The exit's query step; undone when a child cancels.
  void QueryUnloadStep();
  void UndoQueryUnload();
  void UnloadStep(QCloseEvent* event);
  void ExitRequested();
  // Full-table check of an Open or New command.
  void FullTableCheck(const char* item, const int* used);
  void OpenCommonMessages(int result);

  QMdiArea* mdi_ = nullptr;
  QWidget* picture1_ = nullptr;
  QMenu* editMenu_ = nullptr;
  std::map<std::string, QAction*> items_;
  std::map<std::string, QLabel*> labels_;
  std::map<std::string, std::string> labelText_;
  std::map<std::string, std::string> itemCaption_;
  std::map<int, QTimer*> timerAuto_;
  std::map<int, QTimer*> timerArrU_;
  QTimer* timer0_ = nullptr;
  int restoreArmed_ = 0;
  int restoreRun_ = 0;
  int dbArrCheck_ = 1;
  bool busy_ = false;
  bool exitRefused_ = false;
  QSize pendingOuter_;
  bool watchesSignals_ = false;
  bool exitWaiting_ = false;  // a signal's exit waits for a modal box
  QPointer<frmMsgEx> msgEx_;
  QPointer<frmGuida> guida_;
  QPointer<frmAbout> about_;
};

// Runs Main with the main window as the window it shows (created, loaded
// and shown inside Main). Returns that window when it was shown, nullptr
// when the program is to end.
frmMain* RunMain();
