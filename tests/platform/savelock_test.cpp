// The save lock and the reads of a document's files together: only this
// user's copies of the program can hold the lock, a save excludes a read
// and a read a save while readers share it, it holds wherever the settings
// folder has its file, a resolve takes it only for a record of ours, and a
// read together gives one save's files, read again when a file changed
// under it, a bounded number of times.
#include <QFileInfo>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/savelock.h"
#include "platform/winfolder.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/savechild.h"

namespace {

using Clock = std::chrono::steady_clock;
using Names = std::vector<std::string>;

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

void Put(const std::string& path, const std::string& data) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(fd);
}

// Puts a new file in path's place by a rename, as a save does.
void Replace(const std::string& path, const std::string& data) {
  Put(path + ".new", data);
  ASSERT_EQ(::rename((path + ".new").c_str(), path.c_str()), 0);
}

std::string ReadAll(const std::string& path) {
  std::string data;
  ReadWholeFile(path, data);
  return data;
}

// Every entry of a folder, hidden ones too.
Names Entries(const std::string& folder) {
  Names names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::vector<FileReadTogether> ToRead(const Names& paths) {
  std::vector<FileReadTogether> files;
  for (const std::string& p : paths) {
    FileReadTogether f;
    f.path = p;
    files.push_back(f);
  }
  return files;
}

}  // namespace

class SaveLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a_.isValid());
    ASSERT_TRUE(settings_.isValid());
    SetWinFolder(Settings());
  }
  void TearDown() override {
    SetFileFaultHook(nullptr);
    SetSaveLockWait(-1);
    SetSaveLockFileMade(true);
    SetWinFolder("");
    for (const std::string& p : restore_) ::chmod(p.c_str(), 0755);
  }
  std::string A(const std::string& name = "") const {
    return Bytes(QFileInfo(a_.path()).canonicalFilePath()) + (name.empty() ? "" : "/" + name);
  }
  std::string Settings() const { return Bytes(QFileInfo(settings_.path()).canonicalFilePath()); }
  std::string LockFile() const { return Settings() + "/saves.lock"; }
  void Restore(const std::string& path) { restore_.push_back(path); }

  QTemporaryDir a_, settings_;
  std::vector<std::string> restore_;
};

// The lock is one file of the settings folder, the user's alone (mode
// 0600, empty), made by the first save and kept by every later one, in any
// folder. Another user, even where the settings folder may be listed by
// anyone, can neither open it nor so hold any lock.
TEST_F(SaveLockTest, TheLockFileIsTheUsersAloneAndStays) {
  ASSERT_EQ(::chmod(Settings().c_str(), 0755), 0);
  QTemporaryDir b;
  ASSERT_TRUE(b.isValid());
  const std::string other = Bytes(QFileInfo(b.path()).canonicalFilePath());
  for (const std::string& folder : {A(), other, A()}) {
    ASSERT_EQ(WriteWholeFiles({{folder + "/song.arr", "arr"}, {folder + "/song.sty", "sty"}}), 0);
    EXPECT_EQ(Entries(Settings()), (Names{"Brenvolta.key", "saves.lock"}));
  }
  struct stat st {};
  ASSERT_EQ(::lstat(LockFile().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(st.st_size, 0);

  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(A().c_str(), 0777), 0);
  std::string text;
  EXPECT_EQ(RunAsUser(kOtherUid, kOtherGid,
                      [&](std::string& out) {
                        if (::open(LockFile().c_str(), O_RDONLY) >= 0 || errno != EACCES)
                          return out = "the lock file opened", 1;
                        FolderLocks his;
                        std::string busy;
                        if (his.Take({A()}, busy) != 0 || his.Holding()) return out = "a lock held", 2;
                        return 0;
                      },
                      text),
            0)
      << text;
  EXPECT_EQ(Entries(Settings()), (Names{"Brenvolta.key", "saves.lock"}));
}

// Two copies of the program: a save's lock excludes every other taker, a
// read's lock only saves. Within one process the locks are counted, and a
// save's lock asked under the process's own read lock is refused at once.
TEST_F(SaveLockTest, SavesExcludeEveryoneAndReadersShare) {
  SetSaveLockWait(100);
  const struct {
    bool holderShares, takerShares, taken;
  } cases[] = {{false, false, false}, {false, true, false}, {true, false, false}, {true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.holderShares ? "a read" : "a save") + " held, " + (c.takerShares ? "a read" : "a save") +
                 " asked");
    FolderLockHolder holder(A(), c.holderShares);
    ASSERT_TRUE(holder.Holds());
    FolderLocks mine;
    std::string busy;
    EXPECT_EQ(c.takerShares ? mine.TakeShared({A()}, busy) : mine.Take({A()}, busy), c.taken ? 0 : kErrSaveInUse);
    EXPECT_EQ(mine.Holding(), c.taken);
    EXPECT_EQ(busy, c.taken ? "" : A());
  }

  SetSaveLockWait(2000);
  std::string busy;
  {
    FolderLocks save, readInside;
    ASSERT_EQ(save.Take({A()}, busy), 0);
    EXPECT_EQ(readInside.TakeShared({A()}, busy), 0);
  }
  FolderLocks read, saveInside;
  ASSERT_EQ(read.TakeShared({A()}, busy), 0);
  const auto start = Clock::now();
  EXPECT_EQ(saveInside.Take({A()}, busy), kErrSaveInUse);
  EXPECT_LT(MsSince(start), 1000);
  read.Release();
  EXPECT_EQ(saveInside.Take({A()}, busy), 0);
}

