// frmEditDBArr, the database editor (kind 12, one window): the arrangement
// database as a list of IDs and file names, in two columns. Delete removes
// the selected entry; Add All enters every arrangement file of the database
// folder; Open shows bank window A or B (IDs 1 and 2) or opens the entry's
// file in an arrangement-file window; the Open and Delete buttons go off
// whenever no line is selected. Add All and Open are two-phase steps on
// Timer(0) and Timer(2) (10 idle; the firing sets 0); the main window's
// Edit > Delete, Open and Add All start TimerCancella, TimerApri and
// TimerAddAll. While it is open, DBArrBuf holds the database it lists: list
// line j (from 2) is database record j + 1.
#pragma once

#include <QPointer>
#include <QString>
#include <string>
#include <vector>

#include "ui/main/childform.h"

class QFontMetrics;
class QLabel;
class QListWidget;
class QPushButton;
class StepTimer;

class frmEditDBArr : public ChildForm {
  Q_OBJECT
 public:
  frmEditDBArr();

  // Builds the window from DBArrBuf, which the opener has just read.
  void Form_Load();

  void CommDelete_Click();
  void CommAddAll_Click();
  void CommApri_Click();
  void List1_DblClick();
  void List1_Click();

  // Fills List1 with lines and Label3 with count, with no line selected.
  void ShowList(const std::vector<std::string>& lines, const std::string& count);

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_Unload() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayoutControls();
  // The selected line, -1 for none.
  int SelectedLine() const;
  // Open and Delete (and the menu) follow the selected line, however the
  // selection changed.
  void SelectionChanged();
  void OpenBank(int kind);

  QListWidget* List1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QPushButton* CommDelete = nullptr;
  QPushButton* CommApri = nullptr;
  QPushButton* CommAddAll = nullptr;
  QPushButton* CommClose = nullptr;
  StepTimer* Timer[3] = {};
  StepTimer* TimerAddAll = nullptr;
  StepTimer* TimerApri = nullptr;
  StepTimer* TimerCancella = nullptr;
  bool loaded_ = false;
};

// The open database editor, or null. The window deletes itself when it
// closes, which empties the pointer.
extern QPointer<frmEditDBArr> gEditDBArrForm;

// The opener of View > r40DBArr: an open editor is shown and activated;
// otherwise the database is checked (DBArrCheck: its message, and no window,
// when it is missing, empty, damaged or unreadable) and the editor loaded.
void EditDBArrWinShow();

// The database folder as Label4 shows it: whole when it is at most 3900
// twips wide in the label's font, otherwise its first three characters,
// "..." and as much of its end as fits in the rest of 3800 twips, less one
// character.
QString DBArrFolderText(const QString& folder, const QFontMetrics& metrics);

// Deletes an editor that outlived its main window.
void FrmEditDBArrReset();
