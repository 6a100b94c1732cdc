#include "app/startup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/shareddev.h"
#include "app/sharedinfo.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "midi/midilink.h"
#include "platform/files.h"
#include "platform/midi/winmm.h"
#include "platform/twips.h"
#include "platform/winfolder.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/settingsimage.h"

namespace {

// A device-sharing record with its fields; the carried bytes hold marks so
// that a test sees they come back unchanged.
std::string DevRec(int count, int running, uint32_t out = 0, uint32_t in = 0, const std::string& tag = "Veltrano") {
  std::string r = PadRight(tag, 8, '\0') + Nuls(137);
  PutU32LE(r, 10, out);
  MidAssign(r, 14, Chr(count));
  MidAssign(r, 15, "abc");
  MidAssign(r, 18, Chr(running));
  MidAssign(r, 19, std::string(27, 'r'));
  PutU32LE(r, 46, in);
  MidAssign(r, 50, std::string(75, 't'));
  MidAssign(r, 125, std::string(20, 'u'));
  MidAssign(r, 145, "Z");
  return r;
}

std::string WithFields(std::string r, int count, int running, uint32_t out, uint32_t in) {
  PutU32LE(r, 10, out);
  MidAssign(r, 14, Chr(count));
  MidAssign(r, 18, Chr(running));
  PutU32LE(r, 46, in);
  return r;
}

// The default record as this program makes it, with the given fields.
std::string DefaultRec(int count, int running, uint32_t out, uint32_t in, char byte145 = '\0') {
  std::string r = "Veltrano" + Nuls(41) + Space(24) + Nuls(1) + Space(24) + Nuls(1) + Space(24) + Nuls(21) + byte145;
  return WithFields(r, count, running, out, in);
}

}  // namespace

class StartupTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(2).bytes());
    SetMainWindowShow([this] { ++shown_; });
  }
  std::string Dev() const { return ReadBytes(WinFile("Veltrano")); }
  void PutDev(const std::string& r) { WriteBytes(WinFile("Veltrano"), r); }
  int shown_ = 0;
};

TEST_F(StartupTest, FreeWithoutAFileTheProgramBecomesTheOwner) {
  ASSERT_TRUE(Main());
  EXPECT_EQ(shown_, 1);
  EXPECT_FALSE(gStarting);
  EXPECT_TRUE(gMidiOwner);
  EXPECT_TRUE(gMidiOpenedHere);
  EXPECT_EQ(gMidiState, 1);
  EXPECT_NE(gMidiOutHandle, 0u);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, gMidiOutHandle, gMidiInHandle));
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gAppDir, ProgFile("").substr(0, ProgFile("").size() - 1));
  EXPECT_EQ(gArrAPath, ProgFile("r40ArrA"));
  EXPECT_EQ(gGuideEnPath, ProgFile("Brenvolta_UserGuide.txt"));
}

TEST_F(StartupTest, AWrongTagIsReplacedByTheDefaultRecord) {
  PutDev(DevRec(3, 1, 77, 88, "Another!"));
  ASSERT_TRUE(Main());
  EXPECT_TRUE(gMidiOwner);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, gMidiOutHandle, gMidiInHandle, 'Z'));
}

TEST_F(StartupTest, UserCountZeroIsFreeAndKeepsTheCarriedBytes) {
  PutDev(DevRec(0, 0, 77, 88));
  ASSERT_TRUE(Main());
  EXPECT_TRUE(gMidiOwner);
  EXPECT_EQ(Dev(), WithFields(DevRec(0, 0), 1, 1, gMidiOutHandle, gMidiInHandle));
}

