#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/winfolder.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/savechild.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

std::string ReadAll(const std::string& path) {
  std::string data;
  EXPECT_EQ(ReadWholeFile(path, data), 0) << path;
  return data;
}

void WriteRaw(const std::string& path, const std::string& data) {
  ASSERT_EQ(WriteWholeFileAtomic(path, data), 0) << path;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const QString& n : QDir(QFile::decodeName(folder.c_str())).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
    if (n != QStringLiteral("saves.lock")) names.push_back(Bytes(n));  // the save lock's file stays
  return names;
}

// The records of saves standing in a folder.
std::vector<std::string> RecordsIn(const std::string& folder) {
  std::vector<std::string> records;
  for (const std::string& n : FolderEntries(folder))
    if (n.size() > 5 && n.compare(n.size() - 5, 5, ".save") == 0) records.push_back(n);
  return records;
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    ASSERT_TRUE(settings_.isValid());
    dir_ = Bytes(tmp_.path());
    SetWinFolder(Settings());
  }
  void TearDown() override {
    SetFileFaultHook(nullptr);
    SetWinFolder("");
    // Give back write permission so the temporary folder can be removed.
    for (const std::string& p : restore_) ::chmod(p.c_str(), 0755);
  }
  std::string P(const std::string& name) const { return dir_ + "/" + name; }
  // The settings folder, where a file written in place keeps its old bytes.
  std::string Settings() const { return Bytes(settings_.path()); }
  // What stands in the settings folder but the user's save key, which the
  // first save makes there.
  std::vector<std::string> SettingsEntries() const {
    std::vector<std::string> names = FolderEntries(Settings());
    names.erase(std::remove(names.begin(), names.end(), "Brenvolta.key"), names.end());
    return names;
  }

  // Permission bits do not stop writes for root (or with CAP_DAC_OVERRIDE):
  // the permission cases are meaningful only where they do.
  bool PermissionsBite() {
    const std::string ro = P("probe");
    ::mkdir(ro.c_str(), 0555);
    restore_.push_back(ro);
    const std::string f = ro + "/x";
    const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd >= 0) {
      ::close(fd);
      return false;
    }
    return true;
  }
  void ReadOnlyFolder(const std::string& path) {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    restore_.push_back(path);
  }

  QTemporaryDir tmp_;
  QTemporaryDir settings_;
  std::string dir_;
  std::vector<std::string> restore_;
};

TEST_F(FilesTest, RecordsPastTheEndReadAsPad) {
  WriteRaw(P("s.ini"), std::string(300, 'a'));
  RecordFile f;
  ASSERT_EQ(f.Open(P("s.ini"), 250), 0);
  std::string rec;
  ASSERT_EQ(f.Get(1, rec), 0);
  EXPECT_EQ(rec, std::string(250, 'a'));
  ASSERT_EQ(f.Get(2, rec), 0);  // 50 bytes of the file, then zeros
  EXPECT_EQ(rec, std::string(50, 'a') + std::string(200, '\0'));
  ASSERT_EQ(f.Get(40, rec), 0);
  EXPECT_EQ(rec, std::string(250, '\0'));
  ASSERT_EQ(f.Get(2, rec, ' '), 0);
  EXPECT_EQ(rec, std::string(50, 'a') + std::string(200, ' '));
  EXPECT_EQ(f.Lof(), 300);  // reading never lengthens the file
  EXPECT_EQ(f.Close(), 0);
  EXPECT_EQ(f.Lof(), -1);

  // An info file one byte short reads blank-padded.
  WriteRaw(P("info"), std::string(999, 'i'));
  ASSERT_EQ(f.Open(P("info"), 1000), 0);
  ASSERT_EQ(f.Get(1, rec, ' '), 0);
  EXPECT_EQ(rec, std::string(999, 'i') + " ");
}

TEST_F(FilesTest, PutNeverTruncatesAndExtendsWithNuls) {
  WriteRaw(P("f"), std::string(1000, 'x'));
  RecordFile f;
  ASSERT_EQ(f.Open(P("f"), 250), 0);
  ASSERT_EQ(f.Put(1, "abc"), 0);  // padded with NULs to the record length
  ASSERT_EQ(f.Put(2, std::string(300, 'y')), 0);  // cut to the record length
  EXPECT_EQ(f.Lof(), 1000);
  ASSERT_EQ(f.Put(6, "z"), 0);  // past the end: record 5 is a gap of NULs
  EXPECT_EQ(f.Lof(), 1500);
  ASSERT_EQ(f.Close(), 0);

  const std::string data = ReadAll(P("f"));
  ASSERT_EQ(data.size(), 1500u);
  EXPECT_EQ(data.substr(0, 250), "abc" + std::string(247, '\0'));
  EXPECT_EQ(data.substr(250, 250), std::string(250, 'y'));
  EXPECT_EQ(data.substr(500, 500), std::string(500, 'x'));
  EXPECT_EQ(data.substr(1000, 250), std::string(250, '\0'));
  EXPECT_EQ(data.substr(1250), "z" + std::string(249, '\0'));
}

TEST_F(FilesTest, ReadWriteCreatesAMissingFileReadOnlyDoesNot) {
  RecordFile f;
  EXPECT_EQ(f.Open(P("ro"), 250, OpenMode::ReadOnly), kErrFileNotFound);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_FALSE(FileExists(P("ro")));

  ASSERT_EQ(f.Open(P("new"), 250), 0);
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Lof(), 0);
  EXPECT_TRUE(FileExists(P("new")));
  ASSERT_EQ(f.Close(), 0);

  // Opened for reading only, a record cannot be written.
  ASSERT_EQ(f.Open(P("new"), 250, OpenMode::ReadOnly), 0);
  EXPECT_EQ(f.Put(1, "a"), kErrPathFileAccess);
  EXPECT_EQ(f.Lof(), 0);
}

