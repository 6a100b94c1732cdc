#include "ui/editors/frmtastiera.h"

#include <algorithm>
#include <iterator>

#include <QCheckBox>
#include <QComboBox>
#include <QDrag>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "app/appstate.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/callup.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/strings.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/showform.h"
#include "ui/main/twipslayout.h"

int gKbdOpen = 0;
QPointer<frmTastiera> gTasForm;

namespace {

constexpr int kNoNote = 200;  // LastNote when no note is on
constexpr int kLowNote = 12;
constexpr int kHighNote = 108;
constexpr int kKeyCount = 61;

// Keys, in twips.
constexpr int kWhiteWidth = 252;
constexpr int kWhiteHeight = 1404;
constexpr int kBlackWidth = 156;
constexpr int kBlackHeight = 972;
constexpr int kWhiteReleaseY = 1368;  // the glide release: the lowest 36 twips
constexpr int kBlackReleaseY = 936;
constexpr int kFrame1Left = 70;
constexpr int kFrame1Top = 2640;
constexpr int kOctaveLabelTop = 1400;
constexpr int kMarkerSize = 180;  // Picture1, the split marker

// Per position in the octave: whether the key is black, the white keys
// before it, and a black key's offset from the white key before it.
constexpr bool kBlack[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
constexpr int kWhitesBefore[12] = {0, 1, 1, 2, 2, 3, 4, 4, 5, 5, 6, 6};
constexpr int kBlackOffset[12] = {0, 160, 0, 190, 0, 0, 160, 0, 177, 0, 190, 0};

const char* const kNoteNames[12] = {"C/Do",   "C#/Do#",  "D/Re", "D#/Re#",  "E/Mi", "F/Fa",
                                    "F#/Fa#", "G/Sol", "G#/Sol#", "A/La", "A#/La#", "B/Si"};

struct Slider {
  const char* name;
  int controller;  // -1: a velocity, nothing sent; 0xE0: the pitch bend
  int shown;       // subtracted from the value in the value label
};
constexpr Slider kSliders[11] = {{"Volume", 7, 0},    {"Pan", 10, 64},    {"Vel On", -1, 0},  {"Vel Off", -1, 0},
                                 {"Att Time", 73, 0}, {"Rel Time", 72, 0}, {"Bend", 0xE0, 64}, {"PMod", 1, 0},
                                 {"COMod", 2, 0},     {"Reverb", 91, 0},  {"Chorus", 93, 0}};
constexpr int kVelOn = 2;
constexpr int kVelOff = 3;

// TasSettings byte k is gTasSettings[k + 1].
int& TasByte(int k) { return gTasSettings[k + 1]; }

// A block that no close has written takes the values of a first start: a
// first start ended before its exit leaves NULs there, and a close always
// writes a split point of 36-96. In a written block each byte out of its
// range takes its own first value.
void TasSettingsCheck() {
  if (TasByte(15) < 36 || TasByte(15) > 96) {
    TasSettingsDefaults();
    return;
  }
  int saved[17];
  std::copy(std::begin(gTasSettings), std::end(gTasSettings), saved);
  TasSettingsDefaults();
  for (int k = 0; k <= 15; ++k) {
    const int v = saved[k + 1];
    int top = 127;
    if (k == 0) top = 15;
    if (k == 1 || k == 2) top = 1;
    if (k == 3) top = 3;
    if (v >= 0 && v <= top) TasByte(k) = v;
  }
}

QFont CaptionFont() { return QFont("Arial", 8); }
QFont SliderFont() { return QFont("Arial Narrow", 8); }

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                 Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  label->setAlignment(align);
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setFont(CaptionFont());
  return button;
}

// The split marker: a small arrow that points down at the key of the split
// note. Pressing it starts a drag of its outline that no control accepts.
class SplitMarker : public QWidget {
 public:
  explicit SplitMarker(QWidget* parent) : QWidget(parent) { setObjectName("Picture1"); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC0, 0, 0));
    const QPolygon arrow({QPoint(0, 0), QPoint(width() - 1, 0), QPoint((width() - 1) / 2, height() - 1)});
    p.drawPolygon(arrow);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(new QMimeData);
    drag->setPixmap(grab());
    drag->setHotSpot(event->position().toPoint());
    drag->exec(Qt::MoveAction);
  }
};

}  // namespace

