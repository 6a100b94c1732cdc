#include "ui/editors/frmeditarr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/editorpick.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/stygrp.h"
#include "midi/callup.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "services/childview.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "ui/editors/frmtastiera.h"
#include "ui/editors/topmaxscrollbar.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/showform.h"
#include "ui/main/twipslayout.h"

const std::array<std::string, 48> EffNameTab = {
    "No Effect",     "Hall",          "Ensemble Hall", "Concert Hall",  "Room",          "Large Room",
    "Live Stage",    "Wet Plate",     "Dry Plate",     "Spring Reverb", "Early Ref 1",   "Early Ref 2",
    "Early Ref 3",   "Stereo Delay",  "Cross Delay",   "Dual Delay",    "Multitap Dly1", "Multitap Dly2",
    "Multitap Dly3", "Chorus 1",      "Chorus 2",      "Quad Chorus",   "XOver Chorus",  "Harmonic Cho.",
    "Symphonic Ens", "Flanger 1",     "Flanger 2",     "XOver Flanger", "Exciter",       "Enhancer",
    "Distortion",    "Overdrive",     "Phaser 1",      "Phaser 2",      "Rotary Speaker", "Auto Pan",
    "Tremolo",       "Equalizer",     "Chorus-Delay",  "Flanger-Delay", "Delay/Hall",    "Delay/Room",
    "Delay/Chorus",  "Delay/Flanger", "Delay/Dist",    "Delay/Overdrv", "Delay/Phaser",  "Delay/Rotary"};

bool gEditArrFilling = false;
bool gEditArrNameSel = false;
int gTrackMute[9] = {};
int gTrackSolo[9] = {};
unsigned gEditArrBackCol = 0xFFFFFF;
unsigned gEditArrForeCol = 0x000000;
QPointer<frmEditArr> gEditArrForm;

