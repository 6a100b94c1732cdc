#include "ui/editors/frmgbl.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/appstate.h"
#include "app/docaccess.h"
#include "app/docsave.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/gblfile.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/strings.h"
#include "ui/editors/topmaxscrollbar.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/showform.h"

QPointer<frmGbl> gGblForms[9];

namespace {

constexpr int kTitlePos = 21;
constexpr int kTitleLen = 238;

// The body of the window: it lays the page out at its natural size, or
// larger, and clips it when the window is made smaller, so that shrinking a
// window never squeezes its controls on top of each other.
class ClipBody : public QWidget {
 public:
  explicit ClipBody(QWidget* page) : page_(page) { page_->setParent(this); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    const QSize natural = page_->minimumSizeHint();
    page_->setGeometry(0, 0, std::max(width(), natural.width()), std::max(height(), natural.height()));
  }

 private:
  QWidget* page_;
};

QLabel* NewLabel(const std::string& text, QWidget* parent, const QString& name = QString()) {
  auto* label = new QLabel(ToScreen(text), parent);
  if (!name.isEmpty()) label->setObjectName(name);
  return label;
}

QComboBox* NewList(GblCtl ctl, int index, const QString& name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name + "_" + QString::number(index));
  combo->setEditable(false);  // a choice from the list only
  combo->setFixedHeight(combo->fontMetrics().height() + 6);
  for (const std::string& item : GblListItems(ctl, index)) ComboAddItem(combo, item);
  return combo;
}

QScrollBar* NewScroll(int min, int max, const QString& name, QWidget* parent) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setObjectName(name);
  bar->setRange(min, max);
  bar->setSingleStep(1);
  bar->setPageStep(10);
  return bar;
}

QGroupBox* NewFrame(const QString& caption, const QString& name, QWidget* parent) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setObjectName(name);
  return frame;
}

QGridLayout* FrameGrid(QGroupBox* frame) {
  auto* grid = new QGridLayout(frame);
  grid->setContentsMargins(6, 2, 6, 3);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(1);
  return grid;
}

// A new tab page and its layout, with the window's narrow margins.
template <class Layout>
Layout* TabPage(QTabWidget* tabs, const char* title) {
  auto* page = new QWidget(tabs);  // inherits the window's font at once
  auto* layout = new Layout(page);
  layout->setContentsMargins(3, 2, 3, 2);
  layout->setSpacing(3);
  tabs->addTab(page, QString::fromLatin1(title));
  return layout;
}

// The marks under a horizontal slider: its left, middle and right values.
QWidget* Marks(const std::vector<const char*>& texts, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* box = new QHBoxLayout(row);
  box->setContentsMargins(0, 0, 0, 0);
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) box->addStretch();
    box->addWidget(new QLabel(QString::fromLatin1(texts[i]), row));
  }
  return row;
}

}  // namespace

frmGbl::frmGbl() {
  setObjectName("frmGbl");
  BuildControls();
  // The lists are filled; only now do their handlers listen, so that the
  // first item selecting itself runs nothing.
  ConnectHandlers();
  FrameControls();
}

