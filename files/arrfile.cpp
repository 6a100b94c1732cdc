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

void ArrFileReset() {
  gArrFileBuf = Nuls(kArrFileLen);
  gArrFileDir.clear();
  gArrFileName.clear();
}
