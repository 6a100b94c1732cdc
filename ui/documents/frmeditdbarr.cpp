#include "ui/documents/frmeditdbarr.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <cstdlib>

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
#include "ui/documents/bankform.h"
#include "ui/documents/dbarropen.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/twipslayout.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/openers.h"
#include "ui/main/steptimer.h"

QPointer<frmEditDBArr> gEditDBArrForm;

namespace {

constexpr int kIdle = 10;
constexpr int kFolderFit = 3900;     // twips: a folder this wide is shown whole
constexpr int kFolderBudget = 3800;  // twips: the shortened folder's width

// Control rectangles in twips. The buttons stand in one row at Top 5248,
// CommDelete at Left 43, each next one 110 twips right of the one before.
constexpr int kButtonTop = 5248, kButtonWidth = 930, kButtonHeight = 345, kButtonGap = 110;
constexpr TwipsRect kLabel4 = {60, 60, 4020, 255};
constexpr TwipsRect kLabel2 = {120, 390, 600, 255};
constexpr TwipsRect kLabel1 = {780, 390, 1900, 255};
constexpr TwipsRect kLabel3 = {2760, 390, 1320, 255};
constexpr TwipsRect kList1 = {60, 660, 4020, 4440};

// A list line is ID, Tab, "name.arr": shown as two columns that start under
// the ID and File Name labels.
class ColumnsDelegate : public QStyledItemDelegate {
 public:
  explicit ColumnsDelegate(QObject* parent) : QStyledItemDelegate(parent) {}
  void SetColumns(int idX, int nameX) {
    idX_ = idX;
    nameX_ = nameX;
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const int tab = text.indexOf(QLatin1Char('\t'));
    const QString id = tab < 0 ? text : text.left(tab);
    const QString name = tab < 0 ? QString() : text.mid(tab + 1);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    const QPalette::ColorRole role = opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setPen(opt.palette.color(group, role));
    painter->setFont(opt.font);
    QRect idRect = opt.rect.adjusted(idX_, 0, 0, 0);
    idRect.setRight(opt.rect.left() + nameX_ - 2);
    painter->drawText(idRect, Qt::AlignLeft | Qt::AlignVCenter, id);
    const QRect nameRect = opt.rect.adjusted(nameX_, 0, -2, 0);
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                      opt.fontMetrics.elidedText(name, Qt::ElideRight, nameRect.width()));
    painter->restore();
  }

 private:
  int idX_ = 0;
  int nameX_ = 0;
};

QLabel* MakeLabel(QWidget* body, const char* name, const QString& caption) {
  auto* label = new QLabel(caption, body);
  label->setObjectName(name);
  return label;
}

}  // namespace

QString DBArrFolderText(const QString& folder, const QFontMetrics& metrics) {
  if (metrics.horizontalAdvance(folder) <= TwipsToPixels(kFolderFit)) return folder;
  // Counted in shown characters, never in halves of one.
  const QList<uint> chars = folder.toUcs4();
  const int n = static_cast<int>(chars.size());
  if (n < 4) return folder;
  auto part = [&](int from, int count) {  // from is 1-based
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()) + from - 1, count);
  };
  const QString prefix = part(1, 3) + QStringLiteral("...");
  const int budget = TwipsToPixels(kFolderBudget) - metrics.horizontalAdvance(prefix);
  // From the last character back to the 4th, until the tail no longer fits;
  // the tail then starts after the character that follows the one that did
  // not fit.
  int start = 5;
  int sum = 0;
  for (int i = n; i >= 4; --i) {
    sum += metrics.horizontalAdvance(part(i, 1));
    if (sum > budget) {
      start = i + 2;
      break;
    }
  }
  return start > n ? prefix : prefix + part(start, n - start + 1);
}

frmEditDBArr::frmEditDBArr() {
  setObjectName("frmEditDBArr");
  auto* body = new QWidget(this);
  setWidget(body);

  List1 = new QListWidget(body);
  List1->setObjectName("List1");
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setItemDelegate(new ColumnsDelegate(List1));
  List1->installEventFilter(this);
  Label1 = MakeLabel(body, "Label1", QString());
  Label2 = MakeLabel(body, "Label2", QStringLiteral("ID"));
  Label3 = MakeLabel(body, "Label3", QString());
  Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label4 = MakeLabel(body, "Label4", QString());
  CommDelete = MakeButton(body, "CommDelete", QString());
  CommApri = MakeButton(body, "CommApri", QString());
  CommAddAll = MakeButton(body, "CommAddAll", QStringLiteral("Add All"));
  CommClose = MakeButton(body, "CommClose", QString());

  Timer[0] = new StepTimer(this, "Timer_0", [this] { CommAddAll_Click(); }, true);
  Timer[1] = new StepTimer(this, "Timer_1", nullptr, true);  // not used
  Timer[2] = new StepTimer(this, "Timer_2", [this] { List1_DblClick(); }, true);
  TimerAddAll = new StepTimer(this, "TimerAddAll", [this] { CommAddAll_Click(); });
  TimerApri = new StepTimer(this, "TimerApri", [this] { CommApri_Click(); });
  TimerCancella = new StepTimer(this, "TimerCancella", [this] { CommDelete_Click(); });

  FrameControls();
  // The right button is taken on release, and selects nothing.
  List1->setContextMenuPolicy(Qt::PreventContextMenu);
  new ListClicks(
      List1, [this] { List1_Click(); }, [this] { PopupEditMenu(); }, [this] { SelectionChanged(); });
  connect(List1, &QListWidget::doubleClicked, this, [this] { List1_DblClick(); });
  connect(CommDelete, &QPushButton::clicked, this, [this] { CommDelete_Click(); });
  connect(CommApri, &QPushButton::clicked, this, [this] { CommApri_Click(); });
  connect(CommAddAll, &QPushButton::clicked, this, [this] { CommAddAll_Click(); });
}

