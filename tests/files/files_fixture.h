// Common fixture of the file-format tests: a temporary folder, scripted
// dialogs that record every box, English texts, and every file module put
// back to its start values before and after each test.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "platform/dialogs.h"
#include "platform/files.h"

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAll();
    gLangBase = 200;
    SetDialogs(&dialogs);
    ASSERT_TRUE(dir.isValid());
  }
  void TearDown() override {
    SetFileFaultHook(nullptr);
    SetDialogs(nullptr);
    ResetAll();
  }
  static void ResetAll() {
    ArrFileReset();
    PrgFileReset();
    GblFileReset();
    StyFileReset();
    FileCommonReset();
    MessagesReset();
    PathsReset();
    StringsReset();
  }
  std::string Path(const std::string& name) const {
    return QFile::encodeName(dir.path()).toStdString() + "/" + name;
  }
  // The names of the files in the temporary folder, sorted.
  std::vector<std::string> Listing() const;

  ScriptedDialogs dialogs;
  QTemporaryDir dir;
};

inline std::vector<std::string> FilesTest::Listing() const {
  std::vector<std::string> names;
  for (const QString& n :
       QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
    names.push_back(QFile::encodeName(n).toStdString());
  return names;
}
