// The save lock and File > Open Arr as the user meets them: another user's
// lock on the folder and his files at a record's name make an open or a save
// wait for nothing; this user's other copy saving there is waited for, then
// offers Retry and Cancel; and the window shows the files of one save,
// whether this user's other copy saves meanwhile (the lock keeps it out of
// the reads) or another user does (a file changed under the read is read
// again).
#include <QListWidget>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "files/prgfile.h"
#include "files/stygrp.h"
#include "platform/files.h"
#include "platform/savelock.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/savechild.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

namespace {

using Clock = std::chrono::steady_clock;

// The files of save n: an arrangement file and its style file, each
// naming the save.
std::string Arr(int n) { return ArrFile({{0, Rec("Save " + CStr(n), 3)}, {1, Rec("Other", 4)}}); }
std::string Sty(int n) { return StyFileBytes(StyGroupBytes({{"Save " + CStr(n), 40}})); }
// A program file naming save n in its first program.
std::string Prg(int n) {
  std::string prg = PrgFileBytes();
  MidAssign(prg, kPrgRecStart + 1, PadRight("Save " + CStr(n), 16));
  return prg;
}

constexpr int kArrUPrgPos = 12143;  // the program file's image in the window's tag

// The save whose arrangement file and style file the window shows ("2 2"
// for one save's pair, "1 2" for a mix; 0 for what is no save's).
std::string Shown(const std::string& tag) {
  const auto which = [&](const std::string& shown, const std::function<std::string(int)>& of) {
    for (int n = 1; n <= 9; ++n)
      if (shown == of(n)) return n;
    return 0;
  };
  return CStr(which(Mid(tag, 271, kArrFileLen), Arr)) + " " +
         CStr(which(Mid(tag, kArrWinGrpBase, static_cast<int>(Sty(1).size())), Sty));
}

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Every entry of a folder with its owner and bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> out;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      struct stat st {};
      ::lstat((folder + "/" + n).c_str(), &st);
      std::string bytes;
      ReadWholeFile(folder + "/" + n, bytes);
      out[n] = std::to_string(st.st_uid) + " " + bytes;
    }
    ::closedir(dir);
  }
  return out;
}


}  // namespace

class SaveLocksTest : public DocWindowTest {
 public:
  using DocWindowTest::WriteBytes;
  std::string P(const std::string& name) const { return ProgFile(name); }

 protected:
  std::string Prog() const { return QFile::encodeName(progDir_->path()).toStdString(); }
  std::string Win() const { return QFile::encodeName(winDir_->path()).toStdString(); }
  frmArrU* OpenSong() {
    OpenThrough("mnuApriArr", "song.arr", false);
    return gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
  }
  static void DeleteLine(frmArrU* w, int line) {
    QListWidget* list = w->findChild<QListWidget*>("List1");
    ClickLine(list, line);
    QTest::keyClick(list, Qt::Key_Delete);
  }
  void SaveOne() {
    WriteBytes(P("song.arr"), Arr(1));
    WriteBytes(P("song.sty"), Sty(1));
  }
};

