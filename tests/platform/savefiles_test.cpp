// The save engine where it meets what a lost clean-up, a second name, a
// second saver, a shared folder or a long name leaves: a save that was done
// is never undone, a killed write in place is found through any name, two
// savers never mix a pair, another user's file is saved at the first try,
// and every name the file system takes saves.
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/winfolder.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/saverecords.h"

namespace {

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string ReadAll(const std::string& path) {
  std::string data;
  ReadWholeFile(path, data);
  return data;
}

// Writes a file as a user's own program would (no side files).
void Put(const std::string& path, const std::string& data) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(fd);
}

using Names = std::vector<std::string>;

// The save lock's file, which stays in the settings folder, is not listed.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != ".." && std::string(e->d_name) != "saves.lock")
        names.push_back(e->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool EndedThere(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// A write in place stopped by the size limit, set once the save is about
// to write its file (its side files are written by then): the new content
// grows the file past the limit, so the write ends part way, as a kill
// would end it. Other questions go to also.
FileFaultHook StopWritesPast16K(FileFaultHook also = {}) {
  return [also](const std::string& op, const std::string& path) {
    if (op == "rename") {
      const rlimit limit{16 * 1024, 16 * 1024};
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    return also ? also(op, path) : 0;
  };
}

bool StoppedBySizeLimit(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ; }

class SaveFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a_.isValid());
    ASSERT_TRUE(b_.isValid());
    ASSERT_TRUE(settings_.isValid());
    SetWinFolder(Settings());
  }
  void TearDown() override {
    SetFileFaultHook(nullptr);
    SetSaveLockWait(-1);
    SetWinFolder("");
    for (const std::string& p : restore_) ::chmod(p.c_str(), 0755);
  }
  std::string A(const std::string& name = "") const { return Canon(a_) + (name.empty() ? "" : "/" + name); }
  std::string B(const std::string& name = "") const { return Canon(b_) + (name.empty() ? "" : "/" + name); }
  std::string Settings() const { return Canon(settings_); }
  // What stands in the settings folder but the user's save key, which the
  // first save makes there.
  Names SettingsEntries() const {
    Names names = Entries(Settings());
    names.erase(std::remove(names.begin(), names.end(), "Brenvolta.key"), names.end());
    return names;
  }
  static std::string Canon(const QTemporaryDir& d) { return Bytes(QFileInfo(d.path()).canonicalFilePath()); }
  // A hook that stands for a folder that takes no new file.
  static FileFaultHook Refusing(const std::string& folder) {
    return [folder](const std::string& op, const std::string& path) {
      return op == "temp" && path == folder ? kErrPathFileAccess : 0;
    };
  }
  void Restore(const std::string& path) { restore_.push_back(path); }

  QTemporaryDir a_, b_, settings_;
  std::vector<std::string> restore_;
};