void frmGbl::BuildControls() {
  page_ = new QWidget();
  auto* body = new ClipBody(page_);
  setWidget(body);
  // A small, narrow face: the four tabs hold some sixty controls within
  // the window's largest size.
  QFont font = page_->font();
  font.setPointSizeF(8);
  font.setStretch(QFont::SemiCondensed);
  page_->setFont(font);

  auto* pageBox = new QVBoxLayout(page_);
  pageBox->setContentsMargins(3, 3, 3, 3);
  pageBox->setSpacing(3);
  SSTab1 = new QTabWidget(page_);
  SSTab1->setObjectName("SSTab1");
  SSTab1->setDocumentMode(true);
  pageBox->addWidget(SSTab1, 1);

  // ---- General ----
  auto* generalGrid = TabPage<QGridLayout>(SSTab1, "General");
  QWidget* general = generalGrid->parentWidget();

  // "General": two columns of fields.
  QGroupBox* frame4 = NewFrame("General", "Frame4", general);
  QGridLayout* g4 = FrameGrid(frame4);
  g4->addWidget(NewLabel("Master Tune", frame4), 0, 0);
  GblLab1[1] = NewLabel("0", frame4, "GblLab1_1");
  GblLab1[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  g4->addWidget(GblLab1[1], 0, 1);
  GblHScroll1[0] = NewScroll(-50, 50, "GblHScroll1_0", frame4);
  g4->addWidget(GblHScroll1[0], 1, 0, 1, 2);
  g4->addWidget(Marks({"-50", "0", "50"}, frame4), 2, 0, 1, 2);
  auto listAt = [](QGridLayout* grid, QWidget* frame, const char* caption, QComboBox* combo, int row, int col) {
    grid->addWidget(NewLabel(caption, frame), row, col);
    grid->addWidget(combo, row, col + 1);
  };
  const char* const leftCaptions[3] = {"Velocity Curve", "After Touch Curve", "Chord Recognition"};
  const int leftLists[3] = {2, 3, 5};
  for (int k = 0; k < 3; ++k) {
    const int i = leftLists[k];
    GblCombo1[i] = NewList(GblCtl::Combo1, i, "GblCombo1", frame4);
    listAt(g4, frame4, leftCaptions[k], GblCombo1[i], 3 + k, 0);
  }
  g4->addWidget(NewLabel("Damper Polarity", frame4), 6, 0);
  auto* polarity = new QWidget(frame4);
  auto* polarityBox = new QHBoxLayout(polarity);
  polarityBox->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < 2; ++i) {
    GblOption1[i] = new QRadioButton(i == 0 ? "+" : "-", polarity);
    GblOption1[i]->setObjectName("GblOption1_" + QString::number(i));
    polarityBox->addWidget(GblOption1[i]);
  }
  GblOption1[1]->setChecked(true);  // the design state: bit 0 clear
  g4->addWidget(polarity, 6, 1);
  const char* const checkCaptions[3] = {"Auto Chord Scan", "Transpose Lock", "Voc/Gtr Lock"};
  for (int i = 0; i < 3; ++i) {
    GblCheck1[i] = new QCheckBox(QString::fromLatin1(checkCaptions[i]), frame4);
    GblCheck1[i]->setObjectName("GblCheck1_" + QString::number(i));
    g4->addWidget(GblCheck1[i], i, 3, 1, 2);
  }
  const char* const rightCaptions[4] = {"JS x LOW", "JS x UP1", "JS x UP2", "Echo Back"};
  for (int i = 16; i <= 19; ++i) {
    GblCombo1[i] = NewList(GblCtl::Combo1, i, "GblCombo1", frame4);
    listAt(g4, frame4, rightCaptions[i - 16], GblCombo1[i], 3 + i - 16, 3);
  }
  g4->setColumnMinimumWidth(2, 6);
  g4->setRowStretch(7, 1);
  generalGrid->addWidget(frame4, 0, 0, 1, 2);

  QGroupBox* frame3 = NewFrame("Midi In", "Frame3", general);
  QGridLayout* g3 = FrameGrid(frame3);
  GblCombo1[0] = NewList(GblCtl::Combo1, 0, "GblCombo1", frame3);
  GblCombo1[1] = NewList(GblCtl::Combo1, 1, "GblCombo1", frame3);
  listAt(g3, frame3, "Octave Upper", GblCombo1[0], 0, 0);
  listAt(g3, frame3, "Octave Lower", GblCombo1[1], 1, 0);
  g3->addWidget(NewLabel("Velocity", frame3), 2, 0);
  GblLab1[13] = NewLabel("Normal", frame3, "GblLab1_13");
  GblLab1[13]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  g3->addWidget(GblLab1[13], 2, 1);
  GblHScroll1[1] = NewScroll(0, 127, "GblHScroll1_1", frame3);
  g3->addWidget(GblHScroll1[1], 3, 0, 1, 2);
  g3->addWidget(Marks({"0", "127"}, frame3), 4, 0, 1, 2);
  g3->setRowStretch(5, 1);
  generalGrid->addWidget(frame3, 1, 0);

  QGroupBox* frame2 = NewFrame("Scales", "Frame2", general);
  QGridLayout* g2 = FrameGrid(frame2);
  const char* const scaleCaptions[4] = {"Main Scale Type", "Sub Scale Type", "Main Scale Key", "Sub Scale Key"};
  const int scaleLists[4] = {6, 8, 7, 9};  // in rows: main type and key, sub type and key
  for (int k = 0; k < 4; ++k) {
    const int i = scaleLists[k];
    GblCombo1[i] = NewList(GblCtl::Combo1, i, "GblCombo1", frame2);
    listAt(g2, frame2, scaleCaptions[i - 6], GblCombo1[i], k, 0);
  }
  g2->setRowStretch(4, 1);
  generalGrid->addWidget(frame2, 1, 1);

  // "Pedals": each caption above its list, which is wide.
  QGroupBox* frame1 = NewFrame("Pedals", "Frame1", general);
  QGridLayout* g1 = FrameGrid(frame1);
  const char* const pedalCaptions[6] = {"Assignable Pedal",  "Ext. Controller A", "Ext. Controller B",
                                        "Ext. Controller C", "Ext. Controller D", "Ext. Controller E"};
  for (int i = 10; i <= 15; ++i) {
    GblCombo1[i] = NewList(GblCtl::Combo1, i, "GblCombo1", frame1);
    g1->addWidget(NewLabel(pedalCaptions[i - 10], frame1), 2 * (i - 10), 0);
    g1->addWidget(GblCombo1[i], 2 * (i - 10) + 1, 0);
  }
  g1->setRowStretch(12, 1);
  generalGrid->addWidget(frame1, 0, 2, 2, 1);
  generalGrid->setRowStretch(1, 1);

  // ---- User Scale 1, 2 and 3, 4 ----
  // The note names above the bars are those of the scale-key lists.
  const std::vector<std::string> keys = GblListItems(GblCtl::Combo1, 8);
  QHBoxLayout* scaleBoxes[2] = {TabPage<QHBoxLayout>(SSTab1, "User Scale 1, 2"),
                                TabPage<QHBoxLayout>(SSTab1, "User Scale 3, 4")};
  for (int n = 0; n < 4; ++n) {
    QWidget* pageWidget = scaleBoxes[n / 2]->parentWidget();
    QGroupBox* frame5 = NewFrame(QString("User Scale %1").arg(n + 1), "Frame5_" + QString::number(n), pageWidget);
    QGridLayout* g5 = FrameGrid(frame5);
    g5->setHorizontalSpacing(1);
    // The marks beside the bars: +50 at the top, 0 in the middle, -50 below.
    auto* marks = new QWidget(frame5);
    auto* marksBox = new QVBoxLayout(marks);
    marksBox->setContentsMargins(0, 0, 0, 0);
    const char* const markTexts[3] = {"50", "0", "-50"};
    for (int m = 0; m < 3; ++m) {
      if (m > 0) marksBox->addStretch();
      QLabel* mark = NewLabel(markTexts[m], marks, "Lab2a_" + QString::number(3 * n + m));
      mark->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      marksBox->addWidget(mark);
    }
    g5->addWidget(marks, 2, 0);
    for (int k = 0; k < 12; ++k) {
      const int i = 12 * n + k;
      QLabel* note = NewLabel(LTrim(keys[k]), frame5, "Lab2b_" + QString::number(i));
      note->setAlignment(Qt::AlignCenter);
      g5->addWidget(note, 0, k + 1);
      Lab2[i] = NewLabel("0", frame5, "Lab2_" + QString::number(i));
      Lab2[i]->setAlignment(Qt::AlignCenter);
      g5->addWidget(Lab2[i], 1, k + 1);
      VScroll2[i] = new TopMaxScrollBar(frame5);
      VScroll2[i]->setObjectName("VScroll2_" + QString::number(i));
      VScroll2[i]->setRange(-50, 50);
      VScroll2[i]->setPageStep(10);
      g5->addWidget(VScroll2[i], 2, k + 1, Qt::AlignHCenter);
    }
    g5->setRowStretch(2, 1);
    scaleBoxes[n / 2]->addWidget(frame5);
  }

  // ---- Harmony, MIDI ----
  auto* harmonyBox = TabPage<QHBoxLayout>(SSTab1, "Harmony, MIDI");
  QWidget* harmony = harmonyBox->parentWidget();
  QGroupBox* frame6 = NewFrame("Harmony", "Frame6", harmony);
  QGridLayout* g6 = FrameGrid(frame6);
  Check3 = new QCheckBox("TG (Song Play)", frame6);
  Check3->setObjectName("Check3");
  g6->addWidget(Check3, 0, 0, 1, 3);
  const char* const rangeCaptions[2] = {"Range L(Arr)", "Range H(Arr)"};
  for (int i = 0; i < 2; ++i) {
    g6->addWidget(NewLabel(rangeCaptions[i], frame6), 1 + 2 * i, 0, 1, 2);
    Lab3[5 + 2 * i] = NewLabel("", frame6, "Lab3_" + QString::number(5 + 2 * i));
    Lab3[5 + 2 * i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    g6->addWidget(Lab3[5 + 2 * i], 1 + 2 * i, 2);
    HScroll3[i] = NewScroll(i == 0 ? 0 : 11, i == 0 ? 116 : 127, "HScroll3_" + QString::number(i), frame6);
    g6->addWidget(HScroll3[i], 2 + 2 * i, 0, 1, 3);
  }
  int row = 5;
  const char* const harmonyCaptions[4] = {"Octave", "Channel (Arr)", "Track", "Channel (Song Play)"};
  for (int i = 0; i < 4; ++i) {
    Combo3[i] = NewList(GblCtl::Combo3, i, "Combo3", frame6);
    g6->addWidget(NewLabel(harmonyCaptions[i], frame6), row, 0);
    g6->addWidget(Combo3[i], row++, 1, 1, 2);
  }
  g6->setRowStretch(row, 1);
  harmonyBox->addWidget(frame6, 1);

  QGroupBox* frame7 = NewFrame("MIDI Channels", "Frame7", harmony);
  QGridLayout* g7 = FrameGrid(frame7);
  const char* const channelCaptions[11] = {"GLB (Global)",     "ARRANG (Arrangement)", "LOW (Lower)",
                                           "UP2 (Upper 2)",    "UP1 (Upper 1)",        "DRM (Drum)",
                                           "PER (Percussion)", "BAS (Bass)",           "AC1 (Accomp. 1)",
                                           "AC2 (Accomp. 2)",  "AC3 (Accomp. 3)"};
  for (int i = 4; i <= 14; ++i) {
    Combo3[i] = NewList(GblCtl::Combo3, i, "Combo3", frame7);
    g7->addWidget(NewLabel(channelCaptions[i - 4], frame7), i - 4, 0);
    g7->addWidget(Combo3[i], i - 4, 1);
  }
  g7->setRowStretch(11, 1);
  harmonyBox->addWidget(frame7, 1);

  // ---- The buttons below the tabs ----
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(4);
  auto button = [&](const QString& caption, const QString& name) {
    auto* b = new QPushButton(caption, page_);
    b->setObjectName(name);
    b->setFixedHeight(b->fontMetrics().height() + 10);
    buttons->addWidget(b);
    return b;
  };
  CommLoadGbl = button("Load", "CommLoadGbl");
  CommGlobal = button("GLOBAL", "CommGlobal");
  for (int i = 0; i < 4; ++i)
    CommResetUS[i] = button(QString("Reset US%1").arg(i + 1), "CommResetUS_" + QString::number(i));
  buttons->addStretch();
  CommClose = button("", "CommClose");
  pageBox->addLayout(buttons);

  // A right click shows the Edit menu on the window, its frames and the tab
  // control; the controls themselves offer nothing.
  for (QWidget* w : page_->findChildren<QWidget*>())
    if (qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractButton*>(w))
      w->setContextMenuPolicy(Qt::PreventContextMenu);
}

void frmGbl::ConnectHandlers() {
  for (int i = 0; i < 20; ++i) {
    if (!GblCombo1[i]) continue;
    connect(GblCombo1[i], &QComboBox::currentIndexChanged, this, [this, i] { GblCombo1_Change(i); });
  }
  for (int i = 0; i < 3; ++i) connect(GblCheck1[i], &QCheckBox::toggled, this, [this, i] { GblCheck1_Click(i); });
  // Both buttons change when one is chosen: the one that becomes selected
  // runs the handler.
  for (int i = 0; i < 2; ++i)
    connect(GblOption1[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) GblOption1_Click(i);
    });
  // A bar gives one value change per new value, whether dragged, clicked or
  // set from code.
  for (int i = 0; i < 2; ++i)
    connect(GblHScroll1[i], &QScrollBar::valueChanged, this, [this, i] { GblHScroll1_Change(i); });
  for (int i = 0; i < kUserScaleNotes; ++i)
    connect(VScroll2[i], &QScrollBar::valueChanged, this, [this, i] { VScroll2_Change(i); });
  for (int i = 0; i < 2; ++i) connect(HScroll3[i], &QScrollBar::valueChanged, this, [this, i] { HScroll3_Change(i); });
  connect(Check3, &QCheckBox::toggled, this, [this] { Check3_Click(); });
  for (int i = 0; i < 15; ++i)
    connect(Combo3[i], &QComboBox::currentIndexChanged, this, [this, i] { Combo3_Change(i); });
  connect(CommLoadGbl, &QPushButton::clicked, this, [this] { CommLoadGbl_Click(); });
  connect(CommGlobal, &QPushButton::clicked, this, [this] { CommGlobal_Click(); });
  for (int i = 0; i < 4; ++i) connect(CommResetUS[i], &QPushButton::clicked, this, [this, i] { CommResetUS_Click(i); });
}

