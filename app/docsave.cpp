#include "app/docsave.h"

#include <vector>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "app/docaccess.h"
#include "app/openfile.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "services/childview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"

const std::string kSaveAsFilter =
    "Arrangements (*.arr)|*.arr| Styles (*.sty)|*.sty| Programs (*.prg)|*.prg| Programs(*.pgg)| *.pgg| "
    "Global(*.gbl)| *.gbl| All files (*.*)|*.*|";

namespace {

// Document string positions.
constexpr int kPathPos = 21;
constexpr int kPathLen = 238;
constexpr int kImagePos = 271;

enum class Format { None, Arr, Sty, Prg, Gbl };

Format FormatOfKind(int kind) {
  switch (kind) {
    case 2: case 3: case 19: case 20:
      return Format::Arr;
    case 23: case 24:
      return Format::Sty;
    case 21: case 22:
      return Format::Prg;
    case 14: case 25:
      return Format::Gbl;
    default:
      return Format::None;
  }
}

// The file image of the document, exactly len bytes.
std::string Image(const std::string& doc, int len) { return PadRight(Mid(doc, kImagePos, len), len, '\0'); }

void ClearFlag(std::string& doc, int pos) { MidAssign(doc, pos, Chr(0)); }

std::string PrgExt(const std::string& doc) { return Asc(doc, 19) == 0 ? ".prg" : ".pgg"; }
std::string OtherPrgExt(const std::string& doc) { return Asc(doc, 19) == 0 ? ".pgg" : ".prg"; }

// Whom the box of a failed save is titled for: File > Save names the file
// ("Saving " and its name); the close prompt of an arrangement file and Save
// As use the program's title.
enum class Title { File, Program };

// Why a write failed, for its box. A folder that took no new file or let no
// file go for want of permission gives the folder's reason, "Writing not
// permitted" (as the box of the settings folder says); a file that may not
// be written is a "Read only file".
std::string SaveErrorReason(const std::string& failed, int err) {
  if (err == kErrPathFileAccess && DirExists(failed)) return Res(58);
  return SaveFailureReason(err);
}

// One box for a failed attempt: what could not be written (the file, or the
// folder that refused it) and why. A full disk, a disk that is not ready
// and a folder another program is saving in may clear: the box offers Retry
// and Cancel, and true means the user chose Retry. Any other failure offers
// OK and ends the save.
bool AskRetrySave(const std::string& title, const std::string& failed, int err) {
  const std::string text = ReplaceFirstUnderscore(Res(140), failed) + "\r\n" + SaveErrorReason(failed, err);
  if (err != kErrDiskFull && err != kErrDiskNotReady && err != kErrSaveInUse) {
    TheDialogs().MessageBox(title, text, MsgIcon::Exclamation, MsgButtons::OK);
    return false;
  }
  return TheDialogs().MessageBox(title, text, MsgIcon::Exclamation, MsgButtons::RetryCancel) == kMsgRetry;
}

// Writes the files of one save together (WriteWholeFiles: all or none of
// them, every old file left whole and no temporary file left). A killed
// save of these files that could be neither finished nor undone (or, for
// want of a key, checked) is said once; the save puts its own files in
// place all the same. A file left damaged was said at its open, and is
// not said again. Each failed attempt shows one box; only the user's Retry
// tries again, so the user bounds the retries. File > Save titles its
// boxes with "Saving " and the name of the file that failed (the file
// being saved when a folder refused). 0 done, 1 failed or cancelled
// (shown).
int SaveFiles(Title title, const std::vector<WholeFile>& files) {
  ForgetReportedSaves();
  for (;;) {
    std::string failed;
    SaveNotice notice;
    const int err = WriteWholeFiles(files, &failed, &notice);
    // A folder another program keeps locked is the save's own refusal below.
    if (notice.err != 0 && notice.err != kErrSaveInUse && notice.err != kErrDamaged &&
        notice.err != kErrNotLookedFor)
      ReportUnresolvedSave(title == Title::File ? gOpCaption : kAppTitle, notice.file, notice.err);
    if (err == 0) return 0;
    if (failed.empty()) failed = files.front().path;
    if (title == Title::File && !DirExists(failed)) gOpCaption = Res(115) + PathFileName(failed);
    if (!AskRetrySave(title == Title::File ? gOpCaption : kAppTitle, failed, err)) return 1;
  }
}

WholeFile Write(const std::string& path, const std::string& image) { return WholeFile{path, image}; }
WholeFile Remove(const std::string& path) { return WholeFile{path, std::string(), true}; }

// The style file of the document, written from its group.
WholeFile StyleWrite(std::string& doc) {
  const std::string path = StyFilePath(doc);
  return Write(path, StyFileImage(doc));
}

// The program file of the same name with the other extension goes, so that
// a ".prg" and a ".pgg" of one name never stand side by side.
WholeFile RemoveNamesake(const std::string& pathNoExt, const std::string& otherExt) {
  return Remove(WithExtension(pathNoExt, otherExt));
}

// The files of an arrangement file's save, whichever command saves it (File
// > Save or the close prompt), so that one document leaves the same files:
// the ".arr", then by character 9 its style file: 0 left alone (none was
// read, or it could not be used); 1 deleted (the file had none, or its last
// style was cut); 2 written when its styles changed (character 10). Clears
// the flags it saves; gCurFilePath names the ".arr".
std::vector<WholeFile> ArrFileFiles(std::string& doc) {
  gCurFilePath = WithExtension(WinTagPath(doc), ".arr");
  gArrFileBuf = Image(doc, kArrFileLen);
  std::vector<WholeFile> files{Write(gCurFilePath, gArrFileBuf)};
  ClearFlag(doc, 4);
  switch (Asc(doc, 9)) {
    case 1:
      files.push_back(Remove(StyFilePath(doc)));
      ClearFlag(doc, 10);
      break;
    case 2:
      if (Asc(doc, 10) == 1) {
        files.push_back(StyleWrite(doc));
        ClearFlag(doc, 10);
      }
      break;
    default:
      break;
  }
  return files;
}

// A read-only document (character 2 Chr(1)) is never written in place,
// whatever command asks: "Read only file", titled with its window's
// caption. Save As, which writes another file, is not refused.
bool ReadOnlyRefused(const std::string& doc) {
  const int kind = Asc(doc, 1);
  if (kind < 19 || kind > 25 || Asc(doc, 2) != 1) return false;
  ShowMsg(17, WinCaption(doc), "");
  return true;
}

// The slot record of a file window keeps the path (and for a program file
// its .pgg flag), which the settings, the recent list and the open-window
// checks read.
void StoreSlotRecord(const std::string& doc) {
  const int slot = Asc(doc, 15);
  if (slot < 1 || slot > 8) return;
  const std::string path = PadRight(Mid(doc, kPathPos, kPathLen), kPathLen);
  switch (Asc(doc, 1)) {
    case 19:
      gArrSlots[slot].Path = path;
      break;
    case 21:
      gPrgSlots[slot].Path = path;
      gPrgSlots[slot].Pgg = Asc(doc, 19) != 0 ? 1 : 0;
      break;
    case 23:
      gStySlots[slot].Path = path;
      break;
    case 25:
      gGblSlots[slot].Path = path;
      break;
    default:
      break;
  }
}

// An arrangement file saved under a new path has the ID the database holds
// for that path (0 when none), as an open of it shows: in the slot record
// and the window's ID box. Nothing is entered in the database.
void ShowArrFileId(const std::string& doc) {
  const int slot = Asc(doc, 15);
  if (slot < 1 || slot > 8) return;
  gDBArrId = DBArrFindID(WinTagPath(doc));
  gArrSlots[slot].DbId = static_cast<int16_t>(gDBArrId);
  if (DBArrWindows* windows = TheDBArrWindows()) windows->ArrWindowShowId(slot, gDBArrId);
}

// The chosen name without an extension of the document's format typed at
// its end (any case); another extension stays part of the name.
std::string DropTypedExt(const std::string& chosen, Format format) {
  const int n = static_cast<int>(chosen.size());
  const std::string tail = LCase(Right(chosen, 4));
  bool own = false;
  switch (format) {
    case Format::Arr: own = tail == ".arr"; break;
    case Format::Sty: own = tail == ".sty"; break;
    case Format::Prg: own = tail == ".prg" || tail == ".pgg"; break;
    case Format::Gbl: own = tail == ".gbl"; break;
    default: break;
  }
  return own ? Left(chosen, n - 4) : chosen;
}

// 1 when a window shows the file of this path (without extension) already.
bool ShownByAWindow(Format format, const std::string& pathNoExt) {
  switch (format) {
    case Format::Arr: return ArrFileIsOpen(pathNoExt) == 1;
    case Format::Sty: return StyFileIsOpen(pathNoExt) == 1;
    case Format::Prg: return PrgFileIsOpen(pathNoExt) == 1;
    case Format::Gbl: return GblWinFind(pathNoExt + ".gbl") == 1;
    default: return false;
  }
}

// The Save As dialog as the document's kind starts it.
FileDialogRequest SaveAsRequest(const std::string& doc) {
  const std::string path = WinTagPath(doc);
  FileDialogRequest req;
  switch (Asc(doc, 1)) {
    case 2: case 3: case 19: case 20:
      gDlgFilterIndex = 1;
      req.initDir = gLastDir;
      req.defaultExt = "arr";
      if (Asc(doc, 1) == 2) req.fileName = "r40ArrA.arr";
      else if (Asc(doc, 1) == 3) req.fileName = "r40ArrB.arr";
      else if (Asc(doc, 1) == 19) req.fileName = path + ".arr";
      else req.fileName = (Asc(doc, 18) == 1 ? Res(81) : PathFileName(path)) + ".arr";
      break;
    case 21:
      req.initDir = PathDir(path);
      req.defaultExt = gCurExt;
      req.fileName = PathFileName(path) + "." + gCurExt;
      break;
    case 22:  // the type follows the name: Programs (*.prg) or (*.pgg) by character 19
      req.initDir = gLastDlgPath;
      req.defaultExt = gCurExt;
      req.fileName = Res(81) + "." + gCurExt;
      break;
    case 23: case 24:
      gDlgFilterIndex = 2;
      req.initDir = gLastDir;
      req.defaultExt = "sty";
      req.fileName = Res(81) + ".sty";
      break;
    default:  // 14 and 25, global
      gDlgFilterIndex = 5;
      req.initDir = gGblDir;
      req.defaultExt = "gbl";
      req.fileName = PathFileName(path) + ".gbl";
      break;
  }
  req.filterIndex = gDlgFilterIndex;
  req.filter = kSaveAsFilter;
  req.title = Res(75);
  return req;
}

}  // namespace

