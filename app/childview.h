// What the menu refresh and the Edit relay read of a child window: its
// document string, its size, its list and the enabled state of its command
// buttons. Every child window of the main window offers it.
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
  // The enabled state of a command button by name ("CommLoadArr",
  // "CommLoadStyGrp_2" for an element of a button array); false when the
  // window has no such button.
  virtual bool ButtonEnabled(const std::string&) const { return false; }
  // True while the window is being unloaded.
  virtual bool Unloading() const { return false; }
};