// ---- Keys ------------------------------------------------------------------

TasKey::TasKey(frmTastiera* form, QWidget* parent, int index)
    : QWidget(parent), form_(form), index_(index), black_(kBlack[index % 12]) {
  setObjectName(QString("Key_%1").arg(index));
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
}

void TasKey::SetMarked(bool on) {
  if (marked_ == on) return;
  marked_ = on;
  update();
}

void TasKey::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), black_ ? Qt::black : Qt::white);
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (!marked_) return;
  // The dot, in twips inside the key's border.
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(black_ ? QColor(0, 0xFF, 0) : QColor(Qt::black));
  const double x = black_ ? 60 : 100, y = black_ ? 711 : 1175, r = black_ ? 62 : 66;
  const double tpp = TwipsPerPixel();
  p.drawEllipse(QPointF(1 + x / tpp, 1 + y / tpp), r / tpp, r / tpp);
}

// Every button plays the key, as a click on the box does; the press keeps
// the mouse, so the release comes back to this key wherever it happens.
void TasKey::mousePressEvent(QMouseEvent* event) {
  event->accept();
  form_->Key_MouseDown(index_);
}

void TasKey::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  form_->KeyPointerMoved(this, event->position().toPoint());
}

void TasKey::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  form_->Key_MouseUp(index_);
}

void TasKey::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  form_->KeyLeft();
}

// The right button plays the key: no menu over the keys.
void TasKey::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

// ---- The window --------------------------------------------------------------

frmTastiera::frmTastiera() {
  setObjectName("frmTastiera");
  BuildControls();
}