int FileSave(std::string& document, ChildView* /*owner: a save in place keeps the caption*/) {
  if (ReadOnlyRefused(document)) return 1;
  std::string doc = document;
  gFileNum = FreeFileNum();
  const std::string path = WinTagPath(doc);
  gCurFilePath = path;
  const int kind = Asc(doc, 1);

  std::vector<WholeFile> files;
  switch (kind) {
    case 19:
      files = ArrFileFiles(doc);
      gOpCaption = Res(115) + PathFileName(gCurFilePath);
      break;
    case 20:
      gCurFilePath = WithExtension(path, ".arr");
      gOpCaption = Res(115) + PathFileName(gCurFilePath);
      gArrFileBuf = Image(doc, kArrFileLen);
      files.push_back(Write(gCurFilePath, gArrFileBuf));
      ClearFlag(doc, 4);
      if (Asc(doc, 9) == 2) {
        files.push_back(StyleWrite(doc));
        ClearFlag(doc, 10);
      } else {
        files.push_back(Remove(StyFilePath(doc)));
      }
      break;
    case 21:
    case 22:  // a new program that has a name is saved as a program file
      gCurFilePath = WithExtension(path, PrgExt(doc));
      gOpCaption = Res(115) + PathFileName(gCurFilePath);
      gPrgFileBuf = Image(doc, kPrgFileLen);
      files.push_back(Write(gCurFilePath, gPrgFileBuf));
      files.push_back(RemoveNamesake(path, OtherPrgExt(doc)));
      ClearFlag(doc, 7);
      break;
    case 23:
    case 24:  // likewise a new style
      gCurFilePath = StyFilePath(doc);
      gOpCaption = Res(115) + PathFileName(gCurFilePath);
      files.push_back(StyleWrite(doc));
      ClearFlag(doc, 10);
      break;
    case 25:
      gCurFilePath = WithExtension(path, ".gbl");
      gOpCaption = Res(115) + PathFileName(gCurFilePath);
      gGblFileBuf = Image(doc, kGblFileLen);
      files.push_back(Write(gCurFilePath, gGblFileBuf));
      ClearFlag(doc, 4);
      break;
    default:  // the banks and the other windows have no file of their own
      return 0;
  }
  if (SaveFiles(Title::File, files) != 0) return 1;
  StoreSlotRecord(doc);
  document = doc;
  return 0;
}

