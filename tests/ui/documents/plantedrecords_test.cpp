// Files planted beside a document, as another user of a shared folder, an
// unpacked archive or a restored backup would put them, driven through File
// > Open Arr, File > Save and File > Save As as the user does: nothing the
// program did not itself set aside for this document's save is renamed,
// written or deleted, the document opens and saves as if the planted files
// were not there, and no box is shown. The bytes of every file of the
// document's folder and of another folder are compared after each command.
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "app/slots.h"
#include "core/bytes.h"
#include "files/styfile.h"
#include "platform/files.h"
#include "services/paths.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/saverecords.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

namespace {
std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
}  // namespace

namespace {

std::string StyleFile() { return StyFileBytes(StyGroupBytes({{"Alpha", 40}, {"Beta", 41}})); }
std::string Band() { return ArrFile({{0, Rec("Rock", 3)}, {1, Rec("Jazz", 4)}}); }
// What a planted temporary file would put in the song's place.
std::string Planted() { return ArrFile({{0, Rec("Planted", 5)}}); }

// Every entry under a folder (hidden ones, links and folders included), by
// its path below the folder: a file by its length and a hash of its bytes,
// a link by its target.
using Snapshot = std::map<std::string, std::string>;

std::string Digest(const std::string& bytes) {
  uint64_t h = 14695981039346656037ull;
  for (const unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return "file of " + std::to_string(bytes.size()) + " bytes, hash " + std::to_string(h);
}

void Walk(const std::string& root, const std::string& below, Snapshot& out) {
  DIR* dir = ::opendir((root + below).c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
  ::closedir(dir);
  for (const std::string& n : names) {
    const std::string rel = below + "/" + n, full = root + rel;
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      char buf[4096];
      const ssize_t len = ::readlink(full.c_str(), buf, sizeof buf);
      out[rel] = "link to " + std::string(buf, len > 0 ? static_cast<size_t>(len) : 0);
    } else if (S_ISDIR(st.st_mode)) {
      out[rel] = "folder";
      Walk(root, rel, out);
    } else {
      out[rel] = Digest(ReadBytes(full));
    }
  }
}

Snapshot Take(const std::string& folder) {
  Snapshot s;
  Walk(folder, "", s);
  return s;
}

// Removes what a case put in a folder, folders included.
void Clear(const std::string& folder, const std::function<bool(const std::string&)>& ours) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != ".." && ours(e->d_name)) names.push_back(e->d_name);
  ::closedir(dir);
  for (const std::string& n : names) {
    const std::string p = folder + "/" + n;
    if (::unlink(p.c_str()) != 0) ::rmdir(p.c_str());
  }
}

}  // namespace

class PlantedRecordsTest : public DocWindowTest {
 protected:
  void SetUp() override {
    DocWindowTest::SetUp();
    ASSERT_TRUE(other_.isValid());
    ::chmod(other_.path().toLocal8Bit().constData(), 0755);
  }
  std::string P(const std::string& name) const { return ProgFile(name); }
  std::string O(const std::string& name) const { return Other() + "/" + name; }
  std::string Other() const { return QFile::encodeName(other_.path()).toStdString(); }
  std::string Prog() const { return QFile::encodeName(progDir_->path()).toStdString(); }

