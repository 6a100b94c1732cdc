// A settings folder that cannot be written (locked, missing and not
// makeable, or full) is said once at the start, by name and reason, in the
// language in use; the program runs on without MIDI and writes nothing
// there, neither at the start nor at its exit.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

#include <map>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "midi/midilink.h"
#include "platform/files.h"
#include "platform/winfolder.h"
#include "tests/fixtures/asuser.h"
#include "tests/fixtures/mainfixture.h"

namespace {

// Every entry of a folder, hidden ones too, with its modification time and
// bytes: what the start and the exit must leave as they found it.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> entries;
  const QDir dir(QFile::decodeName(folder.c_str()));
  for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const std::string name = QFile::encodeName(entry).toStdString();
    struct stat st {};
    ::stat((folder + "/" + name).c_str(), &st);
    std::string bytes;
    ReadWholeFile(folder + "/" + name, bytes);
    entries[name] = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " + bytes;
  }
  return entries;
}

int DiskFull(const std::string& op, const std::string&, int) {
  return op == "put" || op == "write" ? kErrDiskFull : 0;
}
int WritesFail(const std::string& op, const std::string&, int) { return op == "write" ? kErrDiskFull : 0; }

const std::string kEnglishAfter =
    "\r\n\r\nThe settings will not be kept and MIDI stays off: the MIDI device locks and the device-sharing file "
    "are kept in this folder.";
const std::string kItalianAfter = Utf8ToLatin1(
    "\r\n\r\nLe impostazioni non saranno conservate e il MIDI resterà disattivato: i blocchi dei dispositivi MIDI e "
    "il file di condivisione dei dispositivi stanno in questa cartella.");

}  // namespace

class SettingsFolderTest;

namespace {

struct FolderCase {
  const char* name;
  bool needsPermissions;  // permission bits stop writes only for a user other than root
  // Prepares the folder; returns the settings folder the program is to use.
  std::string (*prepare)(SettingsFolderTest& t);
  int (*fault)(const std::string& op, const std::string& path, int n);  // null: none
  int language;       // the answer to the language question; 0: it is not asked
  std::string head;   // the box's text before the folder's name
  std::string tail;   // and after it
  const char* title;
  bool checkPasses = false;  // the check's small write goes through, a later write fails
};

std::ostream& operator<<(std::ostream& out, const FolderCase& c) { return out << c.name; }

}  // namespace

class SettingsFolderTest : public MainFixture, public ::testing::WithParamInterface<FolderCase> {
 public:
  using MainFixture::WinFile;
  using MainFixture::WriteBytes;
  std::string Root() const { return QFile::encodeName(winDir_->path()).toStdString(); }
  // The files an earlier session left in the folder.
  void EarlierSession(int language) {
    WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(language).bytes());
    WriteBytes(WinFile("Veltrano"), "Veltrano" + Nuls(137));
    WriteBytes(WinFile("TessaroInfo"), PadRight("TessaroInfo", 1000));
    WriteBytes(WinFile("Brenvolta.lock"), "");
  }
  void Lock(const std::string& folder) {
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    locked_.push_back(folder);
  }

 protected:
  void TearDown() override {
    for (const std::string& f : locked_) ::chmod(f.c_str(), 0755);
    MainFixture::TearDown();
  }
  std::vector<std::string> locked_;
};

