#include "app/settings.h"

#include <functional>
#include <utility>
#include <vector>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "app/recent.h"
#include "app/shareddev.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/startup.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/savelock.h"
#include "platform/twips.h"
#include "platform/winfolder.h"

const std::string kSettingsName = "Brenvolta.ini";
const std::string kSettingsTag = std::string("Brenvolta") + '\0';
std::string gSettingsBuf(kSettingsRecLen, '\0');

std::string SettingsPath() { return WinPath(kSettingsName); }

bool gSettingsFolderLocked = false;

namespace {

// Why the folder is locked: the error number, and whether the folder was
// missing and could not be made.
int sFolderErr = 0;
bool sFolderMissing = false;

// The reason of a write that failed, in the language in use.
std::string FolderReason(int err) {
  switch (err) {
    case kErrPathFileAccess:
    case kErrPermissionDenied:
      return Res(58);  // writing not permitted
    case kErrDiskFull:
      return Res(28);
    case kErrPathNotFound:
      return Res(110);
    case kErrDeviceIO:
      return Res(112);
    case kErrDiskNotReady:
      return Res(26);
    default:
      return Res(109);  // disk writing error
  }
}

}  // namespace

int SettingsFolderCheck() {
  bool exists = false;
  const int err = WinFolderProbe(exists);
  if (err != 0) {
    SettingsFolderLock(err);
    sFolderMissing = !exists;
  }
  return err;
}

void SettingsFolderLock(int err) {
  gSettingsFolderLocked = true;
  // Nothing is made in the folder: not the save lock, not the save key.
  SetSaveLockFileMade(false);
  SetSaveKeyMayBeMade(false);
  sFolderErr = err;
  sFolderMissing = false;
}

namespace {

// The folder and the reason: "The settings folder ... cannot be written:",
// then the reason on a line of its own.
std::string FolderFault() {
  // The path without making the folder: a missing one stays missing.
  const std::string first = ReplaceFirstUnderscore(Res(sFolderMissing ? 59 : 60), WinFolderPath());
  return first + ":\r\n" + FolderReason(sFolderErr);
}

}  // namespace

void SettingsFolderMsg() {
  const std::string text = FolderFault() + "\r\n\r\n" + Res(61);
  TheDialogs().MessageBox(Res(111) + "Brenvolta", text, MsgIcon::Exclamation, MsgButtons::OK);
}

void SettingsFolderRefusalMsg(const std::string& title) {
  TheDialogs().MessageBox(title, FolderFault(), MsgIcon::Exclamation, MsgButtons::OK);
}

bool DecodeU16(const std::string& rec, int pos, int& value) {
  const int high = Asc(rec, pos);
  if (high >= 128) return false;
  value = high * 256 + Asc(rec, pos + 1);
  return true;
}

bool DecodePosition(const std::string& rec, int pos, int& value) {
  int raw = 0;
  if (!DecodeU16(rec, pos, raw)) return false;
  value = raw - 16000;
  return true;
}

WinPosRec WinPosFirstStart(int kind) {
  WinPosRec r;
  switch (kind) {
    case 1:
      r.State = 2;  // maximised
      break;
    case 2:
    case 3:
      r.Height = static_cast<int16_t>(gArrABBigHeight);
      r.Width = static_cast<int16_t>(gArrABBigWidth);
      break;
    case 4: case 5: case 6: case 7: case 8:
      r.Height = static_cast<int16_t>(gPcgAEBigHeight);
      r.Width = static_cast<int16_t>(gPcgAEBigWidth);
      r.Extra = 1;  // MIDI channel 2
      break;
    case 9:
    case 10:
      r.Height = static_cast<int16_t>(gDrumBigHeight);
      r.Width = static_cast<int16_t>(gDrumBigWidth);
      r.Extra = 1;
      break;
    case 11:
      r.Height = static_cast<int16_t>(gDrumBigHeight);
      r.Width = static_cast<int16_t>(gDrumBigWidth);
      break;
    case 12:
      r.Height = 6072;
      r.Width = 4308;
      break;
    case 13:
    case 14:
      r.Height = 5916;
      r.Width = 9228;
      break;
    case 15:
      r.Height = 5532;
      r.Width = 9288;
      break;
    case 16:
      r.Height = 5760;
      r.Width = 8000;
      break;
    case 17:
    case 18:
      r.Height = static_cast<int16_t>(gStyABBigHeight);
      r.Width = static_cast<int16_t>(gStyABBigWidth);
      break;
    default:
      break;
  }
  return r;
}