  frmArrU* OpenSong() {
    OpenThrough("mnuApriArr", "song.arr", false);
    return gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
  }
  void SaveAs(const std::string& path) {
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = path;
    answer.filterIndex = 6;
    dialogs_.fileAnswers.push_back(answer);
    main_->Item("mnuSalvaAs")->trigger();
  }
  static void DeleteLine(frmArrU* w, int line) {
    QListWidget* list = w->findChild<QListWidget*>("List1");
    ClickLine(list, line);
    QTest::keyClick(list, Qt::Key_Delete);
  }
  // The song and its style file, a file of notes beside them, and a private
  // style file and notes in another folder.
  void Fresh() {
    ::chmod(Prog().c_str(), 0700);
    Clear(Prog(), [](const std::string& n) {
      return n[0] == '.' || n.rfind("song.", 0) == 0 || n.rfind("copy.", 0) == 0 || n == "notes.txt";
    });
    Clear(Other(), [](const std::string&) { return true; });
    WriteBytes(P("song.arr"), Band());
    WriteBytes(P("song.sty"), StyleFile());
    WriteBytes(P("notes.txt"), "my notes");
    WriteBytes(O("notes.txt"), "private notes");
    WriteBytes(O("private.sty"), StyleFile());
  }
  // The names the engine gives the song's record and side files (which the
  // user's key derives from the song's name), learnt from a save of the
  // song and its style file that changes nothing.
  void LearnNames() {
    const auto names = SideNamesOf({{P("song.arr"), "x"}, {P("song.sty"), "y"}});
    record_ = names.at(P("song.arr")).record;
    temps_ = names.at(P("song.arr")).temps;
    ASSERT_FALSE(record_.empty());
    ASSERT_EQ(temps_.size(), 2u);
  }
  // A temporary file with Planted() and a second name of the song, at the
  // names a killed save of it would leave them, and the record's entry for
  // them.
  PlantedEntry SongEntry() {
    WriteBytes(temps_[0], Planted());
    ::link(P("song.arr").c_str(), temps_[1].c_str());
    return PlantedEntry{"replace", P("song.arr"), temps_[0], temps_[1], ""};
  }
  const std::string& Record() const { return record_; }
  // A path below the program folder as the snapshots name it.
  std::string Rel(const std::string& path) const { return path.substr(Prog().size()); }

  QTemporaryDir other_;
  std::string record_;
  std::vector<std::string> temps_;
};

// A record that passes every check but one: it was not made with the
// user's key (someone who can write a file of the user's at the record's
// name, or an archive, can write any bytes). The open of the song changes
// nothing and says nothing; the save removes only what stands at the names
// of the song's own side files.
TEST_F(PlantedRecordsTest, ARecordNotMadeWithTheUsersKeyIsLeftAlone) {
  StartPlain();
  Fresh();
  LearnNames();
  PlantOptions someone;
  someone.key = PlantKey::Someone;
  PlantRecord(Record(), {SongEntry()}, someone);
  const Snapshot before = Take(Prog());
  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Take(Prog()), before);
  EXPECT_EQ(ReadBytes(P("song.arr")), Band());
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty());
  Snapshot want = before;
  want["/song.arr"] = Digest(ReadBytes(P("song.arr")));
  want.erase(Rel(temps_[0]));
  want.erase(Rel(temps_[1]));
  EXPECT_EQ(Take(Prog()), want);
  EXPECT_NE(ReadBytes(P("song.arr")), Planted());
  Discard(w, 4);
}

