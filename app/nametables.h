// The instrument's name tables and the function codes of the global
// parameters. Built once at the end of a successful start (NameTablesBuild)
// and read-only afterwards. Names are Latin-1, 16 characters each, padded
// with blanks.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Program names by bank window kind: 4 bank A, 5 B, 6 C, 7 D, 8 E (entries
// 0-3 stay empty). Each holds 64 names of 16 characters, 1024 in all;
// program p (0-63) occupies characters 16p+1 to 16p+16.
extern std::string gPrgNames[9];
// The name of program p (0-63) of bank kind bankKind (4-8): its 16
// characters, blanks while the tables are empty.
std::string PrgBankName(int bankKind, int p);
// The 16 drum kit names (256 characters); kit k (0-15) occupies characters
// 16k+1 to 16k+16.
extern std::string gDrumKitNames;
// Factory style names, 16 characters each: bank A 0-63, bank B 64-127.
extern std::string gStyNames[128];
// Function code of each entry (0-51) of the global parameters' function
// lists.
extern int16_t gGblFuncCodes[52];

// The texts of the 52 function-list entries, in entry order (Latin-1).
extern const std::array<std::string, 52> kGblFuncListTexts;

// Builds, in this order, the function codes, the program names of banks A to
// E, the drum kits and the styles 0 to 127.
void NameTablesBuild();
// Empties every table, as before a start.
void NameTablesReset();