int frmGbl::Slot() const { return Asc(winTag_, 15); }

int frmGbl::VScroll2Value(int index) const { return VScroll2[index]->value(); }

void frmGbl::SetVScroll2(int index, int cents) { VScroll2[index]->setValue(cents); }

// ---- Opening, resizing, closing -------------------------------------------

void frmGbl::Form_Load() {
  ++gGblWinCount;
  gFormLoading = true;
  const int slot = gGblSlotIdx;
  JoinMainWindow();
  // No global window grows beyond this size.
  const WindowSize big = EnlargedSizeOfKind(kKindGblParam);
  // The instrument's window has no file, so it is never read-only, whatever
  // the last file opened left.
  const bool readOnly = slot != 0 && gOpenReadOnly;

  gGblSlotCur = gGblSlots[slot];
  std::string title;
  if (slot == 0) {
    gGblFileBuf = PadRight(Left(gGblCur, kGblFileLen), kGblFileLen, '\0');
    title = "Global Parameters";
    gWinPosCur = gWinPosTab[kKindGblParam];
    // A record larger than the window may grow (the first start's) opens at
    // the largest size.
    FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width, big.height, big.width);
    gWinPosCur.State = 1;
    gWinPosTab[kKindGblParam] = gWinPosCur;
  } else {
    title = gGblFileDir + kPathSep + gGblFileName;
    gGblSlotCur.Path = PadRight(title, kTitleLen);
    FrameRestore(0, 0, big.height, big.width);
  }
  gGblSlotCur.InUse = 1;
  gGblSlotCur.ReadOnly = readOnly ? 1 : 0;
  gGblSlots[slot] = gGblSlotCur;

  std::string doc = Nuls(20) + Space(250) + PadRight(gGblFileBuf, kGblFileLen, '\0');
  MidAssign(doc, 1, Chr(slot == 0 ? kKindGblParam : kKindGblFile));
  MidAssign(doc, kTitlePos, PadRight(title, kTitleLen));
  MidAssign(doc, 15, Chr(slot));
  // A file the user may not write opens read-only, as the Open dialog's
  // box opens it; the slot record keeps what the user chose.
  MidAssign(doc, 2, Chr(readOnly || (slot != 0 && DocFileWriteRefused(doc)) ? 1 : 0));
  winTag_ = doc;

  GblAggFrm();
  // What the handlers wrote while the controls filled does not last: the
  // window starts on exactly the block it was given, not modified.
  MidAssign(doc, 4, Chr(0));
  winTag_ = doc;

  CommClose->setText(ToScreen(Res(8)));
  SetWindowCaption(WinCaption(winTag_));
  gFormLoading = false;
  loaded_ = true;
}

