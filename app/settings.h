// The settings file "Brenvolta.ini" in the Windows folder: fixed records of
// 250 bytes (record n at byte (n - 1) x 250), read once at start-up by
// InitApp and written at every orderly exit.
//
// Values are single bytes, flags (1 on, 0 off), 16-bit values high byte
// first, and positions: 16-bit values with a bias of 16000 so that negative
// Top and Left fit.
#pragma once

#include <string>

#include "app/winpos.h"

constexpr int kSettingsRecLen = 250;
constexpr int kSettingsRecords = 46;  // the records the program writes
extern const std::string kSettingsName;  // "Brenvolta.ini"
extern const std::string kSettingsTag;   // "Brenvolta" followed by one NUL

// The 250-byte record buffer of the settings file.
extern std::string gSettingsBuf;

std::string SettingsPath();

// The first-start Top, Left, Height, Width, State and Extra of window kind
// k (1-18; zeros for the others), with the enlarged sizes in force.
WinPosRec WinPosFirstStart(int kind);

// The settings folder (the Windows folder: the settings, the device-sharing
// file, the info file and the lock files live there) cannot be written in
// this run: it is locked, missing and cannot be made, or full. Nothing is
// then written there until the program ends: not the settings, the
// device-sharing file, the info file nor a lock file; MIDI stays off.
extern bool gSettingsFolderLocked;

// Looks at the settings folder with a real write (WinFolderProbe) and marks
// it locked when that fails. Returns the error number, 0 when it can be
// written.
int SettingsFolderCheck();
// Marks the folder locked for the reason err, the error number of a write
// that failed (the first start's own writes count as the check's).
void SettingsFolderLock(int err);
// The one box that says so: the folder, the reason, and that the settings
// will not be kept and MIDI stays off, in the language in use.
void SettingsFolderMsg();
// The box of a command that would write in the folder while it cannot be
// written (a database command): the first lines of the start's box, the
// folder and the reason, titled title.
void SettingsFolderRefusalMsg(const std::string& title);

// The one-time initialisation: first values of the shared state, enlarged
// window sizes for the screen, the settings file read (or a first start with
// the language dialog) and the name tables built. On return gStartCancelled
// tells Main to end the program (gStartStatus 0 when the user cancelled the
// language question). A killed write of the settings file is resolved
// before it is read (not in a locked folder). Files are read without being
// made; what a first start writes (the settings, the device-sharing record,
// the info file) it writes whole once the language is chosen, and only when
// the folder is not locked; a write that fails marks it locked and writes
// nothing more.
void InitApp();

// The language of the settings file as it stands, looked at without
// changing or creating anything: 1 Italian, 2 English, 0 when it holds none
// (no file, another program's file, or a first start not yet confirmed).
int SettingsLanguage();

// Decoding of 16-bit fields, as the reader does it: false when the value
// does not fit its field (high byte of 128 or more); the caller then keeps
// the field's previous value.
bool DecodeU16(const std::string& rec, int pos, int& value);
bool DecodePosition(const std::string& rec, int pos, int& value);

// The main window as the exit writer reads it: its window state (0 normal,
// 1 minimised, 2 maximised), its outer geometry in twips and the two
// check marks the writer takes from the menu.
struct MainWindowState {
  int state = 0;
  long top = 0, left = 0, height = 0, width = 0;
  bool loadArrChecked = false;
  bool statusBarChecked = false;
};

// Writes every setting back at an orderly exit: record 1 read first and
// changed, the folders, the slot records, the global block (while
// gGblCurValid is 1) and the recent files. The new file is built whole in
// memory from the old one and replaces it as a document save does
// (WriteWholeFileAtomic). A file error is reported titled gOpCaption
// ("Closing MIDI out device") and the old file stays as it was. Returns 0,
// or the error number. In a locked settings folder it writes nothing and
// says nothing: the start has said so.
int SettingsWrite(const MainWindowState& main);

void SettingsReset();
