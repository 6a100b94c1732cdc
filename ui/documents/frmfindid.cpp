#include "ui/documents/frmfindid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "app/menuupdate.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/strings.h"
#include "ui/documents/dbarropen.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarru.h"
#include "ui/main/showform.h"
#include "ui/main/twipslayout.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/openers.h"
#include "ui/main/steptimer.h"

int gFindIdSet = 0;
QPointer<frmFindID> gFindIdForm;

namespace {

// The window keeps its designed size; only its place is restored.
constexpr int kHeight = 1200, kWidth = 3900;
constexpr TwipsRect kText1 = {600, 180, 1200, 345};
constexpr TwipsRect kCommOK = {2160, 150, 1200, 405};
constexpr int kIdLen = 5;

bool DigitOneToEight(char c) { return c >= '1' && c <= '8'; }

// Closes the arrangement-file window open on path (found as an open file
// is, by its slot in use); false when there is one and its close was
// cancelled (its save prompt, a failed save, the editor's store-back).
bool CloseArrWindowOf(const std::string& path) {
  const int slot = ArrWinFind(path);
  if (slot == 0) return true;
  if (frmArrU* form = gArrUForms[slot]; form && !form->Unloading()) form->close();
  return gArrSlotUsed[slot] == 0;
}

}  // namespace

bool ArrIdValid(const std::string& id) {
  const int n = static_cast<int>(id.size());
  if (n < 3 || n > kIdLen) return false;
  for (char c : id)
    if (c < '0' || c > '9') return false;
  return DigitOneToEight(id[n - 2]) && DigitOneToEight(id[n - 1]);
}

frmFindID::frmFindID() {
  setObjectName("frmFindID");
  auto* body = new QWidget(this);
  setWidget(body);
  Text1 = new QLineEdit(body);
  Text1->setObjectName("Text1");
  Text1->setMaxLength(kIdLen);
  Label1 = new QLabel(QStringLiteral("ID"), body);
  Label1->setObjectName("Label1");
  CommOK = new QPushButton(QStringLiteral("&OK"), body);
  CommOK->setObjectName("CommOK");
  Timer = new StepTimer(this, "Timer", [this] { Timer_Timer(); });
  FrameControls();
  connect(CommOK, &QPushButton::clicked, this, [this] { CommOK_Click(); });
  connect(Text1, &QLineEdit::returnPressed, this, [this] { CommOK_Click(); });
}

void frmFindID::Form_Load() {
  gWinPosCur = gWinPosTab[kKindFindId];
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, kHeight, kWidth);
  gWinPosCur.State = 1;
  gWinPosTab[kKindFindId] = gWinPosCur;
  PlaceTwips(Text1, kText1);
  PlaceTwips(CommOK, kCommOK);
  // The label stands 300 twips left of the box and 70 twips below its top.
  PlaceTwips(Label1, {kText1.left - 300, kText1.top + 70, 280, 255});
  SetWindowCaption(Res(92));
  Text1->clear();
  ++gToolWinCount;
  SetMainMenuEnabled("mnuWFindID", false);
  winTag_ = Chr(kKindFindId) + Chr(0);
}

void frmFindID::FindIDShow() {
  setFocus();
  Text1->setFocus();
  Text1->setSelection(0, kIdLen);
}

void frmFindID::Form_Activate() {
  FindIDShow();
  MenuUpdate();
}

void frmFindID::Form_Resize() {
  // Only the state is recorded: normal 1, minimised 2.
  gWinPosCur = gWinPosTab[kKindFindId];
  FrameResize(0, 0, nullptr, nullptr, &gWinPosCur.State);
  gWinPosTab[kKindFindId] = gWinPosCur;
}

void frmFindID::Form_QueryUnload(bool& cancel) {
  (void)cancel;
  SetMainMenuEnabled("mnuWFindID", true);
}

void frmFindID::Form_Unload() {
  // A search still pending goes with the window, and so does its status.
  if (Timer->Enabled()) StatusShow(0, "");
  Timer->SetEnabled(false);
  gWinPosCur = gWinPosTab[kKindFindId];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, &gWinPosCur.State);
  gWinPosTab[kKindFindId] = gWinPosCur;
  --gToolWinCount;
  if (gFindIdForm == this) gFindIdForm = nullptr;
  MenuUpdate();
}

void frmFindID::CommOK_Click() {
  StatusShow(6, "ID =" + Trim(Utf8ToLatin1(Text1->text().toStdString())));
  Timer->SetEnabled(true);
  gArrOpenedByMenu = false;
}

void frmFindID::Timer_Timer() {
  Timer->SetEnabled(false);
  FindArrByID();
}

void frmFindID::FindArrByID() {
  const std::string title = Res(92);
  const std::string s = Trim(Utf8ToLatin1(Text1->text().toStdString()));
  Text1->setText(ToScreen(s));
  // Every way out clears the status line and any selection this search
  // asked for, unless the window it opened takes the selection over (its
  // chain clears it when done).
  bool opened = false;
  auto done = [&opened] {
    if (!opened) gArrSelectPending = false;
    StatusShow(0, "");
  };
  if (!ArrIdValid(s)) {
    ShowMsg(2, title, "ID");
    done();
    return;
  }
  const int n = static_cast<int>(s.size());
  gArrSelectIdx = (s[n - 2] - '1') * 8 + (s[n - 1] - '1');
  gFindIdSet = std::stoi(s) / 100;
  gArrSelectPending = true;

  if (gFindIdSet == 1 || gFindIdSet == 2) {
    gDBArrId = gFindIdSet;
    SelectInBank(gFindIdSet + 1);
    done();
    return;
  }

  // The database is read for this search only: an open editor keeps the
  // image it lists.
  std::string image;
  switch (DBArrRead(image)) {
    case 0:
      break;
    case 1:
      ShowMsg(6, title, "");
      done();
      return;
    case 2:
      ShowMsg(7, title, "");
      done();
      return;
    default:
      ShowMsg(25, title, "");
      done();
      return;
  }
  const int k = DBArrRecOfId(image, gFindIdSet);
  if (k == 0) {
    ShowMsg(5, title, "ID = " + s);
    done();
    return;
  }
  const std::string path = DBArrFolder(image) + kPathSep + DBArrRecName(image, k);
  // A window open on the file closes first, so that the file opens afresh
  // with the arrangement selected; a close the user cancels ends the search.
  if (!CloseArrWindowOf(path)) {
    done();
    return;
  }
  gArrSelectPending = true;  // the closed window's chain may have released it
  SetMainMenuEnabled("mnuWindow", true);
  gDBArrId = gFindIdSet;
  opened = OpenArrFileWindow(path);
  done();
}

void frmFindID::SelectInBank(int kind) {
  if (auto* bank = qobject_cast<frmArrAB*>(OpenBankWindow(kind))) {
    // The first click takes the pending selection (it selects the line
    // alone); the second calls the arrangement up.
    bank->List1_Click();
    bank->List1_Click();
    return;
  }
  // Opens the window, which selects the line; its opener calls it up.
  OpenBankByView(kind);
}

void FindIdWinShow() {
  frmFindID* form = ShowFormOf(gFindIdForm, [] {
    auto* made = new frmFindID();
    frmMain::Instance()->AddChild(made);
    made->Form_Load();
    return made;
  });
  if (form) form->FindIDShow();
}

void FrmFindIDReset() {
  delete gFindIdForm;
  gFindIdForm = nullptr;
  gFindIdSet = 0;
}