namespace {

// Runs one file statement of InitApp under its error handler: a missing file
// shows "File not found" and ends the start after InitApp; a disk that is
// not ready runs the statement again (a few times); any other error goes on
// with the next statement. True when the statement succeeded.
bool Run(const std::function<int()>& statement) {
  for (int attempt = 1;; ++attempt) {
    const int err = statement();
    if (err == 0) return true;
    if (err == kErrDiskNotReady && attempt < 3) continue;
    if (err == kErrFileNotFound) {
      ShowMsg(27, Res(111) + kSettingsName, "");
      gStartCancelled = true;
    }
    return false;
  }
}

// A write of the start, run again while the disk is not ready (a few
// times). Returns 0 or the error number; the caller decides what it means.
int RunWrite(const std::function<int()>& write) {
  int err = 0;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    err = write();
    if (err != kErrDiskNotReady) break;
  }
  return err;
}

void SetField16(const std::string& rec, int pos, int16_t& field) {
  int v = 0;
  if (DecodeU16(rec, pos, v)) field = static_cast<int16_t>(v);
}

void SetPosition(const std::string& rec, int pos, int16_t& field) {
  int v = 0;
  if (DecodePosition(rec, pos, v)) field = static_cast<int16_t>(v);
}

// A channel byte above 15 would change the status byte it is Or-ed into:
// such a channel takes its first-start value.
int ChannelByte(const std::string& rec, int pos, int firstStart) {
  const int v = Asc(rec, pos);
  return v > 15 ? firstStart : v;
}

void ReadWindowRecords(const std::string& b) {
  for (int k = 1; k <= 28; ++k) {
    gWinPosCur = gWinPosTab[k];
    if (k <= 18) {
      const int base = 51 + 9 * (k - 1);
      SetPosition(b, base, gWinPosCur.Top);
      SetPosition(b, base + 2, gWinPosCur.Left);
      SetField16(b, base + 4, gWinPosCur.Height);
      SetField16(b, base + 6, gWinPosCur.Width);
      const int byte = Asc(b, base + 8);
      gWinPosCur.State = static_cast<uint8_t>(byte);
      if (k >= 4 && k <= 10) {
        gWinPosCur.State = static_cast<uint8_t>(byte & 15);
        gWinPosCur.Extra = static_cast<uint8_t>(byte >> 4);
      }
      if (k == 13 || k == 14 || k == 17 || k == 18) {
        gWinPosCur.State = 0;
        gWinPosCur.Extra = 0;
      }
      if (k == 1) {
        // A record with no size (an unfinished first run) opens maximised.
        if (gWinPosCur.State == 0 && (gWinPosCur.Height == 0 || gWinPosCur.Width == 0)) gWinPosCur.State = 2;
      } else if (gWinPosCur.Height == 0 || gWinPosCur.Width == 0) {
        // A window placed at -16000 with no size would be out of sight.
        const WinPosRec def = WinPosFirstStart(k);
        gWinPosCur.Top = def.Top;
        gWinPosCur.Left = def.Left;
        gWinPosCur.Height = def.Height;
        gWinPosCur.Width = def.Width;
      }
    }
    if (k == 28) {
      gWinPosCur.State = 0;
      gWinPosCur.Extra = 0;
    }
    gWinPosTab[k] = gWinPosCur;
  }
}