TEST_F(PlantedRecordsTest, OpenSaveAndSaveAsActAsIfAPlantedRecordWereNotThere) {
  StartPlain();
  Fresh();
  LearnNames();
  const std::string rec = Rel(Record()), t0 = Rel(temps_[0]), t1 = Rel(temps_[1]);
  const struct {
    const char* what;
    std::function<void()> plant;
    // What the save removes: what stands at the names of the song's own
    // side files (leftovers of its saves), and a record there that only
    // this program could have written, once found stale or not about the
    // song's save, with what a stale one names.
    std::vector<std::string> goneAfterSave;
    bool asRoot;  // needs to act as another user
  } cases[] = {
      {"nothing planted", [] {}, {}, false},
      {"a file of another folder",
       [&] { PlantRecord(Record(), {SongEntry(), {"remove", O("notes.txt"), "", O(".notes.txt~brvGONE01"), ""}}); },
       {t0, t1, rec}, false},
      {"a name that leads out of its folder",
       [&] {
         const std::string up = "../" + QFileInfo(other_.path()).fileName().toStdString() + "/notes.txt";
         PlantRecord(Record(), {SongEntry(), {"remove", P("notes.txt"), "", P(".notes.txt~brvGONE01"), "", up}});
       },
       {t0, t1}, false},
      {"a folder named by a relative path",
       [&] {
         PlantRecord(Record(),
                     {SongEntry(), {"remove", P("song.sty"), "", P(".song.sty~brvGONE01"), "", "", "relative"}});
       },
       {t0, t1}, false},
      {"a link in the style file's place, written in place from planted old bytes",
       [&] {
         ::unlink(P("song.sty").c_str());
         ::symlink(O("private.sty").c_str(), P("song.sty").c_str());
         WriteBytes(P(".song.sty~brvOLD001"), "planted old bytes");
         WriteBytes(P(".song.sty~brvNEW001"), "planted new bytes");
         PlantRecord(Record(), {SongEntry(), {"inplace", P("song.sty"), P(".song.sty~brvNEW001"),
                                              P(".song.sty~brvOLD001"), ""}});
       },
       {t0, t1, rec}, false},
      {"the notes beside the song",
       [&] {
         WriteBytes(P(".notes.txt~brvPLANT2"), "planted notes");
         ::link(P("notes.txt").c_str(), P(".notes.txt~brvASIDE3").c_str());
         PlantRecord(Record(), {SongEntry(),
                                {"replace", P("notes.txt"), P(".notes.txt~brvPLANT2"), P(".notes.txt~brvASIDE3"), ""}});
       },
       {t0, t1, rec}, false},
      {"the style file taken away by a record that does not list itself",
       [&] {
         PlantOptions options;
         options.selfIdentity = false;
         PlantRecord(Record(), {{"remove", P("song.sty"), "", P(".song.sty~brvGONE02"), ""}}, options);
       },
       {}, false},
      {"the song overwritten from a temporary file that is not the one listed",
       [&] {
         PlantOptions options;
         options.tempInodeOffset = 1;
         PlantRecord(Record(), {SongEntry()}, options);
       },
       {t0, t1, rec}, false},
      {"a temporary file and an aside that are folders",
       [&] {
         ::mkdir(P(".song.arr~brvDIR001").c_str(), 0755);
         ::mkdir(P(".song.arr~brvDIR002").c_str(), 0755);
         PlantRecord(Record(), {{"replace", P("song.arr"), P(".song.arr~brvDIR001"), P(".song.arr~brvDIR002"), "x"}});
       },
       {rec}, false},
      {"a record of the earlier format",
       [&] {
         WriteBytes(temps_[0], Planted());
         PlantOldFormatRecord(Record(), "replace", P("song.arr"), temps_[0], "", Planted());
       },
       {t0}, false},
      {"a record of another user in a sticky folder",
       [&] {
         ::chmod(Prog().c_str(), 01777);
         PlantRecord(Record(), {SongEntry()});
         ChownTree(Record(), kOtherUid, kOtherGid);
       },
       {t0, t1}, true},
      {"a file of the user's that another user may write, linked at the record's name and rewritten by him",
       [&] {
         ::chmod(Prog().c_str(), 01777);
         ::chmod(P("notes.txt").c_str(), 0666);
         const int rc = RunAsUser(kOtherUid, kOtherGid, [&] {
           if (::link(P("notes.txt").c_str(), Record().c_str()) != 0) return 1;
           WriteBytes(temps_[0], Planted());  // his own "new content"
           PlantOptions options;
           options.key = PlantKey::Someone;
           options.intoExisting = true;
           PlantRecord(Record(), {{"replace", P("song.arr"), temps_[0], "", ""}}, options);
           return 0;
         });
         ASSERT_EQ(rc, 0) << "the other user's link";
       },
       {}, true},
  };
  std::string saved;  // what the save of the song writes, from the first case
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asRoot && !CanSwitchUsers()) continue;
    Fresh();
    c.plant();
    const Snapshot prog = Take(Prog()), other = Take(Other());
    dialogs_.Clear();

    frmArrU* w = OpenSong();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Take(Prog()), prog);
    EXPECT_EQ(Take(Other()), other);

    DeleteLine(w, 0);
    main_->Item("mnuSalva")->trigger();
    EXPECT_EQ(Asc(w->Tag(), 4), 0) << "saved";
    if (saved.empty()) saved = ReadBytes(P("song.arr"));
    Snapshot want = prog;
    want["/song.arr"] = Digest(saved);
    for (const std::string& gone : c.goneAfterSave) EXPECT_EQ(want.erase(gone), 1u) << gone;
    EXPECT_EQ(Take(Prog()), want);
    EXPECT_EQ(Take(Other()), other);

    SaveAs(P("copy.arr"));
    want["/copy.arr"] = Digest(saved);
    want["/copy.sty"] = Digest(StyleFile());
    EXPECT_EQ(Take(Prog()), want);
    EXPECT_EQ(Take(Other()), other);
    EXPECT_TRUE(dialogs_.boxes.empty()) << (dialogs_.boxes.empty() ? "" : dialogs_.boxes[0].text);
    Discard(w, 4);
  }
  EXPECT_NE(saved, Band());
}

