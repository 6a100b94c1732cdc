#include "ui/main/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/startup.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "ui/main/listtext.h"
#include "files/clipboard.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/exitsignals.h"
#include "platform/twips.h"
#include "ui/main/childform.h"
#include "ui/main/frmmsgex.h"
#include "ui/main/openers.h"

namespace {

frmMain* sInstance = nullptr;


// One entry of a menu: an item (name, designed caption, string id or 0 to
// keep the designed caption), a separator ("-"), or a submenu.
struct MenuEntry {
  const char* name;
  const char* caption;
  int id;
  bool checkable;
};

const MenuEntry kFileMenu[] = {
    {"mnuNuovoArr", "", 86, false},  {"mnuNuovoSty", "Nuovo Sty", 0, false},
    {"mnuNuovoPrg", "", 87, false},  {"-", "", 0, false},
    {"mnuApriArr", "", 6, false},    {"mnuApriSty", "Apri Sty", 0, false},
    {"mnuApriPrg", "", 85, false},   {"mnuApriGbl", "Apri Gbl", 0, false},
    {"-", "", 0, false},             {"mnuChiudi", "", 8, false},
    {"-", "", 0, false},             {"mnuSalva", "", 54, false},
    {"mnuSalvaAs", "", 75, false},   {"-", "", 0, false},
    {"mnuExit", "", 7, false},
};

const MenuEntry kEditMenu[] = {
    {"mnuIngrandisci", "", 123, false}, {"-", "", 0, false},
    {"mnuTaglia", "", 73, false},       {"mnuCopia", "", 72, false},
    {"mnuIncolla", "", 74, false},      {"-", "", 0, false},
    {"mnuLoadAll", "Load All", 0, false}, {"mnuLoadArr", "Load Arrang", 0, false},
    {"mnuLoadSty", "Load Style", 0, false}, {"mnuShowSty", "Show Style", 0, false},
    {"mnuLoadPrg", "Load Prog", 0, false}, {"mnuShowPrg", "Show Prog", 0, false},
    {"mnuEditArr", "Edit", 0, false},   {"mnui40DBArr", "+r40DBArr", 0, false},
    {"-", "", 0, false},                {"mnuArrPlay", "ARR PLAY", 0, false},
    {"mnuSongPlay", "SONG PLAY", 0, false}, {"-", "", 0, false},
    {"mnuCancella", "", 44, false},     {"mnuDBArrApri", "", 51, false},
    {"mnuAddAll", "Add All", 0, false}, {"-", "", 0, false},
    {"mnuWFindID", "", 38, false},      {"mnuAggArr", "", 39, false},
};

const MenuEntry kViewMenu[] = {
    {"mnuArrA", "Arrangement &A", 0, false}, {"mnuArrB", "Arrangement &B", 0, false},
    {"-", "", 0, false},                     {"mnuStyA", "Style A", 0, false},
    {"mnuStyB", "Style B", 0, false},        {"-", "", 0, false},
    {"mnuWProgA", "&Program A", 0, false},   {"mnuWProgB", "P&rogram B", 0, false},
    {"mnuWProgC", "Program &C", 0, false},   {"mnuWProgD", "Program &D", 0, false},
    {"mnuWProgE", "Program &E", 0, false},   {"-", "", 0, false},
    {"mnuDrum", "Drum", 0, false},           {"mnuPerc", "Percussion", 0, false},
    {"-", "", 0, false},                     {"mnuGlobalParam", "Global Parameters", 0, false},
    {"-", "", 0, false},                     {"mnuMsgEx", "", 108, false},
    {"-", "", 0, false},                     {"mnuWEditDBArr", "r40DBArr", 0, false},
    {"-", "", 0, false},                     {"mnuTastiera", "", 106, false},
};

const MenuEntry kPrefMenuAfterLanguage[] = {
    {"-", "", 0, false},
    {"mnuMIDIThru", "MIDI Thru", 0, true},
    {"-", "", 0, false},
    {"mnuCaricaArr", "", 102, true},
    {"mnuCaricaSty", "", 68, true},
    {"mnuCaricaStyNuovoArr", "", 107, true},
    {"mnuCaricaPrg", "", 70, true},
    {"-", "", 0, false},
    {"mnuRdOnly", "", 90, true},
    {"-", "", 0, false},
    {"mnuVisBarraStato", "", 103, true},
    {"-", "", 0, false},
    {"mnuAddi40DBArr", "", 95, true},
};

// Captions of the top-level menus and submenus, by string id.
struct MenuCaptionId {
  const char* name;
  int id;
};
const MenuCaptionId kMenuCaptionIds[] = {
    {"mnuFile", 2},     {"mnuModifica", 71}, {"mnuView", 3},  {"mnuPreferenze", 62},
    {"mnuLingua", 63},  {"mnuItaliano", 64}, {"mnuInglese", 65}, {"mnuGuida", 47},
    {"mnuWindow", 4},   {"mnuWCascade", 9},
};

// Status bar layout in twips: the designed widths of the labels.
constexpr int kPicture1Height = 300;
constexpr int kLabelNomeApplWidth = 2244;
constexpr int kLabelModeWidth = 1116;
constexpr int kLabel1Width = 1812;
constexpr int kLabelArrWidth = 1428;

}  // namespace

frmMain::frmMain() {
  sInstance = this;
  setObjectName("frmMain");
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  mdi_ = new QMdiArea(central);
  mdi_->setObjectName("MDIArea");
  layout->addWidget(mdi_, 1);
  setCentralWidget(central);
  BuildStatusBar();
  layout->addWidget(picture1_);
  BuildMenus();
  BuildTimers();
  ConnectCommands();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
    if (auto* child = dynamic_cast<ChildForm*>(w)) child->Activated();
  });
}

frmMain::~frmMain() {
  if (watchesSignals_) StopWatchingExitSignals();
  if (TheMainView() == this) SetMainView(nullptr);
  if (sInstance == this) sInstance = nullptr;
}

frmMain* frmMain::Instance() { return sInstance; }

void frmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto addMenu = [&](QMenu* parent, const char* name, const QString& caption) {
    QMenu* m = parent ? parent->addMenu(caption) : bar->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    items_[name] = m->menuAction();
    return m;
  };
  auto addEntries = [&](QMenu* menu, const MenuEntry* entries, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const MenuEntry& e = entries[i];
      if (std::string(e.name) == "-") {
        menu->addSeparator();
        continue;
      }
      QAction* a = menu->addAction(ToScreen(e.caption));
      a->setObjectName(e.name);
      a->setCheckable(e.checkable);
      items_[e.name] = a;
      itemCaption_[e.name] = e.caption;
    }
  };

  QMenu* file = addMenu(nullptr, "mnuFile", "&File");
  addEntries(file, kFileMenu, std::size(kFileMenu));
  QAction* sep16 = file->addSeparator();
  sep16->setObjectName("mnuSep16");
  sep16->setVisible(false);
  items_["mnuSep16"] = sep16;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "mnuRecentFile_" + CStr(i);
    QAction* a = file->addAction("Nome file");
    a->setObjectName(QString::fromStdString(name));
    a->setVisible(false);
    items_[name] = a;
    itemCaption_[name] = "Nome file";
  }

  editMenu_ = addMenu(nullptr, "mnuModifica", "&Modifica");
  addEntries(editMenu_, kEditMenu, std::size(kEditMenu));

  QMenu* view = addMenu(nullptr, "mnuView", "&Visualizza");
  addEntries(view, kViewMenu, std::size(kViewMenu));

  QMenu* pref = addMenu(nullptr, "mnuPreferenze", "&Preferenze");
  QMenu* lang = addMenu(pref, "mnuLingua", "&Lingua");
  const MenuEntry langEntries[] = {{"mnuItaliano", "Italiano", 0, true}, {"mnuInglese", "Inglese", 0, true}};
  addEntries(lang, langEntries, 2);
  addEntries(pref, kPrefMenuAfterLanguage, std::size(kPrefMenuAfterLanguage));

  QMenu* window = addMenu(nullptr, "mnuWindow", "Fi&nestra");
  const MenuEntry windowEntries[] = {{"mnuWCascade", "&Sovrapponi", 0, false}};
  addEntries(window, windowEntries, 1);

  QMenu* help = addMenu(nullptr, "mnuHelp", "&?");
  const MenuEntry helpEntries[] = {{"mnuGuida", "Guida Utente", 0, false},
                                   {"-", "", 0, false},
                                   {"mnuInfo", "Informazioni su Brenvolta", 0, false}};
  addEntries(help, helpEntries, 3);
}