void frmGbl::Form_Activate() { MenuUpdate(); }

void frmGbl::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  const WindowSize big = EnlargedSizeOfKind(Kind());
  if (Slot() == 0) {
    gWinPosCur = gWinPosTab[kKindGblParam];
    // Cut back: the resize that follows records the size.
    if (!FrameResize(big.height, big.width, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State)) return;
    gWinPosTab[kKindGblParam] = gWinPosCur;
  } else if (!FrameResize(big.height, big.width, nullptr, nullptr, nullptr)) {
    return;
  }
  MenuUpdate();
}

void frmGbl::Form_QueryUnload(bool& cancel) {
  // The instrument's window never asks: its changes are with the
  // instrument already.
  if (Slot() == 0 || Asc(winTag_, 4) == 0) return;
  const std::string caption = WinCaption(winTag_);
  switch (AskSave(1, caption)) {
    case kMsgYes:
      if (Asc(winTag_, 2) == 1) {
        ShowMsg(17, caption, "");  // the changes of a read-only file are dropped
        return;
      }
      // A save that fails keeps the window open and modified.
      if (FileSave(winTag_, this) != 0) cancel = true;
      return;
    case kMsgNo:
      return;
    default:
      cancel = true;
      return;
  }
}

void frmGbl::Form_Unload() {
  const int slot = Slot();
  if (slot >= 0 && slot <= 8) gGblSlots[slot].InUse = 0;
  if (slot == 0) {
    SetMainMenuEnabled("mnuGlobalParam", true);
    gWinPosCur = gWinPosTab[kKindGblParam];
    FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, &gWinPosCur.State);
    gWinPosTab[kKindGblParam] = gWinPosCur;
  } else {
    SetMainMenuEnabled("mnuApriGbl", true);
  }
  --gGblWinCount;
  MenuUpdate();
}

