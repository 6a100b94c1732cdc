// The About window: the program's title, description and version line in
// the chosen language.
#pragma once

#include "ui/main/childform.h"

class QLabel;
class frmMain;

class frmAbout : public ChildForm {
  Q_OBJECT
 public:
  frmAbout();
  void Form_Load(frmMain* main);

 protected:
  void Form_Activate() override;
  void Form_Unload() override;

 private:
  QLabel* lblTitle_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* lblDescription_ = nullptr;
  QLabel* lblDisclaimer_ = nullptr;
};
