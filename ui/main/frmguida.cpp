#include "ui/main/frmguida.h"

#include <QFont>
#include <QPlainTextEdit>

#include "app/appstate.h"
#include "services/mainview.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "ui/main/listtext.h"
#include "platform/twips.h"
#include "ui/main/frmmain.h"

std::string gGuideText(kGuideTextLen, ' ');

namespace {
constexpr int kMinHeight = 1500;  // a small main window still gives a usable box
}

frmGuida::frmGuida() {
  setObjectName("frmGuida");
  text1_ = new QPlainTextEdit(this);
  text1_->setObjectName("Text1");
  text1_->setReadOnly(true);
  text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text1_->setFont(QFont("Courier New", 10));
  text1_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(text1_, &QWidget::customContextMenuRequested, this, [this] { PopupEditMenu(); });
  setWidget(text1_);
}

void frmGuida::Form_Load(frmMain* main) {
  gWinPosCur = gWinPosTab[kKindGuide];
  gWinPosCur.State = 1;
  gWinPosTab[kKindGuide] = gWinPosCur;
  main->AddChild(this);
  const bool large = gTwipsPerPixel == 12;
  int height = main->HeightTwips() - main->Picture1HeightTwips() - (large ? 700 : 750);
  if (height < kMinHeight) height = kMinHeight;
  SetGeometryTwips(0, 0, height, large ? 8800 : 9600);
  setWindowTitle(ToScreen(kAppTitle + " - " + Res(47)));
  ShowText();
  winTag_ = Chr(kKindGuide) + Chr(0);
  ++gToolWinCount;
  loaded_ = true;
}

void frmGuida::ShowText() {
  QString shown = QString::fromLatin1(gGuideText.data(), static_cast<int>(gGuideText.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text1_->setPlainText(shown);
}

void frmGuida::Form_Activate() { MenuUpdate(); }

void frmGuida::Form_Resize() {
  if (!loaded_) return;
  gWinPosCur = gWinPosTab[kKindGuide];
  if (WindowStateNo() == 0) gWinPosCur.State = 1;
  if (WindowStateNo() == 1) gWinPosCur.State = 2;
  gWinPosTab[kKindGuide] = gWinPosCur;
}

void frmGuida::Form_Unload() {
  gWinPosCur = gWinPosTab[kKindGuide];
  if (!gClosing) {
    gWinPosCur.State = 0;
  } else if (WindowStateNo() == 0) {
    gWinPosCur.State = 1;
  } else if (WindowStateNo() == 1) {
    gWinPosCur.State = 2;
  }
  gWinPosTab[kKindGuide] = gWinPosCur;
  if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuGuida", true);
  --gToolWinCount;
  MenuUpdate();
}