// ---- Filling and sending ---------------------------------------------------

void frmGbl::GblAggFrm() {
  // Read from the block as it was given: the handlers that run on each
  // value set below write into the document.
  const std::string doc = winTag_;
  for (int i = 0; i < 20; ++i)
    if (GblCombo1[i]) GblCombo1[i]->setCurrentIndex(GblShown(doc, GblCtl::Combo1, i));
  for (int i = 0; i < 3; ++i) GblCheck1[i]->setChecked(GblShown(doc, GblCtl::Check1, i) == 1);
  GblOption1[GblShown(doc, GblCtl::Option1, 0) == 1 ? 0 : 1]->setChecked(true);
  for (int i = 0; i < 2; ++i) {
    GblHScroll1[i]->setValue(GblShown(doc, GblCtl::HScroll1, i));
    ShowTuneLabel(i);
  }
  for (int i = 0; i < kUserScaleNotes; ++i) {
    SetVScroll2(i, GblShown(doc, GblCtl::VScroll2, i));
    ShowScaleLabel(i);
  }
  for (int i = 0; i < 2; ++i) {
    HScroll3[i]->setValue(GblShown(doc, GblCtl::HScroll3, i));
    ShowRangeLabel(i);
  }
  Check3->setChecked(GblShown(doc, GblCtl::Check3, 0) == 1);
  for (int i = 0; i < 15; ++i) Combo3[i]->setCurrentIndex(GblShown(doc, GblCtl::Combo3, i));
}