// A save that wrote a file in place was done once the file held its new
// content; a power loss right after it may bring back its record and the
// old bytes kept aside (here: the process ended before the clean-up). The
// next open keeps the saved bytes, and nothing of the save is left.
TEST_F(SaveFilesTest, ACompletedWriteInPlaceIsKeptWhenItsRecordComesBack) {
  const struct {
    const char* what;
    bool secondName;  // else the folder takes no new file
    std::vector<std::string> files;
  } cases[] = {
      {"a file with two names", true, {"song.arr"}},
      {"a file with two names and its style file", true, {"song.arr", "song.sty"}},
      {"a folder that takes no new file", false, {"song.arr", "song.sty"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    std::vector<WholeFile> save;
    for (const std::string& f : c.files) {
      Put(A(f), "old " + f + ", longer than the new one");
      save.push_back({A(f), "new " + f});
    }
    Names names = {c.files.begin(), c.files.end()};
    if (c.secondName) {
      ASSERT_EQ(::link(A("song.arr").c_str(), A("copy.arr").c_str()), 0);
      names.insert(names.begin(), "copy.arr");
    }
    const int status = SaveInChild(save, EndAt("done", 1, c.secondName ? FileFaultHook{} : Refusing(A())));
    ASSERT_TRUE(EndedThere(status)) << status;
    ASSERT_NE(Entries(A()).size() + SettingsEntries().size(), names.size()) << "the record is there";

    for (const std::string& f : c.files) EXPECT_EQ(ResolveKilledSave(A(f)), 0);
    for (const std::string& f : c.files) EXPECT_EQ(ReadAll(A(f)), "new " + f) << f;
    if (c.secondName) {
      EXPECT_EQ(ReadAll(A("copy.arr")), "new song.arr");
    }
    EXPECT_EQ(Entries(A()), names);
    EXPECT_EQ(SettingsEntries(), Names{});
  }
}

// A file with a name in each of two folders, written in place through one
// and killed there: an open through the other name finds the save and
// finishes it (it was done) or rolls it back (it was stopped part way).
// Where the settings folder takes nothing, the record stands beside the
// file, and another name in the same folder finds it.
TEST_F(SaveFilesTest, AKilledWriteInPlaceIsFoundThroughAnyName) {
  const std::string old(100, 'o'), fresh(64 * 1024, 'n');
  const struct {
    const char* what;
    bool torn;           // stopped part way, else ended once done
    bool settingsTakes;  // else the settings folder takes no new file
    bool sameFolder;     // the other name is beside the first
  } cases[] = {
      {"done, opened through a name in another folder", false, true, false},
      {"stopped part way, opened through a name in another folder", true, true, false},
      {"stopped part way, the settings folder taking nothing, opened through a name beside it", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    for (const std::string& n : Entries(B())) ::unlink(B(n).c_str());
    Put(A("song.sty"), old);
    const std::string other = c.sameFolder ? A("tune.sty") : B("tune.sty");
    ASSERT_EQ(::link(A("song.sty").c_str(), other.c_str()), 0);
    const FileFaultHook settings = c.settingsTakes ? FileFaultHook{} : Refusing(Settings());
    const int status = c.torn ? SaveInChild({{A("song.sty"), fresh}}, StopWritesPast16K(settings))
                              : SaveInChild({{A("song.sty"), fresh}}, EndAt("done", 1, settings));
    ASSERT_TRUE(c.torn ? StoppedBySizeLimit(status) : EndedThere(status)) << status;
    if (c.torn) {
      ASSERT_EQ(ReadAll(other).size(), 16u * 1024) << "stopped part way";
    }

    EXPECT_EQ(ResolveKilledSave(other), 0);
    EXPECT_EQ(ReadAll(other), c.torn ? old : fresh);
    EXPECT_EQ(ReadAll(A("song.sty")), c.torn ? old : fresh);
    EXPECT_EQ(Entries(A()), c.sameFolder ? (Names{"song.sty", "tune.sty"}) : Names{"song.sty"});
    EXPECT_EQ(SettingsEntries(), Names{});
  }
}

// A killed save of a pair whose arrangement file has a second name of the
// same name in another folder (so it is written in place): an open through
// that other name finds the save by the file's identity and finishes it in
// the folder the save wrote, not in the folder of the name it was opened
// by.
TEST_F(SaveFilesTest, APairIsFoundThroughASecondNameOfTheSameNameElsewhere) {
  Put(A("song.arr"), "old arr");
  Put(A("song.sty"), "old sty");
  ASSERT_EQ(::link(A("song.arr").c_str(), B("song.arr").c_str()), 0);
  ASSERT_TRUE(EndedThere(SaveInChild({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}, EndAt("rename", 2))));
  ASSERT_EQ(ReadAll(A("song.sty")), "old sty");
  EXPECT_EQ(ResolveKilledSave(B("song.arr")), 0);
  EXPECT_EQ(ReadAll(B("song.arr")), "new arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "new sty");
  EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));
  EXPECT_EQ(Entries(B()), Names{"song.arr"});
  EXPECT_EQ(SettingsEntries(), Names{});
}

// A settings folder that takes a new file but no bytes (a full disk) does
// not stop a write in place: the record's copy that every name finds then
// stands beside the file, and a second name beside it finds the save.
TEST_F(SaveFilesTest, ASettingsFolderThatTakesNoBytesDoesNotStopAWriteInPlace) {
  Put(A("song.sty"), "old sty, longer than the new one");
  ASSERT_EQ(::link(A("song.sty").c_str(), A("tune.sty").c_str()), 0);
  const std::string settings = Settings();
  const FileFaultHook full = [settings](const std::string& op, const std::string& path) {
    return op == "record" && path.compare(0, settings.size(), settings) == 0 ? kErrDiskFull : 0;
  };
  SetFileFaultHook(full);
  ASSERT_EQ(WriteWholeFileAtomic(A("song.sty"), "new sty"), 0);
  SetFileFaultHook(nullptr);
  EXPECT_EQ(ReadAll(A("tune.sty")), "new sty");
  ASSERT_TRUE(EndedThere(SaveInChild({{A("song.sty"), "newer sty"}}, EndAt("done", 1, full))));
  EXPECT_EQ(SettingsEntries(), Names{});
  EXPECT_EQ(ResolveKilledSave(A("tune.sty")), 0);
  EXPECT_EQ(ReadAll(A("song.sty")), "newer sty");
  EXPECT_EQ(Entries(A()), (Names{"song.sty", "tune.sty"}));
}

// A kill may stop a write in place at any byte, not only at a page's end
// (the copy of a page stops short when the bytes being written must first
// be paged in): such a file is put back whole through either name.
TEST_F(SaveFilesTest, AWriteInPlaceStoppedAtAnyByteIsPutBack) {
  std::string old(9000, 'o'), fresh(12000, 'n');
  for (size_t i = 0; i < old.size(); i += 7) old[i] = 'x';  // some bytes the same in both
  for (size_t i = 0; i < old.size(); i += 7) fresh[i] = 'x';
  for (const size_t at : {1u, 4095u, 5001u, 8999u, 11999u}) {
    SCOPED_TRACE("stopped at byte " + std::to_string(at));
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    ::unlink(B("tune.sty").c_str());
    Put(A("song.sty"), old);
    ASSERT_EQ(::link(A("song.sty").c_str(), B("tune.sty").c_str()), 0);
    ASSERT_TRUE(EndedThere(SaveInChild({{A("song.sty"), fresh}}, EndAt("rename", 1))));
    std::string torn = fresh.substr(0, at);
    if (at < old.size()) torn += old.substr(at);
    const int fd = ::open(A("song.sty").c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, torn.data(), torn.size(), 0), static_cast<ssize_t>(torn.size()));
    ::close(fd);
    EXPECT_EQ(ResolveKilledSave(B("tune.sty")), 0);
    EXPECT_EQ(ReadAll(A("song.sty")), old);
    EXPECT_EQ(Entries(A()), Names{"song.sty"});
    EXPECT_EQ(SettingsEntries(), Names{});
  }
}

// A record of a write in place is never applied to a file that a later save
// rewrote without seeing the record (through a name in another folder,
// while the settings folder took nothing), nor to a new file that took the
// old one's name and perhaps its inode number.
TEST_F(SaveFilesTest, ARecordIsNeverAppliedToAFileRewrittenSinceOrToANewFile) {
  const std::string old(8192, 'o'), fresh(64 * 1024, 'n');
  Put(A("song.sty"), old);
  ASSERT_EQ(::link(A("song.sty").c_str(), B("tune.sty").c_str()), 0);
  ASSERT_TRUE(StoppedBySizeLimit(SaveInChild({{A("song.sty"), fresh}}, StopWritesPast16K(Refusing(Settings())))));
  ASSERT_EQ(ReadAll(B("tune.sty")).size(), 16u * 1024);
  ASSERT_EQ(WriteWholeFileAtomic(B("tune.sty"), "the later save"), 0);
  EXPECT_EQ(ResolveKilledSave(A("song.sty")), 0);
  EXPECT_EQ(ReadAll(A("song.sty")), "the later save");
  EXPECT_EQ(ReadAll(B("tune.sty")), "the later save");

  // A write in place stopped before it began; the file then removed and a
  // new one made in its place, holding what the stopped write would have
  // left part way.
  for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
  ::unlink(B("tune.sty").c_str());
  Put(A("song.sty"), old);
  ASSERT_EQ(::link(A("song.sty").c_str(), B("tune.sty").c_str()), 0);
  ASSERT_TRUE(EndedThere(SaveInChild({{A("song.sty"), fresh}}, EndAt("rename", 1))));
  ::unlink(A("song.sty").c_str());
  ::unlink(B("tune.sty").c_str());
  const std::string mixed = fresh.substr(0, 4096) + old.substr(4096);
  Put(A("song.sty"), mixed);
  EXPECT_EQ(ResolveKilledSave(A("song.sty")), 0);
  EXPECT_EQ(ReadAll(A("song.sty")), mixed);
}

// The fault hook ends a save between the copies of its record, and a
// resolve between the files it puts in place: what the next opens and saves
// find is carried on, and every file holds one save whole.
TEST_F(SaveFilesTest, ASaveOrAResolveStoppedPartWayIsCarriedOn) {
  // Between the records: the arrangement file's copy is whole, the style
  // file's not yet written. An open of the style file finds nothing of it
  // (the save had not begun to put its files in place); one of the
  // arrangement file finishes it.
  Put(A("song.arr"), "old arr");
  Put(A("song.sty"), "old sty");
  const std::vector<WholeFile> pair = {{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}};
  ASSERT_TRUE(EndedThere(SaveInChild(pair, EndAt("record", 2))));
  EXPECT_EQ(ResolveKilledSave(A("song.sty")), 0);
  EXPECT_EQ(ReadAll(A("song.arr")), "old arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "old sty");
  EXPECT_EQ(ResolveKilledSave(A("song.arr")), 0);
  EXPECT_EQ(ReadAll(A("song.arr")), "new arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "new sty");
  // The style file's copy, made but never written, is listed by the whole
  // one, and goes with it.
  EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));

  // Inside the resolve: a program file and the namesake it removes, the
  // save ended before either; the resolve that finishes it ended after it
  // put the program file in place; the next one removes the namesake.
  Put(A("kit.prg"), "old prg");
  Put(A("kit.pgg"), "old pgg");
  ASSERT_TRUE(EndedThere(SaveInChild({{A("kit.prg"), "new prg"}, {A("kit.pgg"), "", true}}, EndAt("rename", 1))));
  const pid_t pid = ::fork();
  if (pid == 0) {
    SetFileFaultHook(EndAt("resolve", 2));
    ResolveKilledSave(A("kit.pgg"));
    ::_exit(1);
  }
  int status = -1;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(EndedThere(status));
  EXPECT_EQ(ReadAll(A("kit.prg")), "new prg");
  EXPECT_TRUE(FileExists(A("kit.pgg")));
  EXPECT_EQ(ResolveKilledSave(A("kit.prg")), 0);
  EXPECT_FALSE(FileExists(A("kit.pgg")));
  EXPECT_EQ(Entries(A()), (Names{"kit.prg", "song.arr", "song.sty"}));
}

// Another process holds the lock of the folder (as another copy of the
// program does while it saves there): a save waits for it, a bounded time,
// then is refused naming its file, and changes nothing; a resolve leaves
// the record alone. A lock given up within the wait lets the save through.
TEST_F(SaveFilesTest, ASaveWaitsForTheFoldersLockThenIsRefused) {
  Put(A("song.arr"), "old arr");
  Put(A("song.sty"), "old sty");
  ASSERT_TRUE(EndedThere(SaveInChild({{A("song.arr"), "killed arr"}, {A("song.sty"), "killed sty"}}, EndAt("rename", 2))));
  const Names left = Entries(A());

  FolderLockHolder holder(A());
  ASSERT_TRUE(holder.Holds());

  SetSaveLockWait(200);
  std::string failed;
  EXPECT_EQ(WriteWholeFiles({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}, &failed), kErrSaveInUse);
  EXPECT_EQ(failed, A("song.arr"));
  failed.clear();
  EXPECT_EQ(ResolveKilledSave(A("song.sty"), &failed), kErrSaveInUse);
  EXPECT_EQ(failed, A("song.sty"));
  EXPECT_EQ(Entries(A()), left);
  EXPECT_EQ(ReadAll(A("song.arr")), "killed arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "old sty");

  SetSaveLockWait(10000);
  std::thread letGo([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    holder.Release();
  });
  EXPECT_EQ(WriteWholeFiles({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}), 0);
  letGo.join();
  EXPECT_EQ(ReadAll(A("song.arr")), "new arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "new sty");
  EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));
}

// Two processes save the same arrangement file and style file over and
// over, from the same moment, each pair tagged with its process and count:
// every save succeeds, and whenever the folder is at rest (its save lock
// taken shared by the test) the two files come from one save.
TEST_F(SaveFilesTest, TwoProcessesSavingOnePairNeverMixIt) {
  Put(A("song.arr"), "start");
  Put(A("song.sty"), "start");
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> savers;
  for (int who = 0; who < 2; ++who) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      char c;
      (void)!::read(go[0], &c, 1);
      int failures = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      for (int n = 0; std::chrono::steady_clock::now() < end; ++n) {
        const std::string tag = std::to_string(who) + "-" + std::to_string(n);
        if (WriteWholeFiles({{A("song.arr"), "arr " + tag}, {A("song.sty"), "sty " + tag}}) != 0) ++failures;
      }
      ::_exit(std::min(failures, 100));
    }
    savers.push_back(pid);
  }
  ::close(go[0]);
  (void)!::write(go[1], "gg", 2);
  ::close(go[1]);
  int samples = 0, mixed = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1800);
  while (std::chrono::steady_clock::now() < end) {
    FolderLocks rest;
    std::string busy;
    ASSERT_EQ(rest.TakeShared({A()}, busy), 0);
    ASSERT_TRUE(rest.Holding());
    const std::string arr = ReadAll(A("song.arr")), sty = ReadAll(A("song.sty"));
    rest.Release();
    ++samples;
    if (arr.substr(4) != sty.substr(4) && arr != "start") ++mixed;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const pid_t pid : savers) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed saves: " << WEXITSTATUS(status);
  }
  EXPECT_GT(samples, 0);
  EXPECT_EQ(mixed, 0);
  const std::string arr = ReadAll(A("song.arr")), sty = ReadAll(A("song.sty"));
  EXPECT_EQ(arr.substr(4), sty.substr(4));
  EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));
}