// Where the lock can be had, as an ordinary user: through a lock file made
// earlier in a settings folder that may no longer be written, and for a
// document folder that may not be read (a drop folder). Where the settings
// folder takes no lock file, or must not be written, a save goes on with
// nothing locked and makes nothing there.
TEST_F(SaveLockTest, TheLockHoldsWhereverItsFileCanBeHad) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as an ordinary user";
  const struct {
    const char* what;
    bool fileThere;
    mode_t settingsMode, folderMode;
    bool mayMake;
    bool locks;
  } cases[] = {
      {"a lock file in a settings folder made read-only since", true, 0500, 0755, true, true},
      {"a drop folder", false, 0700, 0300, true, true},
      {"no lock file in a read-only settings folder", false, 0500, 0755, true, false},
      {"a settings folder that must not be written", false, 0700, 0755, false, false},
  };
  ASSERT_TRUE(ChownTree(A(), kTestUid, kTestGid));
  ASSERT_TRUE(ChownTree(Settings(), kTestUid, kTestGid));
  Restore(A());
  Restore(Settings());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::chmod(Settings().c_str(), 0700);
    ::unlink(LockFile().c_str());
    ::unlink((Settings() + "/Brenvolta.key").c_str());
    std::string text;
    const int rc = RunAsUser(
        kTestUid, kTestGid,
        [&](std::string& out) {
          if (c.fileThere) {
            FolderLocks first;
            std::string busy;
            if (first.Take({A()}, busy) != 0 || !first.Holding()) return out = "no first lock", 1;
          }
          if (::chmod(Settings().c_str(), c.settingsMode) != 0 || ::chmod(A().c_str(), c.folderMode) != 0)
            return out = "chmod", 2;
          SetSaveLockFileMade(c.mayMake);
          SetSaveKeyMayBeMade(c.mayMake);
          SetSaveLockWait(100);
          {
            FolderLockHolder holder(A());
            if (holder.Holds() != c.locks) return out = "the other copy's lock", 3;
            std::string failed;
            const int err = WriteWholeFiles({{A("song.arr"), "arr"}, {A("song.sty"), "sty"}}, &failed);
            if (err != (c.locks ? kErrSaveInUse : 0)) return out = "save: " + std::to_string(err) + " " + failed, 4;
          }
          if (c.locks && WriteWholeFiles({{A("song.arr"), "arr"}, {A("song.sty"), "sty"}}) != 0)
            return out = "save after", 5;
          return 0;
        },
        text);
    ::chmod(A().c_str(), 0755);
    EXPECT_EQ(rc, 0) << text;
    EXPECT_EQ(ReadAll(A("song.arr")), "arr");
    // The pair's save makes its key where the folder takes it.
    const bool keyMade = c.mayMake && c.settingsMode == 0700;
    Names made;
    if (keyMade) made.push_back("Brenvolta.key");
    if (c.locks) made.push_back("saves.lock");
    EXPECT_EQ(Entries(Settings()), made);
  }
}

// A save of this user's other copy holds the folder. Files at a record's
// name that are no record of ours (another user's, or one of this user's
// own that is not a record) make a resolve wait for nothing, and are left
// as they are.
TEST_F(SaveLockTest, AResolveBesideFilesThatAreNoRecordOfOursWaitsForNothing) {
  Put(A("song.arr"), "arr");
  const std::string junk = A(".song.arr~brvAAAAAA.save");
  const struct {
    const char* what;
    bool anotherUsers;
  } cases[] = {{"another user's file", true}, {"a file of this user's that is no record", false}};
  FolderLockHolder holder(A());
  ASSERT_TRUE(holder.Holds());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.anotherUsers && !CanSwitchUsers()) continue;
    Put(junk, "Brenvolta save record 2\nsomeone's");
    if (c.anotherUsers) {
      ASSERT_EQ(::chown(junk.c_str(), kOtherUid, kOtherGid), 0);
    }
    const auto start = Clock::now();
    EXPECT_EQ(ResolveKilledSave(A("song.arr")), 0);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(ReadAll(junk), "Brenvolta save record 2\nsomeone's");
    EXPECT_EQ(Entries(A()), (Names{".song.arr~brvAAAAAA.save", "song.arr"}));
  }
}

