// A save that was interrupted and cannot be finished or undone, and a save
// that meets another program's save, through File > Open Arr and File >
// Save as the user does: the open never fails because of it, and says so
// in one box naming the file and the reason; the save says so once and
// saves; a folder another program is saving in is waited for, then the
// save is refused with Retry and Cancel.
#include <QFileInfo>
#include <QListWidget>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "files/styfile.h"
#include "platform/files.h"
#include "services/strings.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

namespace {

std::string StyleFile() { return StyFileBytes(StyGroupBytes({{"Alpha", 40}, {"Beta", 41}})); }
std::string NewStyleFile() { return StyFileBytes(StyGroupBytes({{"Gamma", 42}})); }
std::string Band() { return ArrFile({{0, Rec("Rock", 3)}, {1, Rec("Jazz", 4)}}); }
std::string Killed() { return ArrFile({{0, Rec("Killed", 5)}, {1, Rec("Other", 6)}}); }

// The hidden files of a folder whose names start with prefix.
std::vector<std::string> Hidden(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) names.push_back(e->d_name);
    ::closedir(dir);
  }
  return names;
}

}  // namespace

class InterruptedSavesTest : public DocWindowTest {
 protected:
  std::string P(const std::string& name) const { return ProgFile(name); }
  static bool EndedThere(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  std::string Prog() const { return QFile::encodeName(progDir_->path()).toStdString(); }
  frmArrU* OpenSong(const std::string& file = "song.arr") {
    OpenThrough("mnuApriArr", file, false);
    return gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
  }
  static void DeleteLine(frmArrU* w, int line) {
    QListWidget* list = w->findChild<QListWidget*>("List1");
    ClickLine(list, line);
    QTest::keyClick(list, Qt::Key_Delete);
  }
  // A save of the style file and then the arrangement file (the file with
  // two names, written in place), ended between them.
  void KillASaveBetweenItsFiles() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      SetFileFaultHook(EndAt("rename", 2));
      WriteWholeFiles({{P("song.sty"), NewStyleFile()}, {P("song.arr"), Killed()}});
      ::_exit(1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not reach its second file";
  }
};

// The style file was put in place, the arrangement file not yet written;
// the roll-back needs the old style file kept aside, which is gone. The
// open of the arrangement file says so once (its window reads the style
// file too) and shows the files as they stand, changing none.
TEST_F(InterruptedSavesTest, AnOpenThatCannotPutAFileBackSaysSoOnceAndReadsTheFiles) {
  WriteBytes(P("song.arr"), Band());
  WriteBytes(P("song.sty"), StyleFile());
  ASSERT_EQ(::link(P("song.arr").c_str(), P("copy.arr").c_str()), 0);
  StartPlain();
  KillASaveBetweenItsFiles();
  const std::vector<std::string> asides = Hidden(Prog(), ".song.sty~brv");
  for (const std::string& n : asides)
    if (n.size() < 5 || n.compare(n.size() - 5, 5, ".save") != 0) ::unlink(P(n).c_str());
  dialogs_.Clear();

  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The interrupted save of " + P("song.sty") +
                                                 " could not be finished or undone: its files are left as they "
                                                 "stand.\r\nThe copy of its old content kept aside is gone"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening song.arr"});
  EXPECT_EQ(ReadBytes(P("song.arr")), Band());
  EXPECT_EQ(ReadBytes(P("song.sty")), NewStyleFile());
  EXPECT_EQ(Asc(w->Tag(), 9), 2);  // the style file was read

  // In Italian, at the next File > Open.
  Discard(w, 4);
  dialogs_.Clear();
  gLangBase = 0;
  w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Il salvataggio interrotto di " + P("song.sty") +
                                                 " non ha potuto essere completato n\xE9 annullato: i suoi file restano "
                                                 "come sono.\r\nLa copia del contenuto precedente, tenuta da parte, "
                                                 "non c'\xE8 pi\xF9"});  // the table's Latin-1
  Discard(w, 4);
}