void frmTastiera::BuildControls() {
  body_ = new QWidget(this);
  body_->setObjectName("Form");
  body_->setFont(CaptionFont());
  body_->setMouseTracking(true);
  body_->installEventFilter(this);
  setWidget(body_);

  for (int i = 0; i < 11; ++i) {
    const QString n = QString::number(i);
    const bool signedValue = kSliders[i].shown != 0;
    label2_[i] = NewLabel(body_, "Label2_" + n, kSliders[i].name, SliderFont(), Qt::AlignCenter);
    label4_[i] = NewLabel(body_, "Label4_" + n, signedValue ? "63" : "127", SliderFont(), Qt::AlignCenter);
    label5_[i] = NewLabel(body_, "Label5_" + n, signedValue ? "-64" : "0", SliderFont(), Qt::AlignCenter);
    label3_[i] = NewLabel(body_, "Label3_" + n, "", SliderFont(), Qt::AlignCenter);
    vScroll_[i] = new TopMaxScrollBar(body_);
    vScroll_[i]->setObjectName("VScroll_" + n);
    vScroll_[i]->setRange(0, 127);
    vScroll_[i]->setSingleStep(1);
    vScroll_[i]->setPageStep(10);
    vScroll_[i]->setTracking(true);
    connect(vScroll_[i], &QAbstractSlider::valueChanged, this, [this, i] {
      if (!loading_) VScroll_Change(i);
    });
  }

  label1_[6] = NewLabel(body_, "Label1_6", "MIDI Channel", CaptionFont());
  combo1_ = new QComboBox(body_);
  combo1_->setObjectName("Combo1");
  combo1_->setEditable(false);  // a choice among the 16 channels only
  for (int c = 1; c <= 16; ++c) ComboAddItem(combo1_, Right("  " + CStr(c), 3));
  connect(combo1_, &QComboBox::currentIndexChanged, this, [this] {
    if (!loading_) Combo1_Change();
  });
  label1_[7] = NewLabel(body_, "Label1_7", "Note (Number)", CaptionFont());
  text1_ = new QLineEdit(body_);
  text1_->setObjectName("Text1");
  text1_->setReadOnly(true);
  checkClickKey_ = new QCheckBox("Click Key", body_);
  checkClickKey_->setObjectName("CheckClickKey");
  connect(checkClickKey_, &QCheckBox::toggled, this, [this] {
    if (!loading_) CheckClickKey_Click();
  });
  checkHoldNote_ = new QCheckBox("Hold Note", body_);
  checkHoldNote_->setObjectName("CheckHoldNote");
  connect(checkHoldNote_, &QCheckBox::toggled, this, [this] {
    if (!loading_) CheckHoldNote_Click();
  });

  label1_[8] = NewLabel(body_, "Label1_8", "Split Point", CaptionFont());
  picture2_ = new QWidget(body_);
  picture2_->setObjectName("Picture2");
  text3_ = new QLineEdit(picture2_);
  text3_->setObjectName("Text3");
  text3_->setReadOnly(true);
  vScroll1_ = new TopMaxScrollBar(picture2_);
  vScroll1_->setObjectName("VScroll1");
  vScroll1_->setRange(36, 96);
  vScroll1_->setSingleStep(1);
  vScroll1_->setPageStep(12);
  vScroll1_->setTracking(true);
  connect(vScroll1_, &QAbstractSlider::valueChanged, this, [this] {
    if (!loading_) VScroll1_Change();
  });
  picture1_ = new SplitMarker(body_);

  commHoldChord_ = NewButton(body_, "CommHoldChord", "Hold Chord");
  commAllNoteOff_ = NewButton(body_, "CommAllNoteOff", "All Notes Off");
  commArrPlay_ = NewButton(body_, "CommArrPlay", "&ARR PLAY");
  commSongPlay_ = NewButton(body_, "CommSongPlay", "&SONG PLAY");
  commChiudi_ = NewButton(body_, "CommChiudi", "");
  connect(commHoldChord_, &QPushButton::clicked, this, [this] { CommHoldChord_Click(); });
  connect(commAllNoteOff_, &QPushButton::clicked, this, [this] { CommAllNoteOff_Click(); });
  connect(commArrPlay_, &QPushButton::clicked, this, [this] { CommArrPlay_Click(); });
  connect(commSongPlay_, &QPushButton::clicked, this, [this] { CommSongPlay_Click(); });
  connect(commChiudi_, &QPushButton::clicked, this, [this] { close(); });

  frame1_ = new QWidget(body_);
  frame1_->setObjectName("Frame1");
  frame1_->setMouseTracking(true);
  frame1_->installEventFilter(this);
  for (int i = 0; i < kKeyCount; ++i) keys_[i] = new TasKey(this, frame1_, i);
  for (TasKey* key : keys_)
    if (key->Black()) key->raise();
  for (int k = 0; k <= 5; ++k)
    label1_[k] = NewLabel(frame1_, "Label1_" + QString::number(k), "", CaptionFont());
  hScroll1_ = new QScrollBar(Qt::Horizontal, frame1_);
  hScroll1_->setObjectName("HScroll1");
  hScroll1_->setRange(0, 3);
  hScroll1_->setSingleStep(1);
  hScroll1_->setPageStep(1);
  connect(hScroll1_, &QAbstractSlider::valueChanged, this, [this] {
    if (!loading_) HScroll1_Change();
  });
}

void frmTastiera::LayoutControls() {
  // The sliders in a row above the keyboard, each with its name, its two
  // end values and its value.
  for (int i = 0; i < 11; ++i) {
    const int x = 60 + 560 * i;
    PlaceTwips(label2_[i], {x, 60, 560, 210});
    PlaceTwips(label4_[i], {x, 270, 560, 180});
    PlaceTwips(vScroll_[i], {x + 152, 450, 255, 1380});
    PlaceTwips(label5_[i], {x, 1830, 560, 180});
    PlaceTwips(label3_[i], {x, 2010, 560, 210});
  }
  // Beside them the channel, the note, the play modes and the split point,
  // then the buttons.
  PlaceTwips(label1_[6], {6290, 60, 1380, 210});
  PlaceTwips(combo1_, {6290, 270, 780, 330});
  PlaceTwips(label1_[7], {6290, 660, 1380, 210});
  PlaceTwips(text1_, {6290, 870, 1380, 315});
  PlaceTwips(checkClickKey_, {6290, 1260, 1380, 270});
  PlaceTwips(checkHoldNote_, {6290, 1560, 1380, 270});
  PlaceTwips(label1_[8], {6290, 1890, 1380, 210});
  PlaceTwips(picture2_, {6290, 2100, 900, 330});
  PlaceTwips(text3_, {0, 0, 615, 330});
  PlaceTwips(vScroll1_, {645, 0, 255, 330});
  QPushButton* const buttons[] = {commHoldChord_, commAllNoteOff_, commArrPlay_, commSongPlay_, commChiudi_};
  for (int b = 0; b < 5; ++b) PlaceTwips(buttons[b], {7740, 60 + 420 * b, 1380, 375});

  // The keyboard: the 36 white keys side by side from the left edge of the
  // frame, each black key over them; the octave labels and the octave
  // scroll bar under the keys.
  PlaceTwips(frame1_, {kFrame1Left, kFrame1Top, 36 * kWhiteWidth, 1900});
  for (TasKey* key : keys_) {
    const int octave = key->Index() / 12, pos = key->Index() % 12;
    if (key->Black()) {
      const int before = kWhiteWidth * (7 * octave + kWhitesBefore[pos - 1]);
      PlaceTwips(key, {before + kBlackOffset[pos], 0, kBlackWidth, kBlackHeight});
    } else {
      PlaceTwips(key, {kWhiteWidth * (7 * octave + kWhitesBefore[pos]), 0, kWhiteWidth, kWhiteHeight});
    }
    key->SetMarked(false);
  }
  for (int k = 0; k <= 5; ++k) PlaceTwips(label1_[k], {40 + 1760 * k, kOctaveLabelTop, 400, 210});
  PlaceTwips(hScroll1_, {0, kOctaveLabelTop + 230, 36 * kWhiteWidth, 240});
}