// Each file read together is read as its reader would open it: through a
// link, a missing file, something that is no file, and what the reader must
// meet and report itself (a missing folder, a file that may not be read, an
// error, one too large to be a document) left unread.
TEST_F(SaveLockTest, EachFileIsReadAsItsReaderWouldOpenIt) {
  Put(A("song.arr"), "arr");
  ASSERT_EQ(::symlink("song.arr", A("link.arr").c_str()), 0);
  ASSERT_EQ(::symlink("gone.arr", A("dangling.arr").c_str()), 0);
  ASSERT_EQ(::mkdir(A("folder.sty").c_str(), 0755), 0);
  Put(A("big.sty"), std::string(4 * 1024 * 1024 + 1, 'x'));
  Put(A("fails.prg"), "prg");
  Put(A("private.pgg"), "pgg");
  ASSERT_EQ(::chmod(A("private.pgg").c_str(), 0), 0);
  const struct {
    std::string path;
    FileReadTogether::State state;
    std::string data;
  } cases[] = {
      {A("song.arr"), FileReadTogether::Read, "arr"},
      {A("link.arr"), FileReadTogether::Read, "arr"},
      {A("missing.sty"), FileReadTogether::Missing, ""},
      {A("dangling.arr"), FileReadTogether::Missing, ""},
      {A("folder.sty"), FileReadTogether::Missing, ""},
      {A("nofolder/song.sty"), FileReadTogether::NotRead, ""},
      {A("big.sty"), FileReadTogether::NotRead, ""},
      {A("fails.prg"), FileReadTogether::NotRead, ""},
      {A("private.pgg"), FileReadTogether::NotRead, ""},
  };
  SetFileFaultHook([&](const std::string& op, const std::string& path) {
    return op == "read" && path == A("fails.prg") ? kErrDeviceIO : 0;
  });
  Names paths;
  for (const auto& c : cases) paths.push_back(c.path);
  std::vector<FileReadTogether> files = ToRead(paths);
  {
    // Root reads any file: the read runs as an ordinary user, for whom the
    // folder may be searched and the file of mode 0 not read.
    ASSERT_EQ(::chmod(A().c_str(), 0755), 0);
    EffectiveUser user;
    if (CanSwitchUsers()) {
      ASSERT_TRUE(user.Switched());
    }
    ASSERT_EQ(ReadFilesTogether(files), 0);
  }
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(cases[i].path);
    EXPECT_EQ(files[i].state, cases[i].state);
    EXPECT_EQ(files[i].data, cases[i].data);
  }
}

// Another user's save takes no lock of ours: a file that changed under the
// read (put in place by a rename, rewritten in place, or come into being)
// is found changed after the last read, and the files are all read again,
// at most 8 times in all; after that the last reading stands.
TEST_F(SaveLockTest, FilesChangedUnderTheReadAreReadAgainABoundedNumberOfTimes) {
  const struct {
    const char* what;
    int changes;  // how many readings of the style file see the arrangement file changed
    bool inPlace;
    bool fromNothing;
    int readings;
  } cases[] = {
      {"replaced once", 1, false, false, 2},
      {"rewritten in place once", 1, true, false, 2},
      {"made once", 1, false, true, 2},
      {"replaced at every reading", 100, false, false, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(A("song.arr").c_str());
    if (!c.fromNothing) Put(A("song.arr"), "arr 0");
    Put(A("song.sty"), "sty");
    int readings = 0;
    SetFileFaultHook([&](const std::string& op, const std::string& path) {
      if (op != "read" || path != A("song.sty")) return 0;
      if (++readings <= c.changes) {
        const std::string bytes = "arr " + std::to_string(readings);
        if (c.inPlace)
          Put(A("song.arr"), bytes);
        else
          Replace(A("song.arr"), bytes);
      }
      return 0;
    });
    std::vector<FileReadTogether> files = ToRead({A("song.arr"), A("song.sty")});
    ASSERT_EQ(ReadFilesTogether(files), 0);
    SetFileFaultHook(nullptr);
    EXPECT_EQ(readings, c.readings);
    EXPECT_EQ(files[0].state, FileReadTogether::Read);
    EXPECT_EQ(files[0].data, "arr " + std::to_string(c.readings - 1));
    EXPECT_EQ(files[1].data, "sty");
  }
}

// This user's other copy saving in a folder keeps a read out for the wait,
// then the read says which file it could not read; unlocked, it reads. A
// read of another copy lets it through at once.
TEST_F(SaveLockTest, AReadWaitsForThisUsersSaveAndSharesWithItsReads) {
  Put(A("song.arr"), "arr");
  Put(A("song.sty"), "sty");
  SetSaveLockWait(100);
  std::vector<FileReadTogether> files = ToRead({A("song.arr"), A("song.sty")});
  {
    FolderLockHolder save(A());
    ASSERT_TRUE(save.Holds());
    std::string busy;
    EXPECT_EQ(ReadFilesTogether(files, true, &busy), kErrSaveInUse);
    EXPECT_EQ(busy, A("song.arr"));
    EXPECT_EQ(files[0].state, FileReadTogether::NotRead);
    EXPECT_EQ(ReadFilesTogether(files, false), 0);
    EXPECT_EQ(files[1].data, "sty");
  }
  FolderLockHolder read(A(), true);
  ASSERT_TRUE(read.Holds());
  SetSaveLockWait(5000);
  files = ToRead({A("song.arr"), A("song.sty")});
  const auto start = Clock::now();
  EXPECT_EQ(ReadFilesTogether(files), 0);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(files[0].data, "arr");
}
