// The program file (.prg and .pgg), exactly 30,480 bytes. It begins "KORG"
// 4D 00 00 (a .prg) or "KPGG" 4D 00 00 (a .pgg: it holds at least one
// reference to an internal program of the instrument). Byte 15 is the MIDI
// channel of the program-file window, bytes 48-11,055 the 64 programs of 172
// bytes, bytes 23,096-25,199 the block the program dump sends after them.
#pragma once

#include <string>

constexpr int kPrgFileLen = 30480;
constexpr int kPrgRecLen = 172;
constexpr int kPrgRecStart = 48;  // offset of program record 0 in the file
// Program record index (0-63) in the WinTag of a program-file window, which
// holds the file's image from position 271: 319 + 172 * index.
constexpr int PrgWinRecPos(int index) { return 271 + kPrgRecStart + kPrgRecLen * index; }
inline const std::string kPrgFileHeader{"KORG\x4D\x00\x00", 7};
inline const std::string kPggFileHeader{"KPGG\x4D\x00\x00", 7};

// The image left by the last program read: always 30,480 bytes.
extern std::string gPrgFileBuf;
// Folder of the program file being opened, and its name: without the
// extension after PrgFileRead, the title as passed after PrgFileLoad; empty
// after a read that failed on the file's content.
extern std::string gPrgFileDir;
extern std::string gPrgFileName;

// Reads a program file named in full. It reads record 1 into gPrgFileBuf
// before any test. 0 read, with either header whatever the extension; 1 a
// file error, already reported; 2 a wrong length or header, reported with
// message code 32; 3 an empty file, no file at all or something that is not a file, no
// message; it is left as it is.
int PrgFileRead(const std::string& path);

// Reads a program file whose path may lack its extension. A path ending in
// ".prg" or ".pgg" is read as it is, and its header must match the
// extension; any other path is tried with ".prg" and, when that file is empty
// or missing, with ".pgg"; those two are read together, as one save left
// them (ReadDocumentTogether). gCurExt names the extension tried last.
// 0 a .prg ("KORG"); 4 a .pgg ("KPGG"); 1, 2 (message code 32) and 3 as for
// PrgFileRead.
int PrgFileLoad(const std::string& path);

void PrgFileReset();  // gPrgFileBuf 30,480 NULs, folder and name empty