namespace {

constexpr int kFields = 19;  // Text1(0)-(18) can be highlighted

// The colours of the highlight and of the mute and solo buttons (RGB).
constexpr unsigned kColSelect = 0x00FFFF;  // cyan
constexpr unsigned kColMute = 0xFF0000;    // red
constexpr unsigned kColSolo = 0x00FF00;    // green
constexpr unsigned kColGrey = 0xC0C0C0;

// Record offset k is edit-record character k + 1; track t's block starts at
// offset 39 + 8t.
int Byte(int offset) { return Asc(gArrEditBuf, offset + 1); }
void SetByte(int offset, int value) { MidAssign(gArrEditBuf, offset + 1, Chr(value & 0xFF)); }
int TrackOffset(int t) { return 39 + 8 * t; }

// The list lines of a style-file window: four slots a bank, a blank line
// after each bank. The slot of line n, -1 for a blank line or none.
int StyleSlotOfLine(int n) {
  if (n < 0 || n > 18 || n % 5 == 4) return -1;
  return n - n / 5;
}

// The track's Combo2 lists that are stored but never sent: the octave and
// wrap-around of Drum and Percussion, Out Status1 and wrap-around of UPPER2
// and LOWER.
bool Unsent(int i) {
  static constexpr int kUnsent[] = {2, 5, 8, 11, 45, 47, 51, 53};
  return std::find(std::begin(kUnsent), std::end(kUnsent), i) != std::end(kUnsent);
}

const char* const kTrackNames[9] = {"Drum", "Percussion", "FrBass", "FrAcc1", "FrACC2", "FrACC3", "UPPER1", "UPPER2", "LOWER"};
const char* const kTrackCaptions[9] = {"Drum", "Percussion", "Bass", "ACC1", "ACC2", "ACC3", "UPPER1", "UPPER2", "LOWER"};

QString Idx(const char* name, int i) { return QString(name) + "_" + QString::number(i); }

// "Effect 1 (3)", or "Effect 1 (Off)" for effect 0.
QString EffectLabel(int e, int v) {
  const std::string head = e == 0 ? "Effect 1 (" : "Effect 2 (";
  return ToScreen(v == 0 ? head + "Off)" : head + CStr(v) + ")");
}

// The first entry that equals text, case ignored; -1 for none.
int EntryOf(const QComboBox* combo, const QString& text) {
  for (int k = 0; k < combo->count(); ++k)
    if (combo->itemText(k).compare(text, Qt::CaseInsensitive) == 0) return k;
  return -1;
}

// Typed text that equals an entry selects it: true when it did.
bool TypeAhead(QComboBox* combo) {
  const int k = EntryOf(combo, combo->currentText());
  if (k < 0) return false;
  combo->setCurrentIndex(k);
  return true;
}

// No field is highlighted and no pick waits for a click in another window.
void NothingSelected() {
  gEditArrNameSel = false;
  gStyPickMode = false;
  gPrgPickMode = false;
  for (int& flag : gEditArrFieldSel) flag = 0;
}

QColor Rgb(unsigned rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The editor's side of the picks and of the refill.
class EditArrPicks : public ArrEditorPicks {
 public:
  bool EditorOpen() const override { return gEditArrForm && !gEditArrForm->Unloading(); }
  void SetFieldText(int field, const std::string& text) override {
    if (EditorOpen()) gEditArrForm->SetFieldText(field, text);
  }
  int EditArrStySet(int listIndex, const std::string& tag) override {
    return EditorOpen() ? gEditArrForm->EditArrStySet(listIndex, tag) : 0;
  }
  void EditArrFill() override {
    if (EditorOpen()) gEditArrForm->EditArrFill();
  }
};

EditArrPicks sPicks;

}  // namespace

// ---- Construction and layout -----------------------------------------------

frmEditArr::frmEditArr() {
  setObjectName("frmEditArr");
  BuildControls();
  ConnectControls();
}

QLabel* frmEditArr::MakeLabel(QWidget* parent, const QString& name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QComboBox* frmEditArr::MakeCombo(QWidget* parent, const QString& name, std::initializer_list<const char*> items) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  // An entry chosen, even the one shown, is the list's click; typed text
  // selects the entry it equals (the type-ahead below). Nothing typed is
  // ever added, and no completion changes what was typed.
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setCompleter(nullptr);
  combo->setMaxVisibleItems(13);
  for (const char* item : items) ComboAddItem(combo, item);
  combo->setCurrentIndex(-1);
  return combo;
}

void frmEditArr::BuildControls() {
  auto* body = new QWidget(this);
  body->setFont(QFont("Arial", 8));
  setWidget(body);
  SSTab1 = new QTabWidget(body);
  SSTab1->setObjectName("SSTab1");
  SSTab1->setDocumentMode(true);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(SSTab1);
  auto* page1 = new QWidget();
  auto* page2 = new QWidget();
  page1->setObjectName("SSTab1_0");
  page2->setObjectName("SSTab1_1");
  SSTab1->addTab(page1, "General, Drum, Percussion, Bass");
  SSTab1->addTab(page2, "ACC1,2,3, UPPER1, UPPER2, LOWER");

  BuildGeneralTab(page1);
  // Three track frames under the general part, six on the second page.
  for (int t = 0; t < 3; ++t) BuildTrackFrame(t, page1, kTrackNames[t], kTrackCaptions[t], 60 + 3000 * t, 2610);
  for (int t = 3; t < 9; ++t)
    BuildTrackFrame(t, page2, kTrackNames[t], kTrackCaptions[t], 60 + 3000 * ((t - 3) % 3), 30 + 2460 * ((t - 3) / 3));

  // A frame's caption stands on its top line, where the places of its
  // controls expect it; the style would put it above a line drawn lower,
  // across the first row of controls.
  const int half = body->fontMetrics().height() / 2;
  const QString frameStyle = QString(
                                 "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: %1px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }")
                                 .arg(half);
  for (QGroupBox* frame : frames_) {
    frame->setStyleSheet(frameStyle);
    frame->installEventFilter(this);
  }
  SSTab1->tabBar()->installEventFilter(this);
}

void frmEditArr::BuildGeneralTab(QWidget* page) {
  auto frame = [&](int index, const char* name, const char* caption, const TwipsRect& r) {
    auto* box = new QGroupBox(caption, page);
    box->setObjectName(name);
    PlaceTwips(box, r);
    frames_[index] = box;
    return box;
  };
  QGroupBox* general = frame(9, "General", "General", {60, 30, 4500, 2550});
  QGroupBox* switches = frame(10, "Frame2", "Switches", {4620, 30, 1800, 2550});
  QGroupBox* effects = frame(11, "Frame1", "Effects 1,2, On/Off", {6480, 30, 2520, 1440});
  QGroupBox* ensemble = frame(12, "Frame5", "Ensemble", {6480, 1500, 2520, 1080});

  // General: name and style, the lists, the split point, the drum map and
  // the tempo.
  PlaceTwips(MakeLabel(general, "Label_0", "Arrangement"), {120, 255, 1900, 210});
  Text1[0] = new QLineEdit(general);
  PlaceTwips(Text1[0], {120, 465, 1900, 300});
  Label_1 = MakeLabel(general, "Label_1", "Style");
  PlaceTwips(Label_1, {2100, 255, 1800, 210});
  Text1[1] = new QLineEdit(general);
  PlaceTwips(Text1[1], {2100, 465, 1800, 300});

  auto listAt = [&](int i, const char* caption, const TwipsRect& r, std::initializer_list<const char*> items,
                    int labelWidth = 0) {
    PlaceTwips(MakeLabel(general, Idx("Label3", i), caption),
               {r.left, r.top - 200, labelWidth ? labelWidth : r.width + 200, 200});
    Combo1[i] = MakeCombo(general, Idx("Combo1", i), items);
    PlaceTwips(Combo1[i], r);
  };
  listAt(0, "Keyboard Assign",
         {120, 1020, 1140, 300}, 
         {"FULL 1", "FULL 2", "SPLIT 1", "M. DRUMS", "FULL 3", "FULL 4", "SPLIT 2", "SPLIT 3", "SPLIT 4", "SPLIT 5",
          "SPLIT 6"});
  const std::initializer_list<const char*> fills = {" OFF", " ->1", " ->2", " ->3", " ->4", " 1&2", " 1&3",
                                                    " 1&4", " 2&3", " 2&4", " 3&4", " UP",  " DOWN"};
  listAt(1, "Fill 1", {1440, 1020, 780, 300}, fills);
  listAt(2, "Fill 2", {2280, 1020, 780, 300}, fills);
  listAt(3, "Init. Var.", {3120, 1020, 720, 300}, {" 1", " 2", " 3", " 4"});
  listAt(4, "Transpose", {120, 1590, 780, 300},
         {" +11", " +10", " +9", " +8", " +7", " +6", " +5", " +4", " +3", " +2", " +1", "  0",
          " -1",  " -2",  " -3", " -4", " -5", " -6", " -7", " -8", " -9", " -10", " -11"});
  listAt(6, "Kick Designation", {1020, 1590, 660, 300}, {" A", " B", " C", " D"}, 1380);
  listAt(7, "Snare Designation", {2460, 1590, 660, 300}, {" A", " B", " C", " D"}, 1440);
  listAt(5, "DDrumMap", {2160, 2160, 900, 300}, {" VAR1", " VAR2", " VAR3", " VAR4"});

  PlaceTwips(MakeLabel(general, "Label3_10", "Split Point"), {120, 1960, 1500, 200});
  // The split point and the drum map, each with the label of its value.
  auto hScroll = [&](int i, int low, int high, int page, const TwipsRect& r, int label, const TwipsRect& labelRect) {
    HScroll1[i] = new QScrollBar(Qt::Horizontal, general);
    HScroll1[i]->setObjectName(Idx("HScroll1", i));
    HScroll1[i]->setRange(low, high);
    HScroll1[i]->setPageStep(page);
    PlaceTwips(HScroll1[i], r);
    Label1[label] = MakeLabel(general, Idx("Label1", label), QString());
    PlaceTwips(Label1[label], labelRect);
  };
  hScroll(0, 36, 96, 12, {120, 2190, 1380, 240}, 3, {1560, 2175, 540, 270});
  hScroll(1, 1, 8, 1, {3120, 2190, 660, 240}, 4, {3840, 2175, 360, 270});

  PlaceTwips(MakeLabel(general, "Label3_11", "Tempo"), {3900, 255, 600, 210});
  VScroll1[0] = new TopMaxScrollBar(general);
  VScroll1[0]->setObjectName("VScroll1_0");
  VScroll1[0]->setRange(40, 240);
  VScroll1[0]->setPageStep(10);
  PlaceTwips(VScroll1[0], {4080, 465, 240, 1380});
  Label1[0] = MakeLabel(general, "Label1_0", QString());
  Label1[0]->setAlignment(Qt::AlignCenter);
  PlaceTwips(Label1[0], {3960, 1860, 480, 240});

  // Switches.
  const char* checks[9] = {"Dynamic Velocity", "Tempo Lock",     "KBD1 Damp En", "KBD2 Damp En", "Chord Scan Low",
                           "Chord Scan High",  "Bass Inversion", "Chord Hold",   "Chord Latch"};
  for (int i = 0; i < 9; ++i) {
    Check1[i] = new QCheckBox(checks[i], switches);
    Check1[i]->setObjectName(Idx("Check1", i));
    PlaceTwips(Check1[i], {120, 240 + 250 * i, 1620, 240});
  }

  // Effects: the lists show the effects from 47 down to 0.
  for (int e = 0; e < 2; ++e) {
    EffLab1[e] = MakeLabel(effects, Idx("EffLab1", e), QString());
    PlaceTwips(EffLab1[e], {120, 240 + 600 * e, 2200, 210});
    EffCombo[e] = MakeCombo(effects, Idx("EffCombo", e), {});
    for (int v = 47; v >= 0; --v) ComboAddItem(EffCombo[e], EffNameTab[v]);
    EffCombo[e]->setCurrentIndex(-1);
    PlaceTwips(EffCombo[e], {120, 450 + 600 * e, 1680, 300});
    EffComm[e] = new QPushButton("On", effects);
    EffComm[e]->setObjectName(Idx("EffComm", e));
    PlaceTwips(EffComm[e], {1860, 450 + 600 * e, 540, 300});
  }

  // Ensemble.
  PlaceTwips(MakeLabel(ensemble, "Label3_8", "Type"), {120, 240, 1160, 210});
  Combo1[8] = MakeCombo(ensemble, "Combo1_8",
                        {"Duet", "Close", "Open1", "Open2", "Octave", "Power Ens.", "Fourths", "Block", "Brass Ens.",
                         "Reed Ens."});
  PlaceTwips(Combo1[8], {120, 450, 1160, 300});
  PlaceTwips(MakeLabel(ensemble, "Label3_9", "ManDrumKit"), {1380, 240, 1020, 210});
  Combo1[9] = MakeCombo(ensemble, "Combo1_9",
                        {" Dr11", " Dr12", " Dr13", " Dr14", " Dr15", " Dr16", " Dr17", " Dr18", " Dr21", " Dr22",
                         " Dr23", " Dr24", " Dr25", " Dr26", " Dr27", " Dr28"});
  PlaceTwips(Combo1[9], {1380, 450, 900, 300});
  Check1[9] = new QCheckBox("Sw", ensemble);
  Check1[9]->setObjectName("Check1_9");
  PlaceTwips(Check1[9], {120, 790, 900, 240});

  // Only the name takes typing, and only characters that have a byte.
  Text1[0]->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x{20}-\\x{7E}\\x{A0}-\\x{FF}]*"), Text1[0]));
  Text1[1]->setReadOnly(true);
}

