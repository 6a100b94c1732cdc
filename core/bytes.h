// Byte strings with 1-based helpers.
//
// Every record of the program (a window's WinTag, file images, settings
// records, outgoing MIDI data) is a std::string of bytes: one char is one byte
// 0-255, NULs included. Positions count from 1, as the record layouts do, so
// code reads like its layout: Mid(tag, 21, 238), MidAssign(tag, 4, Chr(1)).
// Bytes are always read as unsigned (Asc). No binary data goes into QString.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Mid(s, start, len): up to len bytes from 1-based position start. A start
// past the end gives "", a len past the end gives the rest. len < 0: the rest.
std::string Mid(const std::string& s, int start, int len = -1);

// Overwrites s from position start with v, in place; never lengthens s: only
// the bytes of v that fit before the end of s are written.
void MidAssign(std::string& s, int start, const std::string& v);

// The byte at 1-based position pos as 0-255; 0 when pos is outside s.
int Asc(const std::string& s, int pos = 1);

// A one-byte string holding c & 0xFF.
std::string Chr(int c);

std::string Left(const std::string& s, int n);
std::string Right(const std::string& s, int n);
std::string Space(int n);                 // n blanks
std::string StringOf(int n, char c);      // n copies of c
std::string Nuls(int n);                  // n NUL bytes

// Blank trimming (blanks only, as the designed trims do).
std::string RTrim(const std::string& s);
std::string LTrim(const std::string& s);
std::string Trim(const std::string& s);
// Removes trailing blanks and NULs (settings text read back from a record
// that was never filled).
std::string RTrimBlankNul(const std::string& s);
// The bytes up to, not including, the first NUL: a name or list text as
// shown, the rest of its field not being text.
std::string CutAtNul(const std::string& s);

// s padded with blanks (or cut) to exactly n bytes.
std::string PadRight(const std::string& s, int n, char fill = ' ');

// 1-based position of the first what in s from start, 0 when absent.
int InStr(const std::string& s, const std::string& what, int start = 1);
// 1-based position of the last what in s, 0 when absent.
int InStrRev(const std::string& s, const std::string& what);

// Numbers written as text. Str gives a leading blank for a number >= 0 and
// a minus sign otherwise ("Str(3)" = " 3"); CStr gives no blank ("3").
std::string Str(long long n);
std::string CStr(long long n);

// Two upper-case hexadecimal digits.
std::string Hex2(int byte);

// 16-bit and 32-bit fields. BE = high byte first (settings file);
// LE = low byte first (style lengths, device handles). pos is 1-based.
int GetU16BE(const std::string& s, int pos);
int GetU16LE(const std::string& s, int pos);
int16_t GetI16LE(const std::string& s, int pos);
void PutU16BE(std::string& s, int pos, int value);
void PutU16LE(std::string& s, int pos, int value);
uint32_t GetU32LE(const std::string& s, int pos);
void PutU32LE(std::string& s, int pos, uint32_t value);
std::string U16BE(int value);
std::string U16LE(int value);
std::string U32LE(uint32_t value);

// Latin-1 text. The program's texts (file names, string table, names in
// files) are 8-bit Latin-1; source literals are UTF-8, so tables written in
// the source are turned into Latin-1 once. Characters outside Latin-1 become
// '?'.
std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);
// Text for the screen: valid UTF-8 that holds a multi-byte sequence (a path
// as the file system spells it) is taken as UTF-8; anything else is Latin-1.
// Returned as UTF-8, ready for QString::fromUtf8.
std::string ScreenUtf8(std::string_view bytes);

// Upper/lower case of ASCII letters only.
std::string LCase(const std::string& s);
std::string UCase(const std::string& s);