void frmTastiera::Form_Load() {
  loading_ = true;
  JoinMainWindow();

  gWinPosCur = gWinPosTab[kKindKeyboard];
  const WindowSize big = EnlargedSizeOfKind(kKindKeyboard);
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width, big.height, big.width);
  gWinPosCur.State = 1;
  gWinPosTab[kKindKeyboard] = gWinPosCur;
  winTag_ = Chr(kKindKeyboard) + Chr(0);

  setWindowTitle(ToScreen(Res(106)));
  commChiudi_->setText(ToScreen(Res(8)));

  gKbdMonitorOn = true;

  TasSettingsCheck();
  hScroll1_->setValue(TasByte(3));
  baseNote_ = hScroll1_->value() * 12 + 12;
  combo1_->setCurrentIndex(TasByte(0));
  checkClickKey_->setChecked(TasByte(1) == 1);
  checkHoldNote_->setChecked(TasByte(2) == 1);
  for (int i = 0; i < 11; ++i) {
    vScroll_[i]->setValue(TasByte(4 + i));
    VScroll_Change(i);
  }

  LayoutControls();
  splitMarkLeft_ = kFrame1Left - kMarkerSize / 2 + 10;
  splitMarkTop_ = kFrame1Top - kMarkerSize - 20;
  PlaceTwips(picture1_, {splitMarkLeft_, splitMarkTop_, kMarkerSize, kMarkerSize});
  vScroll1_->setValue(TasByte(15));
  VScroll1_Change();

  HoldNoteClear();
  HoldChordClear();
  clickGuard_ = 0;
  lastNote_ = kNoNote;
  OctaveLabelsSet();

  text1_->setText("");
  const bool click = ClickKeyTicked();
  checkHoldNote_->setEnabled(click);
  commHoldChord_->setEnabled(click);

  SplitCtlsLayout();
  gKbdOpen = kTrue;
  SetMainMenuEnabled("mnuTastiera", false);
  ++gToolWinCount;
  loading_ = false;
  loaded_ = true;
}

void frmTastiera::Form_Activate() { MenuUpdate(); }

void frmTastiera::Form_Resize() {
  if (!loaded_) return;
  gWinPosCur = gWinPosTab[kKindKeyboard];
  const WindowSize big = EnlargedSizeOfKind(kKindKeyboard);
  // Cut back: the resize that follows records the size.
  if (!FrameResize(big.height, big.width, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State)) return;
  gWinPosTab[kKindKeyboard] = gWinPosCur;
  MenuUpdate();
}

// Closing ends every note and keeps the settings; a later window may still
// cancel the exit, so the window stays counted until it unloads.
void frmTastiera::Form_QueryUnload(bool& cancel) {
  (void)cancel;
  CommAllNoteOff_Click();
  TasByte(0) = Channel();
  TasByte(1) = ClickKeyTicked() ? 1 : 0;
  TasByte(2) = HoldNoteTicked() ? 1 : 0;
  TasByte(3) = hScroll1_->value();
  TasByte(15) = vScroll1_->value();
}