// A killed save of the song and its style file, its leftovers copied away;
// the open resolves it, the user saves a pair of their own, and then the
// copies come back (an archive unpacked, a backup restored): the next open
// and save keep the user's pair, and change nothing of what came back but
// the temporary files of the song's own saves.
TEST_F(PlantedRecordsTest, TheLeftoversOfAKilledSaveBroughtBackAreLeftAlone) {
  StartPlain();
  Fresh();
  std::string killedArr = Band(), killedSty = StyleFile();
  MidAssign(killedArr, 300, "killed");
  MidAssign(killedSty, 40, "killed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    int renames = 0;
    SetFileFaultHook([&](const std::string& op, const std::string&) {
      if (op == "rename" && ++renames == 2) ::_exit(0);
      return 0;
    });
    WriteWholeFiles({{P("song.arr"), killedArr}, {P("song.sty"), killedSty}});
    ::_exit(1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  Snapshot leftovers;
  for (const auto& [name, bytes] : Take(Prog()))
    if (name.rfind("/.song.", 0) == 0) leftovers[name] = ReadBytes(Prog() + name);
  ASSERT_GE(leftovers.size(), 4u);  // two records, the style's new content, the old files aside

  // The open finishes the killed save; the user then saves a pair of their own.
  frmArrU* w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ReadBytes(P("song.arr")), killedArr);
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  const std::string mine = ReadBytes(P("song.arr"));
  ASSERT_NE(mine, killedArr);
  Discard(w, 4);
  WriteBytes(P("song.sty"), StyleFile());  // the user's style file, written anew

  for (const auto& [name, bytes] : leftovers) WriteBytes(Prog() + name, bytes);
  const Snapshot before = Take(Prog());
  dialogs_.Clear();
  w = OpenSong();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Take(Prog()), before);
  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  Snapshot want = before;
  want["/song.arr"] = Digest(ReadBytes(P("song.arr")));
  // The save of the song removes the temporary files named after it; those
  // of the style file wait for a save of the style file.
  for (const auto& [name, bytes] : leftovers)
    if (name.rfind("/.song.arr~brv", 0) == 0 && name.compare(name.size() - 5, 5, ".save") != 0) want.erase(name);
  EXPECT_EQ(Take(Prog()), want);
  EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());
  EXPECT_TRUE(dialogs_.boxes.empty());
  Discard(w, 4);
}

// Another user's symbolic links to a file in the user's private folder,
// where the user saves: at a new arrangement's style file in a folder
// everyone may write (1777), and in place of the user's arrangement file
// in one everyone may write without the sticky bit (777). File > Save As
// and File > Save write through neither: they change nothing and say so
// in one box naming the file and why.
TEST_F(PlantedRecordsTest, ASaveNeverWritesThroughAnotherUsersLink) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as another user";
  StartPlain();
  const struct {
    const char* what;
    mode_t folderMode;
    const char* link;  // where the other user puts his link
    bool saveAs;       // File > Save As to new.arr, else File > Save
  } cases[] = {
      {"at a new arrangement's style file, in a sticky folder", 01777, "new.sty", true},
      {"in place of the arrangement file, in a folder everyone may write", 0777, "song.arr", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    ::chmod(Other().c_str(), 0700);  // the user's private folder
    WriteBytes(O("important.txt"), "important");
    frmArrU* w = OpenSong();
    ASSERT_NE(w, nullptr);
    ::chmod(Prog().c_str(), c.folderMode);
    const std::string link = P(c.link);
    ASSERT_EQ(RunAsUser(kOtherUid, kOtherGid,
                        [&] {
                          ::unlink(link.c_str());
                          return ::symlink(O("important.txt").c_str(), link.c_str()) == 0 ? 0 : 1;
                        }),
              0);
    const Snapshot prog = Take(Prog()), other = Take(Other());
    dialogs_.Clear();
    DeleteLine(w, 0);
    if (c.saveAs)
      SaveAs(P("new.arr"));
    else
      main_->Item("mnuSalva")->trigger();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot write " + link + "\r\nThe file is a link another user made"});
    EXPECT_EQ(Take(Prog()), prog);
    EXPECT_EQ(Take(Other()), other);
    EXPECT_EQ(ReadBytes(O("important.txt")), "important");
    EXPECT_EQ(Asc(w->Tag(), 4), 1) << "not saved";
    Discard(w, 4);
    ::chmod(Other().c_str(), 0755);
  }
}