// In a folder everyone may write (mode 1777, as /tmp or a band's common
// folder) and in a group's folder, a file of another user that this user
// may write is saved at the first try, in place: its owner, group and mode
// stay, and no name is left that this user cannot remove. Files another
// user put at the names of records and side files never stop a save. A
// removal of another user's file in the sticky folder is refused naming
// the folder, before anything changes.
TEST_F(SaveFilesTest, AnotherUsersFileInASharedFolderIsSavedAtTheFirstTry) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as two users";
  ASSERT_EQ(::chmod(Settings().c_str(), 0777), 0);
  const struct {
    const char* what;
    mode_t folderMode;
    gid_t folderGroup;
  } cases[] = {
      {"a sticky folder", 01777, 0},
      {"a group's folder", 0775, kTestGid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    ASSERT_EQ(::chown(A().c_str(), 0, c.folderGroup), 0);
    ASSERT_EQ(::chmod(A().c_str(), c.folderMode), 0);
    Restore(A());
    const Names planted = {".song.arr~brv.save", ".song.arr~brvAAAAAA", ".song.arr~brvAAAAAA.save",
                           ".song.sty~brvBBBBBB.save"};
    for (const char* f : {"song.arr", "song.sty", "kit.pgg"}) {
      Put(A(f), std::string("old ") + f);
      ASSERT_EQ(::chown(A(f).c_str(), kOtherUid, kTestGid), 0);
      ASSERT_EQ(::chmod(A(f).c_str(), 0664), 0);
    }
    for (const std::string& f : planted) {
      Put(A(f), "someone's");
      ASSERT_EQ(::chown(A(f).c_str(), kOtherUid, kOtherGid), 0);
    }
    std::string text;
    const int rc = RunAsUser(
        kTestUid, kTestGid,
        [&](std::string& out) {
          std::string failed;
          if (const int e = WriteWholeFiles({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}, &failed))
            return out = "pair: " + std::to_string(e) + " " + failed, 1;
          if (const int e = WriteWholeFileAtomic(A("song.arr"), "newer arr")) return out = "again: " + std::to_string(e), 2;
          if (c.folderMode & S_ISVTX) {
            const int e = WriteWholeFiles({{A("song.arr"), "x"}, {A("kit.pgg"), "", true}}, &failed);
            if (e != kErrPathFileAccess || failed != A()) return out = "removal: " + std::to_string(e) + " " + failed, 3;
          }
          return 0;
        },
        text);
    EXPECT_EQ(rc, 0) << text;
    EXPECT_EQ(ReadAll(A("song.arr")), "newer arr");
    EXPECT_EQ(ReadAll(A("song.sty")), "new sty");
    EXPECT_EQ(ReadAll(A("kit.pgg")), "old kit.pgg");
    for (const char* f : {"song.arr", "song.sty"}) {
      struct stat st {};
      ASSERT_EQ(::stat(A(f).c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, kOtherUid) << f;
      EXPECT_EQ(st.st_gid, kTestGid) << f;
      EXPECT_EQ(st.st_mode & 07777, 0664u) << f;
      EXPECT_EQ(st.st_nlink, 1u) << f;
    }
    Names want = planted;
    for (const char* f : {"kit.pgg", "song.arr", "song.sty"}) want.push_back(f);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Entries(A()), want);
    EXPECT_EQ(SettingsEntries(), Names{});
  }
}