// A killed save of the arrangement file and its style file in a folder that
// has since become read-only: the open says once that it cannot be
// finished, and shows the files as they stand; File > Save says so once
// and saves in place; the next save says nothing. As an ordinary user.
TEST_F(InterruptedSavesTest, AKilledSaveInAFolderLockedSinceStopsNeitherOpenNorSave) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as an ordinary user";
  WriteBytes(P("song.arr"), Band());
  WriteBytes(P("song.sty"), StyleFile());
  StartPlain();
  ASSERT_TRUE(ChownTree(Prog(), kTestUid, kTestGid));
  ASSERT_TRUE(ChownTree(QFile::encodeName(winDir_->path()).toStdString(), kTestUid, kTestGid));
  ASSERT_EQ(RunAsUser(kTestUid, kTestGid,
                      [&] {
                        SetFileFaultHook(EndAt("rename", 2));
                        WriteWholeFiles({{P("song.arr"), Killed()}, {P("song.sty"), NewStyleFile()}});
                        return 1;
                      }),
            0);
  ASSERT_EQ(::chmod(Prog().c_str(), 0555), 0);
  const std::string why = "The interrupted save of " + P("song.sty") +
                          " could not be finished or undone: its files are left as they stand.\r\nRead only file";
  {
    EffectiveUser user;
    ASSERT_TRUE(user.Switched());
    dialogs_.Clear();
    frmArrU* w = OpenSong();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{why});
    EXPECT_EQ(ReadBytes(P("song.arr")), Killed());
    EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());

    dialogs_.Clear();
    DeleteLine(w, 0);
    main_->Item("mnuSalva")->trigger();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{why});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Saving song.arr"});
    EXPECT_EQ(Asc(w->Tag(), 4), 0);
    const std::string saved = ReadBytes(P("song.arr"));
    EXPECT_TRUE(saved != Killed());

    dialogs_.Clear();
    DeleteLine(w, 1);
    main_->Item("mnuSalva")->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_TRUE(ReadBytes(P("song.arr")) != saved);
    EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());
    Discard(w, 4);
  }
  ::chmod(Prog().c_str(), 0755);
}

// Another program holds the lock of the song's folder, as another copy of
// this program does while it saves there. File > Save waits for it, a
// bounded time, then says so naming the file, with Retry and Cancel; the
// other save ends meanwhile, and Retry saves.
TEST_F(InterruptedSavesTest, ASaveMeetingAnotherProgramsSaveOffersRetry) {
  WriteBytes(P("song.arr"), Band());
  StartPlain();
  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  FolderLockHolder holder(Prog());
  ASSERT_TRUE(holder.Holds());

  DialogsWithAction boxes;
  boxes.boxAnswers = {kMsgRetry};
  boxes.onBox = [&] { holder.Release(); };
  SetDialogs(&boxes);
  SetSaveLockWait(100);
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  SetDialogs(&dialogs_);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Cannot write " + P("song.arr") + "\r\nAnother program is saving a file in this folder");
  EXPECT_EQ(boxes.boxes[0].title, "Saving song.arr");
  EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::RetryCancel);
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  EXPECT_TRUE(ReadBytes(P("song.arr")) != Band());
  Discard(w, 4);
}

namespace {

// The regular files and links of a folder (hidden ones too), by name: a
// file by its bytes, a link by its target.
std::map<std::string, std::string> FilesOf(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name, path = folder + "/" + name;
      struct stat st {};
      if (name == "." || name == ".." || ::lstat(path.c_str(), &st) != 0) continue;
      if (S_ISLNK(st.st_mode)) {
        char buf[4096];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
        files[name] = "link to " + std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
      } else if (S_ISREG(st.st_mode)) {
        files[name] = ReadBytes(path);
      }
    }
    ::closedir(dir);
  }
  return files;
}