void frmEditDBArr::LayoutControls() {
  PlaceTwips(Label4, kLabel4);
  PlaceTwips(Label2, kLabel2);
  PlaceTwips(Label1, kLabel1);
  PlaceTwips(Label3, kLabel3);
  PlaceTwips(List1, kList1);
  int left = 43;
  for (QPushButton* button : {CommDelete, CommApri, CommAddAll, CommClose}) {
    PlaceTwips(button, {left, kButtonTop, kButtonWidth, kButtonHeight});
    left += kButtonWidth + kButtonGap;
  }
  // The columns start where their labels do, inside the list's frame.
  const int inside = TwipsToPixels(kList1.left) + List1->frameWidth();
  static_cast<ColumnsDelegate*>(List1->itemDelegate())
      ->SetColumns(TwipsToPixels(kLabel2.left) - inside, TwipsToPixels(kLabel1.left) - inside);
}

void frmEditDBArr::Form_Load() {
  gFormLoading = true;
  gWinPosCur = gWinPosTab[kKindEditDBArr];
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width);
  gWinPosCur.State = 1;
  gWinPosTab[kKindEditDBArr] = gWinPosCur;
  winTag_ = Chr(kKindEditDBArr) + Chr(0);

  LayoutControls();
  // The folder's bytes shown as a path is, shortened by shown characters.
  Label4->setText(DBArrFolderText(ToScreen(DBArrFolder(DBArrBuf)), Label4->fontMetrics()));
  Label1->setText(ToScreen(Res(46)));
  CommDelete->setText(ToScreen(Res(44)));
  CommApri->setText(ToScreen(Res(51)));
  CommClose->setText(ToScreen(Res(8)));
  SetWindowCaption(kDBArrEditTitle);

  const std::vector<std::string> lines = DBArrListLines(DBArrBuf);
  ShowList(lines, DBArrCountText(static_cast<int>(lines.size())));
  CommClose->setEnabled(true);
  gDBArrEditOpen = true;
  ++gToolWinCount;
  SetMainMenuEnabled("mnuWEditDBArr", false);
  StatusShow(0, "");
  gFormLoading = false;
  loaded_ = true;
}

void frmEditDBArr::ShowList(const std::vector<std::string>& lines, const std::string& count) {
  List1->clear();
  for (const std::string& line : lines) ListAddItem(List1, line);
  Label3->setText(ToScreen(count));
  CommDelete->setEnabled(false);
  CommApri->setEnabled(false);
  RefreshMenuWhenActive();
}

int frmEditDBArr::SelectedLine() const { return SelectedCurrentLine(List1); }

// ---- Frame ---------------------------------------------------------------

void frmEditDBArr::Form_Activate() {
  const int j = SelectedLine();
  CommApri->setEnabled(j >= 0);
  MenuUpdate();  // Edit > Cut with it: only for a line of the database
}

void frmEditDBArr::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  const WindowSize most = EnlargedSizeOfKind(kKindEditDBArr);
  gWinPosCur = gWinPosTab[kKindEditDBArr];
  // Cut back: the resize that follows records the size.
  if (!FrameResize(most.height, most.width, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State)) return;
  gWinPosTab[kKindEditDBArr] = gWinPosCur;
  MenuUpdate();
}

void frmEditDBArr::Form_Unload() {
  // A step still pending goes with the window, and so does its status text.
  bool pending = false;
  for (StepTimer* t : findChildren<StepTimer*>()) {
    pending = pending || t->Enabled();
    t->SetEnabled(false);
  }
  if (pending) StatusShow(0, "");
  gDBArrEditOpen = false;
  SetMainMenuEnabled("mnuWEditDBArr", true);
  // Also while the program closes, the state is 0: the editor is never
  // reopened at start-up.
  gWinPosCur = gWinPosTab[kKindEditDBArr];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, nullptr);
  gWinPosCur.Height = ClampTwips16(HeightTwips());
  gWinPosCur.Width = ClampTwips16(WidthTwips());
  gWinPosCur.State = 0;
  gWinPosTab[kKindEditDBArr] = gWinPosCur;
  --gToolWinCount;
  if (gEditDBArrForm == this) gEditDBArrForm = nullptr;
  MenuUpdate();
}

