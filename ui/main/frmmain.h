// The main window: an MDI parent with the menus, the status bar Picture1
// and its six labels. It is the program's MainView: the libraries reach its
// labels and menu items by name through that interface.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <string>

#include "app/mainview.h"
#include "ui/main/frmmsgex.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class ChildForm;

class frmMain : public QMainWindow, public MainView {
  Q_OBJECT
 public:
  frmMain();
  ~frmMain() override;

  // The one main window, or nullptr.
  static frmMain* Instance();

  // The load handler: runs once when Main shows the window.
  void MDIForm_Load();

  QMdiArea* MdiArea() const { return mdi_; }
  QMenu* EditMenu() const { return editMenu_; }
  QAction* Item(const std::string& name) const;
  QLabel* Label(const std::string& name) const;
  // The current child window (the one commands act on), or nullptr.
  ChildForm* ActiveForm() const;
  // Adds a child window to the MDI area.
  QMdiSubWindow* AddChild(ChildForm* child);

  // Menu commands.
  void mnuMsgEx_Click();
  void mnuExit_Click();

  // MainView
  void SetLabelCaption(const std::string& label, const std::string& text) override;
  std::string LabelCaption(const std::string& label) const override;
  void SetBusyCursor(bool hourglass) override;
  bool MenuEnabled(const std::string& item) const override;
  void SetMenuEnabled(const std::string& item, bool on) override;
  bool MenuChecked(const std::string& item) const override;
  void SetMenuChecked(const std::string& item, bool on) override;
  bool MenuVisible(const std::string& item) const override;
  void SetMenuVisible(const std::string& item, bool on) override;
  std::string MenuCaption(const std::string& item) const override;
  void SetMenuCaption(const std::string& item, const std::string& text) override;
  ChildView* ActiveChild() const override;

  // True when the last close of the window was refused or cancelled.
  bool ExitRefused() const { return exitRefused_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void LayoutStatusBar();
  // The query step of the exit; false when a child cancelled it.
  bool QueryExit();

  QMdiArea* mdi_ = nullptr;
  QWidget* picture1_ = nullptr;
  QMenu* editMenu_ = nullptr;
  std::map<std::string, QAction*> items_;
  std::map<std::string, QLabel*> labels_;
  std::map<std::string, std::string> labelText_;
  std::map<std::string, std::string> itemCaption_;
  bool busy_ = false;
  bool exitRefused_ = false;
  QPointer<frmMsgEx> msgEx_;
};