void frmGbl::CommLoadGbl_Click() {
  if (gFormLoading) return;
  GblDumpMsg(winTag_);
  TxSysEx();
  MidiMonLog("");
  MidiMonLog(gOutMsg.data);
  gGblCurValid = 1;
  gGblCur = PadRight(Mid(winTag_, kGblBlockPos, kGblFileLen), kGblFileLen, '\0');
  SetMainMenuEnabled("mnuGlobalParam", true);
}

void frmGbl::CommGlobal_Click() { TxModeGlobal(); }

void frmGbl::CommResetUS_Click(int index) {
  if (index < 0 || index > 3) return;
  gFormLoading = true;
  for (int k = 12 * index; k < 12 * index + 12; ++k) {
    SetVScroll2(k, 0);
    ShowScaleLabel(k);
    // Also a byte out of range, which already showed 0.
    GblStore(winTag_, GblCtl::VScroll2, k, 0);
  }
  MidAssign(winTag_, 4, Chr(1));
  gFormLoading = false;
  CommLoadGbl_Click();
}

// ---- Change handlers -------------------------------------------------------

void frmGbl::StoreField(GblCtl ctl, int index, int value) {
  GblStore(winTag_, ctl, index, value);
  MidAssign(winTag_, 4, Chr(1));
  CommLoadGbl_Click();
}