void frmEditArr::BuildTrackFrame(int t, QWidget* page, const char* name, const char* caption, int left, int top) {
  auto* box = new QGroupBox(caption, page);
  box->setObjectName(name);
  PlaceTwips(box, {left, top, 2940, 2400});
  frames_[t] = box;
  const QString n = QString::number(t);

  const int field = 2 * t + 2;
  PlaceTwips(MakeLabel(box, "Label4_" + n, "Program"), {90, 200, 1500, 200});
  Text1[field] = new QLineEdit(box);
  Text1[field]->setReadOnly(true);
  PlaceTwips(Text1[field], {90, 400, 1560, 300});
  PlaceTwips(MakeLabel(box, "Label5_" + n, "Bank"), {1710, 200, 660, 200});
  Text1[field + 1] = new QLineEdit(box);
  Text1[field + 1]->setReadOnly(true);
  PlaceTwips(Text1[field + 1], {1710, 400, 660, 300});

  CommM[t] = new QPushButton("M", box);
  CommM[t]->setObjectName("CommM_" + n);
  PlaceTwips(CommM[t], {2420, 400, 230, 300});
  CommS[t] = new QPushButton("S", box);
  CommS[t]->setObjectName("CommS_" + n);
  PlaceTwips(CommS[t], {2660, 400, 230, 300});

  // Volume and pan, the largest value at the top.
  for (int k = 0; k < 2; ++k) {
    const int i = 2 * t + 1 + k;
    const QString idx = QString::number(i);
    auto* caption2 = MakeLabel(box, "Label6_" + idx, k == 0 ? "VOL" : "PAN");
    caption2->setAlignment(Qt::AlignCenter);
    PlaceTwips(caption2, {60 + 420 * k, 760, 420, 200});
    VScroll1[i] = new TopMaxScrollBar(box);
    VScroll1[i]->setObjectName("VScroll1_" + idx);
    VScroll1[i]->setRange(k == 0 ? 0 : 1, k == 0 ? 127 : 33);
    VScroll1[i]->setPageStep(k == 0 ? 10 : 4);
    PlaceTwips(VScroll1[i], {150 + 420 * k, 970, 240, 1050});
    Label2[i] = MakeLabel(box, "Label2_" + idx, QString());
    Label2[i]->setAlignment(Qt::AlignCenter);
    PlaceTwips(Label2[i], {60 + 420 * k, 2040, 420, 220});
  }

  // The six lists, two columns of three.
  struct ListDef {
    const char* caption;
    std::initializer_list<const char*> items;
  };
  const std::initializer_list<const char*> sends = {"PRG", " 9", " 8", " 7", " 6", " 5", " 4", " 3", " 2", " 1", " 0"};
  const ListDef lists[6] = {
      {"C Send L", sends},
      {"D Send L", sends},
      {"Octave", {" +2", " +1", "  0", " -1", " -2"}},
      {"Out Status1", {"OFF", "INT", "EXT", "BOTH"}},
      {"Out Status2", {"PLAY", "MUTE", "SOLO"}},
      {"W-Around", {" 12", " 11", " 10", " 9", " 8", " 7", " 6", " 5", " 4", " 3", " 2", " 1", " ORG"}}};
  // Where list k stands: C and D send on the first row, octave and
  // wrap-around on the second, the two output lists on the third.
  const int column[6] = {0, 1, 0, 0, 1, 1};
  const int row[6] = {0, 0, 1, 2, 2, 1};
  for (int k = 0; k < 6; ++k) {
    const int i = 6 * t + k;
    const QString idx = QString::number(i);
    const int x = 930 + 990 * column[k], y = 940 + 530 * row[k];
    PlaceTwips(MakeLabel(box, "Label7_" + idx, lists[k].caption), {x, y - 190, 990, 190});
    Combo2[i] = MakeCombo(box, "Combo2_" + idx, lists[k].items);
    PlaceTwips(Combo2[i], {x, y, 930, 300});
  }
}