TEST_F(FilesTest, ErrorNumbersOfRealFailures) {
  WriteRaw(P("afile"), "data");
  ASSERT_EQ(MakeDirs(P("adir")), 0);
  RecordFile f;
  std::string data;
  long long len = 0;

  struct Case {
    const char* what;
    std::function<int()> call;
    int expected;
  };
  const std::vector<Case> cases = {
      {"read-only open of a missing file", [&] { return f.Open(P("none"), 10, OpenMode::ReadOnly); }, kErrFileNotFound},
      {"open in a missing folder", [&] { return f.Open(P("nodir/x"), 10); }, kErrPathNotFound},
      {"read-only open in a missing folder", [&] { return f.Open(P("nodir/x"), 10, OpenMode::ReadOnly); }, kErrPathNotFound},
      {"open through a file", [&] { return f.Open(P("afile/x"), 10); }, kErrPathNotFound},
      {"open of a folder", [&] { return f.Open(P("adir"), 10); }, kErrFileNotFound},
      {"empty name", [&] { return f.Open("", 10); }, kErrBadFileName},
      {"name with a NUL", [&] { return f.Open(P(std::string("a\0b", 3)), 10); }, kErrBadFileName},
      {"record length 0", [&] { return f.Open(P("afile"), 0); }, kErrBadRecordLength},
      {"length of a missing file", [&] { return FileLength(P("none"), len); }, kErrFileNotFound},
      {"length in a missing folder", [&] { return FileLength(P("nodir/x"), len); }, kErrPathNotFound},
      {"kill of a missing file", [&] { return KillFile(P("none")); }, kErrFileNotFound},
      {"kill in a missing folder", [&] { return KillFile(P("nodir/x")); }, kErrPathNotFound},
      {"read of a missing file", [&] { return ReadWholeFile(P("none"), data); }, kErrFileNotFound},
      {"read of a folder", [&] { return ReadWholeFile(P("adir"), data); }, kErrFileNotFound},
      {"atomic write into a missing folder", [&] { return WriteWholeFileAtomic(P("nodir/x"), "d"); }, kErrPathNotFound},
      {"atomic write over a folder", [&] { return WriteWholeFileAtomic(P("adir"), "d"); }, kErrPathFileAccess},
      {"folders under a file", [&] { return MakeDirs(P("afile/sub")); }, kErrPathNotFound},
      {"folder where a file stands", [&] { return MakeDirs(P("afile")); }, kErrPathFileAccess},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.expected) << c.what;
  EXPECT_FALSE(DirExists(P("nodir")));
  EXPECT_EQ(ReadAll(P("afile")), "data");

  // Calls on a file that is not open, and bad record numbers.
  EXPECT_EQ(f.Get(1, data), kErrBadFileName);
  EXPECT_EQ(f.Put(1, "a"), kErrBadFileName);
  ASSERT_EQ(f.Open(P("afile"), 10), 0);
  EXPECT_EQ(f.Get(0, data), kErrBadRecordNumber);
  EXPECT_EQ(f.Put(-1, "a"), kErrBadRecordNumber);
}

