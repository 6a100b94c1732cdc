// The base of every child window of the main window. It holds the window's
// document string (WinTag), keeps its geometry in twips (outer frame size,
// turned into pixels in one place), and maps the toolkit's events onto the
// handlers the windows implement: Form_Load, Form_Activate, Form_Resize,
// Form_QueryUnload and Form_Unload.
#pragma once

#include <QMdiSubWindow>
#include <string>

#include "services/childview.h"

// True while a window fills its controls: its change and resize handlers
// then do nothing. gFormLoading serves the arrangement, style-file and
// global windows and the database editor; gFormLoading2 the program,
// program-bank, kit and style-bank windows and the arrangement editor.
extern bool gFormLoading;
extern bool gFormLoading2;

// The place moved inside room as far as it reaches outside it, its size
// cut to room's only where it is larger.
QRect FitInside(const QRect& place, const QRect& room);

class ChildForm : public QMdiSubWindow, public ChildView {
  Q_OBJECT
 public:
  explicit ChildForm(QWidget* parent = nullptr);
  ~ChildForm() override;

  std::string& WinTag() { return winTag_; }
  const std::string& Tag() const override { return winTag_; }
  int Kind() const;

  // Geometry in twips (Top and Left inside the MDI area; outer size).
  int TopTwips() const;
  int LeftTwips() const;
  int HeightTwips() const override;
  int WidthTwips() const override;
  void SetGeometryTwips(int top, int left, int height, int width);
  void SetSizeTwips(int height, int width);
  // 0 normal, 1 minimised, 2 maximised.
  int WindowStateNo() const;

  bool Unloading() const override { return unloading_; }
  // The list and the style box of the window, found by their names List1
  // and Combo1; a window without them answers as an empty one.
  int ListIndex() const override;
  bool ListSelected(int index) const override;
  std::string ListText(int index) const override;
  void SetListText(int index, const std::string& text) override;
  void Combo1Clear() override;
  void Combo1AddItem(const std::string& text) override;
  int Combo1ListCount() const override;
  std::string Combo1List(int index) const override;
  void Combo1SetListIndex(int index) override;
  void Combo1SetText(const std::string& text) override;
  bool ButtonEnabled(const std::string& name) const override;
  void SetButtonEnabled(const std::string& name, bool on) override;
  void SetBoxText(const std::string& name, const std::string& text) override;
  void SetWindowCaption(const std::string& text) override;
  std::string* MutableTag() override { return &winTag_; }
  bool StartTimer(const std::string& name) override;

  // The close query on its own (the main window asks every child before any
  // closes): false when the window refuses to close.
  bool QueryUnload();
  // Closes the window without asking again.
  void UnloadNow() override;

  // The window is the main window's current one, the one the menu stands
  // for and its commands act on.
  bool IsActiveForm() const;

  // Called by the main window when this window becomes the active one.
  void Activated() { Form_Activate(); }
  // Joins the main window's MDI area, once (without a main window, none).
  void JoinMainWindow();

 protected:
  virtual void Form_Activate() {}
  virtual void Form_Resize() {}
  // Set cancel to true to keep the window open.
  virtual void Form_QueryUnload(bool& cancel) { (void)cancel; }
  virtual void Form_Unload() {}

  // Pops the main window's Edit menu up at the mouse (right button).
  void PopupEditMenu();
  // The menu refresh after a change of the window's own state that the
  // menu shows (its list's selection), while the window is the one the
  // menu stands for: an inactive window leaves the menu to the active one.
  void RefreshMenuWhenActive();

  // The frame every child window follows.
  // Load: place and size from the window's record. A size beyond
  // maxHeight x maxWidth (0: no cap) opens at that largest size: the window
  // is laid out at the size it shows, where a cut by FrameResize while it is
  // first shown would leave its layout at the larger size.
  // A place recorded on a larger screen, or at a smaller scale, may reach
  // outside the main window's area: the window is then moved inside it, and
  // made smaller only where it is larger than the area (see FitRestored).
  void FrameRestore(int top, int left, int height, int width, int maxHeight = 0, int maxWidth = 0);
  // Resize: caps the size at maxHeight x maxWidth (0: no cap), then stores
  // Height and Width and the state byte (1 normal, 2 minimised, unchanged
  // when maximised) into the record's fields. Returns false when the window
  // had to be cut back: the resize that follows records the size.
  bool FrameResize(int maxHeight, int maxWidth, int16_t* height, int16_t* width, uint8_t* state);
  // Unload: Top and Left into the record, the state byte 0 unless the
  // program is closing.
  void FrameUnload(int16_t* top, int16_t* left, uint8_t* state);
  // The same for a document window, whose record the exit has marked
  // closed: while the program is closing the state byte records the
  // window's state (1 normal, 2 minimised, unchanged when maximised), so
  // that the window reopens at the next start.
  void FrameUnloadDocument(int16_t* top, int16_t* left, uint8_t* state);
  // Stops every step timer of the window: a closing window is deleted
  // later, and none of its steps may run meanwhile.
  void StopSteps();
  // Connects the window's own Close button (CommClose), the mode buttons
  // (CommArrPlay, CommSongPlay) and the right-button menu of its list
  // (List1), where it has them.
  void FrameControls();

  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::string winTag_;

 private:
  // The window a close of this one returns to: the one active before it,
  // while this is the one active last, the most recent of the others that
  // is still open, shown and not minimised; otherwise nullptr, and the area
  // makes its own choice.
  QMdiSubWindow* WindowBefore() const;
  // The state byte of the window's state: 1 normal, 2 minimised, unchanged
  // when maximised.
  void StateOfWindow(uint8_t* state) const;

  // Keeps a restored window inside the main window's area: moved in from
  // its recorded place as far as needed, and made smaller only where the
  // area is smaller than the window. The fit waits until the window is in
  // the area and the area is on the screen (FitRestored asks for it once
  // the events already waiting have run); it is made again from the
  // recorded place whenever the area changes size (a window manager
  // maximises the main window only after it is shown), until the window is
  // moved or resized.
  void FitRestored();
  void FitNow();

  bool unloading_ = false;
  bool queried_ = false;
  bool keepInside_ = false;  // restored and not moved or resized since
  bool fitQueued_ = false;
  QRect restored_;  // the recorded place, in pixels
  QRect fitted_;    // the place the last fit gave it
};