TEST_P(SettingsFolderTest, IsSaidOnceAndNothingIsWrittenThere) {
  const FolderCase& c = GetParam();
  // Permission bits stop no write of root's: as root such a case runs as an
  // ordinary user, who owns the folders.
  std::unique_ptr<EffectiveUser> user;
  const std::string folder = c.prepare(*this);
  if (c.needsPermissions && CanSwitchUsers()) {
    ASSERT_TRUE(ChownTree(Root(), kTestUid, kTestGid));
    ASSERT_TRUE(ChownTree(QFile::encodeName(progDir_->path()).toStdString(), kTestUid, kTestGid));
    user = std::make_unique<EffectiveUser>();
    ASSERT_TRUE(user->Switched());
  }
  SetWinFolder(folder);
  const auto before = Snapshot(folder);
  const bool lockFileThere = Exists(folder + "/Brenvolta.lock");
  std::unique_ptr<FaultHook> fault;
  if (c.fault) fault = std::make_unique<FaultHook>(c.fault);
  if (c.language != 0) dialogs_.languageAnswers = {c.language};

  Start();
  EXPECT_EQ(dialogs_.languageCalls, c.language != 0 ? 1 : 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.head + folder + c.tail});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{c.title});
  EXPECT_TRUE(main_->isVisible());
  EXPECT_EQ(gMidiState, 0);
  auto started = Snapshot(folder);
  if (c.checkPasses) {
    // The folder was found out only after the lock files were taken: the
    // one-copy lock, and the save lock by the first write that failed.
    EXPECT_EQ(ReadBytes(folder + "/Brenvolta.lock"), "");
    started.erase("Brenvolta.lock");
    started.erase("saves.lock");
  }
  EXPECT_EQ(started, before);
  // A lock file an earlier run left is still taken (taking it writes
  // nothing); none is made.
  FileLock other;
  if (lockFileThere) {
    EXPECT_EQ(other.TryLock(folder + "/Brenvolta.lock"), FileLock::Held);
  }

  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->isVisible());
  EXPECT_EQ(dialogs_.boxes.size(), 1u);  // none at the exit
  auto ended = Snapshot(folder);
  if (c.checkPasses) {
    ended.erase("Brenvolta.lock");
    ended.erase("saves.lock");
  }
  EXPECT_EQ(ended, before);
  EXPECT_TRUE(midi_->Calls().empty());
}

namespace {

const std::string kCannotBeWritten = "The settings folder ";
const std::string kNonScrivibile = "Impossibile scrivere nella cartella delle impostazioni ";

const FolderCase kFolderCases[] = {
    {"LockedWithTheFilesOfAnEarlierSession", true,
     [](SettingsFolderTest& t) {
       t.EarlierSession(2);
       t.Lock(t.Root());
       return t.Root();
     },
     nullptr, 0, kCannotBeWritten, " cannot be written:\r\nWriting not permitted" + kEnglishAfter,
     "Opening Brenvolta"},
    {"MissingInALockedFolder", true,
     [](SettingsFolderTest& t) {
       KillFile(t.WinFile("Brenvolta.ini"));
       ::mkdir((t.Root() + "/config").c_str(), 0755);
       t.Lock(t.Root() + "/config");
       return t.Root() + "/config/Brenvolta";
     },
     nullptr, 1, "Impossibile creare la cartella delle impostazioni ", ":\r\nScrittura non consentita" + kItalianAfter,
     "Apertura di Brenvolta"},
    {"MissingBelowAFile", false,
     [](SettingsFolderTest& t) {
       t.WriteBytes(t.Root() + "/plainfile", "x");
       return t.Root() + "/plainfile/Brenvolta";
     },
     nullptr, 2, kCannotBeWritten, " cannot be created:\r\nPath not found" + kEnglishAfter, "Opening Brenvolta"},
    {"FullAtAFirstStart", false,
     [](SettingsFolderTest& t) {
       KillFile(t.WinFile("Brenvolta.ini"));
       return t.Root();
     },
     DiskFull, 2, kCannotBeWritten, " cannot be written:\r\nDisk full" + kEnglishAfter, "Opening Brenvolta"},
    {"FullWithTheFilesOfAnEarlierSession", false,
     [](SettingsFolderTest& t) {
       t.EarlierSession(1);
       return t.Root();
     },
     DiskFull, 0, kNonScrivibile, ":\r\nDisco pieno" + kItalianAfter, "Apertura di Brenvolta"},
    // The small write of the check goes through, the first start's own
    // writes do not: they count the same, and leave what they found.
    {"FullAfterTheCheckWithFilesFoundWhole", false,
     [](SettingsFolderTest& t) {
       KillFile(t.WinFile("Brenvolta.ini"));
       t.WriteBytes(t.WinFile("Veltrano"), "Veltrano" + Nuls(137));
       t.WriteBytes(t.WinFile("TessaroInfo"), std::string(999, 'z'));
       return t.Root();
     },
     WritesFail, 2, kCannotBeWritten, " cannot be written:\r\nDisk full" + kEnglishAfter, "Opening Brenvolta", true},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Folders, SettingsFolderTest, ::testing::ValuesIn(kFolderCases),
                         [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });
