#include "platform/dialogs.h"

namespace {

// Answers until the program installs its own dialogs, so that nothing ever
// blocks before the windows exist.
ScriptedDialogs gBuiltIn;
Dialogs* gInstalled = nullptr;

template <typename T>
bool TakeFront(std::deque<T>& queue, T& value) {
  if (queue.empty()) return false;
  value = std::move(queue.front());
  queue.pop_front();
  return true;
}

}  // namespace

Dialogs& TheDialogs() {
  return gInstalled ? *gInstalled : gBuiltIn;
}

void SetDialogs(Dialogs* dialogs) {
  gInstalled = dialogs;
  if (!dialogs) gBuiltIn.Clear();
}

int ScriptedDialogs::MessageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                MsgButtons buttons) {
  int answer = buttons == MsgButtons::OK ? kMsgOK : kMsgClosed;
  TakeFront(boxAnswers, answer);
  boxes.push_back({title, text, icon, buttons, answer});
  return answer;
}

FileDialogResult ScriptedDialogs::ShowOpen(const FileDialogRequest& req) {
  FileDialogResult result;  // cancelled
  TakeFront(fileAnswers, result);
  fileCalls.push_back({false, req, result});
  return result;
}

FileDialogResult ScriptedDialogs::ShowSave(const FileDialogRequest& req) {
  FileDialogResult result;
  TakeFront(fileAnswers, result);
  fileCalls.push_back({true, req, result});
  return result;
}

std::string ScriptedDialogs::ChooseFolder(const std::string& title, const std::string& initDir) {
  (void)initDir;
  std::string folder;
  TakeFront(folderAnswers, folder);
  folderCalls.push_back(title);
  return folder;
}

int ScriptedDialogs::ChooseLanguage() {
  int answer = 0;
  TakeFront(languageAnswers, answer);
  ++languageCalls;
  return answer;
}

void ScriptedDialogs::Clear() {
  boxAnswers.clear();
  fileAnswers.clear();
  folderAnswers.clear();
  languageAnswers.clear();
  boxes.clear();
  fileCalls.clear();
  folderCalls.clear();
  languageCalls = 0;
}