// Copies every regular file of a folder into a new one, each a new file of
// the same bytes and mode, as a copy of the folder elsewhere (or a stick
// whose file system gives inode numbers out afresh) has them.
void CopyFolder(const std::string& from, const std::string& to) {
  ASSERT_EQ(::mkdir(to.c_str(), 0755), 0);
  for (const auto& [name, bytes] : FilesOf(from)) {
    struct stat st {};
    ASSERT_EQ(::stat((from + "/" + name).c_str(), &st), 0);
    WriteBytes(to + "/" + name, bytes);
    ASSERT_EQ(::chmod((to + "/" + name).c_str(), st.st_mode & 07777), 0);
  }
}

std::string Canonical(const std::string& path) {
  return QFile::encodeName(QFileInfo(QFile::decodeName(path.c_str())).canonicalFilePath()).toStdString();
}

}  // namespace

// A save of the song and its style file killed between its files, its
// folder then reached another way, and File > Open Arr of the song where
// it now is: a renamed folder, or one copied afresh to a file system that
// keeps no inode numbers (as a FAT stick mounted again gives them out
// afresh), gets the save finished; a copy where inode numbers are kept is
// a backup, left as it stands; and records and side files moved beside
// another song of the same name leave that song as it is. Every file of
// every folder is compared afterwards, and no box is shown.
TEST_F(InterruptedSavesTest, AKilledSaveIsResolvedWhereverItsFolderIsNow) {
  enum Move { Rename, CopyWithoutInodes, Copy, SideFilesAway };
  const struct {
    const char* what;
    Move move;
  } cases[] = {
      {"the folder renamed", Rename},
      {"the folder copied afresh where the file system keeps no inode numbers", CopyWithoutInodes},
      {"the folder copied where inode numbers are kept", Copy},
      {"the records and side files moved beside another song of that name", SideFilesAway},
  };
  StartPlain();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string band = P("band"), moved = P("moved"), tour = P("tour");
    for (const std::string& folder : {band, moved, tour}) {
      for (const auto& [name, bytes] : FilesOf(folder)) ::unlink((folder + "/" + name).c_str());
      ::rmdir(folder.c_str());
    }
    ASSERT_EQ(::mkdir(band.c_str(), 0755), 0);
    WriteBytes(band + "/song.arr", Band());
    WriteBytes(band + "/song.sty", StyleFile());
    ASSERT_TRUE(EndedThere(SaveInChild({{band + "/song.arr", Killed()}, {band + "/song.sty", NewStyleFile()}},
                                       EndAt("rename", 2))));
    const auto killed = FilesOf(band);
    ASSERT_GT(killed.size(), 4u);
    std::string opened = moved + "/song.arr";
    std::map<std::string, std::map<std::string, std::string>> want;  // by folder
    switch (c.move) {
      case Rename:
        ASSERT_EQ(::rename(band.c_str(), moved.c_str()), 0);
        want[moved] = {{"song.arr", Killed()}, {"song.sty", NewStyleFile()}};
        break;
      case CopyWithoutInodes:
      case Copy:
        CopyFolder(band, moved);
        for (const auto& [name, bytes] : killed) ::unlink((band + "/" + name).c_str());
        ::rmdir(band.c_str());
        if (c.move == Copy)
          want[moved] = killed;
        else
          want[moved] = {{"song.arr", Killed()}, {"song.sty", NewStyleFile()}};
        break;
      case SideFilesAway:
        ASSERT_EQ(::mkdir(tour.c_str(), 0755), 0);
        WriteBytes(tour + "/song.arr", ArrFile({{0, Rec("Tour", 7)}}));
        WriteBytes(tour + "/song.sty", NewStyleFile());
        for (const auto& [name, bytes] : killed)
          if (name[0] == '.') {
            ASSERT_EQ(::rename((band + "/" + name).c_str(), (tour + "/" + name).c_str()), 0);
          }
        want[band] = FilesOf(band);
        want[tour] = FilesOf(tour);
        opened = tour + "/song.arr";
        break;
    }
    const std::string noInodes = Canonical(moved);
    if (c.move == CopyWithoutInodes)
      SetFileFaultHook([&](const std::string& op, const std::string& path) {
        return op == "inodes" && path == noInodes ? 1 : 0;
      });
    dialogs_.Clear();
    OpenThrough("mnuApriArr", opened.substr(Prog().size() + 1), false);
    SetFileFaultHook(nullptr);
    ASSERT_TRUE(gArrSlotUsed[gArrSlotIdx]);
    frmArrU* w = gArrUForms[gArrSlotIdx];
    EXPECT_TRUE(dialogs_.boxes.empty()) << (dialogs_.boxes.empty() ? "" : dialogs_.boxes[0].text);
    for (const auto& [folder, files] : want) EXPECT_EQ(FilesOf(folder), files) << folder;
    Discard(w, 4);
  }
}