void ReadOptions(const std::string& b) {
  gOptReadOnly = Asc(b, 17) == 1;
  gSetReserved18 = Asc(b, 18);
  gSetReserved19 = Asc(b, 19);
  gOptLoadArr = Asc(b, 28) != 0;
  gOptLoadSty = Asc(b, 21) != 0;
  gOptLoadStyNewArr = Asc(b, 20) != 0;
  gOptOpenPrgFile = Asc(b, 22) != 0;
  gOptLoadPrg = Asc(b, 23) != 0;
  gOptAutoDB = Asc(b, 26) != 0;
  gMidiThru = Asc(b, 46) != 0;
  gOptStatusBar = Asc(b, 27) != 0;
  gChGlobal = ChannelByte(b, 214, 0);
  gChArrang = ChannelByte(b, 215, 0);
  gChLower = ChannelByte(b, 216, 0);
  gChUpper2 = ChannelByte(b, 217, 0);
  gChUpper1 = ChannelByte(b, 218, 0);
  gChDrum = ChannelByte(b, 219, 9);
  gChPerc = ChannelByte(b, 220, 10);
  gChBass = ChannelByte(b, 221, 11);
  gChAcc1 = ChannelByte(b, 222, 12);
  gChAcc2 = ChannelByte(b, 223, 13);
  gChAcc3 = ChannelByte(b, 224, 14);
  gGblCurValid = Asc(b, 49);
  for (int i = 1; i <= 16; ++i) gTasSettings[i] = Asc(b, 29 + i);
  gInstrMode = Asc(b, 47);
}

// Record n of a settings image replaced by rec (cut or padded with NULs to
// the record length); an image too short for it grows with zeros, as a
// record write past the end of the file leaves it.
void PutRecord(std::string& image, int recordNo, const std::string& rec) {
  const size_t end = static_cast<size_t>(recordNo) * kSettingsRecLen;
  if (image.size() < end) image.resize(end, '\0');
  image.replace(end - kSettingsRecLen, kSettingsRecLen, PadRight(Left(rec, kSettingsRecLen), kSettingsRecLen, '\0'));
}

// Writes records into the settings file whole, as a save does: the file as
// it stands with the given records replaced, so that a full disk or a kill
// never leaves a file that is empty or only partly written; a file that
// cannot be written keeps what it held.
int PutSettingsImage(const std::vector<std::pair<int, std::string>>& records) {
  std::string image;
  if (FileExists(SettingsPath())) {
    const int err = ReadWholeFile(SettingsPath(), image);
    if (err != 0) return err;
  }
  for (const auto& [recordNo, rec] : records) PutRecord(image, recordNo, rec);
  return WriteWholeFileAtomic(SettingsPath(), image);
}