TEST_F(StartupTest, AStaleRecordIsResetWhenBothDevicesOpen) {
  PutDev(DevRec(3, 0, 77, 88));
  ASSERT_TRUE(Main());
  EXPECT_TRUE(gMidiOwner);
  EXPECT_TRUE(gMidiOpenedHere);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, gMidiOutHandle, gMidiInHandle, 'Z'));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(StartupTest, AHeldOutputIsBorrowed) {
  const std::string before = DevRec(1, 0, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  ASSERT_TRUE(Main());
  EXPECT_FALSE(gMidiOwner);
  EXPECT_FALSE(gMidiOpenedHere);
  EXPECT_EQ(gMidiOutHandle, 0x1234u);
  EXPECT_EQ(gMidiInHandle, 0x5678u);
  EXPECT_EQ(gMidiState, 1);
  EXPECT_EQ(Dev(), WithFields(before, 2, 1, 0x1234, 0x5678));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(StartupTest, AHeldInputIsBorrowedAndTheOwnOutputClosedFirst) {
  const std::string before = DevRec(1, 0, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiInOpen", MMSYSERR_ALLOCATED);
  ASSERT_TRUE(Main());
  EXPECT_EQ(midi_->CallsNamed("midiOutClose").size(), 1u);
  EXPECT_EQ(gMidiOutHandle, 0x1234u);
  EXPECT_EQ(Dev(), WithFields(before, 2, 1, 0x1234, 0x5678));
}

TEST_F(StartupTest, ASecondInstanceIsRefusedAndTheFileUnchanged) {
  const std::string before = DevRec(1, 1, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_FALSE(Main());
  EXPECT_EQ(shown_, 0);
  EXPECT_EQ(gStartStatus, 1);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Not more than one instance is allowed");
  EXPECT_EQ(dialogs_.boxes[0].title, "Opening Brenvolta");
  EXPECT_EQ(Dev(), before);
}

TEST_F(StartupTest, AFailedInputInFreeKeepsTheOutputPublished) {
  midi_->SetResult("midiInOpen", MMSYSERR_BADDEVICEID);
  ASSERT_TRUE(Main());
  // The open's own result box first, then the start-up's two.
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Error opening Output MIDI Device",
                                                   "Error Opening the MIDI Input Device",
                                                   "The MIDI Device will not be used"}));
  EXPECT_EQ(BoxTitles(), (std::vector<std::string>{kAppTitle, "Opening MIDI out device", "Opening MIDI out device"}));
  EXPECT_EQ(gMidiState, 0);
  EXPECT_TRUE(gMidiOwner);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, gMidiOutHandle, 0));
}

TEST_F(StartupTest, AFailedOutputInFreeRunsWithoutMidi) {
  midi_->SetResult("midiOutOpen", MMSYSERR_NODRIVER);
  ASSERT_TRUE(Main());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Error opening Output MIDI Device",
                                                   "Error opening Output MIDI Device",
                                                   "The MIDI Device will not be used"}));
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, 0, 0));
}

TEST_F(StartupTest, AFailureWhileInUseDoesNotCountThisProgramIn) {
  const std::string before = DevRec(2, 0, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiOutOpen", MMSYSERR_NODRIVER);
  ASSERT_TRUE(Main());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Error opening Output MIDI Device",
                                                   "The MIDI Device will not be used"}));
  EXPECT_EQ(Dev(), WithFields(before, 2, 1, 0x1234, 0x5678));
  EXPECT_FALSE(gSharedDevCounted);
  // The exit then only clears the running flag.
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Dev(), WithFields(before, 2, 0, 0x1234, 0x5678));
}

TEST_F(StartupTest, NoOutputDeviceWhileInUseLeavesTheRecordAlone) {
  const std::string before = DevRec(1, 1, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetDeviceCounts(0, 0);
  ASSERT_TRUE(Main());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Output MIDI Device not found"}));
  EXPECT_EQ(BoxTitles()[0], kAppTitle);
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(Dev(), before);
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Dev(), before);
}

TEST_F(StartupTest, NoOutputDeviceWhenFreeWritesTheRecordWithoutHandles) {
  midi_->SetDeviceCounts(0, 0);
  ASSERT_TRUE(Main());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Output MIDI Device not found"}));
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(Dev(), DefaultRec(1, 1, 0, 0));
  EXPECT_EQ(shown_, 1);
}

