// What the libraries reach of the main window: its status labels, its mouse
// pointer and its menu items, addressed by their names ("LabelMode",
// "mnuMsgEx", "mnuRecentFile_3" for an element of a menu array). The window
// side installs the main window's implementation; while none is installed
// (no main window yet, or a test without one), the screen is skipped and
// only the state changes.
#pragma once

#include <string>

class ChildView;

class MainView {
 public:
  virtual ~MainView() = default;
  virtual void SetLabelCaption(const std::string& label, const std::string& text) = 0;
  virtual std::string LabelCaption(const std::string& label) const = 0;
  virtual void SetBusyCursor(bool hourglass) = 0;
  virtual bool MenuEnabled(const std::string& item) const = 0;
  virtual void SetMenuEnabled(const std::string& item, bool on) = 0;
  virtual bool MenuChecked(const std::string& item) const = 0;
  virtual void SetMenuChecked(const std::string& item, bool on) = 0;
  virtual bool MenuVisible(const std::string& item) const = 0;
  virtual void SetMenuVisible(const std::string& item, bool on) = 0;
  virtual std::string MenuCaption(const std::string& item) const = 0;
  virtual void SetMenuCaption(const std::string& item, const std::string& text) = 0;
  // The active child window (the current subwindow of the MDI area), or
  // nullptr when there is none.
  virtual ChildView* ActiveChild() const = 0;
  // The open child window of a kind whose slot (WinTag character 15) is
  // slot, or nullptr; a window that is closing is not counted.
  virtual ChildView* ChildOfKind(int /*kind*/, int /*slot*/) const { return nullptr; }
};

// The installed main window, or nullptr.
MainView* TheMainView();
void SetMainView(MainView* view);  // not owned

// The main window's menu items for code that must work without one: a
// missing main window reads as unchecked and takes nothing.
bool MainMenuChecked(const std::string& item);
void SetMainMenuEnabled(const std::string& item, bool on);
// The main window's active child window; nullptr without a main window or
// without a child.
ChildView* MainActiveChild();
