// The fixture of the style-file and program-file window tests: the program
// folder's data files, a blank info file, the File menu's Open through the
// scripted dialog.
#pragma once

#include <QFile>

#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "files/datafiles.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "ui/main/childform.h"

// Boxes answered as ScriptedDialogs answers them, with something done the
// moment a box is shown.
class DialogsWithAction : public ScriptedDialogs {
 public:
  std::function<void()> onBox;
  int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) override {
    if (onBox) onBox();
    return ScriptedDialogs::MessageBox(title, text, icon, buttons);
  }
};

class DocWindowTest : public MainFixture {
 protected:
  void SetUp() override {
    MainFixture::SetUp();
    const std::string dir = QFile::encodeName(progDir_->path()).toStdString();
    ASSERT_EQ(MakeDataFiles(dir, [](int s) { return PadRight("Factory " + CStr(s), 16); }), 0);
    WriteInfo(151, "");
  }
  // The info file the sibling programs share, naming a file at pos.
  void WriteInfo(int pos, const std::string& name) {
    std::string info = PadRight("TessaroInfo", 1000);
    MidAssign(info, pos, PadRight(name, 50));
    WriteBytes(WinFile("TessaroInfo"), info);
  }
  void StartClean() {
    Start();
    Settle(30);
    midi_->ClearRecords();
  }
  // The same with the Load, automatic database and read-only options off.
  void StartPlain() {
    StartClean();
    UntickPlainOptions();
    midi_->ClearRecords();
  }
  // File > Open (item) on a file of the program folder, with the dialog's
  // read-only box.
  void OpenThrough(const char* item, const std::string& file, bool readOnly) {
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = ProgFile(file);
    answer.readOnly = readOnly;
    dialogs_.fileAnswers.push_back(answer);
    main_->Item(item)->trigger();
  }
  // Closes a window that stayed open, its changes dropped (the modified
  // flag at pos cleared).
  static void Discard(ChildForm* w, int pos) {
    MidAssign(*w->MutableTag(), pos, Chr(0));
    w->close();
    Settle(0);
  }
};
