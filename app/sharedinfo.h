// The info file "TessaroInfo" in the Windows folder, shared with the sibling
// programs: one 1000-character record naming the arrangement, style and
// program files whose data were last sent to the instrument, at positions
// 51, 101 and 151 in fields of 50 characters. This program reads and writes
// only those fields; the rest keeps what another program wrote there.
#pragma once

#include <string>

constexpr int kSharedInfoLen = 1000;
extern const std::string kSharedInfoName;  // "TessaroInfo"

extern std::string gSharedInfoBuf;  // the record's image
extern std::string gSentArrName;    // arrangement name of the last read
extern std::string gSentPrgName;    // program name of the last read

std::string SharedInfoPath();

// First start: makes sure the file exists with length 1000; a file of any
// other length is replaced whole by a new one (tag, blanks, empty names), as
// a save does, so that a failed write leaves it as it was; something that is
// not a file standing there is left alone. Returns 0 or the error number of
// the failed file statement (the caller's handler reports).
int SharedInfoInit();

// Reads the file, creating nothing: returns the style name (empty when the
// file is missing, empty or not a file, or a file error ended the read) and
// sets gSentArrName and gSentPrgName.
std::string SharedInfoRead();

// Record what was sent: the file title of characters 21-258 of tag, cut to
// 24 characters, into the file's field, and name & extension into the main
// window's label. 0 when written (or a file error was reported), 1 when the
// info file does not exist (it is not made again), is empty or is not a
// file (left as it is), or the file-error routine gave up; 1 too, with the
// label unchanged, while the settings folder is locked (nothing is written
// there).
int SharedInfoPutArr(const std::string& tag);
int SharedInfoPutSty(const std::string& tag);
int SharedInfoPutPrg(const std::string& tag, const std::string& ext);

void SharedInfoReset();