void frmEditArr::ConnectControls() {
  for (int i = 0; i < 20; ++i) {
    Text1[i]->setObjectName(Idx("Text1", i));
    Text1[i]->installEventFilter(this);
    // The field keeps the highlight colours; a read-only field takes no
    // focus, so it never looks selected as well.
    if (i > 0) Text1[i]->setFocusPolicy(Qt::NoFocus);
  }
  // A name pasted with the mouse is taken as a typed one.
  connect(Text1[0], &QLineEdit::textEdited, this, [this] { Text1_KeyUp(0); });
  for (int i = 0; i < 10; ++i) {
    connect(Combo1[i], &QComboBox::activated, this, [this, i] { Combo1_Click(i); });
    connect(Combo1[i]->lineEdit(), &QLineEdit::textEdited, this, [this, i] { Combo1_Change(i); });
    connect(Check1[i], &QCheckBox::toggled, this, [this, i] { Check1_Click(i); });
  }
  for (int i = 0; i < 54; ++i) {
    connect(Combo2[i], &QComboBox::activated, this, [this, i] { Combo2_Click(i); });
    connect(Combo2[i]->lineEdit(), &QLineEdit::textEdited, this, [this, i] { Combo2_Change(i); });
  }
  for (int i = 0; i < 2; ++i) {
    connect(HScroll1[i], &QScrollBar::valueChanged, this, [this, i] { HScroll1_Change(i); });
    connect(EffCombo[i], &QComboBox::activated, this, [this, i] { EffCombo_Click(i); });
    connect(EffComm[i], &QPushButton::clicked, this, [this, i] { EffComm_Click(i); });
  }
  for (int i = 0; i < 19; ++i)
    connect(VScroll1[i], &QScrollBar::valueChanged, this, [this, i] { VScroll1_Change(i); });
  for (int t = 0; t < 9; ++t) {
    connect(CommM[t], &QPushButton::clicked, this, [this, t] { CommM_Click(t); });
    connect(CommS[t], &QPushButton::clicked, this, [this, t] { CommS_Click(t); });
  }
  // SSTab1_Click.
  connect(SSTab1, &QTabWidget::currentChanged, this, [this] { EditArrFieldDeselect(); });
}

