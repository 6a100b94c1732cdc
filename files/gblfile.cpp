#include "files/gblfile.h"

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/filecommon.h"

std::string gGblFileBuf = Nuls(kGblFileLen);
std::string gGblFileDir;
std::string gGblFileName;

int GblFileRead(const std::string& path) {
  gOpCaption = Res(111) + PathFileName(path);
  const int result = ReadImageFile(path, kGblFileLen, gGblFileBuf, 4, false);
  if (result != 0) return result;
  if (Left(gGblFileBuf, 8) != kGblFileHeader) {
    ShowMsg(4, gOpCaption, "");
    return 2;
  }
  return 0;
}

void GblFileReset() {
  gGblFileBuf = Nuls(kGblFileLen);
  gGblFileDir.clear();
  gGblFileName.clear();
}
