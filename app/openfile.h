// The Open dialog of the main window: picks an arrangement, style, program
// or global file, checks that no window shows it yet, reads it into the
// shared buffer of its type and leaves its folder and name in the name
// variables of that type (gArrFileDir / gArrFileName and their namesakes),
// for the window that the File menu then creates.
#pragma once

#include <string>

// Folder of the last global file opened (not kept in the settings).
extern std::string gGblDir;
// The path the Open dialog last chose (for the File menu's messages).
extern std::string gOpenDlgPath;

// The filter list of the Open dialog; its entries give the indexes 1
// arrangements, 2 styles, 3 programs (both extensions), 4 global, 5 all.
extern const std::string kOpenFilter;

// Opens a file of the window kind asked for: 2, 3 or 19 an arrangement file,
// 23 a style file, 21 a program file (".prg" or ".pgg"), 25 a global file.
// The kind decides the type read, whatever filter the user leaves selected;
// a file of another type is refused by its reader or by its extension.
// Kind 22 shows no dialog: it reads the program template and empties its 64
// programs. The read-only box of the dialog starts as the main window's
// read-only option and its state at OK goes to gOpenReadOnly.
// 0 read (the name variables of the type are set); 1 cancelled, refused or
// a failed read that was already reported (also any other kind); 2 a window
// shows the file already (nothing read); 3 the file was empty (left as it is) or
// missing.
int OpenFile(int kind);

void OpenFileReset();  // gGblDir empty