bool frmEditArr::eventFilter(QObject* watched, QEvent* event) {
  if (!SSTab1) return ChildForm::eventFilter(watched, event);  // still being built
  const QEvent::Type type = event->type();
  if (type == QEvent::MouseButtonPress) {
    // A frame removes the highlight; its right button then pops the Edit
    // menu up through the window.
    for (QGroupBox* frame : frames_)
      if (watched == frame) EditArrFieldDeselect();
  }
  for (int i = 0; i < 20; ++i) {
    if (watched != Text1[i]) continue;
    if (type == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        Text1[i]->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
      Text1_Click(i);
    if (type == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) Text1_KeyUp(i);
  }
  return ChildForm::eventFilter(watched, event);
}

// ---- Load and frame ----------------------------------------------------------

void frmEditArr::Form_Load() {
  gFormLoading2 = true;
  JoinMainWindow();
  gWinPosCur = gWinPosTab[kKindEditArr];
  // A record with no size opens at the largest.
  const WindowSize big = EnlargedSizeOfKind(kKindEditArr);
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height > 0 ? gWinPosCur.Height : big.height,
               gWinPosCur.Width > 0 ? gWinPosCur.Width : big.width, big.height, big.width);
  gWinPosCur.State = 1;
  gWinPosTab[kKindEditArr] = gWinPosCur;

  // A new window shows no highlight, so no field is selected.
  NothingSelected();
  gArrEditLinked = true;
  gArrModified = false;

  const QPalette palette = Text1[0]->palette();
  gEditArrBackCol = palette.color(QPalette::Base).rgb() & 0xFFFFFF;
  gEditArrForeCol = palette.color(QPalette::Text).rgb() & 0xFFFFFF;

  // The mute and solo buttons show what the instrument was last sent.
  for (int t = 0; t < 9; ++t) {
    SetButtonColour(CommM[t], gTrackMute[t] ? kColMute : kColGrey);
    SetButtonColour(CommS[t], gTrackSolo[t] ? kColSolo : kColGrey);
  }

  EditArrFill();
  winTag_ = Chr(kKindEditArr) + Chr(0);
  gFormLoading2 = false;
  loaded_ = true;
}

void frmEditArr::Form_Activate() { MenuUpdate(); }

void frmEditArr::Form_Resize() {
  if (gFormLoading2 || !loaded_) return;
  gWinPosCur = gWinPosTab[kKindEditArr];
  const WindowSize big = EnlargedSizeOfKind(kKindEditArr);
  // Cut back: the resize that follows records the size.
  if (!FrameResize(big.height, big.width, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State)) return;
  gWinPosTab[kKindEditArr] = gWinPosCur;
  MenuUpdate();
}

void frmEditArr::Form_QueryUnload(bool& cancel) {
  // The close asks whether the changed arrangement goes back into its
  // file's window. An owner closing the editor during the exit does not ask
  // again about the record the user already declined.
  if (Unloading() || !gArrModified) return;
  if (!gClosing) declined_.clear();
  if (gClosing && !declined_.empty() && declined_ == gArrEditBuf) return;
  switch (AskSave(2, caption_)) {
    case kMsgYes:
      // A read-only owner says so; the editor closes all the same.
      ArrEditBufStore(caption_);
      break;
    case kMsgNo:
      if (gClosing) declined_ = gArrEditBuf;
      break;
    default:
      gArrSavedBack = true;
      cancel = true;
      break;
  }
}

void frmEditArr::Form_Unload() {
  NothingSelected();
  gArrSavedBack = false;
  gArrEditLinked = false;
  // The owner's Edit command is now as a click on its selected line leaves
  // it. The owner may have been activated already (while the prompt was
  // up, before the link was cleared), so its activation does not come
  // again; the menu refresh below then copies its button.
  if (Asc(gArrEditBuf, 325) == kKindArrFile)
    if (ChildView* owner = ArrFileWindowOfSlot(Asc(gArrEditBuf, 327))) owner->UpdateEditCommand();
  // The editor never reopens at the next start.
  gWinPosCur = gWinPosTab[kKindEditArr];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, nullptr);
  gWinPosCur.State = 0;
  gWinPosTab[kKindEditArr] = gWinPosCur;
  MenuUpdate();
}

void frmEditArr::SetCaption(const std::string& caption) {
  caption_ = caption;
  SetWindowCaption(caption);
}

// ---- The fill ---------------------------------------------------------------

void frmEditArr::SetComboIndex(QComboBox* combo, int index) {
  combo->setCurrentIndex(index);
  if (index < 0) combo->setEditText(QString());
}

void frmEditArr::SetFieldText(int field, const std::string& text) {
  if (field < 0 || field > 19) return;
  Text1[field]->setText(ToScreen(CutAtNul(text)));
}

void frmEditArr::ShowStyleLabel() {
  const int n = Byte(17);
  std::string label;
  if (Byte(18) == 1) {
    label = "Style (U" + CStr(n < 8 ? n + 11 : n + 13);
  } else {
    const int m = n < 64 ? n : n - 64;
    label = std::string(n < 64 ? "Style (A" : "Style (B") + CStr(10 * (m / 8 + 1) + m % 8 + 1);
  }
  Label_1->setText(ToScreen(label + ")"));
}

void frmEditArr::EditArrKeyShow(int note) { Label1[3]->setText(ToScreen(SplitPointName(note))); }

void frmEditArr::EditArrFill() {
  gEditArrFilling = true;
  SetCaption(EditorCaption());
  SetFieldText(0, RTrim(CutAtNul(Mid(gArrEditBuf, 1, 16))));
  SetFieldText(1, RTrim(CutAtNul(Mid(gArrEditBuf, 165, 16))));
  ShowStyleLabel();

  // A value with no entry in its list shows none; the byte stays as stored
  // until the user changes that list.
  auto listOf = [](int v, int last) { return v <= last ? v : -1; };
  SetComboIndex(Combo1[0], listOf(Byte(22), 10));
  SetComboIndex(Combo1[3], listOf(Byte(19), 3));
  SetComboIndex(Combo1[1], Byte(37) > 12 ? 0 : Byte(37));
  SetComboIndex(Combo1[2], Byte(38) > 12 ? 0 : Byte(38));

  int v = Byte(21);
  if (v < 10 || v > 210) v = 10;
  Label1[0]->setText(QString::number(v + 30));
  VScroll1[0]->setValue(v + 30);

  v = Byte(23);
  if (v < 36 || v > 96) v = 60;
  HScroll1[0]->setValue(v);
  EditArrKeyShow(v);

  v = Byte(25);
  SetComboIndex(Combo1[4], v >= 245 ? 22 - (v - 245) : v <= 11 ? 11 - v : 0);
  SetComboIndex(Combo1[9], Byte(26) > 7 ? 0 : Byte(26));

  // The drum map of VAR1: its number as stored, the slider at the nearest
  // end when the number is outside 1-8.
  Label1[4]->setText(QString::number(Byte(29)));
  SetComboIndex(Combo1[5], 0);
  HScroll1[1]->setValue(std::clamp(Byte(29), 1, 8));

  for (int e = 0; e < 2; ++e) {
    v = Byte(135 + e);
    if (v > 47) v = 0;
    SetComboIndex(EffCombo[e], 47 - v);
    EffLab1[e]->setText(EffectLabel(e, v));
  }

  SetComboIndex(Combo1[6], listOf(Byte(33), 3));
  SetComboIndex(Combo1[7], listOf(Byte(34), 3));
  SetComboIndex(Combo1[8], listOf(Byte(24) & 127, 9));
  Check1[9]->setChecked(Byte(24) / 128 != 0);
  for (int i = 0; i < 4; ++i) Check1[i]->setChecked((Byte(27) >> i) & 1);
  for (int i = 0; i < 5; ++i) Check1[4 + i]->setChecked((Byte(28) >> i) & 1);

  for (int t = 0; t < 9; ++t) {
    const int b = TrackOffset(t);
    const TrackProgramText program = TrackProgramShown(t);
    SetFieldText(2 * t + 2, program.name);
    SetFieldText(2 * t + 3, program.place);

    v = Byte(b + 2);
    if (v > 127) v = 100;
    Label2[2 * t + 1]->setText(QString::number(v));
    VScroll1[2 * t + 1]->setValue(v);

    v = Byte(b + 3);
    int slider = 17;
    std::string pan = "CNT";
    if (v <= 14) {
      slider = v + 2;
      pan = "L" + CStr(15 - v);
    } else if (v >= 16 && v <= 30) {
      slider = v + 2;
      pan = "R" + CStr(v - 15);
    } else if (v == 31) {
      slider = 33;
      pan = "PRG";
    } else if (v == 255) {
      slider = 1;
      pan = "OFF";
    }
    Label2[2 * t + 2]->setText(ToScreen(pan));
    VScroll1[2 * t + 2]->setValue(slider);

    v = Byte(b + 5);
    SetComboIndex(Combo2[6 * t + 2], v <= 2 ? 2 - v : v >= 254 ? 258 - v : 2);

    // Each send level by itself: a nibble above 10 shows "PRG".
    const int s = Byte(b + 4);
    const int low = s & 15, high = s >> 4;
    SetComboIndex(Combo2[6 * t], low > 10 ? 0 : 10 - low);
    SetComboIndex(Combo2[6 * t + 1], high > 10 ? 0 : 10 - high);

    v = Byte(b + 6);
    if (v > 11) v = 3;
    SetComboIndex(Combo2[6 * t + 3], v & 3);
    SetComboIndex(Combo2[6 * t + 4], (v >> 2) & 3);

    v = Byte(b + 7);
    SetComboIndex(Combo2[6 * t + 5], v == 255 ? 12 : v <= 11 ? 11 - v : 0);
  }
  gEditArrFilling = false;
  gArrModified = false;
}

// ---- Fields and picks -------------------------------------------------------

void frmEditArr::SetFieldColours(int n, bool highlighted) {
  QPalette palette = Text1[n]->palette();
  palette.setColor(QPalette::Base, Rgb(highlighted ? kColSelect : gEditArrBackCol));
  palette.setColor(QPalette::Text, Rgb(highlighted ? 0x000000 : gEditArrForeCol));
  Text1[n]->setPalette(palette);
}

void frmEditArr::SetButtonColour(QPushButton* button, unsigned rgb) {
  QPalette palette = button->palette();
  palette.setColor(QPalette::Button, Rgb(rgb));
  button->setPalette(palette);
  button->setAutoFillBackground(true);
}

void frmEditArr::EditArrFieldSelect(int n) {
  if (n < 0 || n >= kFields) return;
  gEditArrFieldSel[n] = 1;
  SetFieldColours(n, true);
  for (int k = 0; k < kFields; ++k) {
    if (k == n || gEditArrFieldSel[k] != 1) continue;
    gEditArrFieldSel[k] = 0;
    SetFieldColours(k, false);
  }
}

void frmEditArr::EditArrFieldDeselect() {
  for (int k = 0; k < kFields; ++k) {
    if (gEditArrFieldSel[k] != 1) continue;
    gEditArrFieldSel[k] = 0;
    SetFieldColours(k, false);
    break;
  }
  gEditArrNameSel = false;
  gPrgPickMode = false;
  gStyPickMode = false;
}

void frmEditArr::Text1_Click(int i) {
  // The bank fields only remove the highlight.
  if (i >= 3 && i % 2 == 1) {
    EditArrFieldDeselect();
    return;
  }
  if (i >= kFields) return;
  if (gEditArrFieldSel[i] == 1) {
    EditArrFieldDeselect();
    return;
  }
  EditArrFieldSelect(i);
  if (i == 0) gEditArrNameSel = true;
  if (i == 1) gStyPickMode = true;
  // A program pick writes into the highlighted program field only.
  if (i <= 1) gPrgPickMode = false;
  if (i >= 2) gPrgPickMode = true;
}

int frmEditArr::EditArrStySet(int n, const std::string& tag) {
  int number = 0, source = 0;
  switch (Asc(tag, 1)) {
    case kKindStyA:
      if (n < 0 || n > 63) return 0;
      number = n;
      break;
    case kKindStyB:
      if (n < 0 || n > 63) return 0;
      number = n + 64;
      break;
    case kKindStyFile: {
      // Only a style of the owner's own style file plays as picked: the
      // record names a slot of the owner's group.
      const int slot = StyleSlotOfLine(n);
      if (slot < 0 || Asc(gArrEditBuf, 325) != kKindArrFile) return 0;
      const ChildView* owner = ArrFileWindowOfSlot(Asc(gArrEditBuf, 327));
      if (!owner || RTrim(Mid(owner->Tag(), 21, 238)) != RTrim(Mid(tag, 21, 238))) return 0;
      if (StyGrpSlotLen(slot, Mid(tag, kStyWinGrpBase)) <= 0) return 0;
      number = slot;
      source = 1;
      break;
    }
    default:
      return 0;
  }
  SetByte(17, number);
  SetByte(18, source);
  MainView* main = TheMainView();
  const ChildView* picked = main ? main->ActiveChild() : nullptr;
  const std::string line = picked ? RTrim(picked->ListText(n)) : std::string();
  SetFieldText(1, line.size() < 4 ? std::string() : Mid(line, 5));
  ShowStyleLabel();
  return 1;
}

// ---- Changes ----------------------------------------------------------------

void frmEditArr::Send(int id, int value) { TxParamChange(0, id, value, EditNeg); }

void frmEditArr::Combo2_Click(int i) {
  if (gEditArrFilling || settingFromCode_) return;
  EditArrFieldDeselect();
  const int L = Combo2[i]->currentIndex();
  if (L < 0) return;
  const int t = i / 6, k = i % 6, b = TrackOffset(t);
  EditNeg = 0;
  int pos = 0, value = 0, id = 0;
  bool send = !Unsent(i);
  switch (k) {
    case 0:
      pos = b + 4;
      value = 10 - L;
      SetByte(pos, value | (Byte(pos) & 0xF0));
      id = 10 * t + 13;
      break;
    case 1:
      pos = b + 4;
      value = 10 - L;
      SetByte(pos, value * 16 | (Byte(pos) & 0x0F));
      id = 10 * t + 14;
      break;
    case 2:
      pos = b + 5;
      value = L <= 2 ? 2 - L : L == 3 ? 255 : 254;
      if (L >= 3) EditNeg = 1;
      SetByte(pos, value);
      id = 10 * t + 16;
      break;
    case 3:
      pos = b + 6;
      value = L | (Byte(pos) & 12);
      SetByte(pos, value);
      id = 10 * t + 17;
      break;
    case 4:
      pos = b + 6;
      SetByte(pos, L * 4 | (Byte(pos) & 3));
      value = L;
      id = 10 * t + 15;
      if (L == 2) send = false;  // SOLO is stored only
      break;
    default:
      pos = b + 7;
      value = L <= 11 ? 11 - L : 255;
      if (L > 11) EditNeg = 1;
      SetByte(pos, value);
      id = 10 * t + 18;
      break;
  }
  EditPos = pos;
  gArrModified = true;
  if (send) Send(id, value);
}

void frmEditArr::Combo1_Click(int i) {
  if (gEditArrFilling || settingFromCode_) return;
  const int L = Combo1[i]->currentIndex();
  if (L < 0) return;
  EditNeg = 0;
  int value = L, pos = 0, id = -1;
  switch (i) {
    case 0: pos = 22; break;
    case 1: pos = 37; id = 4; break;
    case 2: pos = 38; id = 5; break;
    case 3: pos = 19; break;
    case 4:
      pos = 25;
      id = 3;
      value = L <= 11 ? 11 - L : 267 - L;
      if (L > 11) EditNeg = 1;
      break;
    case 5: {
      // Shows the drum map of the variation; setting the slider writes
      // nothing.
      EditPos = 29 + L;
      const int map = Byte(EditPos);
      Label1[4]->setText(QString::number(map));
      settingFromCode_ = true;
      HScroll1[1]->setValue(std::clamp(map, 1, 8));
      settingFromCode_ = false;
      return;
    }
    case 6: pos = 33; break;
    case 7: pos = 34; break;
    case 8: pos = 24; value = L | (Byte(24) & 0x80); break;
    default: pos = 26; break;
  }
  SetByte(pos, value);
  EditPos = pos;
  gArrModified = true;
  if (id >= 0) Send(id, value);
}

void frmEditArr::Combo1_Change(int i) {
  if (TypeAhead(Combo1[i])) Combo1_Click(i);
}

void frmEditArr::Combo2_Change(int i) {
  if (TypeAhead(Combo2[i])) Combo2_Click(i);
}

void frmEditArr::HScroll1_Change(int i) {
  if (gEditArrFilling || settingFromCode_) return;
  EditArrFieldDeselect();
  EditNeg = 0;
  const int v = HScroll1[i]->value();
  if (i == 0) {
    EditPos = 23;
    EditArrKeyShow(v);
    // The keyboard shows the same split point and sends it itself.
    if (gKbdOpen && gTasForm) gTasForm->VScroll1()->setValue(v);
  } else {
    EditPos = 29 + std::max(Combo1[5]->currentIndex(), 0);
    Label1[4]->setText(QString::number(v));
  }
  SetByte(EditPos, v);
  gArrModified = true;
  if (i == 0) Send(2, v);
}

