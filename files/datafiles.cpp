#include "files/datafiles.h"

#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "platform/files.h"

std::string ArrBankFileImage(int bank, const StyleNameFn& styleName) {
  std::string image = Nuls(kArrFileLen);
  MidAssign(image, 1, kArrFileHeader);
  for (int i = 0; i < kArrRecCount; ++i) {
    const int style = 64 * bank + i;
    // Record i: the style's name, the style number (a factory style), and
    // the settings a new arrangement starts with.
    std::string rec = Nuls(kArrRecLen);
    MidAssign(rec, 1, PadRight(styleName(style), 16));
    MidAssign(rec, 18, Chr(style));
    MidAssign(rec, 22, Chr(0x5A));
    MidAssign(rec, 24, Chr(0x3C));
    MidAssign(rec, 30, StringOf(4, '\x01'));
    MidAssign(image, kArrRecStart + kArrRecLen * i + 1, rec);
  }
  return image;
}

std::string PrgBankFileImage() {
  std::string image = Nuls(kPrgFileLen);
  MidAssign(image, 1, kPrgFileHeader);
  return image;
}

std::string StyTemplateFileImage() {
  std::string image = Nuls(kStyTemplateLen);
  MidAssign(image, 1, kStyHeader);
  for (int k = 0; k < 4; ++k) {
    PutU16LE(image, 25 + 4 * k, kStyTemplateSlotLen);
    MidAssign(image, kStyHeaderLen + kStyTemplateSlotLen * k + 1, PadRight(kStyEmptyName, 16));
  }
  return image;
}

int MakeDataFiles(const std::string& dir, const StyleNameFn& styleName) {
  const struct {
    const char* name;
    std::string image;
  } files[] = {
      {"r40ArrA", ArrBankFileImage(0, styleName)},
      {"r40ArrB", ArrBankFileImage(1, styleName)},
      {"r40Prg", PrgBankFileImage()},
      {"r40Sty", StyTemplateFileImage()},
  };
  for (const auto& f : files) {
    if (const int err = WriteWholeFileAtomic(dir + kPathSep + f.name, f.image)) return err;
  }
  return 0;
}