void frmMain::BuildStatusBar() {
  picture1_ = new QWidget(this);
  picture1_->setObjectName("Picture1");
  picture1_->setFixedHeight(TwipsToPixels(kPicture1Height));
  for (const char* name : {"LabelNomeAppl", "LabelMode", "Label1", "LabelArr", "LabelSty", "LabelPrg"}) {
    auto* label = new QLabel(picture1_);
    label->setObjectName(name);
    labels_[name] = label;
    labelText_[name] = std::string();
  }
}

void frmMain::BuildTimers() {
  // One-shot timers, created disabled with an interval of 10 ms.
  auto make = [this](const QString& name, auto handler) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setSingleShot(true);
    t->setInterval(10);
    connect(t, &QTimer::timeout, this, handler);
    return t;
  };
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14})
    timerAuto_[i] = make(QString("TimerAuto_%1").arg(i), [this, i] { TimerAuto_Timer(i); });
  for (int i = 1; i <= 16; ++i)
    timerArrU_[i] = make(QString("TimerArrU_%1").arg(i), [this, i] { TimerArrU_Timer(i); });
  timer0_ = make("Timer_0", [this] { Timer_Timer(); });
}

void frmMain::LayoutStatusBar() {
  const int height = kPicture1Height - 10;
  struct Place {
    const char* name;
    int left, width;
  };
  const int modeLeft = kLabelNomeApplWidth + 30;
  const int label1Left = modeLeft + kLabelModeWidth + 20;
  const int arrLeft = label1Left + kLabel1Width + 20;
  const int styLeft = arrLeft + kLabelArrWidth + 20;
  const int prgLeft = styLeft + kLabelArrWidth + 20;
  const Place places[] = {{"LabelNomeAppl", 20, kLabelNomeApplWidth}, {"LabelMode", modeLeft, kLabelModeWidth},
                          {"Label1", label1Left, kLabel1Width},       {"LabelArr", arrLeft, kLabelArrWidth},
                          {"LabelSty", styLeft, kLabelArrWidth},      {"LabelPrg", prgLeft, kLabelArrWidth}};
  for (const Place& p : places)
    labels_[p.name]->setGeometry(TwipsToPixels(p.left), 0, TwipsToPixels(p.width), TwipsToPixels(height));
}