// Settings found: reads every record into the shared variables. Returns
// false when the start is to end (the language dialog was cancelled).
bool ReadSettings(RecordFile& f) {
  std::string& b = gSettingsBuf;
  ReadOptions(b);

  const int lang = Asc(b, 25);
  if (lang == 1 || lang == 2) {
    gLangSel = lang;
  } else {
    // No language was ever confirmed (a first start ended in the dialog):
    // ask again; Cancel ends the program and leaves the file as it is.
    gLangSel = 0;
    const int chosen = TheDialogs().ChooseLanguage();
    if (chosen != 1 && chosen != 2) {
      gStartCancelled = true;
      gStartStatus = 0;  // the user's choice, not a fault
      return false;
    }
    gLangSel = chosen;
    MidAssign(b, 25, Chr(chosen));
    if (!gSettingsFolderLocked) {
      const int err = RunWrite([&] { return PutSettingsImage({{1, b}}); });
      if (err != 0) SettingsFolderLock(err);
    }
  }
  gLangBase = (gLangSel - 1) * 200;

  ReadWindowRecords(b);

  std::string rec;
  if (Run([&] { return f.Get(2, rec); })) gLastDir = RTrimBlankNul(Left(rec, 238));
  if (Run([&] { return f.Get(3, rec); })) gLastDlgPath = RTrimBlankNul(Left(rec, 238));

  for (int i = 1; i <= 8; ++i) {
    gPrgSlotCur = gPrgSlots[i];
    if (Run([&] { return f.Get(4 + i, rec); })) {
      gPrgSlotCur.Path = Left(rec, 238);
      gPrgSlotCur.Open = static_cast<uint8_t>(Asc(rec, 241));
      gPrgSlotCur.Channel = static_cast<uint8_t>(Asc(rec, 242));
      gPrgSlotCur.ReadOnly = static_cast<uint8_t>(Asc(rec, 247));
      gPrgSlotCur.Pgg = static_cast<uint8_t>(Asc(rec, 248));
      SetPosition(rec, 243, gPrgSlotCur.Top);
      SetPosition(rec, 245, gPrgSlotCur.Left);
      SetField16(rec, 239, gPrgSlotCur.Height);
      SetField16(rec, 249, gPrgSlotCur.Width);
    }
    gPrgSlots[i] = gPrgSlotCur;
  }

  for (int i = 1; i <= 8; ++i) {
    gArrSlotCur = gArrSlots[i];
    if (Run([&] { return f.Get(20 + i, rec); })) {
      gArrSlotCur.Path = Left(rec, 238);
      gArrSlotCur.Open = static_cast<uint8_t>(Asc(rec, 241));
      gArrSlotCur.Carried = static_cast<uint8_t>(Asc(rec, 247));
      SetPosition(rec, 243, gArrSlotCur.Top);
      SetPosition(rec, 245, gArrSlotCur.Left);
      SetField16(rec, 239, gArrSlotCur.Height);
      SetField16(rec, 249, gArrSlotCur.Width);
    }
    gArrSlots[i] = gArrSlotCur;
  }

  std::string rec37, rec38;
  if (Run([&] { return f.Get(37, rec37); }) && Run([&] { return f.Get(38, rec38); }))
    gGblCur = rec37 + Left(rec38, 198);

  for (int i = 0; i < 8; ++i) {
    gRecentFileCur = gRecentFiles[i];
    if (Run([&] { return f.Get(39 + i, rec); })) {
      const int kind = Asc(rec, 242);
      if (kind >= 1 && kind <= 5) {
        gRecentFileCur.Path = Left(rec, 238);
        gRecentFileCur.Kind = static_cast<uint8_t>(kind);
        gRecentFileCur.Flag = static_cast<uint8_t>(Asc(rec, 247));
        SetPosition(rec, 243, gRecentFileCur.Top);
        SetPosition(rec, 245, gRecentFileCur.Left);
        SetField16(rec, 239, gRecentFileCur.Height);
        SetField16(rec, 249, gRecentFileCur.Width);
      } else {
        // Not a file kind (blank or damaged record): a free entry.
        gRecentFileCur = RecentFileRec();
      }
    }
    gRecentFiles[i] = gRecentFileCur;
  }
  return true;
}

void FirstStartDefaults() {
  gOptReadOnly = gOptLoadStyNewArr = gOptLoadSty = gOptOpenPrgFile = gOptLoadPrg = false;
  gOptAutoDB = gOptLoadArr = false;
  gOptStatusBar = true;
  gMidiThru = false;
  gGblCurValid = 0;
  gInstrMode = 0;
  gLastDir.clear();
  gLastDlgPath.clear();
  ChannelsReset();
  for (auto& r : gRecentFiles) r = RecentFileRec();
  for (int& v : gTasSettings) v = 0;
  TasSettingsDefaults();

  for (int k = 1; k <= 16; ++k) gWinPosTab[k] = WinPosRec();
  for (int k = 1; k <= 18; ++k) gWinPosTab[k] = WinPosFirstStart(k);

  for (int i = 1; i <= 16; ++i) {
    PrgSlotRec r;
    r.Height = static_cast<int16_t>(gPrgUNBigHeight);
    r.Width = static_cast<int16_t>(gPrgUNBigWidth);
    gPrgSlots[i] = r;
  }
  for (int i = 1; i <= 8; ++i) {
    ArrSlotRec r;
    r.Height = static_cast<int16_t>(gArrUBigHeight);
    r.Width = static_cast<int16_t>(gArrUBigWidth);
    gArrSlots[i] = r;
    StySlotRec s;
    s.Height = static_cast<int16_t>(gStyUNBigHeight);
    s.Width = static_cast<int16_t>(gStyUNBigWidth);
    gStySlots[i] = s;
  }
}