// What stands at a path and is not a regular file is no file: it is looked
// at without being opened (a pipe without a writer would block the open or
// the read for good), never created over and never changed.
TEST_F(FilesTest, SomethingThatIsNotARegularFileIsNoFile) {
  ASSERT_EQ(MakeDirs(P("folder")), 0);
  ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0644), 0);
  ASSERT_EQ(::symlink(P("pipe").c_str(), P("link to pipe").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/null", P("link to device").c_str()), 0);
  ASSERT_EQ(::symlink(P("nothing").c_str(), P("link to nothing").c_str()), 0);
  WriteRaw(P("empty"), "");
  ASSERT_EQ(::symlink(P("empty").c_str(), P("link to empty").c_str()), 0);

  const struct {
    const char* name;
    FileKind kind;
    mode_t type;  // what lstat sees, before and after
  } cases[] = {
      {"folder", FileKind::Other, S_IFDIR},
      {"pipe", FileKind::Other, S_IFIFO},
      {"link to pipe", FileKind::Other, S_IFLNK},
      {"link to device", FileKind::Other, S_IFLNK},
      {"link to nothing", FileKind::Missing, S_IFLNK},
      {"link to empty", FileKind::Regular, S_IFLNK},
      {"empty", FileKind::Regular, S_IFREG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = P(c.name);
    EXPECT_EQ(KindOfFile(path), c.kind);
    EXPECT_EQ(FileExists(path), c.kind == FileKind::Regular);
    RecordFile f;
    std::string data = "unchanged";
    long long len = -1;
    if (c.kind == FileKind::Regular) {
      EXPECT_EQ(f.Open(path, 10, OpenMode::ReadOnly), 0);
      EXPECT_EQ(f.Lof(), 0);
      f.Close();
      EXPECT_EQ(ReadWholeFile(path, data), 0);
      EXPECT_EQ(data, "");
      EXPECT_EQ(FileLength(path, len), 0);
      EXPECT_EQ(len, 0);
    } else {
      EXPECT_EQ(f.Open(path, 10, OpenMode::ReadOnly), kErrFileNotFound);
      // The random-access open makes a missing file (through a link to
      // nothing, its target), and never opens what is not a file.
      const int expected = c.kind == FileKind::Missing ? 0 : kErrFileNotFound;
      EXPECT_EQ(f.Open(path, 10), expected);
      f.Close();
      if (c.kind == FileKind::Missing) ::unlink(P("nothing").c_str());
      EXPECT_EQ(ReadWholeFile(path, data), kErrFileNotFound);
      EXPECT_EQ(data, "unchanged");
      EXPECT_EQ(FileLength(path, len), kErrFileNotFound);
      // A save does not put a file in the place of a folder, pipe or device.
      if (c.kind == FileKind::Other) {
        EXPECT_EQ(WriteWholeFileAtomic(path, "new"), kErrPathFileAccess);
      }
    }
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, c.type);
  }
  EXPECT_FALSE(FileExists(P("nothing")));
}

TEST_F(FilesTest, ReadOnlyFilesAndFolders) {
  // As root every file may be written: the test is then run as an ordinary
  // user, in folders opened up to that user.
  std::unique_ptr<EffectiveUser> user;
  if (CanSwitchUsers()) {
    ASSERT_TRUE(ChownTree(dir_, kTestUid, kTestGid) && ChownTree(Settings(), kTestUid, kTestGid));
    user = std::make_unique<EffectiveUser>();
    ASSERT_TRUE(user->Switched());
  }
  if (!PermissionsBite()) GTEST_SKIP() << "permission bits do not stop writes for this user";

  // A read-only file still opens for random access and reads; writing fails.
  WriteRaw(P("ro"), "old");
  ASSERT_EQ(::chmod(P("ro").c_str(), 0444), 0);
  RecordFile f;
  ASSERT_EQ(f.Open(P("ro"), 3), 0);
  std::string rec;
  ASSERT_EQ(f.Get(1, rec), 0);
  EXPECT_EQ(rec, "old");
  EXPECT_EQ(f.Put(1, "new"), kErrPathFileAccess);
  ASSERT_EQ(f.Close(), 0);
  // A save must not replace it either, though its folder may be written.
  EXPECT_EQ(WriteWholeFileAtomic(P("ro"), "new"), kErrPathFileAccess);
  EXPECT_EQ(KillFile(P("ro")), kErrPathFileAccess);
  EXPECT_EQ(ReadAll(P("ro")), "old");

  // A file that may not be read at all.
  WriteRaw(P("none"), "secret");
  ASSERT_EQ(::chmod(P("none").c_str(), 0), 0);
  EXPECT_EQ(f.Open(P("none"), 6, OpenMode::ReadOnly), kErrPathFileAccess);
  EXPECT_EQ(f.Open(P("none"), 6), kErrPathFileAccess);

  // A read-only folder: nothing can be made or deleted in it; a file in it
  // that may be written is saved in place.
  const std::string folder = P("rofolder");
  ReadOnlyFolder(folder);
  WriteRaw(folder + "/kept", "kept");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  EXPECT_EQ(f.Open(folder + "/new", 10), kErrPathFileAccess);
  EXPECT_EQ(WriteWholeFileAtomic(folder + "/new", "d"), kErrPathFileAccess);
  EXPECT_EQ(WriteWholeFileAtomic(folder + "/kept", "changed"), 0);
  EXPECT_EQ(KillFile(folder + "/kept"), kErrPathFileAccess);
  EXPECT_EQ(MakeDirs(folder + "/sub"), kErrPathFileAccess);
  EXPECT_EQ(ReadAll(folder + "/kept"), "changed");
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"kept"});
}

TEST(FileErrorFromErrno, MapsSystemErrorsToTheProgramsNumbers) {
  const std::vector<std::pair<int, int>> table = {
      {0, 0},
      {ENOENT, kErrFileNotFound},
      {ENOTDIR, kErrPathNotFound},
      {EACCES, kErrPathFileAccess},
      {EPERM, kErrPathFileAccess},
      {EROFS, kErrPathFileAccess},
      {EISDIR, kErrPathFileAccess},
      {ENOSPC, kErrDiskFull},
      {EDQUOT, kErrDiskFull},
      {EIO, kErrDeviceIO},
      {ENXIO, kErrDiskNotReady},
      {ENODEV, kErrDiskNotReady},
      {ENOMEDIUM, kErrDiskNotReady},
      {EBUSY, kErrDiskNotReady},
      {EMFILE, kErrTooManyFiles},
      {ENFILE, kErrTooManyFiles},
      {ENAMETOOLONG, kErrBadFileName},
      {EINVAL, kErrDeviceIO},
      {EFBIG, kErrDeviceIO},
  };
  for (const auto& [err, number] : table) EXPECT_EQ(FileErrorFromErrno(err), number) << "errno " << err;
}

TEST_F(FilesTest, AtomicWriteReplacesWholeAndKeepsPermissions) {
  WriteRaw(P("doc.arr"), std::string(10528, 'a'));
  ASSERT_EQ(::chmod(P("doc.arr").c_str(), 0640), 0);
  const std::string image = std::string(5000, 'b') + std::string(1, '\0') + "tail";
  ASSERT_EQ(WriteWholeFileAtomic(P("doc.arr"), image), 0);
  EXPECT_EQ(ReadAll(P("doc.arr")), image);  // the new image whole, nothing of the old tail
  struct stat st {};
  ASSERT_EQ(::stat(P("doc.arr").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"doc.arr"});  // no temporary file left

  ASSERT_EQ(WriteWholeFileAtomic(P("empty"), ""), 0);
  long long len = -1;
  ASSERT_EQ(FileLength(P("empty"), len), 0);
  EXPECT_EQ(len, 0);
}

