#include "files/prgfile.h"

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/filecommon.h"

std::string gPrgFileBuf = Nuls(kPrgFileLen);
std::string gPrgFileDir;
std::string gPrgFileName;

namespace {

// A file whose content is not a program file: the name is forgotten and the
// fault reported.
int FormatFault() {
  gPrgFileName.clear();
  ShowMsg(32, gOpCaption, "");
  return 2;
}

// Reads one candidate file into gPrgFileBuf (the result of ReadImageFile);
// a file of the wrong length is a format fault, so its name is forgotten.
int ReadCandidate(const std::string& path) {
  const int result = ReadImageFile(path, kPrgFileLen, gPrgFileBuf, 32, true);
  if (result == 2) gPrgFileName.clear();
  return result;
}

// The result of a candidate of a known kind: 0 for a .prg, 4 for a .pgg, or a
// format fault when its header is not the one of that kind.
int KindResult(bool pgg) {
  const std::string& header = pgg ? kPggFileHeader : kPrgFileHeader;
  if (Left(gPrgFileBuf, 7) != header) return FormatFault();
  return pgg ? 4 : 0;
}

}  // namespace

int PrgFileRead(const std::string& path) {
  gPrgFileDir = PathDir(path);
  gPrgFileName = PathFileName(path);
  gOpCaption = Res(111) + gPrgFileName;
  gPrgFileName = Left(gPrgFileName, static_cast<int>(gPrgFileName.size()) - 4);

  const int result = ReadCandidate(path);
  if (result == 3) gPrgFileName.clear();
  if (result != 0) return result;
  const std::string header = Left(gPrgFileBuf, 7);
  if (header != kPrgFileHeader && header != kPggFileHeader) return FormatFault();
  return 0;
}

int PrgFileLoad(const std::string& path) {
  gPrgFileDir = PathDir(path);
  gPrgFileName = PathFileName(path);
  const std::string title = gPrgFileName;

  const int type = FileTypeOfPath(path);
  if (type == 3 || type == 4) {
    gOpCaption = Res(111) + title;
    const int result = ReadCandidate(path);
    if (result == 3) gPrgFileName.clear();
    if (result != 0) return result;
    return KindResult(type == 4);
  }

  // A program file and its namesake of the other extension, read as one
  // save left them (a save of one removes the other).
  DocumentReadScope together;
  ReadDocumentTogether({path + ".prg", path + ".pgg"});
  gCurExt = "prg";
  gOpCaption = Res(111) + title + ".prg";
  int result = ReadCandidate(path + ".prg");
  if (result == 0) return KindResult(false);
  if (result != 3) return result;

  gCurExt = "pgg";
  gOpCaption = Res(111) + title + ".pgg";
  result = ReadCandidate(path + ".pgg");
  if (result == 3) gPrgFileName.clear();
  if (result != 0) return result;
  return KindResult(true);
}

void PrgFileReset() {
  gPrgFileBuf = Nuls(kPrgFileLen);
  gPrgFileDir.clear();
  gPrgFileName.clear();
}