void frmEditArr::VScroll1_Change(int i) {
  if (gEditArrFilling || settingFromCode_) return;
  EditArrFieldDeselect();
  EditNeg = 0;
  const int v = VScroll1[i]->value();
  if (i == 0) {
    Label1[0]->setText(QString::number(v));
    Send(0, v);
    SetByte(21, v - 30);
  } else if (i % 2 == 1) {
    const int t = (i - 1) / 2;
    Label2[i]->setText(QString::number(v));
    Send(10 * t + 11, v);
    SetByte(TrackOffset(t) + 2, v);
  } else {
    const int t = (i - 2) / 2;
    int code = 15;
    std::string text = "CNT";
    if (v >= 2 && v <= 16) {
      code = v - 2;
      text = "L" + CStr(17 - v);
    } else if (v >= 18 && v <= 32) {
      code = v - 2;
      text = "R" + CStr(v - 17);
    } else if (v == 33) {
      code = 31;
      text = "PRG";
    } else if (v == 1) {
      code = 255;
      text = "OFF";
      EditNeg = 1;
    }
    Label2[i]->setText(ToScreen(text));
    Send(10 * t + 12, code);
    SetByte(TrackOffset(t) + 3, code);
  }
  gArrModified = true;
}

void frmEditArr::EffCombo_Click(int e) {
  if (gFormLoading2 || gEditArrFilling || settingFromCode_) return;
  EditArrFieldDeselect();
  const int L = EffCombo[e]->currentIndex();
  if (L < 0) return;
  EditNeg = 0;
  const int value = 47 - L;
  SetByte(135 + e, value);
  EffLab1[e]->setText(EffectLabel(e, value));
  gArrModified = true;
  Send(e == 0 ? 6 : 8, value);
}

void frmEditArr::EffComm_Click(int e) {
  EditArrFieldDeselect();
  EditNeg = 0;
  int value = 1;
  if (EffComm[e]->text() == "On") {
    EffComm[e]->setText("Off");
    value = 0;
  } else {
    EffComm[e]->setText("On");
  }
  Send(e == 0 ? 7 : 9, value);
}

void frmEditArr::Check1_Click(int i) {
  if (gEditArrFilling || settingFromCode_) return;
  EditArrFieldDeselect();
  EditNeg = 0;
  const int v = Check1[i]->isChecked() ? 1 : 0;
  int pos = 27, bit = i;
  if (i >= 4 && i <= 8) {
    pos = 28;
    bit = i - 4;
  } else if (i == 9) {
    pos = 24;
    bit = 7;
  }
  SetByte(pos, (Byte(pos) & ~(1 << bit)) | (v << bit));
  gArrModified = true;
  if (i == 2) Send(79, v);
  if (i == 3) Send(89, v);
  if (i == 8) Send(1, v);
}

void frmEditArr::CommM_Click(int t) {
  EditArrFieldDeselect();
  EditNeg = 0;
  int value = 0;
  if (gTrackMute[t]) {
    gTrackMute[t] = 0;
    SetButtonColour(CommM[t], kColGrey);
  } else {
    if (gTrackSolo[t] == 1) {
      gTrackSolo[t] = 0;
      SetButtonColour(CommS[t], kColGrey);
    }
    gTrackMute[t] = 1;
    SetButtonColour(CommM[t], kColMute);
    value = 1;
  }
  Send(10 * t + 15, value);
}

void frmEditArr::CommS_Click(int t) {
  EditArrFieldDeselect();
  EditNeg = 0;
  if (gTrackSolo[t]) {
    gTrackSolo[t] = 0;
    SetButtonColour(CommS[t], kColGrey);
    for (int k = 0; k < 9; ++k) {
      gTrackMute[k] = 0;
      SetButtonColour(CommM[k], kColGrey);
    }
  } else {
    gTrackMute[t] = 0;
    for (int k = 0; k < 9; ++k) {
      if (k == t) continue;
      gTrackSolo[k] = 0;
      SetButtonColour(CommS[k], kColGrey);
    }
    gTrackSolo[t] = 1;
    SetButtonColour(CommS[t], kColSolo);
    for (int k = 0; k < 9; ++k) {
      gTrackMute[k] = k == t ? 0 : 1;
      SetButtonColour(CommM[k], k == t ? kColGrey : kColMute);
    }
  }
  for (int k = 0; k < 9; ++k) Send(10 * k + 15, gTrackMute[k]);
}

void frmEditArr::Text1_KeyUp(int i) {
  if (i != 0) return;
  const std::string text = Text1[0]->text().toLatin1().toStdString();
  SetCaption(EditorCaption(text));
  gArrNameChanged = true;
  MidAssign(gArrEditBuf, 1, PadRight(Left(text, 10), 10));
  gArrModified = true;
}

// ---- The opener -------------------------------------------------------------

void EditArrWinShow() {
  ShowFormOf(
      gEditArrForm,
      [] {
        auto* form = new frmEditArr();
        form->Form_Load();
        return form;
      },
      true);
}

void RegisterArrEditor() { SetArrEditorPicks(&sPicks); }

void FrmEditArrReset() {
  delete gEditArrForm;
  gEditArrForm = nullptr;
  gEditArrFilling = false;
  gEditArrNameSel = false;
  for (int t = 0; t < 9; ++t) gTrackMute[t] = gTrackSolo[t] = 0;
  gEditArrBackCol = 0xFFFFFF;
  gEditArrForeCol = 0x000000;
}

