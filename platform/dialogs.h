// Every modal dialog of the program goes through one interface: message
// boxes, the Open and Save As dialogs, the folder chooser and the language
// dialog. The program installs the Qt implementation; tests install the
// scripted one (ScriptedDialogs), which answers from a queue and records each
// box. Nothing in a test ever blocks on a real modal dialog.
//
// Texts are the program's byte strings (Latin-1, or file-system bytes for
// paths); the Qt side turns them into screen text with ScreenUtf8.
#pragma once

#include <deque>
#include <string>
#include <vector>

enum class MsgIcon { None, Exclamation, Question, Information, Critical };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel };

// Answers, as the designed message box returns them. kMsgClosed: the box was
// closed by its close box or Esc; the caller decides what that means.
constexpr int kMsgClosed = 0;
constexpr int kMsgOK = 1;
constexpr int kMsgCancel = 2;
constexpr int kMsgRetry = 4;
constexpr int kMsgYes = 6;
constexpr int kMsgNo = 7;

struct FileDialogRequest {
  std::string title;        // DialogTitle
  std::string filter;       // "Desc (*.a)|*.a|Desc 2|*.b" as designed
  int filterIndex = 1;      // 1-based
  std::string defaultExt;   // without dot
  std::string initDir;
  std::string fileName;     // initial name
  bool readOnlyBox = false;       // show the read-only check box (Open)
  bool readOnlyChecked = false;
};

struct FileDialogResult {
  bool accepted = false;    // false: Cancel
  std::string fileName;     // full path chosen
  int filterIndex = 1;      // filter selected at OK
  bool readOnly = false;    // state of the read-only box at OK
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) = 0;
  virtual FileDialogResult ShowOpen(const FileDialogRequest& req) = 0;
  virtual FileDialogResult ShowSave(const FileDialogRequest& req) = 0;
  // A folder of arrangement files; empty when cancelled.
  virtual std::string ChooseFolder(const std::string& title, const std::string& initDir) = 0;
  // The first-start language dialog: 1 Italian, 2 English, 0 closed without
  // a choice.
  virtual int ChooseLanguage() = 0;
};

// The installed implementation (never null: a scripted one answers until
// the program installs its own).
Dialogs& TheDialogs();
void SetDialogs(Dialogs* dialogs);  // not owned; nullptr restores the default, emptied

// Scripted dialogs for tests. Each call takes the next answer of its own
// queue; with an empty queue a message box answers OK for an OK box and
// kMsgClosed otherwise, a file dialog is cancelled, a folder choice is empty
// and the language dialog is closed (0).
class ScriptedDialogs : public Dialogs {
 public:
  struct Box {
    std::string title;
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    int answer;
  };
  struct FileCall {
    bool save;
    FileDialogRequest request;
    FileDialogResult result;
  };

  std::deque<int> boxAnswers;
  std::deque<FileDialogResult> fileAnswers;
  std::deque<std::string> folderAnswers;
  std::deque<int> languageAnswers;

  std::vector<Box> boxes;
  std::vector<FileCall> fileCalls;
  std::vector<std::string> folderCalls;  // the title of each folder choice
  int languageCalls = 0;

  int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) override;
  FileDialogResult ShowOpen(const FileDialogRequest& req) override;
  FileDialogResult ShowSave(const FileDialogRequest& req) override;
  std::string ChooseFolder(const std::string& title, const std::string& initDir) override;
  int ChooseLanguage() override;
  void Clear();  // empties every queue and record
};