TEST_F(StartupTest, ThruIsConnectedOnlyWhenThisProgramOpenedBothDevices) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 46, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  ASSERT_TRUE(Main());
  EXPECT_EQ(midi_->ThruConnections().size(), 1u);
  EXPECT_TRUE(midi_->InputStarted(0));
}

TEST_F(StartupTest, NoThruWithBorrowedDevices) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 46, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  PutDev(DevRec(1, 0, 0x1234, 0x5678));
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  ASSERT_TRUE(Main());
  EXPECT_TRUE(midi_->ThruConnections().empty());
  EXPECT_TRUE(midi_->CallsNamed("midiConnect").empty());
}

TEST_F(StartupTest, AUserCountThatWouldPass255EndsTheStartUnwritten) {
  const std::string before = DevRec(255, 0, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_FALSE(Main());
  EXPECT_EQ(shown_, 0);
  EXPECT_EQ(gStartStatus, 1);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Opening MIDI out device");
  EXPECT_EQ(Dev(), before);
}

TEST_F(StartupTest, AShortFileReadsItsMissingBytesAsZerosAndALongOneKeepsItsTail) {
  PutDev("Veltrano");
  ASSERT_TRUE(Main());  // count 0: free
  EXPECT_EQ(Dev(), WithFields("Veltrano" + Nuls(137), 1, 1, gMidiOutHandle, gMidiInHandle));

  midiplatform::Shutdown();
  midi_ = &VirtualMidi::Install(1, 1);
  ResetProgramState();
  SetMainWindowShow([] {});
  PutDev(DevRec(0, 0) + "TAIL");
  ASSERT_TRUE(Main());
  EXPECT_EQ(Mid(Dev(), 146), "TAIL");
}

// The user's Cancel of the language question ends the start with status 0,
// before any file is written, whether the folder can be written or not (no
// box then: the user has chosen to stop).
TEST_F(StartupTest, ACancelledLanguageChoiceEndsBeforeTheDeviceFile) {
  for (bool writable : {true, false}) {
    SCOPED_TRACE(writable);
    ResetProgramState();
    dialogs_.Clear();
    KillFile(WinFile("Brenvolta.ini"));
    if (!writable) {
      WriteBytes(WinFile("plainfile"), "x");  // a folder below a file can never be made
      SetWinFolder(WinFile("plainfile/Brenvolta"));
    }
    dialogs_.languageAnswers = {0};
    EXPECT_FALSE(Main());
    EXPECT_EQ(shown_, 0);
    EXPECT_EQ(gStartStatus, 0);
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_FALSE(Exists(WinFile("Brenvolta.ini")));
    EXPECT_FALSE(Exists(WinFile("Veltrano")));
    EXPECT_FALSE(Exists(WinFile("TessaroInfo")));
    EXPECT_TRUE(midi_->Calls().empty());
  }
}

// A settings folder that cannot be made is said (the window tests show the
// box); the start goes on without MIDI and leaves the device-sharing step to
// the exit untouched.
TEST_F(StartupTest, AnUnmakeableWindowsFolderRunsWithoutMidi) {
  WriteBytes(WinFile("plainfile"), "x");  // a folder below a file can never be made
  SetWinFolder(WinFile("plainfile/Brenvolta"));
  dialogs_.languageAnswers = {2};
  ASSERT_TRUE(Main());
  EXPECT_EQ(shown_, 1);
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening Brenvolta"});
  EXPECT_EQ(gMidiState, 0);
  EXPECT_EQ(ExitDeviceSharing(), kExitGoOn);
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_TRUE(midi_->Calls().empty());
}

// A device record that cannot be written in a folder that passed the check
// ends the start with status 1, and the file the start made for it is not
// left empty.
TEST_F(StartupTest, AFailedDeviceRecordEndsTheStartAndLeavesNoEmptyFile) {
  FaultHook fault([](const std::string& op, const std::string& path, int) {
    return op == "put" && path.find("Veltrano") != std::string::npos ? kErrDiskFull : 0;
  });
  EXPECT_FALSE(Main());
  EXPECT_EQ(shown_, 0);
  EXPECT_EQ(gStartStatus, 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Disk full"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening MIDI out device"});
  EXPECT_FALSE(Exists(WinFile("Veltrano")));
}