// In a folder everyone may write (mode 1777), another user holds the
// folder's flock, as long as he likes, and has put files of his at the
// names of the song's records. File > Open Arr and File > Save each take
// less than a second and show no box; his files stay as they are, and
// nothing else is left in the folder. The save lock's file, in a settings
// folder anyone may list, is closed to him.
TEST_F(SaveLocksTest, AnotherUsersLockOnTheFolderNeitherDelaysNorStopsAnOpenOrASave) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(Prog().c_str(), 01777), 0);
  ASSERT_EQ(::chmod(Win().c_str(), 0755), 0);
  SaveOne();
  StartPlain();
  OtherUsersFlock his(Prog(), [&] {
    WriteBytes(P(".song.arr~brvAAAAAA.save"), "his");
    WriteBytes(P(".song.sty~brvBBBBBB.save"), "Brenvolta save record 2\nhis");
  });
  ASSERT_TRUE(his.Holds());
  const auto before = Contents(Prog());
  ASSERT_EQ(before.count(".song.arr~brvAAAAAA.save"), 1u);
  ASSERT_EQ(before.at(".song.sty~brvBBBBBB.save"), std::to_string(kOtherUid) + " Brenvolta save record 2\nhis");

  const auto opened = Clock::now();
  frmArrU* w = OpenSong();
  EXPECT_LT(MsSince(opened), 1000);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Shown(w->Tag()), "1 1");

  DeleteLine(w, 0);
  const auto saved = Clock::now();
  main_->Item("mnuSalva")->trigger();
  EXPECT_LT(MsSince(saved), 1000);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  auto after = Contents(Prog());
  EXPECT_NE(after["song.arr"], before.at("song.arr"));
  after["song.arr"] = before.at("song.arr");
  EXPECT_EQ(after, before);
  his.Release();
  const std::string lockFile = Win() + "/saves.lock";
  ASSERT_TRUE(Exists(lockFile));
  EXPECT_EQ(RunAsUser(kOtherUid, kOtherGid, [&] { return ::open(lockFile.c_str(), O_RDONLY) < 0 ? 0 : 1; }), 0);
  Discard(w, 4);
}

// This user's other copy is saving in the folder: File > Open Arr waits
// for it, a bounded time, then says so once, with Retry and Cancel. Retry
// (the other save over meanwhile) opens the song, and so does Cancel (the
// files as they stand); the window's own reads of the style and program
// files wait no more.
TEST_F(SaveLocksTest, ThisUsersOtherCopySavingMakesAnOpenWaitThenOffersRetryOrCancel) {
  SaveOne();
  WriteBytes(P("song.prg"), Prg(1));
  StartPlain();
  for (const int answer : {kMsgRetry, kMsgCancel}) {
    SCOPED_TRACE(answer == kMsgRetry ? "Retry" : "Cancel");
    FolderLockHolder holder(Prog());
    ASSERT_TRUE(holder.Holds());
    DialogsWithAction boxes;
    boxes.boxAnswers = {answer};
    if (answer == kMsgRetry) boxes.onBox = [&] { holder.Release(); };
    SetDialogs(&boxes);
    SetSaveLockWait(100);
    FileDialogResult file;
    file.accepted = true;
    file.fileName = P("song.arr");
    boxes.fileAnswers.push_back(file);
    main_->Item("mnuApriArr")->trigger();
    SetDialogs(&dialogs_);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Opening song.arr");
    EXPECT_EQ(boxes.boxes[0].text, "Another program is saving a file in this folder");
    EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::RetryCancel);
    frmArrU* w = gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Shown(w->Tag()), "1 1");
    EXPECT_EQ(Mid(w->Tag(), kArrUPrgPos, kPrgFileLen), Prg(1));
    Discard(w, 4);
  }
}

// Made certain: this user's other copy saves the song (the arrangement file
// put in place, the style file not yet) and is stopped there while File >
// Open Arr reads. The open waits for the save, and the window shows its
// pair, with no box.
TEST_F(SaveLocksTest, AnOpenWaitsForASaveStoppedBetweenItsFiles) {
  SaveOne();
  StartPlain();
  int stopped[2], go[2];
  ASSERT_EQ(::pipe(stopped), 0);
  ASSERT_EQ(::pipe(go), 0);
  const pid_t saver = ::fork();
  if (saver == 0) {
    int renames = 0;
    SetFileFaultHook([&](const std::string& op, const std::string&) {
      if (op == "rename" && ++renames == 2) {
        char c = 's';
        (void)!::write(stopped[1], &c, 1);
        (void)!::read(go[0], &c, 1);
      }
      return 0;
    });
    ::_exit(WriteWholeFiles({{P("song.arr"), Arr(2)}, {P("song.sty"), Sty(2)}}) == 0 ? 100 : 1);
  }
  char c = 0;
  ASSERT_EQ(::read(stopped[0], &c, 1), 1);
  ASSERT_EQ(ReadBytes(P("song.arr")), Arr(2));  // the mix the open must not read
  ASSERT_EQ(ReadBytes(P("song.sty")), Sty(1));
  std::thread letGo([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    (void)!::write(go[1], "g", 1);
  });
  frmArrU* w = OpenSong();
  letGo.join();
  int status = -1;
  ::waitpid(saver, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 100);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Shown(w->Tag()), "2 2");
  Discard(w, 4);
}