// A killed save of two files in a folder that has since become read-only:
// its finish cannot rename, so the resolve says so (naming the file) and
// changes nothing; a save then writes both files in place all the same,
// after which the record, stale, is never applied. As an ordinary user.
TEST_F(SaveFilesTest, AKilledSaveInAFolderLockedSinceStopsNeitherOpenNorSave) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as an ordinary user";
  ASSERT_EQ(::chmod(Settings().c_str(), 0777), 0);
  Put(A("song.arr"), "old arr");
  Put(A("song.sty"), "old sty");
  ASSERT_TRUE(ChownTree(A(), kTestUid, kTestGid));
  ASSERT_EQ(RunAsUser(kTestUid, kTestGid, [&] {
              return EndedThere(SaveInChild({{A("song.arr"), "killed arr"}, {A("song.sty"), "killed sty"}},
                                            EndAt("rename", 2)))
                         ? 0
                         : 1;
            }),
            0);
  ASSERT_EQ(::chmod(A().c_str(), 0555), 0);
  Restore(A());
  const Names left = Entries(A());
  std::string text;
  const int rc = RunAsUser(
      kTestUid, kTestGid,
      [&](std::string& out) {
        std::string failed;
        const int e = ResolveKilledSave(A("song.arr"), &failed);
        if (e != kErrPathFileAccess || failed != A("song.sty")) return out = "resolve: " + std::to_string(e) + " " + failed, 1;
        if (ReadAll(A("song.arr")) != "killed arr" || ReadAll(A("song.sty")) != "old sty") return out = "changed", 2;
        if (const int s = WriteWholeFiles({{A("song.arr"), "saved arr"}, {A("song.sty"), "saved sty"}}, &failed))
          return out = "save: " + std::to_string(s) + " " + failed, 3;
        if (const int r = ResolveKilledSave(A("song.sty"))) return out = "stale: " + std::to_string(r), 4;
        return 0;
      },
      text);
  EXPECT_EQ(rc, 0) << text;
  EXPECT_EQ(ReadAll(A("song.arr")), "saved arr");
  EXPECT_EQ(ReadAll(A("song.sty")), "saved sty");
  EXPECT_EQ(Entries(A()), left);
  EXPECT_EQ(SettingsEntries(), Names{});
}

