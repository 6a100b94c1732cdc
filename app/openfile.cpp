#include "app/openfile.h"

#include "app/appstate.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "platform/dialogs.h"

std::string gGblDir;
std::string gOpenDlgPath;

const std::string kOpenFilter =
    "Arrangements (*.arr)|*.arr|Style (*.sty)|*.sty|Programs (*.prg/pgg)|*.prg;*.pgg|Global (*.gbl)|*.gbl| All "
    "files (*.*)|*.*|";

namespace {

// The path field of a window holds the path without its extension.
constexpr int kPathField = 238;

enum class Branch { None, Arr, Sty, Prg, Gbl };

Branch BranchOfKind(int kind) {
  switch (kind) {
    case 2: case 3: case 19:
      return Branch::Arr;
    case 23:
      return Branch::Sty;
    case 21:
      return Branch::Prg;
    case 25:
      return Branch::Gbl;
    default:
      return Branch::None;
  }
}

int StartFilterIndex(Branch branch) {
  switch (branch) {
    case Branch::Arr: return 1;
    case Branch::Sty: return 2;
    case Branch::Prg: return 3;
    case Branch::Gbl: return 4;
    default: return 0;
  }
}

// The folder the dialog starts in: the last folder of the type, else a
// neighbour; empty when none is known. A folder that has gone is passed all
// the same: the dialog falls back to the current folder.
std::string StartFolder(Branch branch) {
  switch (branch) {
    case Branch::Arr:
    case Branch::Sty:
      return !gLastDir.empty() ? gLastDir : gLastDlgPath;
    case Branch::Gbl:
      return !gGblDir.empty() ? gGblDir : gLastDir;
    default:
      if (!gLastDlgPath.empty()) return gLastDlgPath;
      return gLastDir.empty() ? std::string() : PathDir(gLastDir);
  }
}

// P without its last four characters (the extension), and the file name
// of P likewise.
std::string DropExt(const std::string& p) { return Left(p, static_cast<int>(p.size()) - 4); }
std::string NameNoExt(const std::string& p) { return DropExt(PathFileName(p)); }

// The results of the arrangement, program and global readers: 3 empty or
// missing, 1 or 2 refused and already reported.
int ReaderResult(int read) {
  if (read == 3) return 3;
  return read == 0 ? 0 : 1;
}

int OpenArr(const std::string& p) {
  gArrFileName = DropExt(p);
  if (ArrFileIsOpen(gArrFileName) == 1) return 2;
  gLastDir = PathDir(p);
  // The window reads the style and program files too: all of them as one
  // save left them, for the command's scope.
  ArrDocumentReadTogether(p);
  const int result = ReaderResult(ArrFileRead(p));
  if (result == 0) {
    gArrFileDir = gLastDir;
    gArrFileName = NameNoExt(p);
  }
  return result;
}

int OpenSty(const std::string& p) {
  gStyFileName = DropExt(p);
  if (StyGroupIsOpen(gStyFileName) == 1) return 2;
  gLastDir = PathDir(p);
  switch (StyFileRead(p)) {
    case 0:
      gStyFileDir = gLastDir;
      gStyFileName = NameNoExt(p);
      return 0;
    case 2:
      return 3;
    default:
      // The reader is silent about a file that is not a style group; a file
      // error it has reported already.
      if (StyFileReadRefused()) ShowMsg(4, gOpCaption, "");
      return 1;
  }
}

int OpenPrg(const std::string& p) {
  gPrgFileName = DropExt(p);
  if (PrgFileIsOpen(gPrgFileName) == 1) return 2;
  gLastDlgPath = PathDir(p);
  gCurExt = UCase(Right(p, 3));
  const std::string ext = UCase(Right(p, 4));
  if (ext != ".PGG" && ext != ".PRG") return 1;
  const int result = ReaderResult(PrgFileRead(p));
  if (result == 0) {
    gPrgFileDir = gLastDlgPath;
    gPrgFileName = NameNoExt(p);
  }
  return result;
}

int OpenGbl(const std::string& p) {
  gGblFileName = DropExt(p);
  // GblWinFind compares without the extension and leaves p as it is.
  if (GblWinFind(p) == 1) return 2;
  gGblDir = PathDir(p);
  if (LCase(Right(p, 4)) != ".gbl") return 1;
  const int result = ReaderResult(GblFileRead(p));
  if (result == 0) {
    gGblFileDir = gGblDir;
    gGblFileName = NameNoExt(p);
  }
  return result;
}

// A new program file: the template with its 64 programs emptied; the
// header and the block after the programs keep the template's bytes.
int OpenNewPrg() {
  const int read = PrgFileRead(gPrgBankPath);
  if (read == 3) return 3;
  if (read == 1 || read == 2) return 1;
  MidAssign(gPrgFileBuf, kPrgRecStart + 1, Nuls(64 * kPrgRecLen));
  return 0;
}

}  // namespace

int OpenFile(int kind) {
  ForgetReportedSaves();  // an interrupted save that stays stuck is said again at each File > Open
  if (kind == 22) return OpenNewPrg();
  const Branch branch = BranchOfKind(kind);
  if (branch == Branch::None) return 1;

  FileDialogRequest req;
  req.filterIndex = StartFilterIndex(branch);
  req.initDir = StartFolder(branch);
  req.readOnlyBox = true;
  req.readOnlyChecked = TheMainView() != nullptr && TheMainView()->MenuChecked("mnuRdOnly");
  req.filter = kOpenFilter;
  req.title = kAppTitle + "- " + Res(67);
  const FileDialogResult answer = TheDialogs().ShowOpen(req);
  if (!answer.accepted || answer.fileName.empty()) {
    // A program file left unchosen leaves no name behind for the window.
    if (kind == 21 && answer.filterIndex != 1) {
      gPrgFileName.clear();
      gPrgFileDir.clear();
    }
    return 1;
  }
  gOpenReadOnly = answer.readOnly;
  gOpenDlgPath = answer.fileName;

  const std::string& p = answer.fileName;
  if (static_cast<int>(p.size()) - 4 > kPathField) {
    gOpCaption = Res(111) + PathFileName(p);
    TheDialogs().MessageBox(gOpCaption, Res(48), MsgIcon::Exclamation, MsgButtons::OK);
    return 1;
  }

  switch (branch) {
    case Branch::Arr: return OpenArr(p);
    case Branch::Sty: return OpenSty(p);
    case Branch::Prg: return OpenPrg(p);
    case Branch::Gbl: return OpenGbl(p);
    default: return 1;
  }
}

void OpenFileReset() {
  gGblDir.clear();
  gOpenDlgPath.clear();
}