void frmTastiera::Form_Unload() {
  gWinPosCur = gWinPosTab[kKindKeyboard];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, &gWinPosCur.State);
  gWinPosCur.State = 0;  // never reopened at start-up
  gWinPosTab[kKindKeyboard] = gWinPosCur;
  gKbdOpen = kFalse;
  SetMainMenuEnabled("mnuTastiera", true);
  --gToolWinCount;
  MenuUpdate();
}

bool frmTastiera::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == frame1_) Frame1_MouseMove();
    if (watched == body_) Form_MouseMove();
  }
  return ChildForm::eventFilter(watched, event);
}

// ---- Notes -----------------------------------------------------------------

int frmTastiera::Channel() const { return combo1_->currentIndex() & 0x0F; }
bool frmTastiera::ClickKeyTicked() const { return checkClickKey_->isChecked(); }
bool frmTastiera::HoldNoteTicked() const { return checkHoldNote_->isChecked(); }

int frmTastiera::HeldNote(int note) const {
  return note >= kLowNote && note <= kHighNote ? heldNote_[note - kLowNote] : 0;
}

TasKey* frmTastiera::KeyOfNote(int note) const {
  const int k = note - baseNote_;
  return k >= 0 && k < kKeyCount ? keys_[k] : nullptr;
}

void frmTastiera::KeyNoteOn(int note) {
  lastNote_ = note;
  if (TasKey* key = KeyOfNote(note)) key->SetMarked(true);
  TxNoteOn(Channel(), note, vScroll_[kVelOn]->value());
  text1_->setText(QString("%1 (%2)").arg(kNoteNames[note % 12]).arg(note));
}

void frmTastiera::KeyNoteOff(int note) {
  if (TasKey* key = KeyOfNote(note)) key->SetMarked(false);
  lastNote_ = kNoNote;
  TxNoteOff(Channel(), note, vScroll_[kVelOff]->value());
  text1_->setText("");
}

void frmTastiera::KeysReset() {
  heldNote_.fill(0);
  for (TasKey* key : keys_) key->SetMarked(false);
}

void frmTastiera::KeysRepaint() {
  for (TasKey* key : keys_) key->SetMarked(false);
}

void frmTastiera::HeldKeysMark() {
  for (TasKey* key : keys_)
    if (HeldNote(baseNote_ + key->Index()) == 1) key->SetMarked(true);
}

void frmTastiera::HoldNoteClear() { heldNote_.fill(0); }

void frmTastiera::HoldChordClear() {
  chordMode_ = 0;
  chordNote_.fill(0);
}

int frmTastiera::HoldNoteAny() const {
  for (uint8_t held : heldNote_)
    if (held == 1) return 1;
  return 0;
}

void frmTastiera::OctaveLabelsSet() {
  for (int k = 0; k <= 5; ++k) label1_[k]->setText(QString("C%1").arg(hScroll1_->value() + k));
}

void frmTastiera::Key_MouseDown(int index) {
  const int note = baseNote_ + index;
  if (chordMode_ == 1) {
    // The chord replayed from the clicked key.
    TxAllNotesOff(Channel());
    int lowest = kLowNote;
    while (lowest < kHighNote && chordNote_[lowest - kLowNote] != 1) ++lowest;
    HoldNoteClear();
    KeysReset();
    const int shift = note - lowest;
    for (int c = kLowNote; c <= kHighNote; ++c) {
      if (chordNote_[c - kLowNote] == 1 && c + shift >= kLowNote && c + shift <= kHighNote)
        heldNote_[c + shift - kLowNote] = 1;
    }
    for (int n = kLowNote; n <= kHighNote; ++n)
      if (heldNote_[n - kLowNote] == 1) KeyNoteOn(n);
    return;
  }
  if (!ClickKeyTicked()) return;  // glide mode: the pointer plays
  if (HoldNoteTicked() && HeldNote(note) == 1) {
    heldNote_[note - kLowNote] = 0;
    KeyNoteOff(note);
    return;
  }
  KeyNoteOn(note);
  if (HoldNoteTicked()) heldNote_[note - kLowNote] = 1;
}