// Another program in the device record's read-modify-write keeps it to
// itself across a first start, which writes the file whole (a new file put
// in the old one's place): the start waits for it, then goes on; this
// program, the next to come, is still kept out until the other lets go.
TEST_F(StartupTest, TheDeviceRecordsLockHoldsAcrossAFirstStartsWrite) {
  for (bool fileThere : {false, true}) {
    SCOPED_TRACE(fileThere);
    ResetProgramState();
    dialogs_.Clear();
    KillFile(WinFile("Brenvolta.ini"));
    KillFile(WinFile("Veltrano"));
    if (fileThere) PutDev(DevRec(0, 0) + "tail");
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The other program: holds the record's lock until told to end.
      ::close(ready[0]);
      ::close(go[1]);
      gSharedDevLockWaitMs = 0;
      SharedDevLock other;
      const char held = other.held() ? '1' : '0';
      if (::write(ready[1], &held, 1) != 1) ::_exit(2);
      char c;
      while (::read(go[0], &c, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, '1');

    gSharedDevLockWaitMs = 100;
    dialogs_.languageAnswers = {2};
    ASSERT_TRUE(Main());
    // The record as a first start has always written it, the bytes past it
    // kept.
    EXPECT_EQ(Dev(), DefaultRec(1, 1, gMidiOutHandle, gMidiInHandle) + (fileThere ? "tail" : ""));
    {
      gSharedDevLockWaitMs = 0;
      SharedDevLock next;
      EXPECT_FALSE(next.held());
    }
    ::close(go[1]);
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    SharedDevLock after;
    EXPECT_TRUE(after.held());
    StartupReset();  // the one-copy lock, for the next round
  }
}

// The settings, the device-sharing file and the info file are read only
// when they are files: a pipe in their place is left as it is, nothing
// waits on it, and the start says what it could not read.
TEST_F(StartupTest, SharedFilesThatAreNotFilesAreLeftAsTheyAre) {
  const struct {
    const char* name;
    bool shown;
    std::vector<std::string> texts;
    const char* title;
  } cases[] = {
      // No language is known yet: the texts of the start, in Italian.
      {"Brenvolta.ini", false, {"File assente"}, "Apertura di Brenvolta.ini"},
      {"Veltrano", false, {"Disk reading error"}, "Opening MIDI out device"},
      {"TessaroInfo", true, {}, ""},  // the info file is optional: no names
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetProgramState();
    SetTwipsPerPixel(15);
    SetMainWindowShow([this] { ++shown_; });
    shown_ = 0;
    dialogs_.Clear();
    for (const char* f : {"Brenvolta.ini", "Veltrano", "TessaroInfo"}) ::unlink(WinFile(f).c_str());
    if (std::string(c.name) != "Brenvolta.ini") WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(2).bytes());
    ASSERT_EQ(::mkfifo(WinFile(c.name).c_str(), 0644), 0);
    EXPECT_EQ(Main(), c.shown);
    EXPECT_EQ(shown_, c.shown ? 1 : 0);
    if (!c.shown) {
      EXPECT_EQ(gStartStatus, 1);
    }
    EXPECT_EQ(BoxTexts(), c.texts);
    if (!c.texts.empty()) {
      EXPECT_EQ(BoxTitles(), std::vector<std::string>{c.title});
    }
    EXPECT_EQ(dialogs_.languageCalls, 0);
    EXPECT_EQ(KindOfFile(WinFile(c.name)), FileKind::Other);
  }
  // The info file that is a pipe names nothing and is never written.
  EXPECT_EQ(SharedInfoRead(), "");
  EXPECT_EQ(SharedInfoPutArr(Nuls(20) + PadRight("/m/song", 238)), 1);
  EXPECT_EQ(KindOfFile(WinFile("TessaroInfo")), FileKind::Other);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

class ExitTest : public StartupTest {};

TEST_F(ExitTest, TheOwnerAloneClearsTheRecordAndClosesTheDevices) {
  ASSERT_TRUE(Main());
  midi_->ClearRecords();
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Dev(), DefaultRec(0, 0, 0, gMidiInHandle));
  EXPECT_EQ(midi_->CallsNamed("midiOutClose").size(), 1u);
  EXPECT_EQ(midi_->CallsNamed("midiInClose").size(), 1u);
  EXPECT_EQ(gMidiOpen, 0);
}

