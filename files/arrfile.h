// The arrangement file (.arr) and the instrument's arrangement bank files
// r40ArrA and r40ArrB, which share its format: exactly 10,528 bytes, the
// header "KORG" 4D 00 03 and 25 further header bytes, then 64 arrangement
// records of 164 bytes (arrangement 1 first) from offset 32.
#pragma once

#include <string>

constexpr int kArrFileLen = 10528;
constexpr int kArrRecLen = 164;
constexpr int kArrRecCount = 64;
constexpr int kArrRecStart = 32;  // offset of arrangement record 0 in the file
inline const std::string kArrFileHeader{"KORG\x4D\x00\x03", 7};

// The image left by the last ArrFileRead: always 10,528 bytes.
extern std::string gArrFileBuf;
// Folder and name without extension of the arrangement file being opened
// (set by the openers).
extern std::string gArrFileDir;
extern std::string gArrFileName;

// Reads an arrangement or bank file named in full into gArrFileBuf.
// 0 read and valid; 1 a file error, already reported; 2 a wrong length or
// header, reported with message code 4 (the file is left as it is; after a
// wrong header gArrFileBuf holds the bad image, which the caller must not
// use); 3 an empty file, no file at all or something that is not a file (a folder,
// a pipe, a device), no message; it is left as it is.
// Sets gOpCaption ("Opening " and the file name) and gFileNum.
int ArrFileRead(const std::string& path);

// Reads the files an arrangement file's window shows together, as one save
// left them (ReadDocumentTogether, for the command's DocumentReadScope):
// the arrangement file named in full by path, then its style file and its
// program files (.prg and .pgg), under the names the windows look for.
void ArrDocumentReadTogether(const std::string& path);

void ArrFileReset();  // gArrFileBuf 10,528 NULs, folder and name empty