// The files of a first start, each written whole: the settings (tag,
// language, NUL records 2-37, blank records 38-46; another program's file
// keeps what lies past record 46), a fresh device-sharing record and the
// info file. The first write that fails ends it with its error number.
int WriteFirstStartFiles() {
  std::vector<std::pair<int, std::string>> records{{1, gSettingsBuf}};
  for (int r = 2; r <= 37; ++r) records.emplace_back(r, Nuls(kSettingsRecLen));
  for (int r = 38; r <= 46; ++r) records.emplace_back(r, Space(kSettingsRecLen));
  int err = RunWrite([&] { return PutSettingsImage(records); });
  if (err == 0) err = RunWrite([] { return SharedDevRecReset(); });
  if (err == 0) err = RunWrite([] { return SharedInfoInit(); });
  return err;
}

// No settings (or another program's file): defaults and the language
// dialog, then the fresh files. Returns false when the dialog was cancelled:
// nothing has been written then, and a file found at the settings path stays
// as it was.
bool FirstStart() {
  FirstStartDefaults();

  const int chosen = TheDialogs().ChooseLanguage();
  if (chosen != 1 && chosen != 2) {
    gStartCancelled = true;
    gStartStatus = 0;  // the user's choice, not a fault
    return false;
  }
  gLangSel = chosen;
  gLangBase = (gLangSel - 1) * 200;
  std::string& b = gSettingsBuf;
  b = Nuls(kSettingsRecLen);
  MidAssign(b, 1, kSettingsTag);
  MidAssign(b, 25, Chr(gLangSel));

  for (int i = 1; i <= 8; ++i) {
    gPrgSlots[i].Channel = 1;  // MIDI channel 2
    gPrgSlots[i].Open = 0;
    gPrgSlots[i].Top = 0;
    gPrgSlots[i].Left = 0;
    gPrgSlots[i].Pgg = 0;
  }
  for (auto& r : gRecentFiles) r = RecentFileRec();

  if (!gSettingsFolderLocked) {
    const int err = WriteFirstStartFiles();
    if (err != 0) SettingsFolderLock(err);
  }
  return true;
}

}  // namespace

int SettingsLanguage() {
  RecordFile f;
  std::string rec;
  if (f.Open(SettingsPath(), kSettingsRecLen, OpenMode::ReadOnly) != 0 || f.Get(1, rec) != 0) return 0;
  f.Close();
  const int lang = Asc(rec, 25);
  return Left(rec, 10) == kSettingsTag && (lang == 1 || lang == 2) ? lang : 0;
}

void InitApp() {
  gMidiState = 1;
  gMidiOpen = 0;
  gClosing = false;
  gDlgFilterIndex = 1;
  gDBArrLastRec = 999;

  gTwipsPerPixel = TwipsPerPixel();
  SetEnlargedSizes(gTwipsPerPixel);

  // The file is only read here: a missing one is made by the first start,
  // whole, once the language is chosen. A settings path where no file can
  // stand (a folder, a pipe) ends the start with "File not found" before any
  // file is changed.
  //
  // A write of the file that a kill stopped (one in place, for a file with a
  // second name) is finished or put back first, as every document open
  // does, so that the records are never read half-written. In a folder that
  // cannot be written nothing is resolved, since that would write there: the
  // file is read as it stands. A resolve that fails leaves the file as it
  // stands too; the exit's write, which resolves first, reports it.
  if (!gSettingsFolderLocked) ResolveKilledSave(SettingsPath());
  RecordFile f;
  gSettingsBuf = Nuls(kSettingsRecLen);
  if (KindOfFile(SettingsPath()) != FileKind::Missing) {
    Run([&] { return f.Open(SettingsPath(), kSettingsRecLen, OpenMode::ReadOnly); });
    if (gStartCancelled) return;
    Run([&] { return f.Get(1, gSettingsBuf); });
  }

  bool goOn;
  if (Left(gSettingsBuf, 10) == kSettingsTag)
    goOn = ReadSettings(f);
  else
    goOn = FirstStart();
  f.Close();
  if (!goOn) return;
  NameTablesBuild();
}

