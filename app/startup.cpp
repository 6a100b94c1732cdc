#include "app/startup.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <thread>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/settings.h"
#include "app/shareddev.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "midi/midilink.h"
#include "platform/files.h"
#include "platform/winfolder.h"

const std::string kInstanceLockName = "Brenvolta.lock";

bool gMidiOwner = false;
bool gMidiOpenedHere = false;
bool gSharedDevCounted = false;
bool gSharedDevUntouched = false;
int gStartStatus = 0;

static std::function<void()> sMainWindowShow;
// Held from the start of Main to the end of the process: the lock file, and
// in a settings folder that cannot be written the folder itself.
static FileLock sInstanceLock;
static FileLock sFolderLock;

std::string InstanceLockPath() { return WinPath(kInstanceLockName); }

void SetMainWindowShow(std::function<void()> show) { sMainWindowShow = std::move(show); }

// Run-time error number of a user count that would pass 255 (an overflow).
constexpr int kErrOverflow = 6;

namespace {

enum class Device { Output, Input };

int SettleDevicesIn(RecordFile& f);

// Steps 5 and 6 of Main. Returns 0 when the start goes on, -1 when the
// program ends (second instance), or a run-time error number.
int SettleDevices() {
  gOpCaption = Res(113);
  gMidiOpenedHere = false;
  // The open makes a missing file, empty: should the record not be written
  // into it, it is removed again rather than left empty.
  SharedDevLock lock;
  const bool existed = KindOfFile(SharedDevPath()) != FileKind::Missing;
  RecordFile f;
  int err = f.Open(SharedDevPath(), kSharedDevLen);
  if (err == 0) err = SettleDevicesIn(f);
  if (f.IsOpen()) f.Close();
  long long len = 0;
  if (err > 0 && !existed && FileLength(SharedDevPath(), len) == 0 && len == 0) KillFile(SharedDevPath());
  return err;
}

// The record read, the decision and the write, in the open file f.
int SettleDevicesIn(RecordFile& f) {
  std::string rec;
  int err = f.Get(1, rec);
  if (err != 0) return err;
  gSharedDev.image = rec;

  enum class Outcome { Free, InUse } start;
  if (gSharedDev.Tag() != kSharedDevName) {
    SharedDevRecInit();
    start = Outcome::Free;
  } else if (gSharedDev.UserCount() == 0) {
    start = Outcome::Free;
  } else {
    start = Outcome::InUse;
  }

  Device failed = Device::Output;
  bool failure = false;
  bool borrow = false;
  bool second = false;

  if (start == Outcome::Free) {
    gSharedDev.SetUserCount(1);
    gSharedDev.SetRunning(1);
    gSharedDevCounted = true;
    gMidiGuest = false;
    if (MidiOutOpen() != 0) {
      failed = Device::Output;
      failure = true;
    } else {
      gSharedDev.SetOutHandle(gMidiOutHandle);
      gMidiOwner = true;
      if (MidiInOpen() != 0) {
        failed = Device::Input;
        failure = true;
      } else {
        gSharedDev.SetInHandle(gMidiInHandle);
        gMidiOpenedHere = true;
      }
    }
  } else {
    gMidiOwner = false;
    gMidiGuest = true;
    int r = MidiOutOpen();
    if (r == 0 && gMidiState == 0) {
      // No output device at all: the record is not stale, it belongs to
      // the programs that hold it. Run without MIDI and leave it alone.
      gMidiGuest = false;
      gSharedDevUntouched = true;
      f.Close();
      return 0;
    }
    if (r == 0) {
      r = MidiInOpen();
      if (r == 0) {
        // Both devices opened although the record counts users: stale.
        gMidiGuest = false;
        SharedDevRecInit();
        gSharedDev.SetUserCount(1);
        gSharedDev.SetRunning(1);
        gSharedDev.SetOutHandle(gMidiOutHandle);
        gSharedDev.SetInHandle(gMidiInHandle);
        gMidiOpenedHere = true;
        gMidiOwner = true;
        gSharedDevCounted = true;
      } else {
        failed = Device::Input;
        // A non-owner keeps no device it never publishes and never closes.
        midiOutClose(gMidiOutHandle);
        gMidiOutHandle = 0;
      }
    } else {
      failed = Device::Output;
    }
    if (r != 0) {
      if (r == static_cast<int>(MMSYSERR_ALLOCATED)) {
        gMidiGuest = false;
        if (gSharedDev.Running() == 0)
          borrow = true;
        else
          second = true;
      } else if (gSharedDev.Running() != 0) {
        second = true;
      } else {
        failure = true;
      }
    }
  }

  if (second) {
    f.Close();
    gOpCaption = Res(111) + "Brenvolta";
    ShowMsg(10, gOpCaption, "");
    return -1;
  }
  if (borrow) {
    gMidiOwner = false;
    const int count = gSharedDev.UserCount() + 1;
    if (count > 255) return kErrOverflow;
    gSharedDev.SetUserCount(count);
    gSharedDev.SetRunning(1);
    gSharedDevCounted = true;
    gMidiOutHandle = gSharedDev.OutHandle();
    gMidiInHandle = gSharedDev.InHandle();
  }
  if (failure) {
    gSharedDev.SetRunning(1);
    gMidiGuest = false;
    ShowMsg(failed == Device::Output ? 21 : 34, gOpCaption, "");
    ShowMsg(35, gOpCaption, "");
    gMidiState = 0;
  }
  err = f.Put(1, gSharedDev.image);
  f.Close();
  return err;
}

// How long a copy whose settings folder can be written looks for the
// folder's lock to be free before it takes it for another copy's.
constexpr int kFolderLockLookMs = 500;

// The one-copy check, after the folder's check. Two locks, which no copy
// ever writes into:
// - the lock file Brenvolta.lock, made where the folder can be written and
//   taken where it stands (taking it writes nothing), held for the run;
// - the folder itself, which needs no file there: held for the run by a
//   copy whose folder cannot be written, and only looked at by one that can
//   write there, so that no lock stays on the folder that its own files are
//   saved in.
// Each copy takes its own lock first and then looks at the other one, so
// that of two copies starting at once one always sees the other. True when
// another copy holds either lock. A lock file that cannot be made at all,
// or a folder that cannot be opened (it is missing), does not stop the
// start; the settings and device files report their own faults.
bool AnotherCopyRuns() {
  const std::string lockFile = InstanceLockPath();
  if (gSettingsFolderLocked) {
    if (!sFolderLock.IsHeld() && sFolderLock.TryLockFolder(WinFolderPath()) == FileLock::Held) return true;
    return FileExists(lockFile) && !sInstanceLock.IsHeld() &&
           sInstanceLock.TryLock(lockFile) == FileLock::Held;
  }
  if (!sInstanceLock.IsHeld() && sInstanceLock.TryLock(lockFile) == FileLock::Held) return true;
  if (sFolderLock.IsHeld()) return false;
  // Another copy holds the folder for its whole run; anyone else only for a
  // moment.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFolderLockLookMs);
  FileLock look;
  for (;;) {
    if (look.TryLockFolder(WinFolderPath()) != FileLock::Held) return false;
    if (std::chrono::steady_clock::now() >= deadline) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

bool Main() {
  gStarting = true;
  gStartCancelled = false;
  gAppDir = QFile::encodeName(QDir::currentPath()).toStdString();
  gArrAPath = gAppDir + kPathSep + "r40ArrA";
  gArrBPath = gAppDir + kPathSep + "r40ArrB";
  gPrgBankPath = gAppDir + kPathSep + "r40Prg";
  gStyTemplatePath = gAppDir + kPathSep + "r40Sty";
  gGuideItPath = gAppDir + kPathSep + "Brenvolta_GuidaUtente.txt";
  gGuideEnPath = gAppDir + kPathSep + "Brenvolta_UserGuide.txt";

  gStartStatus = 1;  // until the window shows, only the language Cancel ends the start with 0

  // Whether the settings folder can be written is found out first: in a
  // folder that cannot, nothing is made, not even the lock file.
  SettingsFolderCheck();

  // One copy per settings folder: another copy's exit would write its
  // settings over this one's, and two copies would share the device record.
  if (AnotherCopyRuns()) {
    // What this copy took it holds no longer.
    sInstanceLock.Unlock();
    sFolderLock.Unlock();
    // The language is looked up in the settings as they stand, changing
    // nothing; without one the texts stay in the language of the start
    // (Italian), as every message before the settings are read.
    const int lang = SettingsLanguage();
    if (lang != 0) gLangBase = (lang - 1) * 200;
    gOpCaption = Res(111) + "Brenvolta";
    ShowMsg(10, gOpCaption, "");
    return false;
  }

  InitApp();
  if (gStartCancelled) return false;

  if (gSettingsFolderLocked) {
    // The one box of a folder that cannot be written, in the language now
    // known; the devices are not opened (their locks and the device-sharing
    // file would be written there) and the exit writes nothing.
    SettingsFolderMsg();
    gMidiState = 0;
    gSharedDevUntouched = true;
  } else {
    const int result = SettleDevices();
    if (result == -1) return false;
    if (result != 0) {
      FileErrMsg(gOpCaption, result);
      return false;
    }
  }

  if (gMidiThru && gMidiOpenedHere && gMidiState == 1) {
    MidiThruOn();
    MidiInStart();
  }

  if (sMainWindowShow) sMainWindowShow();
  gStarting = false;
  gStartStatus = 0;
  return true;
}

int ExitDeviceSharing() {
  gOpCaption = Res(114);
  if (gSharedDevUntouched) return kExitGoOn;
  SharedDevLock lock;
  RecordFile f;
  int err = f.Open(SharedDevPath(), kSharedDevLen);
  std::string rec;
  if (err == 0) err = f.Get(1, rec);
  if (err != 0) {
    f.Close();
    FileErrMsg(gOpCaption, err);
    return kExitError;
  }
  gSharedDev.image = rec;

  if (gSharedDev.Tag() != kSharedDevName) {
    f.Close();
    KillFile(SharedDevPath());
    MidiOutClose();
    if (gMidiThru) MidiThruOff();
    MidiInClose();
    return kExitGoOn;
  }
  if (gMidiOwner) {
    // Refused only while another program is still counted in; a count a
    // sibling left at 0 or 1 never keeps this program from exiting.
    if (gSharedDev.UserCount() >= 2) {
      gClosing = false;
      f.Close();
      ShowMsg(12, gOpCaption, "");
      return kExitRefused;
    }
    gSharedDev.SetOutHandle(0);
    gSharedDev.SetUserCount(0);
    gSharedDev.SetRunning(0);
    if (gMidiOpen == 1) {
      MidiOutClose();
      MidiInClose();
    }
  } else {
    // A borrower takes out only what its own start added.
    if (gSharedDevCounted && gSharedDev.UserCount() > 0) gSharedDev.SetUserCount(gSharedDev.UserCount() - 1);
    gSharedDev.SetRunning(0);
  }
  err = f.Put(1, gSharedDev.image);
  f.Close();
  if (err != 0) {
    FileErrMsg(gOpCaption, err);
    return kExitError;
  }
  return kExitGoOn;
}

void StartupReset() {
  sInstanceLock.Unlock();
  sFolderLock.Unlock();
  gMidiOwner = false;
  gMidiOpenedHere = false;
  gSharedDevCounted = false;
  gSharedDevUntouched = false;
  gStartStatus = 0;
  sMainWindowShow = nullptr;
}