void frmTastiera::Key_MouseUp(int index) {
  if (chordMode_ != 1 && ClickKeyTicked() && !HoldNoteTicked()) KeyNoteOff(baseNote_ + index);
}

void frmTastiera::Key_MouseMove(int index, int y) {
  if (ClickKeyTicked()) return;
  const int note = baseNote_ + index;
  if (note == lastNote_) {
    // Down to the lower edge of the sounding key: the note ends there.
    const bool black = keys_[index]->Black();
    if ((black && y >= kBlackReleaseY) || (!black && y >= kWhiteReleaseY)) {
      keys_[index]->SetMarked(false);
      lastNote_ = kNoNote;
      TxNoteOff(Channel(), note, 64);
    }
    return;
  }
  if (lastNote_ < kNoNote) KeyNoteOff(lastNote_);
  KeyNoteOn(note);
}

void frmTastiera::KeyPointerMoved(TasKey* key, const QPoint& pos) {
  const QPoint inFrame = key->mapTo(frame1_, pos);
  auto* under = qobject_cast<TasKey*>(frame1_->rect().contains(inFrame) ? frame1_->childAt(inFrame) : nullptr);
  if (!under) {
    Frame1_MouseMove();
    return;
  }
  Key_MouseMove(under->Index(), PixelsToTwips(under->mapFrom(frame1_, inFrame).y()));
}

// The pointer left a key. Once the toolkit has told the control it went
// to, a pointer that is on no key acts as a move over the window: onto a
// label, another control or out of the window alike. From key to key, the
// move over the new key ends the old note and plays the new one.
void frmTastiera::KeyLeft() {
  QTimer::singleShot(0, this, [this] {
    for (TasKey* key : keys_)
      if (key->underMouse()) return;
    Form_MouseMove();
  });
}

// Glide mode without Hold Note: the pointer away from the keys ends the
// note it was playing.
void frmTastiera::Form_MouseMove() {
  if (!HoldNoteTicked() && !ClickKeyTicked() && lastNote_ < kNoNote) KeyNoteOff(lastNote_);
}

// ---- Buttons and check boxes -------------------------------------------------

void frmTastiera::AllNotesOff(int channel) {
  MidiMonLog("");
  TxAllNotesOff(channel);
  MidiMonLog(gOutMsg.data);
  KeysReset();
  lastNote_ = kNoNote;
  chordMode_ = 0;
  commHoldChord_->setEnabled(HoldNoteTicked() && ClickKeyTicked());
  text1_->setText("");
}

void frmTastiera::CommAllNoteOff_Click() { AllNotesOff(Channel()); }

void frmTastiera::CommHoldChord_Click() {
  if (HoldNoteAny() == 0) return;
  chordMode_ = 1;
  commHoldChord_->setEnabled(false);
  chordNote_ = heldNote_;
}

void frmTastiera::CheckHoldNote_Click() {
  if (chordMode_ == 1) {
    clickGuard_ = 0;
    CommAllNoteOff_Click();
    return;
  }
  if (clickGuard_ == 1) {
    clickGuard_ = 0;
    return;
  }
  if (ClickKeyTicked()) {
    commHoldChord_->setEnabled(HoldNoteTicked());
    CommAllNoteOff_Click();
    return;
  }
  // Glide mode: Hold Note stays ticked.
  clickGuard_ = 1;
  checkClickKey_->setChecked(false);
  KeysReset();
  TxAllNotesOff(Channel());
  lastNote_ = kNoNote;
  text1_->setText("");
  if (!HoldNoteTicked()) {
    clickGuard_ = 1;
    checkHoldNote_->setChecked(true);
  } else {
    clickGuard_ = 0;
  }
}

void frmTastiera::CheckClickKey_Click() {
  if (chordMode_ == 1) {
    clickGuard_ = 1;
    checkHoldNote_->setChecked(false);
    CommAllNoteOff_Click();
    if (ClickKeyTicked()) {
      clickGuard_ = 1;
      checkClickKey_->setChecked(false);
    }
    return;
  }
  if (clickGuard_ == 1) {
    clickGuard_ = 0;
    return;
  }
  if (!HoldNoteTicked()) {
    // The glide note still sounding ends before click mode takes over.
    if (lastNote_ < kNoNote) KeyNoteOff(lastNote_);
    checkHoldNote_->setEnabled(ClickKeyTicked());
    return;
  }
  clickGuard_ = 1;
  checkHoldNote_->setChecked(false);
  CommAllNoteOff_Click();
  if (!ClickKeyTicked()) {
    checkHoldNote_->setEnabled(false);
    commHoldChord_->setEnabled(false);
  } else {
    clickGuard_ = 1;
    checkClickKey_->setChecked(false);
  }
}