// Every name the file system takes saves with its companion: side-file
// names are cut with a hash past 200 bytes, so the arrangement file and its
// style file never share them. A first save, a second, and one killed
// between its files, then an open, leave the pair whole and nothing else.
TEST_F(SaveFilesTest, EveryNameTheFileSystemTakesSaves) {
  for (const size_t stem : {195u, 199u, 200u, 201u, 230u, 251u}) {
    SCOPED_TRACE("a name of " + std::to_string(stem + 4) + " bytes");
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    const std::string name(stem, 'x');
    const std::vector<WholeFile> first = {{A(name + ".arr"), "arr 1"}, {A(name + ".sty"), "sty 1"}};
    std::string failed;
    ASSERT_EQ(WriteWholeFiles(first, &failed), 0) << failed;
    ASSERT_EQ(WriteWholeFiles({{A(name + ".arr"), "arr 2"}, {A(name + ".sty"), "sty 2"}}), 0);
    ASSERT_TRUE(EndedThere(SaveInChild({{A(name + ".arr"), "arr 3"}, {A(name + ".sty"), "sty 3"}}, EndAt("rename", 2))));
    EXPECT_EQ(ResolveKilledSave(A(name + ".sty")), 0);
    EXPECT_EQ(ReadAll(A(name + ".arr")), "arr 3");
    EXPECT_EQ(ReadAll(A(name + ".sty")), "sty 3");
    EXPECT_EQ(Entries(A()), (Names{name + ".arr", name + ".sty"}));
  }
}

