#include "ui/main/frmmsgex.h"

#include <QFont>
#include <QPlainTextEdit>

#include "services/mainview.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "ui/main/listtext.h"
#include "platform/twips.h"
#include "ui/main/frmmain.h"

namespace {
constexpr int kMaxWidth = 8000;
constexpr int kMaxHeight = 5760;
}  // namespace

frmMsgEx::frmMsgEx() {
  setObjectName("frmMsgEx");
  text1_ = new QPlainTextEdit(this);
  text1_->setObjectName("Text1");
  text1_->setReadOnly(true);
  text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text1_->setFont(QFont("Courier New", 10));
  text1_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(text1_, &QWidget::customContextMenuRequested, this, [this] { PopupEditMenu(); });
  setWidget(text1_);
}

frmMsgEx::~frmMsgEx() {
  if (TheMonitorView() == this) SetMonitorView(nullptr);
}

void frmMsgEx::Form_Load(frmMain* main) {
  gFormLoading = true;
  text1_->clear();
  kept_.clear();
  setWindowTitle(ToScreen(Res(91)));
  main->AddChild(this);
  gWinPosCur = gWinPosTab[kKindMonitor];
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width);
  gWinPosCur.State = 1;
  gWinPosTab[kKindMonitor] = gWinPosCur;
  winTag_ = Chr(kKindMonitor) + Nuls(19);
  ++gToolWinCount;
  if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuChiudi", true);
  SetMonitorView(this);
  gFormLoading = false;
  loaded_ = true;
}

void frmMsgEx::Clear() {
  kept_.clear();
  text1_->clear();
}

void frmMsgEx::Append(const std::string& line) {
  kept_ += line;
  // Keep the log bounded: drop whole messages from the start, never the
  // message just added.
  while (kept_.size() > kKeptLimit && kept_.size() > line.size()) {
    const size_t end = kept_.find("\r\n\r\n");
    if (end == std::string::npos || end + 4 > kept_.size() - line.size()) break;
    kept_.erase(0, end + 4);
  }
  Refresh();
}

void frmMsgEx::Refresh() {
  // The toolkit keeps its own line ends: show CR LF as one line break.
  QString shown = QString::fromLatin1(kept_.data(), static_cast<int>(kept_.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text1_->setPlainText(shown);
  text1_->moveCursor(QTextCursor::End);
}

void frmMsgEx::Form_Activate() { MenuUpdate(); }

void frmMsgEx::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  gWinPosCur = gWinPosTab[kKindMonitor];
  if (!FrameResize(kMaxHeight, kMaxWidth, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State))
    return;  // the resize this causes stores the capped size
  gWinPosTab[kKindMonitor] = gWinPosCur;
  MenuUpdate();
}

void frmMsgEx::Form_Unload() {
  if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuMsgEx", true);
  gWinPosCur = gWinPosTab[kKindMonitor];
  gWinPosCur.Top = ClampTwips16(TopTwips());
  gWinPosCur.Left = ClampTwips16(LeftTwips());
  gWinPosCur.Height = ClampTwips16(HeightTwips());
  gWinPosCur.Width = ClampTwips16(WidthTwips());
  gWinPosCur.State = 0;
  gWinPosTab[kKindMonitor] = gWinPosCur;
  --gToolWinCount;
  if (TheMonitorView() == this) SetMonitorView(nullptr);
  MenuUpdate();
}
