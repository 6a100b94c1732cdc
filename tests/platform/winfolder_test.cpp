#include "platform/winfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

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

// The probe writes for real and takes its file away again: a folder that
// can be written is left as it was, a missing one is made, and a write that
// fails (a full disk) counts as a folder that cannot be written.
TEST_F(WinFolderTest, TheProbeWritesAndRemovesAFileOfItsOwn) {
  const struct {
    const char* name;
    std::string folder;
    FileFaultHook fault;
    int err;
    bool exists;
  } cases[] = {
      {"writable", dir_ + "/win", nullptr, 0, true},
      {"missing, made", dir_ + "/new/win", nullptr, 0, true},
      {"below a file", dir_ + "/file/win", nullptr, kErrPathNotFound, false},
      {"full", dir_ + "/full",
       [](const std::string& op, const std::string&) { return op == "put" ? kErrDiskFull : 0; }, kErrDiskFull, true},
  };
  ASSERT_EQ(MakeDirs(dir_ + "/win"), 0);
  ASSERT_EQ(MakeDirs(dir_ + "/full"), 0);
  ASSERT_EQ(WriteWholeFileAtomic(dir_ + "/file", "x"), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetWinFolder(c.folder);
    SetFileFaultHook(c.fault);
    bool exists = !c.exists;
    EXPECT_EQ(WinFolderProbe(exists), c.err);
    SetFileFaultHook(nullptr);
    EXPECT_EQ(exists, c.exists);
    EXPECT_EQ(DirExists(c.folder), c.exists);
    if (!c.exists) continue;
    const QDir folder(QString::fromStdString(c.folder));
    EXPECT_TRUE(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty());
  }
  // A locked folder, for a user whom permission bits stop.
  if (::geteuid() == 0) return;
  ASSERT_EQ(::chmod((dir_ + "/win").c_str(), 0555), 0);
  SetWinFolder(dir_ + "/win");
  bool exists = false;
  EXPECT_EQ(WinFolderProbe(exists), kErrPathFileAccess);
  EXPECT_TRUE(exists);
  SetWinFolder(dir_ + "/win/below");
  EXPECT_EQ(WinFolderProbe(exists), kErrPathFileAccess);
  EXPECT_FALSE(exists);
  ::chmod((dir_ + "/win").c_str(), 0755);
}

}  // namespace

// The folder's own lock: one holder at a time, even in one process; a
// missing folder is not made for it, and taking it adds nothing to a folder.
TEST_F(WinFolderTest, TheFolderLockHasOneHolderAndWritesNothing) {
  const std::string folder = dir_ + "/Brenvolta";
  SetWinFolder(folder);
  FileLock first;
  EXPECT_EQ(first.TryLockFolder(folder), FileLock::Failed);
  EXPECT_FALSE(DirExists(folder));

  ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
  EXPECT_EQ(first.TryLockFolder(folder), FileLock::Taken);
  EXPECT_TRUE(first.IsHeld());
  FileLock second;
  EXPECT_EQ(second.TryLockFolder(folder), FileLock::Held);
  EXPECT_FALSE(second.IsHeld());
  EXPECT_TRUE(QDir(QString::fromStdString(folder))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .isEmpty());
  first.Unlock();
  EXPECT_EQ(second.TryLockFolder(folder), FileLock::Taken);
}
