// The program's modal dialogs on Qt Widgets: message boxes, the Open and
// Save As dialogs (non-native, so the Open dialog can carry its read-only
// box), the folder chooser and the hand-over to the language window.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "platform/dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
 public:
  int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) override;
  FileDialogResult ShowOpen(const FileDialogRequest& req) override;
  FileDialogResult ShowSave(const FileDialogRequest& req) override;
  std::string ChooseFolder(const std::string& title, const std::string& initDir) override;
  int ChooseLanguage() override;

  // The language window installs the function that shows it modally and
  // answers 1 Italian, 2 English or 0 closed; an empty function removes it.
  static void SetLanguageDialog(std::function<int()> dialog);
};

// Forgets the sizes the user gave the Open and Save As dialogs in this
// session.
void QtDialogsReset();

// The Qt name filters of a designed filter string, "Desc (*.a)|*.a|Desc 2|
// *.b;*.c|": one filter per description|patterns pair, the description kept
// as given, each pattern in lower and upper case ("Desc 2 (*.b *.c *.B *.C)").
QStringList QtNameFilters(const std::string& designedFilter);

// The width a window needs for its whole title in the title bar: the text
// in the bold title font, the window's icon and three title-bar buttons
// beside it, and a margin at each end. A window manager cuts a title that
// does not fit.
int TitleBarWidth(const QString& title, const QWidget* window);