bool frmEditDBArr::eventFilter(QObject* watched, QEvent* event) {
  if (watched == List1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    CommDelete_Click();
    return true;
  }
  return ChildForm::eventFilter(watched, event);
}

// ---- Commands ------------------------------------------------------------

void frmEditDBArr::List1_Click() {
  const int j = SelectedLine();
  if (gFormLoading || j < 0) return;
  CommApri->setEnabled(true);
  CommDelete->setEnabled(j >= 2);
  MenuUpdate();
}

// The list holds one line at most. A Ctrl+click or Ctrl+Space that
// unselects it leaves nothing to open or delete; Ctrl+Space that selects
// the current line again offers both, as a click on it does.
void frmEditDBArr::SelectionChanged() {
  if (gFormLoading) return;
  const int j = SelectedLine();
  CommApri->setEnabled(j >= 0);
  CommDelete->setEnabled(j >= 2);
  RefreshMenuWhenActive();
}

void frmEditDBArr::CommDelete_Click() {
  const int j = SelectedLine();
  if (j < 0) StatusShow(0, "");
  if (j < 2) return;  // no line, or a bank line
  if (DBArrWriteRefused(kDBArrEditTitle)) return;
  // The database is written first: a failed write leaves the buffer, the
  // list and the file as they were.
  std::string image = DBArrBuf;
  DBArrRemove(image, j + 1);
  if (DBArrWrite(image) != 0) {
    ShowMsg(25, kDBArrEditTitle, "");
    return;
  }
  DBArrBuf = image;
  const std::vector<std::string> lines = DBArrListLines(DBArrBuf);
  const int count = static_cast<int>(lines.size());
  ShowList(lines, DBArrCountText(count));
  ListClicks::SelectLine(List1, j < count ? j : j - 1);
  DBArrShowWindowIds();

  CommDelete->setEnabled(false);
  CommApri->setEnabled(SelectedLine() >= 0);
  MenuUpdate();
}

void frmEditDBArr::CommAddAll_Click() {
  if (Timer[0]->interval() > 0) {
    StatusShow(8, kDBArrName);
    Timer[0]->SetEnabled(true);
    return;
  }
  Timer[0]->setInterval(kIdle);
  DBArrAddAll();
  StatusShow(0, "");
}

void frmEditDBArr::CommApri_Click() { List1_DblClick(); }

void frmEditDBArr::List1_DblClick() {
  const int j = SelectedLine();
  if (j < 0) {
    Timer[2]->setInterval(kIdle);
    StatusShow(0, "");
    return;
  }
  // The ID is read from the line; the name is the bytes of its record, not
  // the text shown, so that any name the file system holds opens.
  const std::string line = ListItemText(List1, j);
  const int id = std::atoi(Left(line, InStr(line, "\t") - 1).c_str());
  const std::string name = j >= 2 ? DBArrRecName(DBArrBuf, j + 1) : std::string();

  if (Timer[2]->interval() > 0) {
    StatusShow(6, name + ".arr");
    Timer[2]->SetEnabled(true);
    return;
  }
  Timer[2]->setInterval(kIdle);
  gDBArrId = id;
  // A selection by ID that another window runs is not this window's: the
  // window opened here selects and sends nothing, and the other one goes on.
  const bool pending = gArrSelectPending;
  gArrSelectPending = false;
  if (id == 1 || id == 2) {
    OpenBank(id + 1);
  } else if (j >= 2 && DBArrRecId(DBArrBuf, j + 1) == id) {
    const std::string path = DBArrFolder(DBArrBuf) + kPathSep + name;
    if (ArrFileIsOpen(path) == 0) OpenArrFileWindow(path);
  }
  gArrSelectPending = pending;
  StatusShow(0, "");
}

void frmEditDBArr::OpenBank(int kind) {
  frmMain* main = frmMain::Instance();
  if (!main) return;
  if (ChildForm* bank = OpenBankWindow(kind)) {
    if (bank->isMinimized()) bank->showNormal();
    main->MdiArea()->setActiveSubWindow(bank);
    return;
  }
  SetMainMenuEnabled("mnuWindow", true);
  gNewArrABKind = kind;
  OpenBankByView(kind);
}

// ---- Opener --------------------------------------------------------------

void EditDBArrWinShow() {
  ShowFormOf(gEditDBArrForm, []() -> frmEditDBArr* {
    // Missing, empty, damaged or unreadable: the check says so, and nothing
    // opens. Otherwise DBArrBuf holds the database.
    if (DBArrCheck() != 0) return nullptr;
    auto* form = new frmEditDBArr();
    frmMain::Instance()->AddChild(form);
    form->Form_Load();
    return form;
  });
}

void FrmEditDBArrReset() {
  delete gEditDBArrForm;
  gEditDBArrForm = nullptr;
}