TEST_F(ExitTest, TheOwnerIsRefusedWhileOthersAreCounted) {
  ASSERT_TRUE(Main());
  const std::string counted = WithFields(Dev(), 2, 1, gMidiOutHandle, gMidiInHandle);
  PutDev(counted);
  gClosing = true;
  EXPECT_TRUE(ExitDeviceSharing());
  EXPECT_FALSE(gClosing);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Close before all other applications"}));
  EXPECT_EQ(BoxTitles()[0], "Closing MIDI out device");
  EXPECT_EQ(Dev(), counted);
  EXPECT_TRUE(midi_->CallsNamed("midiOutClose").empty());
  // Once the other program has counted itself out, the exit goes through.
  PutDev(WithFields(counted, 1, 1, gMidiOutHandle, gMidiInHandle));
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Asc(Dev(), 14), 0);
}

TEST_F(ExitTest, ACountASiblingLeftAtZeroNeverRefusesTheOwner) {
  ASSERT_TRUE(Main());
  PutDev(WithFields(Dev(), 0, 0, gMidiOutHandle, gMidiInHandle));
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(ExitTest, ABorrowerCountsItselfOut) {
  const std::string before = DevRec(1, 0, 0x1234, 0x5678);
  PutDev(before);
  midi_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  ASSERT_TRUE(Main());
  midi_->ClearRecords();
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Dev(), WithFields(before, 1, 0, 0x1234, 0x5678));
  EXPECT_TRUE(midi_->CallsNamed("midiOutClose").empty());
}

TEST_F(ExitTest, AnInvalidRecordAtExitIsDeletedAndTheDevicesClosed) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 46, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  ASSERT_TRUE(Main());
  PutDev(DevRec(1, 1, 0, 0, "Another!"));
  midi_->ClearRecords();
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_FALSE(Exists(WinFile("Veltrano")));
  const auto calls = midi_->Calls();
  std::vector<std::string> names;
  for (const auto& c : calls) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"midiOutClose", "midiDisconnect", "midiInClose"}));
}

TEST_F(StartupTest, WithoutASequencerTheProgramStartsWithoutMidi) {
  midiplatform::UseAlsaBackend();
  if (midiplatform::NoDeviceReason().empty()) GTEST_SKIP() << "this machine has a MIDI sequencer";
  testing::internal::CaptureStderr();
  ASSERT_TRUE(Main());
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown_, 1);
  EXPECT_EQ(gMidiState, 0);
  // The box says why: it is no use replugging the interface.
  const std::string reason = midiplatform::NoDeviceReason();
  EXPECT_EQ(Left(reason, 16), "ALSA sequencer: ");
  // A machine without /dev/snd/seq (a container, the module not loaded) is
  // told what provides it.
  const std::string missing =
      "The sequencer device (/dev/snd/seq) is missing: the snd-seq kernel module provides it.";
  const bool deviceMissing = reason == "ALSA sequencer: No such file or directory";
  EXPECT_EQ(midiplatform::SequencerDeviceMissing(), deviceMissing);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Output MIDI Device not found\r\n" + reason +
                                                  (deviceMissing ? "\r\n" + missing : "")}));
  EXPECT_EQ(BoxTitles(), (std::vector<std::string>{"Brenvolta - Brenvolta v 2.0 "}));
  EXPECT_EQ(printed, reason + "\n" + (deviceMissing ? missing + "\n" : ""));
  EXPECT_EQ(Dev(), DefaultRec(1, 1, 0, 0));
  EXPECT_FALSE(ExitDeviceSharing());
  EXPECT_EQ(Asc(Dev(), 14), 0);
}