TEST_F(FilesTest, AtomicWriteThatFailsLeavesTheOldFileWhole) {
  WriteRaw(P("doc.sty"), "old contents");
  for (const char* step : {"write", "rename"}) {
    SetFileFaultHook([step](const std::string& op, const std::string&) {
      return op == step ? kErrDiskFull : 0;
    });
    EXPECT_EQ(WriteWholeFileAtomic(P("doc.sty"), "new contents"), kErrDiskFull) << step;
    EXPECT_EQ(WriteWholeFileAtomic(P("fresh"), "new contents"), kErrDiskFull) << step;
    SetFileFaultHook(nullptr);
    EXPECT_EQ(ReadAll(P("doc.sty")), "old contents") << step;
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"doc.sty"}) << step;
  }
}

TEST_F(FilesTest, ASaveWritesThroughLinksAndKeepsHardLinksAndAttributes) {
  // A symbolic link (relative, into another folder) stays a link; its target
  // takes the new content.
  ASSERT_EQ(MakeDirs(P("real")), 0);
  WriteRaw(P("real/target.arr"), "old target");
  ASSERT_EQ(::symlink("real/target.arr", P("doc.arr").c_str()), 0);
  ASSERT_EQ(WriteWholeFileAtomic(P("doc.arr"), "new content"), 0);
  struct stat st {};
  ASSERT_EQ(::lstat(P("doc.arr").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadAll(P("real/target.arr")), "new content");
  EXPECT_EQ(FolderEntries(P("real")), std::vector<std::string>{"target.arr"});
  // A removal takes the link away, not the file it points to.
  ASSERT_EQ(::symlink("real/target.arr", P("gone.pgg").c_str()), 0);
  ASSERT_EQ(WriteWholeFiles({WholeFile{P("gone.pgg"), "", true}}), 0);
  EXPECT_NE(::lstat(P("gone.pgg").c_str(), &st), 0);
  EXPECT_EQ(ReadAll(P("real/target.arr")), "new content");

  // Two hard links: both names see the new content; the file is the same.
  WriteRaw(P("a.sty"), "old style, longer than the new one");
  ASSERT_EQ(::link(P("a.sty").c_str(), P("b.sty").c_str()), 0);
  struct stat before {};
  ASSERT_EQ(::stat(P("a.sty").c_str(), &before), 0);
  ASSERT_EQ(WriteWholeFileAtomic(P("a.sty"), "new style"), 0);
  EXPECT_EQ(ReadAll(P("b.sty")), "new style");
  ASSERT_EQ(::stat(P("a.sty").c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, before.st_ino);
  EXPECT_EQ(st.st_nlink, 2u);

  // The permission bits, and the owner and group where the process may
  // give them (here only when it runs as root).
  WriteRaw(P("g.gbl"), "old");
  ASSERT_EQ(::chmod(P("g.gbl").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(P("g.gbl").c_str(), 1, 2), 0);
  }
  ASSERT_EQ(WriteWholeFileAtomic(P("g.gbl"), "new"), 0);
  ASSERT_EQ(::stat(P("g.gbl").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 2u);
  }
  EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"a.sty", "b.sty", "doc.arr", "g.gbl", "real"}));
}

TEST_F(FilesTest, ASaveOfSeveralFilesPutsAllOrNoneInPlace) {
  const auto setUp = [&] {
    for (const std::string& n : FolderEntries(dir_)) ::unlink(P(n).c_str());
    WriteRaw(P("s.arr"), "old arr");
    WriteRaw(P("s.sty"), "old sty");
    WriteRaw(P("s.pgg"), "old pgg");
    WriteRaw(P("k.prg"), "old kept, hard-linked");
    ASSERT_EQ(::link(P("k.prg").c_str(), P("k2.prg").c_str()), 0);
  };
  const std::vector<WholeFile> save = {
      {P("s.arr"), "new arr"},
      {P("k.prg"), "new k"},  // written in place
      {P("s.sty"), "new sty"},
      {P("s.pgg"), "", true},
      {P("new.gbl"), "new file"},
  };
  const struct {
    const char* op;  // the step that fails, on the n-th call
    int n;
    std::string failed;
  } faults[] = {
      {"write", 3, P("s.sty")},   // a full disk before anything is in place
      {"rename", 2, P("k.prg")},  // after the first file took its place
      {"rename", 4, P("new.gbl")},
      {"kill", 1, P("s.pgg")},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(std::string(f.op) + " " + std::to_string(f.n));
    setUp();
    int calls = 0;
    SetFileFaultHook([&](const std::string& op, const std::string&) {
      return op == f.op && ++calls == f.n ? kErrDiskFull : 0;
    });
    std::string failed;
    EXPECT_EQ(WriteWholeFiles(save, &failed), kErrDiskFull);
    SetFileFaultHook(nullptr);
    EXPECT_EQ(failed, f.failed);
    EXPECT_EQ(ReadAll(P("s.arr")), "old arr");
    EXPECT_EQ(ReadAll(P("s.sty")), "old sty");
    EXPECT_EQ(ReadAll(P("s.pgg")), "old pgg");
    EXPECT_EQ(ReadAll(P("k2.prg")), "old kept, hard-linked");
    EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"k.prg", "k2.prg", "s.arr", "s.pgg", "s.sty"}));
  }

  setUp();
  ASSERT_EQ(WriteWholeFiles(save), 0);
  EXPECT_EQ(ReadAll(P("s.arr")), "new arr");
  EXPECT_EQ(ReadAll(P("k2.prg")), "new k");
  EXPECT_EQ(ReadAll(P("s.sty")), "new sty");
  EXPECT_EQ(ReadAll(P("new.gbl")), "new file");
  EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"k.prg", "k2.prg", "new.gbl", "s.arr", "s.sty"}));
}

// What killed saves of a file left (its new content and the old file kept
// aside, at the names the save gives them) goes with the next save of it;
// files named like side files that no save of this file made there stay.
TEST_F(FilesTest, ASaveRemovesWhatAKilledSaveOfTheSameFileLeft) {
  WriteRaw(P("doc.arr"), "old");
  ASSERT_EQ(MakeDirs(P(".doc.arr~brvFolder")), 0);  // a folder is never removed
  const std::vector<std::string> kept = {".doc.arr~brvFolder", ".doc.arr~brvAB12",   ".doc.arr~brv1234567",
                                         ".other.arr~brvAbC123", "doc.arr~brvAbC123", ".doc.arr~brvAb_123",
                                         ".doc.arr~brvAbC123",   ".doc.arr~brvZZZZZZ"};
  for (const std::string& n : kept)
    if (n != kept[0]) WriteRaw(P(n), "someone's");
  ASSERT_EQ(SaveInChild({{P("doc.arr"), "killed"}}, EndAt("rename", 1)), 0);
  ASSERT_EQ(FolderEntries(dir_).size(), kept.size() + 3) << "the killed save left its new content and the old file";
  ASSERT_EQ(WriteWholeFileAtomic(P("doc.arr"), "new"), 0);
  std::vector<std::string> want = kept;
  want.push_back("doc.arr");
  std::sort(want.begin(), want.end());
  std::vector<std::string> got = FolderEntries(dir_);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(ReadAll(P("doc.arr")), "new");
}

TEST_F(FilesTest, OneLockPerOpenFile) {
  const std::string path = P("Brenvolta.lock");
  FileLock first, second;
  EXPECT_EQ(first.TryLock(path), FileLock::Taken);
  EXPECT_EQ(second.TryLock(path), FileLock::Held);
  EXPECT_FALSE(second.IsHeld());
  first.Unlock();
  EXPECT_EQ(second.TryLock(path), FileLock::Taken);
  EXPECT_EQ(ReadAll(path), "");
  ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0644), 0);
  EXPECT_EQ(first.TryLock(P("pipe")), FileLock::Failed);
  EXPECT_EQ(first.TryLock(P("nodir/lock")), FileLock::Failed);
}

TEST_F(FilesTest, FaultHookFailsEveryOperationWithoutActing) {
  WriteRaw(P("f"), std::string(20, 'f'));
  RecordFile open;
  ASSERT_EQ(open.Open(P("f"), 10), 0);
  RecordFile fresh;
  std::string data;
  long long len = 0;

  struct Case {
    const char* op;
    std::function<int()> call;
  };
  const std::vector<Case> cases = {
      {"open", [&] { return fresh.Open(P("created"), 10); }},
      {"get", [&] { return open.Get(1, data); }},
      {"put", [&] { return open.Put(3, "x"); }},
      {"close", [&] { return open.Close(); }},
      {"len", [&] { return FileLength(P("f"), len); }},
      {"kill", [&] { return KillFile(P("f")); }},
      {"read", [&] { return ReadWholeFile(P("f"), data); }},
      {"write", [&] { return WriteWholeFileAtomic(P("f"), "new"); }},
      {"rename", [&] { return WriteWholeFileAtomic(P("f"), "new"); }},
      {"temp", [&] { return WriteWholeFileAtomic(P("f"), "new"); }},
      {"mkdir", [&] { return MakeDirs(P("d/e")); }},
      {"list", [&] {
         std::vector<std::string> names;
         return ListFolderFiles(P("d"), names);
       }},
  };
  for (const Case& c : cases) {
    std::vector<std::string> asked;
    SetFileFaultHook([&](const std::string& op, const std::string& path) {
      asked.push_back(op + " " + path);
      return op == c.op ? kErrDiskNotReady : 0;
    });
    EXPECT_EQ(c.call(), kErrDiskNotReady) << c.op;
    ASSERT_FALSE(asked.empty()) << c.op;
    EXPECT_EQ(asked.back().substr(0, asked.back().find(' ')), c.op);
    EXPECT_NE(asked.back().find(dir_), std::string::npos) << "the path is passed: " << asked.back();
  }
  SetFileFaultHook(nullptr);

  // Nothing was done: no file made, the open file open and unchanged.
  EXPECT_FALSE(fresh.IsOpen());
  EXPECT_FALSE(FileExists(P("created")));
  EXPECT_FALSE(DirExists(P("d")));
  EXPECT_TRUE(open.IsOpen());
  EXPECT_EQ(open.Lof(), 20);
  EXPECT_EQ(ReadAll(P("f")), std::string(20, 'f'));
  EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"f"});
}

TEST_F(FilesTest, AFolderListingHoldsItsPlainFilesInByteOrder) {
  WriteRaw(P("b.arr"), "b");
  WriteRaw(P("A.ARR"), "a");
  WriteRaw(P(".hidden"), "h");
  WriteRaw(P("\xC3\xA9t\xC3\xA9.arr"), "e");  // a name as the file system spells it
  ASSERT_EQ(MakeDirs(P("dir.arr")), 0);
  ASSERT_EQ(::symlink("b.arr", P("link.arr").c_str()), 0);
  ASSERT_EQ(::symlink("gone", P("dangling.arr").c_str()), 0);
  ASSERT_EQ(::mkfifo(P("pipe.arr").c_str(), 0644), 0);
  std::vector<std::string> names{"stale"};
  ASSERT_EQ(ListFolderFiles(dir_, names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "A.ARR", "b.arr", "link.arr", "\xC3\xA9t\xC3\xA9.arr"}));

  EXPECT_EQ(ListFolderFiles(P("missing"), names), kErrPathNotFound);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(ListFolderFiles(P("b.arr"), names), kErrPathNotFound);  // a file, not a folder
  if (PermissionsBite()) {
    const std::string closed = P("closed");
    ReadOnlyFolder(closed);
    WriteRaw(closed + "/x.arr", "x");
    ::chmod(closed.c_str(), 0);
    EXPECT_EQ(ListFolderFiles(closed, names), kErrPathFileAccess);
    ::chmod(closed.c_str(), 0644);  // names readable, files not reachable
    EXPECT_EQ(ListFolderFiles(closed, names), kErrPathFileAccess);
    EXPECT_TRUE(names.empty());
  }
}

TEST_F(FilesTest, MakeDirsAndKill) {
  const std::string deep = P("a/b/c");
  EXPECT_EQ(MakeDirs(deep), 0);
  EXPECT_TRUE(DirExists(deep));
  EXPECT_EQ(MakeDirs(deep + "/"), 0);  // already there
  EXPECT_FALSE(FileExists(deep));

  WriteRaw(deep + "/k", "k");
  EXPECT_TRUE(FileExists(deep + "/k"));
  EXPECT_EQ(KillFile(deep + "/k"), 0);
  EXPECT_FALSE(FileExists(deep + "/k"));
  EXPECT_EQ(KillFile(deep), kErrPathFileAccess);  // a folder is not a file
}

// A save killed after it kept the old file aside leaves a second name for
// it; the next save must still see a file with one name, and replace it by
// a rename, not rewrite it in place from the stale link count.
TEST_F(FilesTest, ASecondNameAKilledSaveLeftDoesNotMakeTheNextSaveWriteInPlace) {
  WriteRaw(P("doc.prg"), "first save");
  ASSERT_EQ(SaveInChild({{P("doc.prg"), "killed save"}}, EndAt("rename", 1)), 0);
  const int old = ::open(P("doc.prg").c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  struct stat before {}, after {};
  ASSERT_EQ(::fstat(old, &before), 0);
  ASSERT_EQ(before.st_nlink, 2u) << "the killed save left a second name";
  ASSERT_EQ(WriteWholeFileAtomic(P("doc.prg"), "second save"), 0);
  ASSERT_EQ(::stat(P("doc.prg").c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 1u);
  char buf[32] = {};
  EXPECT_EQ(::pread(old, buf, sizeof buf, 0), 10);
  EXPECT_EQ(std::string(buf), "first save");  // the old file was never written
  ::close(old);
  EXPECT_EQ(ReadAll(P("doc.prg")), "second save");
  EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"doc.prg"});
}

