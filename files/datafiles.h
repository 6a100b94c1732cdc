// The data files of the program folder, made at build time: the
// instrument's arrangement banks r40ArrA and r40ArrB (one arrangement per
// factory style, named after it), the empty program bank r40Prg and the
// new-style template r40Sty.
#pragma once

#include <functional>
#include <string>

// The 16-character, blank-padded name of factory style s (0-127).
using StyleNameFn = std::function<std::string(int s)>;

// Arrangement bank file: bank 0 is r40ArrA (styles 0-63), bank 1 r40ArrB
// (styles 64-127).
std::string ArrBankFileImage(int bank, const StyleNameFn& styleName);
std::string PrgBankFileImage();
std::string StyTemplateFileImage();

// Writes r40ArrA, r40ArrB, r40Prg and r40Sty into the folder dir. Returns 0,
// or the error number of the first write that failed.
int MakeDataFiles(const std::string& dir, const StyleNameFn& styleName);
