#include "ui/main/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/messages.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/startup.h"
#include "app/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "ui/main/childform.h"
#include "ui/main/frmmsgex.h"

namespace {

frmMain* sInstance = nullptr;

QString Screen(const std::string& bytes) { return QString::fromUtf8(ScreenUtf8(bytes)); }

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
  connect(mdi_, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
    if (auto* child = dynamic_cast<ChildForm*>(w)) child->Activated();
  });
}

frmMain::~frmMain() {
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
      QAction* a = std::string(e.name) == "-" ? menu->addSeparator() : menu->addAction(Screen(e.caption));
      if (std::string(e.name) == "-") continue;
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

  // Commands whose windows are not part of this build stay disabled.
  for (auto& [name, action] : items_) {
    if (action->menu() || action->isSeparator()) continue;
    action->setEnabled(false);
  }
  for (const char* on : {"mnuExit", "mnuMsgEx"}) items_[on]->setEnabled(true);

  connect(items_["mnuMsgEx"], &QAction::triggered, this, &frmMain::mnuMsgEx_Click);
  connect(items_["mnuExit"], &QAction::triggered, this, &frmMain::mnuExit_Click);
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

void frmMain::MDIForm_Load() {
  SetMainView(this);
  gArrWinCount = gStyWinCount = gPrgWinCount = gToolWinCount = gGblWinCount = 0;
  picture1_->setVisible(gOptStatusBar);
  LayoutStatusBar();
  SetLabelCaption("LabelNomeAppl", "Brenvolta v 2.0");
  SetLabelCaption("Label1", "");
  SetLabelCaption("LabelMode", "");
  for (int i = 1; i <= 8; ++i) gPrgSlotUsed[i] = 0;
  gClipText.clear();
  gClipKind = 0;

  setWindowTitle(Screen(kAppTitle));
  for (const MenuCaptionId& m : kMenuCaptionIds) SetMenuCaption(m.name, Res(m.id));
  for (const MenuEntry* table : {kFileMenu, kEditMenu, kViewMenu, kPrefMenuAfterLanguage}) {
    const size_t n = table == kFileMenu   ? std::size(kFileMenu)
                     : table == kEditMenu ? std::size(kEditMenu)
                     : table == kViewMenu ? std::size(kViewMenu)
                                          : std::size(kPrefMenuAfterLanguage);
    for (size_t i = 0; i < n; ++i)
      if (table[i].id != 0) SetMenuCaption(table[i].name, Res(table[i].id));
  }
  SetMenuCaption("mnuInfo", Res(30) + "Brenvolta");

  for (const char* off : {"mnuTaglia", "mnuCopia", "mnuIncolla", "mnuChiudi", "mnuSalva", "mnuSalvaAs", "mnuWindow"})
    SetMenuEnabled(off, false);
  SetMenuEnabled("mnuModifica", true);

  gMonitorOn = false;
  if (gLangSel == 1) {
    SetMenuChecked("mnuItaliano", true);
    SetMenuChecked("mnuInglese", false);
  } else if (gLangSel == 2) {
    SetMenuChecked("mnuItaliano", false);
    SetMenuChecked("mnuInglese", true);
  }
  SetMenuChecked("mnuCaricaArr", gOptLoadArr);
  SetMenuChecked("mnuCaricaSty", gOptLoadSty);
  SetMenuChecked("mnuCaricaStyNuovoArr", gOptLoadStyNewArr);
  SetMenuChecked("mnuCaricaPrg", gOptLoadPrg);
  SetMenuChecked("mnuRdOnly", gOptReadOnly);
  SetMenuChecked("mnuAddi40DBArr", gOptAutoDB);
  SetMenuChecked("mnuMIDIThru", gMidiThru);
  SetMenuChecked("mnuVisBarraStato", gOptStatusBar);
  picture1_->setVisible(MenuChecked("mnuVisBarraStato"));

  switch (gInstrMode) {
    case 0: TxModeArrPlay(); break;
    case 1: TxModeSongPlay(); break;
    case 2: TxModeGlobal(); break;
    default: break;
  }

  SetLabelCaption("LabelSty", SharedInfoRead());
  SetLabelCaption("LabelArr", gSentArrName);
  SetLabelCaption("LabelPrg", gSentPrgName);
  if (!LabelCaption("LabelSty").empty()) SetLabelCaption("LabelSty", LabelCaption("LabelSty") + ".sty");
  if (!LabelCaption("LabelArr").empty()) SetLabelCaption("LabelArr", LabelCaption("LabelArr") + ".arr");
  if (!LabelCaption("LabelPrg").empty()) SetLabelCaption("LabelPrg", LabelCaption("LabelPrg") + ".prg");

  const WinPosRec& rec = gWinPosTab[kKindMain];
  if (rec.State == 0) {
    setWindowState(Qt::WindowNoState);
    setGeometry(TwipsToPixels(rec.Left), TwipsToPixels(rec.Top), TwipsToPixels(rec.Width), TwipsToPixels(rec.Height));
  } else if (rec.State == 1) {
    setWindowState(Qt::WindowMinimized);
  } else if (rec.State == 2) {
    setWindowState(Qt::WindowMaximized);
  }
  MenuUpdate();
}

QAction* frmMain::Item(const std::string& name) const {
  auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

QLabel* frmMain::Label(const std::string& name) const {
  auto it = labels_.find(name);
  return it == labels_.end() ? nullptr : it->second;
}

ChildForm* frmMain::ActiveForm() const { return dynamic_cast<ChildForm*>(mdi_->currentSubWindow()); }

QMdiSubWindow* frmMain::AddChild(ChildForm* child) { return mdi_->addSubWindow(child); }

void frmMain::mnuMsgEx_Click() {
  SetMenuEnabled("mnuWindow", true);
  if (!msgEx_) {
    msgEx_ = new frmMsgEx();
    msgEx_->Form_Load(this);
  }
  msgEx_->show();
  mdi_->setActiveSubWindow(msgEx_);
  SetMenuEnabled("mnuMsgEx", false);
  gMonitorOn = true;
}

void frmMain::mnuExit_Click() { close(); }

bool frmMain::QueryExit() {
  gClosing = true;
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    if (auto* child = dynamic_cast<ChildForm*>(w)) {
      if (!child->QueryUnload()) {
        gClosing = false;
        MenuUpdate();
        return false;
      }
    }
  }
  return true;
}

void frmMain::closeEvent(QCloseEvent* event) {
  exitRefused_ = false;
  if (!QueryExit()) {
    exitRefused_ = true;
    event->ignore();
    return;
  }
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    if (auto* child = dynamic_cast<ChildForm*>(w)) child->UnloadNow();
  }
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (ExitDeviceSharing()) {
    exitRefused_ = true;
    gClosing = false;
    MenuUpdate();
    event->ignore();
    return;
  }
  event->accept();
}

void frmMain::SetLabelCaption(const std::string& label, const std::string& text) {
  auto it = labels_.find(label);
  if (it == labels_.end()) return;
  labelText_[label] = text;
  it->second->setText(Screen(text));
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
  a->setText(Screen(text));
  if (QMenu* m = a->menu()) m->setTitle(Screen(text));
}

ChildView* frmMain::ActiveChild() const { return ActiveForm(); }
