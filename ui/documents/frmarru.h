// frmArrU, the window of an opened arrangement bank file (.arr, kind 19):
// the 64 arrangements of the file, its database ID, the style and program
// kind of the selected arrangement, and the companion files of the same
// folder and name (name.sty, name.prg or name.pgg), all kept in its WinTag.
// A click calls an arrangement up; the Load buttons send the bank, the
// styles and the programs, alone or in a chain, and an open by ID sends
// exactly what the instrument lacks before the call-up. Every transfer is a
// two-phase step on a StepTimer whose interval is the step's state.
#pragma once

#include <QPointer>
#include <string>

#include "ui/main/childform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMdiSubWindow;
class QListWidget;
class QPushButton;
class StepTimer;
class frmArrU;

// The window instances by slot (1-8; element 0 unused). A slot's window is
// created on first use and forgotten when it unloads.
extern QPointer<frmArrU> gArrUForms[9];

// State of the transfer chains, shared by the arrangement-file windows:
// True while Load All runs its style step.
extern bool gLoadAllStyStep;
// The next style bank of the running style transfer, and how many it sends.
extern int gStyBankIdx;
extern int gArrUStyBankCnt;
// The file name of the window running the find-by-ID chain, and the style
// file name the info file gave at its start.
extern std::string gFindIdFileName;
extern std::string gSentStyName;
// The arrangement to select uses a style of the file's own group / a
// program of the companion program file (set by the load).
extern bool gSelArrUserSty;
extern bool gSelArrUserPrg;
// The companion program file the load looked for.
extern std::string gArrPrgPath;

// Registers the opener (Openers().arrFile) and the slot lookup of the edit
// record (SetArrFileWindowLookup).
void RegisterArrFileWindow();

void FrmArrUReset();

class frmArrU : public ChildForm {
  Q_OBJECT
 public:
  frmArrU();
  ~frmArrU() override;

  // The load handler: builds the window of slot gArrSlotIdx from
  // gArrFileBuf, gArrFileDir, gArrFileName and gOpenReadOnly.
  void Form_Load();

  // The call-up of the selected line (also raised by selecting a line from
  // code, and re-entered by TimerList1 and the find-by-ID chain).
  void List1_Click();
  // The transfers: the bank, the styles (one bank of four per step), the
  // programs, and all three in a chain.
  void CommLoadArr_Click();
  void CommLoadSty_Click();
  void CommLoadPrg_Click();
  void CommLoadAll_Click();
  // The find-by-ID chain, after a window was opened to select
  // gArrSelectIdx.
  void TimerFindID_Timer();
  // + r40DBArr: the file into the arrangement database, a two-phase step on
  // Timer(4).
  void CommAdd_Click();
  // Show Styles: the file's own style group in a style-file window (also
  // the reopening of that window after a Cut or a Paste changed the group).
  void CommShowSty_Click();
  // Show Prog: the companion program file in a program-file window.
  void CommShowPrg_Click();
  // Edit: the arrangement editor on the selected arrangement.
  void CommEdit_Click();
  // A double click on a line holding an arrangement is Edit.
  void List1_DblClick();

  // Selects one line, as a click on it does.
  void SelectLine(int index);
  // The slot (1-8) from the document.
  int Slot() const;
  // Shows the file's database ID in the ID box (an add to the database).
  void ShowDbId(int id);

  // ChildView
  // The rule of the Edit command on activation and after a Cut.
  void UpdateEditCommand() override;

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void LayoutControls();
  void ConnectControls();
  QPushButton* MakeButton(const char* name, const std::string& caption);
  // A step timer; a null handler for a timer whose command comes later.
  StepTimer* MakeTimer(const char* name, void (frmArrU::*handler)(), bool zeroOnFire = false);
  void SetCommand(QPushButton* button, const char* menuItem, bool on);
  void ShowText(QLineEdit* box, const std::string& bytes);
  // The file name without folder and extension.
  std::string FileName() const;
  // The arrangement editor's prompt before the bank or another arrangement
  // goes into the editor: store the changed record on Yes.
  void AskStoreEditedArr();
  // The commands that follow the companion files and the database option.
  void SetStyleCommands(bool on);
  void SetProgramCommands(bool on);
  void UpdateAddCommand();
  // Activates a child window of the main window.
  static void Activate(QMdiSubWindow* window);
  // The end of the style step: the status, the info file (when every bank
  // was handed over), the call-up of the selected line when sent is set,
  // and the steps waiting on it.
  void EndStyleStep(bool sent);
  void List1_KeyDown(int key);
  // The end of a transfer moves this window's find-by-ID chain on to the
  // phase of code; it never starts a chain the window is not running.
  void ResumeFindChain(int code);

  QListWidget* List1 = nullptr;
  QLabel* Label1[3] = {};
  QLineEdit* Text1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QComboBox* Combo1 = nullptr;
  QPushButton* CommLoadArr = nullptr;
  QPushButton* CommLoadSty = nullptr;
  QPushButton* CommLoadPrg = nullptr;
  QPushButton* CommLoadAll = nullptr;
  QPushButton* CommShowSty = nullptr;
  QPushButton* CommShowPrg = nullptr;
  QPushButton* CommEdit = nullptr;
  QPushButton* CommAdd = nullptr;
  QPushButton* CommArrPlay = nullptr;
  QPushButton* CommSongPlay = nullptr;
  QPushButton* CommClose = nullptr;

  StepTimer* TimerLoadArr = nullptr;
  StepTimer* TimerLoadSty = nullptr;
  StepTimer* TimerTxSty[2] = {};
  StepTimer* TimerLoadPrg = nullptr;
  StepTimer* TimerLoadAll = nullptr;
  StepTimer* TimerList1 = nullptr;
  StepTimer* TimerFindID = nullptr;
  StepTimer* TimerEditArr = nullptr;
  StepTimer* TimerShowSty = nullptr;
  StepTimer* TimerShowPrg = nullptr;
  StepTimer* Timer4 = nullptr;  // Timer(4)

  bool loading_ = false;
  bool loaded_ = false;
  // The find-by-ID chain of this window runs (from the load to its end).
  bool findChain_ = false;
  // The selection of List1 changed since the last mouse press on it or the
  // last selection from code (the click is then already handled).
  bool selectionChanged_ = false;
  // gTxFailCount when the style step began.
  unsigned styFails_ = 0;
};