// A save's folders are flushed once each at each of four points: those of
// the new contents and old files aside before the records are written,
// those of the records once they are written and before the first file
// takes its place, those of the files once every file is in place and
// before the records go, and those of the records once they are gone,
// before the save returns. A save that needs no record flushes its
// folder once its file is in place.
TEST_F(SaveFilesTest, EachFolderIsFlushedOnceAtEachPointOfASave) {
  const std::string a = A(), settings = Settings();
  const struct {
    const char* what;
    std::vector<std::string> files;
    bool secondName;  // song.sty has a second name: written in place, a record copy in the settings folder
    Names order;      // the flushes ("sync" and its folders, in any order between two other steps) among them
  } cases[] = {
      {"a pair in one folder", {"song.arr", "song.sty"}, false,
       {"sync " + a, "record", "record", "sync " + a, "rename", "rename", "sync " + a, "done", "done", "sync " + a}},
      {"a file written in place", {"song.sty"}, true,
       {"sync " + a, "record", "record", "sync " + std::min(a, settings) + " " + std::max(a, settings), "rename",
        "sync " + a, "done", "sync " + std::min(a, settings) + " " + std::max(a, settings)}},
      {"one file renamed into place", {"song.arr"}, false, {"rename", "sync " + a, "done"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    std::vector<WholeFile> save;
    for (const std::string& f : c.files) {
      Put(A(f), "old " + f);
      save.push_back({A(f), "new " + f});
    }
    if (c.secondName) {
      ASSERT_EQ(::link(A("song.sty").c_str(), B("tune.sty").c_str()), 0);
    }
    Names asked;
    SetFileFaultHook([&](const std::string& op, const std::string& path) {
      if (op == "sync") {
        // Flushes between two other steps are one point, whatever their
        // order; a folder flushed twice there shows twice.
        if (!asked.empty() && asked.back().rfind("sync ", 0) == 0) {
          std::multiset<std::string> folders{path};
          std::string rest = asked.back().substr(5);
          for (size_t at = 0; at <= rest.size();) {
            const size_t end = std::min(rest.find(' ', at), rest.size());
            folders.insert(rest.substr(at, end - at));
            at = end + 1;
          }
          std::string joined;
          for (const std::string& f : folders) joined += (joined.empty() ? "" : " ") + f;
          asked.back() = "sync " + joined;
        } else {
          asked.push_back("sync " + path);
        }
      }
      if (op == "record" || op == "rename" || op == "done") asked.push_back(op);
      return 0;
    });
    ASSERT_EQ(WriteWholeFiles(save), 0);
    SetFileFaultHook(nullptr);
    EXPECT_EQ(asked, c.order);
    ::unlink(B("tune.sty").c_str());
  }
}

// Side files are private to the user who saves while they are side files
// (the new content and the copy of the old one, the records): in a folder
// everyone may write, another user who may write the file saved, or its
// folder, can neither read nor link nor rewrite them meanwhile. A file
// takes its mode only as it takes its place. Looked at each time the save
// asks its fault hook, as the user of the save.
TEST_F(SaveFilesTest, SideFilesArePrivateWhileTheyAreSideFiles) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as two users";
  ASSERT_EQ(::chmod(Settings().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(A().c_str(), 01777), 0);
  Restore(A());
  const struct {
    const char* what;
    uid_t owner;  // of the old files (none: new files)
    mode_t mode;
    bool exists;
  } cases[] = {
      {"another user's files of mode 666, written in place", kOtherUid, 0666, true},
      {"the user's own files of mode 644, renamed over", kTestUid, 0644, true},
      {"new files", kTestUid, 0644, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    for (const std::string& n : SettingsEntries()) ::unlink((Settings() + "/" + n).c_str());
    std::set<ino_t> documents;
    for (const char* f : {"song.arr", "song.sty"}) {
      if (!c.exists) continue;
      Put(A(f), std::string("old ") + f);
      ASSERT_EQ(::chown(A(f).c_str(), c.owner, kTestGid), 0);
      ASSERT_EQ(::chmod(A(f).c_str(), c.mode), 0);
      struct stat st {};
      ASSERT_EQ(::stat(A(f).c_str(), &st), 0);
      documents.insert(st.st_ino);
    }
    std::string text;
    const int rc = RunAsUser(
        kTestUid, kTestGid,
        [&](std::string& out) {
          int looks = 0;
          SetFileFaultHook([&](const std::string&, const std::string&) {
            ++looks;
            for (const std::string& folder : {A(), Settings()}) {
              for (const std::string& n : Entries(folder)) {
                struct stat st {};
                if (n.find("~brv") == std::string::npos || ::lstat((folder + "/" + n).c_str(), &st) != 0) continue;
                if (documents.count(st.st_ino)) continue;  // the old file itself, by a second name
                if ((st.st_mode & 077) != 0 || st.st_uid != kTestUid)
                  out += n + " of mode " + std::to_string(st.st_mode & 0777) + "; ";
              }
            }
            return 0;
          });
          std::string failed;
          const int e = WriteWholeFiles({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}, &failed);
          if (e != 0) out += "save: " + std::to_string(e) + " " + failed;
          if (looks < 5) out += "the hook was hardly asked";
          return out.empty() ? 0 : 1;
        },
        text);
    EXPECT_EQ(rc, 0) << text;
    for (const char* f : {"song.arr", "song.sty"}) {
      struct stat st {};
      ASSERT_EQ(::stat(A(f).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, c.mode) << f;
      EXPECT_EQ(st.st_uid, c.owner) << f;
    }
    EXPECT_EQ(ReadAll(A("song.arr")), "new arr");
    EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));
  }
}

// A record past 64 KiB is not read, even one that would be acted on: the
// same record (made by hand with the user's key) within the size finishes
// its save. (Its size comes from an attribute it gives the new file.)
TEST_F(SaveFilesTest, ARecordPastItsSizeCapIsNotRead) {
  {
    Put(A("probe"), "");
    const int taken = ::setxattr(A("probe").c_str(), "user.pad", "p", 1, 0);
    const int err = errno;
    ::unlink(A("probe").c_str());
    if (taken != 0)
      GTEST_SKIP() << "the test folder's file system takes no user attribute, which the record's size comes from: "
                   << std::strerror(err);
  }
  const struct {
    const char* what;
    size_t padding;
    bool actedOn;
  } cases[] = {
      {"within the cap", 1000, true},
      {"past the cap", 70000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : Entries(A())) ::unlink(A(n).c_str());
    Put(A("song.arr"), "old arr");
    Put(A("song.sty"), "old sty");
    const auto names = SideNamesOf({{A("song.arr"), "x"}, {A("song.sty"), "y"}});
    const SideNames& song = names.at(A("song.arr"));
    ASSERT_EQ(song.temps.size(), 2u);
    Put(song.temps[0], "planted arr");
    ASSERT_EQ(::link(A("song.arr").c_str(), song.temps[1].c_str()), 0);
    PlantOptions options;
    options.padding = std::string(c.padding, 'p');
    PlantRecord(song.record, {{"replace", A("song.arr"), song.temps[0], song.temps[1]}}, options);
    struct stat st {};
    ASSERT_EQ(::stat(song.record.c_str(), &st), 0);
    ASSERT_EQ(st.st_size > 64 * 1024, !c.actedOn);

    EXPECT_EQ(ResolveKilledSave(A("song.arr")), 0);
    EXPECT_EQ(ReadAll(A("song.arr")), c.actedOn ? "planted arr" : "old arr");
    EXPECT_EQ(Entries(A()).size(), c.actedOn ? 2u : 5u);
    if (c.actedOn) {
      char value[2000];
      EXPECT_EQ(::getxattr(A("song.arr").c_str(), "user.pad", value, sizeof value), 1000) << "the attribute given";
    }
  }
}

// A killed save of a pair, stopped before either file took its place; the
// arrangement file then rewritten in place by another program (its inode
// kept): the record's "replace" is stale, and is not finished over that
// rewrite, nor is the style file changed.
TEST_F(SaveFilesTest, AReplaceWhoseFileWasRewrittenInPlaceSinceIsNotFinished) {
  Put(A("song.arr"), "old arr");
  Put(A("song.sty"), "old sty");
  ASSERT_TRUE(EndedThere(SaveInChild({{A("song.arr"), "new arr"}, {A("song.sty"), "new sty"}}, EndAt("rename", 1))));
  Put(A("song.arr"), "rewritten");  // the same file, rewritten
  EXPECT_EQ(ResolveKilledSave(A("song.arr")), 0);
  EXPECT_EQ(ResolveKilledSave(A("song.sty")), 0);
  EXPECT_EQ(ReadAll(A("song.arr")), "rewritten");
  EXPECT_EQ(ReadAll(A("song.sty")), "old sty");
  // The next save removes the stale record and what it kept.
  ASSERT_EQ(WriteWholeFiles({{A("song.arr"), "saved arr"}, {A("song.sty"), "saved sty"}}), 0);
  EXPECT_EQ(Entries(A()), (Names{"song.arr", "song.sty"}));
}

}  // namespace