int ArrFileSaveClose(std::string& document, ChildView* /*owner: a save in place keeps the caption*/) {
  if (ReadOnlyRefused(document)) return 1;
  std::string doc = document;
  gFileNum = FreeFileNum();
  const std::vector<WholeFile> files = ArrFileFiles(doc);
  if (SaveFiles(Title::Program, files) != 0) return 1;
  StoreSlotRecord(doc);
  document = doc;
  return 0;
}

int FileSaveAs(std::string& document, ChildView* owner) {
  std::string doc = document;
  const int kind = Asc(doc, 1);
  if (Asc(doc, 19) == 0) {
    gCurExt = "prg";
    gDlgFilterIndex = 3;
  } else {
    gCurExt = "pgg";
    gDlgFilterIndex = 4;
  }
  const Format format = FormatOfKind(kind);
  if (format == Format::None) return 0;  // no file format of its own: nothing to save

  const FileDialogResult answer = TheDialogs().ShowSave(SaveAsRequest(doc));
  if (!answer.accepted || answer.fileName.empty()) return 1;

  // The path kept in the document: the chosen one without an extension of
  // the format; it must fit the path field whole and name a file.
  const std::string pathNoExt = DropTypedExt(answer.fileName, format);
  const std::string folder = PathDir(pathNoExt);
  const std::string name = PathFileName(pathNoExt);
  if (static_cast<int>(pathNoExt.size()) > kPathLen || name.empty()) {
    TheDialogs().MessageBox(kAppTitle, Res(48), MsgIcon::Exclamation, MsgButtons::OK);
    return 1;
  }
  if (pathNoExt != WinTagPath(doc) && ShownByAWindow(format, pathNoExt)) {
    ShowMsg(16, kAppTitle, "");
    return 1;
  }

  gFileNum = FreeFileNum();
  // A bank and the instrument's global parameters only export a copy: the
  // window keeps its document.
  const bool exportOnly = kind == 2 || kind == 3 || kind == 14;
  std::vector<WholeFile> files;
  switch (format) {
    case Format::Arr:
      gArrFileBuf = Image(doc, kArrFileLen);
      files.push_back(Write(WithExtension(pathNoExt, ".arr"), gArrFileBuf));
      if (exportOnly) break;
      ClearFlag(doc, 4);
      MidAssign(doc, kPathPos, PadRight(pathNoExt, kPathLen));
      if (Asc(doc, 9) == 2) {  // the style file now goes beside the new path
        files.push_back(StyleWrite(doc));
        ClearFlag(doc, 10);
      }
      break;
    case Format::Sty:
      MidAssign(doc, kPathPos, PadRight(pathNoExt, kPathLen));
      files.push_back(StyleWrite(doc));
      ClearFlag(doc, 10);
      break;
    case Format::Prg:
      gLastDlgPath = PathDir(answer.fileName);
      gCurFilePath = WithExtension(pathNoExt, "." + gCurExt);
      gPrgFileBuf = Image(doc, kPrgFileLen);
      files.push_back(Write(gCurFilePath, gPrgFileBuf));
      files.push_back(RemoveNamesake(pathNoExt, OtherPrgExt(doc)));
      ClearFlag(doc, 7);
      MidAssign(doc, kPathPos, PadRight(pathNoExt, kPathLen));
      break;
    case Format::Gbl:
      gGblFileBuf = Image(doc, kGblFileLen);
      files.push_back(Write(WithExtension(pathNoExt, ".gbl"), gGblFileBuf));
      if (exportOnly) break;
      ClearFlag(doc, 4);
      MidAssign(doc, kPathPos, PadRight(pathNoExt, kPathLen));
      break;
    default:
      return 0;
  }
  if (SaveFiles(Title::Program, files) != 0) return 1;

  gCurFilePath = folder;
  switch (format) {
    case Format::Arr: gArrFileName = name; break;
    case Format::Sty: gStyFileName = name; break;
    case Format::Prg: gPrgFileName = name; break;
    case Format::Gbl: gGblFileName = name; break;
    default: break;
  }
  if (exportOnly) return 0;
  ClearFlag(doc, 18);
  // The window now follows the new file's permissions; a read-only state
  // the user chose stays.
  DocReadOnlyFollowFile(doc);
  StoreSlotRecord(doc);
  if (kind == 19) ShowArrFileId(doc);
  document = doc;
  if (owner) owner->SetWindowCaption(WinCaption(document));
  return 0;
}

int SaveBeforeClose(std::string& document, const std::string& title, ChildView* owner) {
  switch (AskSave(1, title)) {
    case kMsgYes:
      // A Save As that leaves the document untitled has saved nothing.
      if (Asc(document, 18) == 1) return FileSaveAs(document, owner) != 0 || Asc(document, 18) == 1 ? 1 : 0;
      return FileSave(document, owner) != 0 ? 1 : 0;
    case kMsgNo:
      return 0;
    default:
      return 1;
  }
}