// A save through a linked arrangement (a/doc.arr a link to b/real.arr
// beside a plain a/doc.sty, or the style file linked instead) killed as it
// put the style file in place: File > Open Arr through the name the user
// saved by finishes it. Both files hold that save, whole, and nothing of it
// is left in either folder.
TEST_F(InterruptedSavesTest, AKilledSaveThroughALinkedArrangementIsPutTogether) {
  const struct {
    const char* what;
    const char* linked;  // the extension whose file is a link into b
  } cases[] = {
      {"the arrangement file linked", ".arr"},
      {"the style file linked", ".sty"},
  };
  StartPlain();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string a = P("a"), b = P("b");
    for (const std::string& folder : {a, b}) {
      for (const auto& [name, bytes] : FilesOf(folder)) ::unlink((folder + "/" + name).c_str());
      ::rmdir(folder.c_str());
      ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    }
    const std::map<std::string, std::string> old = {{".arr", Band()}, {".sty", StyleFile()}};
    for (const auto& [ext, bytes] : old) {
      if (ext == c.linked) {
        WriteBytes(b + "/real" + ext, bytes);
        ASSERT_EQ(::symlink(("../b/real" + ext).c_str(), (a + "/doc" + ext).c_str()), 0);
      } else {
        WriteBytes(a + "/doc" + ext, bytes);
      }
    }
    ASSERT_TRUE(EndedThere(
        SaveInChild({{a + "/doc.arr", Killed()}, {a + "/doc.sty", NewStyleFile()}}, EndAt("rename", 2))));
    dialogs_.Clear();
    OpenThrough("mnuApriArr", "a/doc.arr", false);
    ASSERT_TRUE(gArrSlotUsed[gArrSlotIdx]);
    frmArrU* w = gArrUForms[gArrSlotIdx];
    EXPECT_TRUE(dialogs_.boxes.empty());
    const std::string arr = std::string(c.linked) == ".arr" ? b + "/real.arr" : a + "/doc.arr";
    const std::string sty = std::string(c.linked) == ".sty" ? b + "/real.sty" : a + "/doc.sty";
    EXPECT_EQ(ReadBytes(arr), Killed());
    EXPECT_EQ(ReadBytes(sty), NewStyleFile());
    for (const std::string& folder : {a, b})
      for (const auto& [name, bytes] : FilesOf(folder)) EXPECT_NE(name[0], '.') << folder << "/" << name;
    Discard(w, 4);
  }
}