// The notes of the old channel end before the new one takes over.
void frmTastiera::Combo1_Change() {
  const int index = combo1_->currentIndex();
  if (index < 0 || index > 15) return;
  if (index != TasByte(0)) AllNotesOff(TasByte(0));
  TasByte(0) = index;
}

// A mode button: the mode change (shown in the monitor), All Notes Off
// (not shown), then the split controls for the new mode.
void frmTastiera::ModeButton(void (*txMode)()) {
  txMode();
  const bool monitor = gMonitorOn;
  gMonitorOn = false;
  CommAllNoteOff_Click();
  gMonitorOn = monitor;
  SplitCtlsLayout();
}

void frmTastiera::CommArrPlay_Click() { ModeButton(TxModeArrPlay); }

void frmTastiera::CommSongPlay_Click() { ModeButton(TxModeSongPlay); }

// ---- Octave, sliders and split point -----------------------------------------

void frmTastiera::HScroll1_Change() {
  baseNote_ = hScroll1_->value() * 12 + 12;
  OctaveLabelsSet();
  VScroll1_Change();
  // The marks follow the notes into the new view: the held ones and the
  // one still sounding.
  KeysRepaint();
  HeldKeysMark();
  if (TasKey* key = lastNote_ < kNoNote ? KeyOfNote(lastNote_) : nullptr) key->SetMarked(true);
}

void frmTastiera::VScroll_Change(int index) {
  const int v = vScroll_[index]->value();
  const Slider& s = kSliders[index];
  label3_[index]->setText(QString::number(v - s.shown));
  if (s.controller >= 0) {
    const int n = Channel();
    if (s.controller == 0xE0)
      gShortMsg = 0xE0u | 0x7Fu << 8 | static_cast<uint32_t>(v) << 16;
    else
      gShortMsg = 0xB0u | static_cast<uint32_t>(s.controller) << 8 | static_cast<uint32_t>(v) << 16;
    gShortMsg |= static_cast<uint32_t>(n);
    TxShortMsg();
    MidiMonLog("");
    MidiMonLog(Chr(gShortMsg & 0xFF) + Chr(gShortMsg >> 8 & 0xFF) + Chr(gShortMsg >> 16 & 0xFF));
  }
  TasByte(4 + index) = v;
}

void frmTastiera::VScroll1_Change() {
  const int v = vScroll1_->value();
  const int o = (v - 36) / 12 + 2;
  const int pos = v % 12;
  text3_->setText(ToScreen(" " + SplitPointName(v)));

  const int rel = o - hScroll1_->value();
  const int w = kWhiteWidth;
  const int offsets[12] = {0,         150,       w + 60,     w + 190,    2 * w + 90, 3 * w,
                           3 * w + 150, 4 * w + 55, 4 * w + 177, 5 * w + 68, 5 * w + 190, 6 * w + 80};
  const int x = splitMarkLeft_ + rel * (7 * w - rel / 2) + offsets[pos];
  PlaceTwips(picture1_, {x, splitMarkTop_, kMarkerSize, kMarkerSize});

  TxParamChange(0, 2, v, 0);
}

void frmTastiera::SplitCtlsLayout() {
  if (gInstrMode != 0 && gInstrMode != 1 && gInstrMode != 2) return;
  const bool on = gInstrMode == 0;
  picture1_->setEnabled(on);
  picture1_->setVisible(on);
  picture2_->setEnabled(on);
  text3_->setEnabled(on);
  vScroll1_->setEnabled(on);
  label1_[8]->setEnabled(on);
}

// ---- Opening -----------------------------------------------------------------

void TasWinShow() {
  ShowFormOf(gTasForm, [] {
    auto* form = new frmTastiera();
    form->Form_Load();
    return form;
  });
}

void FrmTastieraReset() {
  delete gTasForm;
  gTasForm = nullptr;
  gKbdOpen = kFalse;
}
