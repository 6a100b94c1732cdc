#include "ui/main/frmlingua.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/appstate.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "ui/main/listtext.h"
#include "ui/main/qt_dialogs.h"

frmLingua::frmLingua() {
  setObjectName("frmLingua");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  label1_ = new QLabel("Scegliere una lingua / Choose a language", this);
  label1_->setObjectName("Label1");
  layout->addWidget(label1_);
  const char* captions[2] = {"Italiano", "English"};
  for (int i = 0; i < 2; ++i) {
    option1_[i] = new QRadioButton(captions[i], this);
    option1_[i]->setObjectName(QString("Option1_%1").arg(i));
    option1_[i]->setFont(QFont("Arial"));
    layout->addWidget(option1_[i]);
    connect(option1_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) Option1_Click(i);
    });
  }
  commOK_ = new QPushButton("&OK", this);
  commOK_->setObjectName("CommOK");
  commOK_->setDefault(true);
  commOK_->setAutoDefault(true);
  layout->addWidget(commOK_);
  connect(commOK_, &QPushButton::clicked, this, &frmLingua::CommOK_Click);
  Form_Load();
  // The window is as wide as its title at least, so that the program's
  // name shows whole in the title bar.
  setMinimumWidth(TitleBarWidth(windowTitle(), this));
}

void frmLingua::Form_Load() {
  okPressed_ = 0;
  gStartCancelled = false;
  setWindowTitle(ToScreen(kAppTitle));
}

void frmLingua::Option1_Click(int index) {
  if (index == 0) gLangSel = 1;
  if (index == 1) gLangSel = 2;
}

void frmLingua::CommOK_Click() {
  if (gLangSel == 0) return;  // no choice yet: OK does nothing
  okPressed_ = 1;
  accept();
}

void frmLingua::Form_QueryUnload() {
  if (okPressed_ == 0) gStartCancelled = true;
}

void frmLingua::closeEvent(QCloseEvent* event) {
  Form_QueryUnload();
  QDialog::closeEvent(event);
}

void frmLingua::reject() {
  Form_QueryUnload();
  QDialog::reject();
}

int frmLingua::RunModal() {
  frmLingua dialog;
  dialog.exec();
  if (gStartCancelled || dialog.OKPressed() == 0) return 0;
  return gLangSel;
}
