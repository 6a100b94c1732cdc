// Dialogs for the fuzz targets: every box is answered at once and nothing is
// kept, so no box ever blocks and memory stays flat over millions of inputs.
// The Windows folder, which the saves use for a file written in place, is the
// fuzz folder.
#include "platform/dialogs.h"
#include "platform/winfolder.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

class SilentDialogs : public Dialogs {
 public:
  int MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons buttons) override {
    return buttons == MsgButtons::OK ? kMsgOK : kMsgClosed;
  }
  FileDialogResult ShowOpen(const FileDialogRequest&) override { return {}; }
  FileDialogResult ShowSave(const FileDialogRequest&) override { return {}; }
  std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
  int ChooseLanguage() override { return 0; }
};

SilentDialogs gSilent;

}  // namespace

Dialogs& TheDialogs() {
  return gSilent;
}
void SetDialogs(Dialogs*) {}

std::string WinFolder() { return FuzzDir(); }
std::string WinFolderPath() { return FuzzDir(); }