void frmGbl::GblCombo1_Change(int index) {
  const int pos = GblCombo1[index]->currentIndex();
  if (pos < 0) return;  // no choice: nothing written, nothing sent
  StoreField(GblCtl::Combo1, index, pos);
}

void frmGbl::GblCheck1_Click(int index) { StoreField(GblCtl::Check1, index, GblCheck1[index]->isChecked() ? 1 : 0); }

void frmGbl::GblOption1_Click(int index) {
  StoreField(GblCtl::Option1, index, GblOption1[0]->isChecked() ? 1 : 0);
}

void frmGbl::GblHScroll1_Change(int index) {
  ShowTuneLabel(index);
  StoreField(GblCtl::HScroll1, index, GblHScroll1[index]->value());
}

void frmGbl::VScroll2_Change(int index) {
  ShowScaleLabel(index);
  StoreField(GblCtl::VScroll2, index, VScroll2Value(index));
}

void frmGbl::HScroll3_Change(int index) {
  if (gFormLoading) return;
  ShowRangeLabel(index);
  StoreField(GblCtl::HScroll3, index, HScroll3[index]->value());
}

void frmGbl::Check3_Click() { StoreField(GblCtl::Check3, 0, Check3->isChecked() ? 1 : 0); }

void frmGbl::Combo3_Change(int index) {
  const int pos = Combo3[index]->currentIndex();
  if (pos < 0) return;
  if (index >= 4) {
    // The program's own channel of a part: kept at once, never sent, the
    // document untouched.
    GblStore(winTag_, GblCtl::Combo3, index, pos);
    return;
  }
  StoreField(GblCtl::Combo3, index, pos);
}

void frmGbl::ShowTuneLabel(int index) {
  const int v = GblHScroll1[index]->value();
  GblLab1[index == 0 ? 1 : 13]->setText(index == 1 && v == 0 ? QString("Normal") : QString::number(v));
}

void frmGbl::ShowScaleLabel(int index) { Lab2[index]->setText(QString::number(VScroll2Value(index))); }

void frmGbl::ShowRangeLabel(int index) {
  Lab3[5 + 2 * index]->setText(ToScreen(NoteName(HScroll3[index]->value())));
}

// ---- The opener ------------------------------------------------------------

void GblWinShow() {
  const int slot = gGblSlotIdx;
  if (slot < 0 || slot > 8) return;
  // Only the instrument's window can be open at its slot: it is brought
  // forward as it is.
  ShowFormOf(
      gGblForms[slot],
      [] {
        auto* form = new frmGbl();
        form->Form_Load();
        return form;
      },
      true);
}

void FrmGblReset() {
  for (QPointer<frmGbl>& form : gGblForms) {
    delete form;
    form = nullptr;
  }
}
