// Start-up: Main fixes the program folder, runs InitApp, settles with the
// sibling programs through the device-sharing file who owns the MIDI devices,
// switches MIDI thru on where it applies and shows the main window. The exit
// side of the device sharing is here too.
#pragma once

#include <functional>
#include <string>

extern bool gMidiOwner;       // this program opened the output and published it
extern bool gMidiOpenedHere;  // this program opened both devices itself in this start
// This start set or raised the user count of the record (free, stale reset
// or borrow): the exit takes it out again. A start that failed while the
// devices were in use, or found no output device there, did not.
extern bool gSharedDevCounted;
// This start left the record alone (no output device while the devices
// were in use): the exit leaves it alone too.
extern bool gSharedDevUntouched;

// The exit status of a start that ends without the main window: 0 when the
// user cancelled the first start's language question, 1 when a fault (or a
// copy already running) ended it.
extern int gStartStatus;

// The window side installs what shows the main window (its load runs
// inside this call).
void SetMainWindowShow(std::function<void()> show);

// The program's first procedure. Returns true when the main window was
// shown (the event loop then runs), false when the program is to end
// (gStartStatus then holds the exit status).
// Before anything else it finds out whether the settings folder can be
// written (SettingsFolderCheck), then takes this program's own lock file in
// it and holds it for the rest of the run: a second copy on the same
// settings folder says "Not more than one instance is allowed" and ends
// before it changes any file. (The sibling programs never take this lock.)
// In a folder that cannot be written no lock file is made: one left there
// by an earlier run is still taken (a lock writes nothing), and the copy
// also holds a lock on the folder itself, which needs no file, so the check
// holds there too; a copy that can write there looks at that lock as well.
// Such a start then says so in one box, after the settings are read or the
// first start's language is chosen, and runs on without MIDI and without
// the device-sharing file.
bool Main();

// The lock file of one running copy of the program, in the Windows folder.
extern const std::string kInstanceLockName;  // "Brenvolta.lock"
std::string InstanceLockPath();

// The device-sharing step of the main window's unload: kExitGoOn when the
// program may end, kExitRefused while other programs still use the devices
// this program owns, kExitError when a file error (reported) ended the
// step: the rest of the unload is skipped and the program ends.
constexpr int kExitGoOn = 0;
constexpr int kExitRefused = 1;
constexpr int kExitError = 2;
int ExitDeviceSharing();

void StartupReset();