// A save of several files ended between the files it puts in place, then an
// open of one of them: every file all old or all new, nothing of the save
// left beside them or in the settings folder. It is finished when every
// file holds its new content or has it whole beside it (a file written in
// place counts when it holds it), else rolled back.
TEST_F(FilesTest, ASaveKilledBetweenItsFilesIsFinishedOrRolledBackByTheNextOpen) {
  const std::map<std::string, std::string> old = {
      {"s.arr", "old arr, longer than the new one"}, {"s.sty", "old sty"}, {"s.prg", "old prg"},
      {"s.pgg", "old pgg"}, {"k.arr", "old k, hard-linked as k2.arr"}, {"k.sty", "old k.sty"}};
  const FileFaultHook lockedFolder = [this](const std::string& op, const std::string& path) {
    return op == "temp" && path == Bytes(QFileInfo(tmp_.path()).canonicalFilePath()) ? kErrPathFileAccess : 0;
  };
  const struct {
    const char* what;
    std::vector<std::string> save;  // "-name" removes name
    std::string op;
    int n;
    FileFaultHook also;
    std::string opened;
    bool finished;  // all new after the open, else all old
  } cases[] = {
      {"after the first rename", {"s.arr", "s.sty"}, "rename", 2, {}, "s.arr", true},
      {"opened by the other file", {"s.arr", "s.sty"}, "rename", 2, {}, "s.sty", true},
      {"before the first rename", {"s.arr", "s.sty"}, "rename", 1, {}, "s.arr", true},
      {"before a removal", {"s.prg", "-s.pgg"}, "kill", 1, {}, "s.prg", true},
      {"with a new file", {"n.arr", "n.sty"}, "rename", 2, {}, "n.sty", true},
      {"after a write in place", {"k.arr", "k.sty"}, "rename", 2, {}, "k.sty", true},
      {"before a write in place", {"k.sty", "k.arr"}, "rename", 2, {}, "k.arr", false},
      {"in a folder that takes no new file", {"s.arr", "s.sty"}, "rename", 2, lockedFolder, "s.arr", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& n : FolderEntries(dir_)) ::unlink(P(n).c_str());
    for (const auto& [name, data] : old) WriteRaw(P(name), data);
    ASSERT_EQ(::link(P("k.arr").c_str(), P("k2.arr").c_str()), 0);
    struct stat k {};
    ASSERT_EQ(::stat(P("k.arr").c_str(), &k), 0);

    std::vector<WholeFile> save;
    std::map<std::string, std::string> want = old;  // what each file holds after the open
    want["k2.arr"] = old.at("k.arr");
    for (const std::string& n : c.save) {
      const bool removal = n[0] == '-';
      const std::string name = removal ? n.substr(1) : n;
      save.push_back(WholeFile{P(name), removal ? "" : "new " + name, removal});
      if (!c.finished) continue;
      if (removal)
        want.erase(name);
      else
        want[name] = "new " + name;
    }
    if (c.finished && want.count("k.arr")) want["k2.arr"] = want["k.arr"];
    ASSERT_EQ(SaveInChild(save, EndAt(c.op, c.n, c.also)), 0) << "the save did not reach its end point";

    EXPECT_EQ(ResolveKilledSave(P(c.opened)), 0);
    std::vector<std::string> names;
    for (const auto& [name, data] : want) {
      EXPECT_EQ(ReadAll(P(name)), data) << name;
      names.push_back(name);
    }
    EXPECT_EQ(FolderEntries(dir_), names);
    EXPECT_EQ(SettingsEntries(), std::vector<std::string>{});
    struct stat after {};
    ASSERT_EQ(::stat(P("k.arr").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, k.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
  }
}

// A write in place ended half-way (the size limit stops the process, as a
// kill would) is rolled back from its record: the file whole with its old
// bytes, through both of its names.
TEST_F(FilesTest, AWriteInPlaceKilledHalfWayGetsItsOldBytesBack) {
  WriteRaw(P("big.sty"), std::string(100, 'o'));
  ASSERT_EQ(::link(P("big.sty").c_str(), P("same.sty").c_str()), 0);
  const std::vector<WholeFile> save = {{P("big.sty"), std::string(64 * 1024, 'n')}};
  // The size limit comes once the new content beside is written, just
  // before the write in place.
  const int status = SaveInChild(save, [](const std::string& op, const std::string&) {
    if (op == "rename") {
      const rlimit limit{16 * 1024, 16 * 1024};
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(ReadAll(P("same.sty")).size(), 16u * 1024) << "the write was stopped half-way";

  EXPECT_EQ(ResolveKilledSave(P("big.sty")), 0);
  EXPECT_EQ(ReadAll(P("big.sty")), std::string(100, 'o'));
  EXPECT_EQ(ReadAll(P("same.sty")), std::string(100, 'o'));
  EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"big.sty", "same.sty"}));
}

// A record that is not whole was never written: its save had not begun to
// put its files in place, so the files stay as they are, and the next save
// removes what that save left; a file of another user named as a record
// stays.
TEST_F(FilesTest, ARecordCutShortCountsAsNotWritten) {
  WriteRaw(P("s.arr"), "old arr");
  WriteRaw(P("s.sty"), "old sty");
  const std::vector<WholeFile> save = {{P("s.arr"), "new arr"}, {P("s.sty"), "new sty"}};
  ASSERT_EQ(SaveInChild(save, EndAt("rename", 1)), 0);
  const std::vector<std::string> records = RecordsIn(dir_);
  ASSERT_EQ(records.size(), 2u);
  for (const std::string& name : records) {
    const std::string record = ReadAll(P(name));
    ASSERT_FALSE(record.empty()) << name;
    ASSERT_EQ(::truncate(P(name).c_str(), static_cast<off_t>(record.size() - 1)), 0);
  }
  const bool root = CanSwitchUsers();
  const std::string someones = ".s.arr~brvAbC123.save";
  if (root) {
    WriteRaw(P(someones), "someone's");
    ASSERT_TRUE(ChownTree(P(someones), kOtherUid, kOtherGid));
  }

  EXPECT_EQ(ResolveKilledSave(P("s.arr")), 0);
  EXPECT_EQ(ResolveKilledSave(P("s.sty")), 0);
  EXPECT_EQ(ReadAll(P("s.arr")), "old arr");
  EXPECT_EQ(ReadAll(P("s.sty")), "old sty");
  ASSERT_EQ(WriteWholeFiles(save), 0);
  EXPECT_EQ(ReadAll(P("s.arr")), "new arr");
  std::vector<std::string> want = {"s.arr", "s.sty"};
  if (root) want.insert(want.begin(), someones);
  EXPECT_EQ(FolderEntries(dir_), want);
}

// A file the user may write in a folder that takes no new file is saved in
// place, its old bytes kept in the settings folder until the save is over;
// a failure puts them back at once. What needs a new name in such a folder
// is refused naming the folder, and a settings folder that takes nothing
// either is named in its turn. The locked folder is a real one where
// permission bits stop this user, and the fault hook stands in for one
// always.
TEST_F(FilesTest, AFileInAFolderThatTakesNoNewFileIsSavedInPlace) {
  for (const bool real : {false, true}) {
    if (real && !PermissionsBite()) continue;
    SCOPED_TRACE(real ? "a folder of mode 555" : "the fault hook");
    const std::string folder = P(real ? "locked" : "hooked");
    ReadOnlyFolder(folder);
    const std::string canonical = Bytes(QFileInfo(QFile::decodeName(folder.c_str())).canonicalFilePath());
    WriteRaw(folder + "/a.arr", "old arr, longer than the new one");
    WriteRaw(folder + "/a.sty", "old sty");
    WriteRaw(folder + "/gone.pgg", "old pgg");
    struct stat before {}, after {};
    ASSERT_EQ(::stat((folder + "/a.arr").c_str(), &before), 0);
    FileFaultHook lock = [](const std::string&, const std::string&) { return 0; };
    if (real) {
      ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    } else {
      lock = [canonical](const std::string& op, const std::string& path) {
        return op == "temp" && path == canonical ? kErrPathFileAccess : 0;
      };
    }
    SetFileFaultHook(lock);
    const std::vector<std::string> files = {"a.arr", "a.sty", "gone.pgg"};

    std::string failed;
    ASSERT_EQ(WriteWholeFiles({{folder + "/a.arr", "new arr"}, {folder + "/a.sty", "new sty"}}, &failed), 0);
    EXPECT_EQ(ReadAll(folder + "/a.arr"), "new arr");
    EXPECT_EQ(ReadAll(folder + "/a.sty"), "new sty");
    ASSERT_EQ(::stat((folder + "/a.arr").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(FolderEntries(folder), files);
    EXPECT_EQ(SettingsEntries(), std::vector<std::string>{});

    // The second file fails after the first was written in place.
    int renames = 0;
    SetFileFaultHook([&](const std::string& op, const std::string& path) {
      return op == "rename" && ++renames == 2 ? kErrDiskFull : lock(op, path);
    });
    EXPECT_EQ(WriteWholeFiles({{folder + "/a.arr", "newer arr, and longer"}, {folder + "/a.sty", "newer sty"}}, &failed),
              kErrDiskFull);
    EXPECT_EQ(failed, folder + "/a.sty");
    EXPECT_EQ(ReadAll(folder + "/a.arr"), "new arr");
    EXPECT_EQ(ReadAll(folder + "/a.sty"), "new sty");
    EXPECT_EQ(SettingsEntries(), std::vector<std::string>{});

    // What such a folder refuses, and what refused.
    SetFileFaultHook(lock);
    const struct {
      const char* what;
      std::vector<WholeFile> save;
      std::string refused;
    } refusals[] = {
        {"a new file", {{folder + "/a.arr", "x"}, {folder + "/new.sty", "x"}}, canonical},
        {"a removal", {{folder + "/a.arr", "x"}, {folder + "/gone.pgg", "", true}}, canonical},
    };
    for (const auto& r : refusals) {
      failed.clear();
      EXPECT_EQ(WriteWholeFiles(r.save, &failed), kErrPathFileAccess) << r.what;
      EXPECT_EQ(failed, r.refused) << r.what;
    }
    if (real) {
      ASSERT_EQ(::chmod(Settings().c_str(), 0555), 0);
      restore_.push_back(Settings());
    } else {
      SetFileFaultHook([&](const std::string& op, const std::string& path) {
        return op == "temp" && path == Settings() ? kErrPathFileAccess : lock(op, path);
      });
    }
    failed.clear();
    EXPECT_EQ(WriteWholeFileAtomic(folder + "/a.arr", "x"), kErrPathFileAccess);
    EXPECT_EQ(WriteWholeFiles({{folder + "/a.arr", "x"}}, &failed), kErrPathFileAccess);
    EXPECT_EQ(failed, Settings());
    ::chmod(Settings().c_str(), 0755);
    if (real) {
      // A file that may not be written itself is the file's refusal.
      ASSERT_EQ(::chmod((folder + "/a.sty").c_str(), 0444), 0);
      failed.clear();
      EXPECT_EQ(WriteWholeFiles({{folder + "/a.sty", "x"}}, &failed), kErrPathFileAccess);
      EXPECT_EQ(failed, folder + "/a.sty");
    }
    SetFileFaultHook(nullptr);
    EXPECT_EQ(ReadAll(folder + "/a.arr"), "new arr");
    EXPECT_EQ(ReadAll(folder + "/a.sty"), "new sty");
    EXPECT_EQ(ReadAll(folder + "/gone.pgg"), "old pgg");
    EXPECT_EQ(FolderEntries(folder), files);
    EXPECT_EQ(SettingsEntries(), std::vector<std::string>{});
  }
}

// The same save ended by a write that fails half-way (a size limit the
// process outlives): the old bytes go back at once.
TEST_F(FilesTest, AWriteInPlaceThatFailsHalfWayPutsTheOldBytesBackAtOnce) {
  const std::string canonical = Bytes(QFileInfo(tmp_.path()).canonicalFilePath());
  WriteRaw(P("doc.arr"), std::string(100, 'o'));
  const std::vector<WholeFile> save = {{P("doc.arr"), std::string(64 * 1024, 'n')}};
  // The size limit comes just before the write in place, once the old and
  // new contents are kept in the settings folder.
  const int status = SaveInChild(save, [canonical](const std::string& op, const std::string& path) {
    if (op == "rename") {
      const rlimit limit{16 * 1024, 16 * 1024};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    return op == "temp" && path == canonical ? kErrPathFileAccess : 0;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kErrDeviceIO);
  EXPECT_EQ(ReadAll(P("doc.arr")), std::string(100, 'o'));
  EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"doc.arr"});
  EXPECT_EQ(SettingsEntries(), std::vector<std::string>{});
}

}  // namespace