// In a folder the user may write but not list (mode 300, a drop folder),
// as an ordinary user: a save of the song and its style file killed between
// its files is found and finished at File > Open Arr, and once the user
// saves, nothing of it is left there.
TEST_F(InterruptedSavesTest, AKilledSaveInAFolderThatCannotBeListedIsResolved) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as an ordinary user";
  const std::string drop = P("drop");
  ASSERT_EQ(::mkdir(drop.c_str(), 0755), 0);
  WriteBytes(drop + "/song.arr", Band());
  WriteBytes(drop + "/song.sty", StyleFile());
  StartPlain();
  ASSERT_TRUE(ChownTree(Prog(), kTestUid, kTestGid));
  ASSERT_TRUE(ChownTree(QFile::encodeName(winDir_->path()).toStdString(), kTestUid, kTestGid));
  ASSERT_EQ(::chmod(drop.c_str(), 0300), 0);
  ASSERT_EQ(RunAsUser(kTestUid, kTestGid,
                      [&] {
                        SetFileFaultHook(EndAt("rename", 2));
                        WriteWholeFiles({{drop + "/song.arr", Killed()}, {drop + "/song.sty", NewStyleFile()}});
                        return 1;
                      }),
            0);
  ASSERT_GT(FilesOf(drop).size(), 4u) << "the killed save's records and side files";
  {
    EffectiveUser user;
    ASSERT_TRUE(user.Switched());
    dialogs_.Clear();
    OpenThrough("mnuApriArr", "drop/song.arr", false);
    ASSERT_TRUE(gArrSlotUsed[gArrSlotIdx]);
    frmArrU* w = gArrUForms[gArrSlotIdx];
    EXPECT_TRUE(dialogs_.boxes.empty()) << (dialogs_.boxes.empty() ? "" : dialogs_.boxes[0].text);
    EXPECT_EQ(ReadBytes(drop + "/song.arr"), Killed());
    EXPECT_EQ(ReadBytes(drop + "/song.sty"), NewStyleFile());
    DeleteLine(w, 0);
    main_->Item("mnuSalva")->trigger();
    EXPECT_EQ(Asc(w->Tag(), 4), 0);
    EXPECT_TRUE(dialogs_.boxes.empty());
    Discard(w, 4);
  }
  const auto left = FilesOf(drop);
  EXPECT_EQ(left.size(), 2u);
  EXPECT_TRUE(left.count("song.arr") && left.count("song.sty"));
  EXPECT_NE(left.at("song.arr"), Killed());
  ::chmod(drop.c_str(), 0755);
}

// A write in place (of a file with a second name) killed once it had
// written the file; then a 4 KiB block of the file, past its header, left
// zeroed, as a power loss may leave it: neither the old content, the new,
// nor a mix of the two. File > Open Arr reads the file as it stands and says
// so in one box, naming the file and where its old content is kept; File >
// Save saves the user's arrangement and leaves that copy; the next open
// says nothing, and the copy stays until the user removes it.
TEST_F(InterruptedSavesTest, AFileAPowerLossLeftDamagedKeepsItsOldCopy) {
  // Every arrangement named, so that each block of the file differs.
  const auto full = [](const std::string& tag) {
    std::vector<std::pair<int, std::string>> recs;
    for (int i = 0; i < 64; ++i) recs.push_back({i, Rec(tag + std::to_string(i), 3)});
    return ArrFile(recs);
  };
  const std::string old = full("Old "), fresh = full("New ");
  WriteBytes(P("song.arr"), old);
  ASSERT_EQ(::link(P("song.arr").c_str(), P("copy.arr").c_str()), 0);
  StartPlain();
  ASSERT_TRUE(EndedThere(SaveInChild({{P("song.arr"), fresh}}, EndAt("done", 1))));
  std::string damaged = ReadBytes(P("song.arr"));
  ASSERT_EQ(damaged, fresh);
  damaged.replace(4096, 4096, std::string(4096, '\0'));
  const int fd = ::open(P("song.arr").c_str(), O_WRONLY);
  ASSERT_EQ(::pwrite(fd, damaged.data() + 4096, 4096, 4096), 4096);
  ::close(fd);

  dialogs_.Clear();
  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{P("song.arr") + " was damaged by an interrupted save: its content "
                                                                 "from before that save is kept in " +
                                                 P("song.arr.old")});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening song.arr"});
  EXPECT_EQ(ReadBytes(P("song.arr")), damaged);
  EXPECT_EQ(ReadBytes(P("song.arr.old")), old);

  dialogs_.Clear();
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  EXPECT_TRUE(dialogs_.boxes.empty());
  const std::string saved = ReadBytes(P("song.arr"));
  EXPECT_NE(saved, damaged);
  EXPECT_EQ(ReadBytes(P("copy.arr")), saved);
  EXPECT_EQ(ReadBytes(P("song.arr.old")), old);
  Discard(w, 4);

  dialogs_.Clear();
  w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(ReadBytes(P("song.arr.old")), old);
  EXPECT_EQ(Hidden(Prog(), ".song.arr"), std::vector<std::string>{});
  Discard(w, 4);
}

