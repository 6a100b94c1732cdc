#include "ui/main/frmabout.h"

#include <QLabel>
#include <QVBoxLayout>

#include "services/mainview.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "platform/twips.h"
#include "ui/main/listtext.h"
#include "ui/main/frmmain.h"

namespace {

// The two fixed lines of the window, by language.
const char* Description() {
  return gLangBase == 0 ? "Controlla lo strumento via MIDI in tempo reale e ne gestisce i file sul computer."
                        : "Controls the instrument over MIDI in real time and manages its files on the computer.";
}
const char* Disclaimer() {
  return gLangBase == 0 ? "Questo programma è fornito così com'è, senza alcuna garanzia."
                        : "This program is provided as is, without any warranty.";
}
}  // namespace

// The window's designed size in twips, turned into pixels by the one twips
// rule: the fonts follow the screen's resolution as the twips do, so the
// caption and the four texts stay whole at any resolution and in both
// languages (a text too long for one line wraps).
constexpr int kAboutWidth = 7800;
constexpr int kAboutHeight = 3000;

frmAbout::frmAbout() {
  setObjectName("frmAbout");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  lblTitle_ = new QLabel(body);
  lblTitle_->setObjectName("lblTitle");
  QFont bold = lblTitle_->font();
  bold.setBold(true);
  lblTitle_->setFont(bold);
  lblVersion_ = new QLabel(body);
  lblVersion_->setObjectName("lblVersion");
  lblDescription_ = new QLabel(body);
  lblDescription_->setObjectName("lblDescription");
  lblDisclaimer_ = new QLabel(body);
  lblDisclaimer_->setObjectName("lblDisclaimer");
  for (QLabel* l : {lblTitle_, lblVersion_, lblDescription_, lblDisclaimer_}) {
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(l);
    if (l == lblVersion_) layout->addSpacing(TwipsToPixels(120));
  }
  layout->addStretch(1);
  setWidget(body);
  setFixedSize(TwipsToPixels(kAboutWidth), TwipsToPixels(kAboutHeight));
}

void frmAbout::Form_Load(frmMain* main) {
  gWinPosCur = gWinPosTab[kKindAbout];
  gWinPosCur.State = 1;
  gWinPosTab[kKindAbout] = gWinPosCur;
  main->AddChild(this);
  move(0, 0);
  if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuInfo", false);
  setWindowTitle(ToScreen(Res(30) + "Brenvolta"));
  lblTitle_->setText(ToScreen(Res(32)));
  lblVersion_->setText(ToScreen(Res(31)));
  lblDescription_->setText(ToScreen(Utf8ToLatin1(Description())));
  lblDisclaimer_->setText(ToScreen(Utf8ToLatin1(Disclaimer())));
  winTag_ = Chr(kKindAbout) + Chr(0) + Space(3);
  ++gToolWinCount;
}

void frmAbout::Form_Activate() { MenuUpdate(); }

void frmAbout::Form_Unload() {
  if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuInfo", true);
  --gToolWinCount;
  MenuUpdate();
}