QAction* frmMain::Item(const std::string& name) const {
  auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

QLabel* frmMain::Label(const std::string& name) const {
  auto it = labels_.find(name);
  return it == labels_.end() ? nullptr : it->second;
}

QTimer* frmMain::TimerAuto(int index) const {
  auto it = timerAuto_.find(index);
  return it == timerAuto_.end() ? nullptr : it->second;
}

QTimer* frmMain::TimerArrU(int index) const {
  auto it = timerArrU_.find(index);
  return it == timerArrU_.end() ? nullptr : it->second;
}

ChildForm* frmMain::ActiveForm() const {
  // The current subwindow, not the active one: that is null while another
  // application has the focus.
  auto* child = dynamic_cast<ChildForm*>(mdi_->currentSubWindow());
  return child && !child->Unloading() ? child : nullptr;
}

QMdiSubWindow* frmMain::AddChild(ChildForm* child) { return mdi_->addSubWindow(child); }

int frmMain::HeightTwips() const { return PixelsToTwips(frameGeometry().height()); }
int frmMain::WidthTwips() const { return PixelsToTwips(frameGeometry().width()); }
int frmMain::Picture1HeightTwips() const { return kPicture1Height; }

void frmMain::SetLabelCaption(const std::string& label, const std::string& text) {
  auto it = labels_.find(label);
  if (it == labels_.end()) return;
  labelText_[label] = text;
  it->second->setText(ToScreen(text));
}

std::string frmMain::LabelCaption(const std::string& label) const {
  auto it = labelText_.find(label);
  return it == labelText_.end() ? std::string() : it->second;
}

void frmMain::SetBusyCursor(bool hourglass) {
  if (hourglass == busy_) return;
  busy_ = hourglass;
  if (hourglass)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

bool frmMain::MenuEnabled(const std::string& item) const {
  QAction* a = Item(item);
  return a && a->isEnabled();
}

void frmMain::SetMenuEnabled(const std::string& item, bool on) {
  if (QAction* a = Item(item)) a->setEnabled(on);
}

bool frmMain::MenuChecked(const std::string& item) const {
  QAction* a = Item(item);
  return a && a->isChecked();
}

void frmMain::SetMenuChecked(const std::string& item, bool on) {
  if (QAction* a = Item(item)) a->setChecked(on);
}

bool frmMain::MenuVisible(const std::string& item) const {
  QAction* a = Item(item);
  return a && a->isVisible();
}

void frmMain::SetMenuVisible(const std::string& item, bool on) {
  if (QAction* a = Item(item)) a->setVisible(on);
}

std::string frmMain::MenuCaption(const std::string& item) const {
  auto it = itemCaption_.find(item);
  return it == itemCaption_.end() ? std::string() : it->second;
}

void frmMain::SetMenuCaption(const std::string& item, const std::string& text) {
  QAction* a = Item(item);
  if (!a) return;
  itemCaption_[item] = text;
  a->setText(ToScreen(text));
  if (QMenu* m = a->menu()) m->setTitle(ToScreen(text));
}

ChildView* frmMain::ActiveChild() const { return ActiveForm(); }

ChildView* frmMain::ChildOfKind(int kind, int slot) const {
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    auto* child = dynamic_cast<ChildForm*>(w);
    if (child && !child->Unloading() && child->Kind() == kind && Asc(child->WinTag(), 15) == slot) return child;
  }
  return nullptr;
}

bool frmMain::CloseArrEditor() {
  gArrSavedBack = false;
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (w->objectName() == "frmEditArr") w->close();
  if (gArrSavedBack) return false;
  gArrEditLinked = false;
  return true;
}

void frmMain::ApplyCaptions() {
  setWindowTitle(ToScreen(kAppTitle));
  for (const MenuCaptionId& m : kMenuCaptionIds) SetMenuCaption(m.name, Res(m.id));
  auto apply = [this](const MenuEntry* table, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (table[i].id != 0) SetMenuCaption(table[i].name, Res(table[i].id));
  };
  apply(kFileMenu, std::size(kFileMenu));
  apply(kEditMenu, std::size(kEditMenu));
  apply(kViewMenu, std::size(kViewMenu));
  apply(kPrefMenuAfterLanguage, std::size(kPrefMenuAfterLanguage));
  SetMenuCaption("mnuInfo", Res(30) + "Brenvolta");
}

frmMain* RunMain() {
  frmMain* window = nullptr;
  SetMainWindowShow([&window] {
    window = new frmMain();
    window->MDIForm_Load();
    window->show();
  });
  const bool shown = Main();
  SetMainWindowShow(nullptr);
  if (!shown) {
    delete window;
    return nullptr;
  }
  return window;
}
