// The user-guide window: the guide of the current language in a read-only
// text box.
#pragma once

#include <string>

#include "ui/main/childform.h"

class QPlainTextEdit;
class frmMain;

// The guide text: 32,000 characters, blank-filled, written from position 1.
extern std::string gGuideText;
constexpr int kGuideTextLen = 32000;

class frmGuida : public ChildForm {
  Q_OBJECT
 public:
  frmGuida();
  void Form_Load(frmMain* main);
  // Shows gGuideText again (the guide was read anew).
  void ShowText();
  QPlainTextEdit* Text1() const { return text1_; }

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_Unload() override;

 private:
  QPlainTextEdit* text1_ = nullptr;
  bool loaded_ = false;
};
