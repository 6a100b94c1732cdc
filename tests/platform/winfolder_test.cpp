#include "platform/winfolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/files.h"

namespace {

std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

class WinFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = Bytes(tmp_.path());
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadConfigHome_ = old != nullptr;
    if (old) oldConfigHome_ = old;
  }
  void TearDown() override {
    if (hadConfigHome_)
      setenv("XDG_CONFIG_HOME", oldConfigHome_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    SetWinFolder("");
  }
  QTemporaryDir tmp_;
  std::string dir_;
  bool hadConfigHome_ = false;
  std::string oldConfigHome_;
};

TEST_F(WinFolderTest, DefaultIsBrenvoltaUnderTheConfigFolderMadeOnFirstUse) {
  setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
  SetWinFolder("");
  const std::string expected = dir_ + "/config/Brenvolta";
  EXPECT_FALSE(DirExists(expected));
  EXPECT_EQ(WinFolder(), expected);
  EXPECT_TRUE(DirExists(expected));
  EXPECT_EQ(WinPath("Brenvolta.ini"), expected + "/Brenvolta.ini");
}

TEST_F(WinFolderTest, SetterPointsElsewhereAndIsMadeOnFirstUse) {
  const std::string folder = dir_ + "/win/deeper";
  SetWinFolder(folder + "/");
  EXPECT_FALSE(DirExists(folder));  // not before it is used
  EXPECT_EQ(WinFolder(), folder);   // no trailing separator
  EXPECT_TRUE(DirExists(folder));
  EXPECT_EQ(WinPath("Veltrano"), folder + "/Veltrano");

  // A folder that cannot be made still gives its path; the file calls in it
  // report the failure.
  WriteWholeFileAtomic(dir_ + "/file", "x");
  SetWinFolder(dir_ + "/file/win");
  EXPECT_EQ(WinFolder(), dir_ + "/file/win");
  RecordFile f;
  EXPECT_EQ(f.Open(WinPath("TessaroInfo"), 1000), kErrPathNotFound);
}

}  // namespace
