// The global-settings file (.gbl): the instrument's global block, exactly
// 448 bytes with the header "KORG" 4D 00 06 01; bytes 32-446 are the global
// parameters.
#pragma once

#include <string>

constexpr int kGblFileLen = 448;
inline const std::string kGblFileHeader{"KORG\x4D\x00\x06\x01", 8};

// The image left by the last GblFileRead: always 448 bytes.
extern std::string gGblFileBuf;
// Folder and name without extension of the global file being opened or
// saved (set by the openers and Save As).
extern std::string gGblFileDir;
extern std::string gGblFileName;

// Reads a global file named in full into gGblFileBuf; the result codes and
// messages are those of ArrFileRead (a wrong length or header: message code
// 4, result 2).
int GblFileRead(const std::string& path);

void GblFileReset();  // gGblFileBuf 448 NULs, folder and name empty
