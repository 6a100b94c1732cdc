// The base of the windows of the instrument's factory banks that keep their
// place in the position record of their kind (gWinPosTab): the style banks
// (kinds 17, 18), the program banks (4-8) and the kit windows (9, 10). It
// holds what they share: the bank's list in columns, the mode buttons and
// Close, the MIDI channel box of the program and kit windows, and the frame
// on the position record (restore, size cap, store at resize and unload).
// Also the helpers that the program-file and style-file windows and the
// database editor share with them.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "ui/main/childform.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

// The list List1 of a window's body, in Arial 10.
QListWidget* MakeList1(QWidget* body);
// A command button of a window's body, named as its control.
QPushButton* MakeButton(QWidget* body, const QString& name, const QString& caption);
// The channel box Combo1 (filled) and its Label1 "MIDI Channel".
void MakeChannelBox(QWidget* body, QComboBox** combo, QLabel** label);

// Fills a MIDI channel box: "  1" to "  9", " 10" to " 16"; item i is
// channel i (0-15).
void FillChannelBox(QComboBox* combo);

// Lays a placed list out in `columns` columns of equal width that fill its
// width, lines running top to bottom and then on into the next column, at
// the row pitch of the list windows. The list is sized to show them all
// (ListHeightOf), so it has no scroll bars.
void ColumnList(QListWidget* list, int columns);
// The height in twips of a list that shows `rows` lines at the row pitch,
// its frame included.
int ListHeightOf(int rows);
// The row pitch of the list windows in twips: 241, or 228 with large
// fonts (12 twips per pixel).
int ListRowPitch();

// The call-up of line index of a program, kit or program-file window (tag
// its WinTag) on the window's channel, echoed in the MIDI monitor.
void CallUpProgram(const std::string& tag, int index);

class BankForm : public ChildForm {
  Q_OBJECT
 public:
  int BankKind() const { return kind_; }

 protected:
  // name the window's objectName; channelBox adds Combo1 and its Label1.
  BankForm(const char* name, bool channelBox);

  // The load's frame: the window joins the main window's MDI area, takes
  // its place from the record of kind and marks it open (state 1).
  void RestoreRecord(int kind);
  // The unload's frame: Top and Left (and Height and Width, withSize) into
  // the record, its state 0 unless the program is closing. Returns the
  // state kept.
  uint8_t UnloadRecord(bool withSize);
  // Places the list at top (its height for `rows` lines at the row pitch,
  // in 4 columns across the window's width) and the row of controls below
  // it: the channel box with its label, then the buttons.
  void LayoutBank(int top, int rows);
  // A channel picked in Combo1: WinTag position 16 and the record's data
  // byte take it, and the caption shows it.
  void StoreChannel(int channel);

  void Form_Activate() override;
  // Caps the size at the kind's enlarged size, then Height, Width and the
  // state into the record; nothing while the window loads.
  void Form_Resize() override;

  QListWidget* list1_ = nullptr;
  QComboBox* combo1_ = nullptr;  // the channel box, or nullptr
  QLabel* label1_ = nullptr;     // "MIDI Channel", or nullptr
  QPushButton* commArrPlay_ = nullptr;
  QPushButton* commSongPlay_ = nullptr;
  QPushButton* commClose_ = nullptr;
  int kind_ = 0;
  bool loaded_ = false;
};