// A record of an interrupted save that can no longer be checked, its key
// gone from the settings folder: File > Open Arr acts on nothing, says so in
// one box naming the file, and leaves every file, side files included, as
// it stands; in a folder the user cannot list (as an ordinary user), the
// box says that the interrupted save could not even be looked for. File >
// Save says so once, and saves.
TEST_F(InterruptedSavesTest, AnInterruptedSaveThatCannotBeCheckedIsSaidAndLeftAlone) {
  const struct {
    const char* what;
    mode_t folderMode;  // of the song's folder
    bool asUser;
    std::string text;
  } cases[] = {
      {"a folder that can be listed", 0755, false,
       "The interrupted save of _ could not be checked: its files are left as they stand."},
      {"a folder that cannot be listed", 0300, true,
       "An interrupted save in _ could not be looked for: the folder cannot be listed."},
  };
  StartPlain();
  const std::string settings = QFile::encodeName(winDir_->path()).toStdString();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asUser && !CanSwitchUsers()) continue;
    const std::string band = P("band");
    ::chmod(band.c_str(), 0755);
    for (const auto& [name, bytes] : FilesOf(band)) ::unlink((band + "/" + name).c_str());
    ::rmdir(band.c_str());
    ASSERT_EQ(::mkdir(band.c_str(), 0755), 0);
    WriteBytes(band + "/song.arr", Band());
    WriteBytes(band + "/song.sty", StyleFile());
    if (c.asUser) {
      ASSERT_TRUE(ChownTree(Prog(), kTestUid, kTestGid));
      ASSERT_TRUE(ChownTree(settings, kTestUid, kTestGid));
    }
    const uid_t uid = c.asUser ? kTestUid : ::geteuid();
    const gid_t gid = c.asUser ? kTestGid : ::getegid();
    ASSERT_EQ(RunAsUser(uid, gid,
                        [&] {
                          SetFileFaultHook(EndAt("rename", 2));
                          WriteWholeFiles({{band + "/song.arr", Killed()}, {band + "/song.sty", NewStyleFile()}});
                          return 1;
                        }),
              0);
    ASSERT_EQ(::unlink((settings + "/Brenvolta.key").c_str()), 0);
    ASSERT_EQ(::chmod(band.c_str(), c.folderMode), 0);
    const auto left = FilesOf(band);
    ASSERT_GT(left.size(), 4u);
    std::string text = c.text;
    text.replace(text.find('_'), 1, c.asUser ? band : band + "/song.arr");
    {
      std::unique_ptr<EffectiveUser> user;
      if (c.asUser) user = std::make_unique<EffectiveUser>();
      dialogs_.Clear();
      OpenThrough("mnuApriArr", "band/song.arr", false);
      ASSERT_TRUE(gArrSlotUsed[gArrSlotIdx]);
      frmArrU* w = gArrUForms[gArrSlotIdx];
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{text});
      Discard(w, 4);
    }
    EXPECT_EQ(FilesOf(band), left);
    if (!c.asUser) {
      // In Italian, at the next File > Open; then File > Save says so once
      // and saves, leaving the record it cannot check and its side files.
      gLangBase = 0;
      dialogs_.Clear();
      frmArrU* w = OpenSong("band/song.arr");
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Il salvataggio interrotto di " + band +
                                                     "/song.arr non ha potuto essere verificato: i suoi file restano "
                                                     "come sono."});
      gLangBase = 200;
      dialogs_.Clear();
      DeleteLine(w, 0);
      main_->Item("mnuSalva")->trigger();
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{text});
      EXPECT_EQ(Asc(w->Tag(), 4), 0);
      auto now = FilesOf(band);
      EXPECT_NE(now.at("song.arr"), left.at("song.arr"));
      now.erase("song.arr");
      auto kept = left;
      kept.erase("song.arr");
      EXPECT_EQ(now, kept);
      Discard(w, 4);
    }
    ::chmod(band.c_str(), 0755);
  }
}
