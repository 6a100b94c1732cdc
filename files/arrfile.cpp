#include "files/arrfile.h"

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/filecommon.h"

std::string gArrFileBuf = Nuls(kArrFileLen);
std::string gArrFileDir;
std::string gArrFileName;

int ArrFileRead(const std::string& path) {
  gOpCaption = Res(111) + PathFileName(path);
  const int result = ReadImageFile(path, kArrFileLen, gArrFileBuf, 4, false);
  if (result != 0) return result;
  if (Left(gArrFileBuf, 7) != kArrFileHeader) {
    ShowMsg(4, gOpCaption, "");
    return 2;
  }
  return 0;
}

void ArrDocumentReadTogether(const std::string& path) {
  // The save of an arrangement file puts the .arr in place before the .sty:
  // they are read in that order.
  const std::string stem = Left(path, static_cast<int>(path.size()) - 4);
  ReadDocumentTogether({path, WithExtension(stem, "sty"), WithExtension(stem, "prg"), stem + ".prg",
                        WithExtension(stem, "pgg"), stem + ".pgg"});
}

void ArrFileReset() {
  gArrFileBuf = Nuls(kArrFileLen);
  gArrFileDir.clear();
  gArrFileName.clear();
}