// This user's other copy starts to save the song just as File > Open Arr
// has read the arrangement file and is about to read the style file. The
// save waits for the open's reads (given time to slip in, it does not):
// the window shows the pair the open found, and the save then puts its own
// in place.
TEST_F(SaveLocksTest, ASaveOfThisUsersOtherCopyCannotComeBetweenTheReadsOfAnOpen) {
  SaveOne();
  StartPlain();
  pid_t saver = -1;
  FaultHook hook([&](const std::string& op, const std::string& path, int) {
    if (op == "read" && path == P("song.sty") && saver < 0) {
      saver = ::fork();
      if (saver == 0) {
        SetFileFaultHook(nullptr);
        ::_exit(WriteWholeFiles({{P("song.arr"), Arr(2)}, {P("song.sty"), Sty(2)}}) == 0 ? 100 : 1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return 0;
  });
  frmArrU* w = OpenSong();
  ASSERT_GT(saver, 0);
  int status = -1;
  ::waitpid(saver, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 100);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Shown(w->Tag()), "1 1");
  EXPECT_EQ(ReadBytes(P("song.arr")), Arr(2));
  EXPECT_EQ(ReadBytes(P("song.sty")), Sty(2));
  Discard(w, 4);
}

// A save that takes no lock of ours (another user's, in a shared folder)
// puts its files in place while File > Open Arr reads: the open finds the
// files it read first changed and reads them all again, so the window shows
// that save's files: the song's pair, and the program file that replaced
// its namesake of the other extension.
TEST_F(SaveLocksTest, AnotherUsersSaveBetweenTheReadsOfAnOpenIsReadAgain) {
  const struct {
    const char* what;
    const char* during;  // the read the save comes before
    std::function<void(SaveLocksTest&)> save;
    std::string shown;
    bool programFile;
  } cases[] = {
      {"the song and its style file", "song.sty",
       [](SaveLocksTest& t) {
         t.WriteBytes(t.P(".new.arr"), Arr(2));
         t.WriteBytes(t.P(".new.sty"), Sty(2));
         ::rename(t.P(".new.arr").c_str(), t.P("song.arr").c_str());
         ::rename(t.P(".new.sty").c_str(), t.P("song.sty").c_str());
       },
       "2 2", false},
      {"a program file in place of its namesake", "song.pgg",
       [](SaveLocksTest& t) {
         t.WriteBytes(t.P(".new.prg"), Prg(2));
         ::rename(t.P(".new.prg").c_str(), t.P("song.prg").c_str());
         ::unlink(t.P("song.pgg").c_str());
       },
       "1 1", true},
  };
  StartPlain();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(P("song.prg").c_str());
    SaveOne();
    WriteBytes(P("song.pgg"), PrgFileBytes(true));
    dialogs_.Clear();
    bool saved = false;
    frmArrU* w = nullptr;
    {
      FaultHook hook([&](const std::string& op, const std::string& path, int) {
        if (op == "read" && path == P(c.during) && !saved) {
          saved = true;
          c.save(*this);
        }
        return 0;
      });
      w = OpenSong();
    }
    ASSERT_TRUE(saved);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(Shown(w->Tag()), c.shown);
    if (c.programFile) {
      EXPECT_EQ(Asc(w->Tag(), 6), 1);   // a program file was read
      EXPECT_EQ(Asc(w->Tag(), 19), 0);  // the .prg
      EXPECT_EQ(Mid(w->Tag(), kArrUPrgPos, kPrgFileLen), Prg(2));
    }
    Discard(w, 4);
  }
}
