// The first-start language dialog: Italian or English. Closing it without a
// choice (close box or Esc) cancels the start.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

class frmLingua : public QDialog {
  Q_OBJECT
 public:
  frmLingua();

  // Shows the dialog modally; answers 1 Italian, 2 English, 0 cancelled.
  static int RunModal();

  QRadioButton* Option1(int index) const { return option1_[index]; }
  QPushButton* CommOK() const { return commOK_; }
  int OKPressed() const { return okPressed_; }

  void Form_Load();
  void Option1_Click(int index);
  void CommOK_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Esc: the same as the close box

 private:
  void Form_QueryUnload();

  QLabel* label1_ = nullptr;
  QRadioButton* option1_[2] = {};
  QPushButton* commOK_ = nullptr;
  int okPressed_ = 0;
};
