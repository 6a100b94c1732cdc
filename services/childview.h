// What the menu refresh, the Edit relay, the list builders and the
// clipboard's Copy, Cut and Paste reach of a child window: its document
// string, its size, its list, its style box, its command buttons, its text
// boxes and timers by name, and its close. Every child window of the main
// window offers it.
#pragma once

#include <string>

class ChildView {
 public:
  virtual ~ChildView() = default;
  virtual const std::string& Tag() const = 0;  // the WinTag
  virtual int HeightTwips() const = 0;         // outer (frame) size
  virtual int WidthTwips() const = 0;
  // List1: the selected line (-1 none), a line's selection and text.
  virtual int ListIndex() const { return -1; }
  virtual bool ListSelected(int) const { return false; }
  virtual std::string ListText(int) const { return std::string(); }
  // Rewrites the text of List1's line (cut at its first NUL).
  virtual void SetListText(int, const std::string&) {}
  // The window's document string for a routine that changes it in place;
  // nullptr for a window that lends none.
  virtual std::string* MutableTag() { return nullptr; }
  // The enabled state of a command button by name ("CommLoadArr",
  // "CommLoadStyGrp_2" for an element of a button array); false when the
  // window has no such button.
  virtual bool ButtonEnabled(const std::string&) const { return false; }
  // Enables or disables a command button by name; a window without such a
  // button ignores it.
  virtual void SetButtonEnabled(const std::string&, bool) {}
  // Sets the text of a text box by name ("Text1_5" for an element of a box
  // array, "Text3"); a window without such a box ignores it.
  virtual void SetBoxText(const std::string&, const std::string&) {}
  // Switches on the window's one-shot timer of that name (leaving its
  // interval as it is); false when the window has no such timer.
  virtual bool StartTimer(const std::string&) { return false; }
  // Combo1, the style box of an arrangement window: clear it, add an item,
  // the number of items and an item's text (cut at its first NUL, as the
  // box shows it), select an item by index, set the box's text. A window
  // without such a box ignores them.
  virtual void Combo1Clear() {}
  virtual void Combo1AddItem(const std::string&) {}
  virtual int Combo1ListCount() const { return 0; }
  virtual std::string Combo1List(int) const { return std::string(); }
  virtual void Combo1SetListIndex(int) {}
  virtual void Combo1SetText(const std::string&) {}
  // True while the window is being unloaded.
  virtual bool Unloading() const { return false; }
  // Sets the window's caption (after Save As gave the document a new name).
  virtual void SetWindowCaption(const std::string&) {}
  // Closes the window without its close prompt; its unload handler runs.
  virtual void UnloadNow() {}
  // The arrangement-file window's Edit command (its button and the main
  // window's Edit item) follows its rule: on when the current line holds an
  // arrangement and is selected and no arrangement is linked to the editor,
  // off otherwise. Other windows have no such command.
  virtual void UpdateEditCommand() {}
};
