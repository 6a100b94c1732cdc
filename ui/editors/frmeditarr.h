// frmEditArr, the arrangement editor (window kind 13, one at a time): every
// field of the edit record gArrEditBuf on two tab pages. Each change the
// user makes is written into the record at once and, for the parameters the
// instrument takes one by one, sent as a parameter change; effect on/off,
// mute and solo are only sent. The style and program fields pick a style or
// a program from the style and program windows. Closing asks whether the
// changed arrangement goes back into its file's window.
#pragma once

#include <QPointer>
#include <array>
#include <string>

#include "ui/main/childform.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class TopMaxScrollBar;

// The 48 effect names by effect number (0 "No Effect" ... 47
// "Delay/Rotary"); the effect lists show them from 47 down to 0.
extern const std::array<std::string, 48> EffNameTab;

// Set while EditArrFill shows the record: the change handlers then write
// and send nothing.
extern bool gEditArrFilling;
// The name field is highlighted.
extern bool gEditArrNameSel;
// The mute and solo state of the nine tracks (1 on, 0 off) as last sent to
// the instrument; kept from one opening of the editor to the next.
extern int gTrackMute[9];
extern int gTrackSolo[9];
// The normal back and text colours of the fields (RGB), saved at load.
extern unsigned gEditArrBackCol;
extern unsigned gEditArrForeCol;

class frmEditArr : public ChildForm {
  Q_OBJECT
 public:
  frmEditArr();

  // Builds the window from the position record of kind 13 and the edit
  // record.
  void Form_Load();

  // Shows every field of the edit record; writes and sends nothing.
  void EditArrFill();
  // The note name of a split point (36-96) in Label1(3): "C4", "C4#".
  void EditArrKeyShow(int note);
  // The style of line n of a style window (tag its WinTag) into the record:
  // 1 when taken, 0 when not.
  int EditArrStySet(int n, const std::string& tag);
  // Highlights field n of Text1 (0-18), or removes the lowest highlight and
  // every pick.
  void EditArrFieldSelect(int n);
  void EditArrFieldDeselect();
  // Shows text in Text1(field) (up to its first NUL).
  void SetFieldText(int field, const std::string& text);

  // The change handlers, by control index.
  void Text1_Click(int i);
  void Text1_KeyUp(int i);
  void Combo1_Click(int i);
  void Combo2_Click(int i);
  void Combo1_Change(int i);
  void Combo2_Change(int i);
  void HScroll1_Change(int i);
  void VScroll1_Change(int i);
  void EffCombo_Click(int e);
  void EffComm_Click(int e);
  void Check1_Click(int i);
  void CommM_Click(int t);
  void CommS_Click(int t);

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildGeneralTab(QWidget* page);
  void BuildTrackFrame(int t, QWidget* page, const char* name, const char* caption, int left, int top);
  void ConnectControls();
  QComboBox* MakeCombo(QWidget* parent, const QString& name, std::initializer_list<const char*> items);
  QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text);
  // Sets a control from code: its change handler does nothing meanwhile.
  void SetComboIndex(QComboBox* combo, int index);
  void SetCaption(const std::string& caption);
  void SetFieldColours(int n, bool highlighted);
  void SetButtonColour(QPushButton* button, unsigned rgb);
  // Sends (id, value) as a parameter change with EditNeg.
  void Send(int id, int value);
  // The style label, "Style (U11)", "Style (B88)", from record offsets 17-18.
  void ShowStyleLabel();

  QTabWidget* SSTab1 = nullptr;
  std::array<QGroupBox*, 13> frames_{};
  std::array<QLineEdit*, 20> Text1{};
  QLabel* Label_1 = nullptr;  // the style field's label
  std::array<QLabel*, 5> Label1{};
  std::array<QLabel*, 19> Label2{};
  std::array<TopMaxScrollBar*, 19> VScroll1{};
  std::array<QScrollBar*, 2> HScroll1{};
  std::array<QComboBox*, 10> Combo1{};
  std::array<QComboBox*, 54> Combo2{};
  std::array<QCheckBox*, 10> Check1{};
  std::array<QComboBox*, 2> EffCombo{};
  std::array<QLabel*, 2> EffLab1{};
  std::array<QPushButton*, 2> EffComm{};
  std::array<QPushButton*, 9> CommM{};
  std::array<QPushButton*, 9> CommS{};

  // The record position last written by a list or a horizontal slider, and
  // the negative flag of the next send.
  int EditPos = 0;
  int EditNeg = 0;
  // Set while a control is set from code outside the fill.
  bool settingFromCode_ = false;
  bool loaded_ = false;
  std::string caption_;
  // The record the user chose not to store while the program was closing:
  // the same record is not asked about twice in one exit.
  std::string declined_;
};

// The editor while it exists (it deletes itself when closed).
extern QPointer<frmEditArr> gEditArrForm;

// Opens the editor on the edit record, or activates the open one.
void EditArrWinShow();

// Installs the editor's side of the picks and of the refill (app/editorpick.h).
void RegisterArrEditor();

// Deletes an editor still open and puts the module's state back (tests).
void FrmEditArrReset();