namespace {

int ClampPosition(long v) { return v < -16000 ? -16000 : v > 16000 ? 16000 : static_cast<int>(v); }
int ClampSize(long v) { return v < 0 ? 0 : v > 32767 ? 32767 : static_cast<int>(v); }

void PutPosition(std::string& rec, int pos, long value) { PutU16BE(rec, pos, ClampPosition(value) + 16000); }
void PutSize(std::string& rec, int pos, long value) { PutU16BE(rec, pos, ClampSize(value)); }

}  // namespace

int SettingsWrite(const MainWindowState& main) {
  if (gSettingsFolderLocked) return 0;
  // The whole file is built in memory from the old one and then replaces it
  // as a document save does, so that a kill or a full disk never leaves a
  // file of two runs: the old file stays whole until the new one is written.
  // A write that was killed is resolved before the old records are read
  // (a failure to resolve it fails the write below, and is reported there).
  ResolveKilledSave(SettingsPath());
  std::string image;
  int err = ReadWholeFile(SettingsPath(), image);
  if (err == kErrFileNotFound) {
    image.clear();
    err = 0;
  }
  if (err != 0) {
    FileErrMsg(gOpCaption, err);
    return err;
  }
  // Records this write leaves alone keep what the file held; past its end
  // they read as zeros, as a record write past the end leaves them.
  if (image.size() < static_cast<size_t>(kSettingsRecords * kSettingsRecLen))
    image.resize(static_cast<size_t>(kSettingsRecords * kSettingsRecLen), '\0');
  auto put = [&image](int recordNo, const std::string& rec) { PutRecord(image, recordNo, rec); };
  std::string& b = gSettingsBuf;
  b = image.substr(0, kSettingsRecLen);

  auto flag = [](bool on) { return Chr(on ? 1 : 0); };
  MidAssign(b, 25, Chr(gLangSel));
  MidAssign(b, 46, flag(gMidiThru));
  MidAssign(b, 19, Chr(gSetReserved19));
  MidAssign(b, 18, Chr(gSetReserved18));
  MidAssign(b, 28, flag(main.loadArrChecked));
  MidAssign(b, 20, flag(gOptLoadStyNewArr));
  MidAssign(b, 21, flag(gOptLoadSty));
  MidAssign(b, 22, flag(gOptOpenPrgFile));
  MidAssign(b, 23, flag(gOptLoadPrg));
  MidAssign(b, 17, flag(gOptReadOnly));
  MidAssign(b, 26, flag(gOptAutoDB));
  MidAssign(b, 27, flag(main.statusBarChecked));
  MidAssign(b, 49, Chr(gGblCurValid));
  const int channels[] = {gChGlobal, gChArrang, gChLower, gChUpper2, gChUpper1, gChDrum,
                          gChPerc,   gChBass,   gChAcc1,  gChAcc2,   gChAcc3};
  for (int i = 0; i < 11; ++i) MidAssign(b, 214 + i, Chr(channels[i]));
  for (int i = 1; i <= 16; ++i) MidAssign(b, 29 + i, Chr(gTasSettings[i]));
  MidAssign(b, 47, Chr(gInstrMode));

  // The main window keeps the geometry of its last normal state.
  gWinPosCur = gWinPosTab[kKindMain];
  if (main.state == 0) {
    gWinPosCur.Top = ClampTwips16(main.top);
    gWinPosCur.Left = ClampTwips16(main.left);
    gWinPosCur.Height = ClampTwips16(main.height);
    gWinPosCur.Width = ClampTwips16(main.width);
  }
  gWinPosCur.State = static_cast<uint8_t>(main.state);
  gWinPosTab[kKindMain] = gWinPosCur;

  // A position outside what the bias of 16000 can hold in 16 bits would lose
  // the rest of the settings: Top and Left are kept within -16000..16000.
  for (int k = 1; k <= 18; ++k) {
    const WinPosRec& r = gWinPosTab[k];
    const int base = 51 + 9 * (k - 1);
    PutPosition(b, base, r.Top);
    PutPosition(b, base + 2, r.Left);
    PutSize(b, base + 4, r.Height);
    PutSize(b, base + 6, r.Width);
    const int byte = (k >= 4 && k <= 10) ? ((r.Extra & 15) * 16 | (r.State & 15)) : r.State;
    MidAssign(b, base + 8, Chr(byte));
  }
  put(1, b);

  std::string rec = PadRight(gLastDir, kSettingsRecLen);
  put(2, rec);
  rec = PadRight(gLastDlgPath, kSettingsRecLen);
  put(3, rec);

  for (int i = 1; i <= 16; ++i) {
    const PrgSlotRec& s = gPrgSlots[i];
    rec = Nuls(kSettingsRecLen);
    if (s.Open != 0) {
      MidAssign(rec, 1, PadRight(s.Path, 238));
      PutSize(rec, 239, s.Height);
      MidAssign(rec, 241, Chr(s.Open));
      MidAssign(rec, 242, Chr(s.Channel));
      PutPosition(rec, 243, s.Top);
      PutPosition(rec, 245, s.Left);
      MidAssign(rec, 247, Chr(s.ReadOnly));
      MidAssign(rec, 248, Chr(s.Pgg));
      PutSize(rec, 249, s.Width);
    }
    put(4 + i, rec);
  }
  for (int i = 1; i <= 8; ++i) {
    const ArrSlotRec& s = gArrSlots[i];
    rec = Nuls(kSettingsRecLen);
    if (s.Open != 0) {
      MidAssign(rec, 1, PadRight(s.Path, 238));
      PutSize(rec, 239, s.Height);
      MidAssign(rec, 241, Chr(s.Open));
      PutPosition(rec, 243, s.Top);
      PutPosition(rec, 245, s.Left);
      MidAssign(rec, 247, Chr(s.Carried));
      PutSize(rec, 249, s.Width);
    }
    put(20 + i, rec);
  }
  if (gGblCurValid == 1) {
    const std::string block = PadRight(gGblCur, 448, '\0');
    rec = Left(block, 250);
    put(37, rec);
    rec = Mid(block, 251) + Space(52);
    put(38, rec);
  }
  // The recent records are built in the buffer of the record written last,
  // without clearing it: positions 241 and 248, which a recent record does
  // not use, keep what the record before left there.
  for (int i = 0; i < 8; ++i) {
    const RecentFileRec& r = gRecentFiles[i];
    MidAssign(rec, 1, PadRight(r.Path, 238));
    PutSize(rec, 239, r.Height);
    MidAssign(rec, 242, Chr(r.Kind));
    PutPosition(rec, 243, r.Top);
    PutPosition(rec, 245, r.Left);
    MidAssign(rec, 247, Chr(r.Flag));
    PutSize(rec, 249, r.Width);
    put(39 + i, rec);
  }
  err = WriteWholeFileAtomic(SettingsPath(), image);
  if (err != 0) FileErrMsg(gOpCaption, err);
  return err;
}

void SettingsReset() {
  gSettingsBuf = Nuls(kSettingsRecLen);
  gSettingsFolderLocked = false;
  SetSaveLockFileMade(true);
  SetSaveKeyMayBeMade(true);
  sFolderErr = 0;
  sFolderMissing = false;
}