// The race made certain: a save of the song and its style file killed
// before the style file took its place, in a folder everyone may write
// (777). As the user's File > Open Arr puts the style file's new content
// in place, another user swaps it, just before the rename, for a link to a
// file in the user's private folder. Nothing but the regular file the
// resolve examined lands in the style file's place: the save is rolled
// back instead, the pair is the old one, the private file keeps its bytes,
// and the next save leaves the other user's link alone.
TEST_F(PlantedRecordsTest, AResolvePutsNothingButTheFileItExaminedInADocumentsPlace) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as another user";
  StartPlain();
  Fresh();
  ::chmod(Other().c_str(), 0700);
  WriteBytes(O("important.txt"), "important");
  ::chmod(Prog().c_str(), 0777);
  const std::string killedArr = Planted(), killedSty = StyFileBytes(StyGroupBytes({{"Gamma", 42}}));
  ASSERT_EQ(SaveInChild({{P("song.arr"), killedArr}, {P("song.sty"), killedSty}}, EndAt("rename", 2)), 0);
  ASSERT_EQ(ReadBytes(P("song.arr")), killedArr);

  // The style file's new content, waiting beside it.
  std::string waiting;
  for (const auto& [name, digest] : Take(Prog()))
    if (name.rfind("/.song.sty~brv", 0) == 0 && ReadBytes(Prog() + name) == killedSty) waiting = Prog() + name;
  ASSERT_FALSE(waiting.empty());
  int swaps = 0;
  SetFileFaultHook([&](const std::string& op, const std::string& path) {
    if (op == "resolve" && NameOf(path) == "song.sty" && swaps++ == 0) {
      RunAsUser(kOtherUid, kOtherGid, [&] {
        ::unlink(waiting.c_str());
        return ::symlink(O("important.txt").c_str(), waiting.c_str()) == 0 ? 0 : 1;
      });
    }
    return 0;
  });
  dialogs_.Clear();
  frmArrU* w = OpenSong();
  SetFileFaultHook(nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(swaps, 1);
  struct stat st {};
  ASSERT_EQ(::lstat(P("song.sty").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadBytes(P("song.sty")), StyleFile());
  EXPECT_EQ(ReadBytes(P("song.arr")), Band());
  EXPECT_EQ(ReadBytes(O("important.txt")), "important");
  ASSERT_EQ(::lstat(waiting.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the other user's link is left to him";
  EXPECT_TRUE(dialogs_.boxes.empty());

  DeleteLine(w, 0);
  main_->Item("mnuSalva")->trigger();
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  ASSERT_EQ(::lstat(P("song.sty").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadBytes(O("important.txt")), "important");
  std::vector<std::string> hidden;
  for (const auto& [name, digest] : Take(Prog()))
    if (name.rfind("/.", 0) == 0) hidden.push_back(Prog() + name);
  EXPECT_EQ(hidden, std::vector<std::string>{waiting}) << "nothing but the other user's link beside the pair";
  Discard(w, 4);
  ::chmod(Other().c_str(), 0755);
}

// Another user's file at the name of the song's record, while he holds the
// song's folder's flock: File > Open Arr takes no lock for a file that is
// not a record of ours, and no lock of ours is one he can hold, so it waits
// for nothing and shows no box.
TEST_F(PlantedRecordsTest, AnOpenBesideAnotherUsersFileAtARecordsNameWaitsForNoLock) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "needs root to act as another user";
  StartPlain();
  Fresh();
  LearnNames();
  ::chmod(Prog().c_str(), 01777);
  ASSERT_EQ(RunAsUser(kOtherUid, kOtherGid,
                      [&] {
                        WriteBytes(Record(), "Brenvolta save record 3\nhis junk\n");
                        return 0;
                      }),
            0);
  OtherUsersFlock his(Prog(), [] {});
  ASSERT_TRUE(his.Holds());
  SetSaveLockWait(3000);
  const Snapshot before = Take(Prog());
  dialogs_.Clear();
  const auto start = std::chrono::steady_clock::now();
  frmArrU* w = OpenSong();
  const auto took = std::chrono::steady_clock::now() - start;
  SetSaveLockWait(-1);
  ASSERT_NE(w, nullptr);
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Take(Prog()), before);
  Discard(w, 4);
}
