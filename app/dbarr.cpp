#include "app/dbarr.h"

#include <algorithm>
#include <map>

#include "app/appstate.h"
#include "app/settings.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "app/slots.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/winfolder.h"

std::string DBArrBuf(kDBArrLen, '\0');
int gDBArrId = 0;
bool gDBArrEditOpen = false;

namespace {

DBArrWindows* gWindows = nullptr;

// The map byte of an ID of 3-999; 0 for any other ID, which has none.
int MapPos(int id) {
  return id >= kDBArrFirstRec && id <= kDBArrLastRec ? id + kDBArrMapPos - kDBArrFirstRec : 0;
}

std::string EmptyRec() { return Chr(0) + Space(kDBArrNameLen - 1) + Nuls(2); }

// Record k becomes empty. Only its first byte and ID bytes matter to the
// readers.
void ClearRec(std::string& image, int k) {
  const int pos = DBArrRecPos(k);
  MidAssign(image, pos, Chr(0));
  MidAssign(image, pos + kDBArrNameLen, Nuls(2));
}

// The key names are sorted and matched by.
std::string Key(const std::string& image, int k) { return UCase(DBArrRecName(image, k)); }

// Reads the open database whole. damaged: the file has another length or
// lacks the magic. Only a whole, valid image replaces image, so an open
// editor never works on (or writes back) a damaged one.
int ReadImage(RecordFile& f, std::string& image, bool& damaged) {
  std::string read;
  const int err = f.Get(1, read);
  damaged = err == 0 && (f.Lof() != kDBArrLen || !DBArrImageValid(read));
  if (err == 0 && !damaged) image = read;
  return err;
}

// The entries end at the first record whose first byte is 0 or whose ID is
// 0: where a damaged file has the two apart, nothing past the first is an
// entry.
bool EndOfEntries(const std::string& image, int k) {
  return DBArrRecEmpty(image, k) || DBArrRecId(image, k) == 0;
}

// Opens the database for reading and writing without making it: no file,
// an empty one or something that is not a file (a folder, a pipe) is no
// database (53) and is left as it is.
int OpenDatabase(RecordFile& f) {
  if (KindOfFile(DBArrPath()) != FileKind::Regular) return kErrFileNotFound;
  const int err = f.Open(DBArrPath(), kDBArrLen);
  if (err == 0 && f.Lof() == 0) {
    f.Close();
    return kErrFileNotFound;
  }
  return err;
}

void RefreshEditor() {
  if (!gDBArrEditOpen || !gWindows) return;
  const std::vector<std::string> lines = DBArrListLines(DBArrBuf);
  gWindows->EditorShowList(lines, DBArrCountText(static_cast<int>(lines.size())));
}

// The new or found ID of the file in hand goes to the window open on it.
void ShowIdInWindow(int id) {
  if (id <= 0) return;
  const std::string path = gArrFileDir + kPathSep + gArrFileName;
  for (int slot = 1; slot <= 8; ++slot) {
    if (gArrSlotUsed[slot] != 1 || RTrim(gArrSlots[slot].Path) != path) continue;
    gArrSlots[slot].DbId = static_cast<int16_t>(id);
    if (gWindows) gWindows->ArrWindowShowId(slot, id);
  }
}

// The files of the database folder by upper-cased name, listed once for an
// update: an entry's name is matched without case, so "SONG.ARR" is the file
// of the entry "song".
using FolderFiles = std::map<std::string, std::vector<std::string>>;

// 0, or why the folder cannot be looked at: it is missing or unreadable.
int ListFolder(const std::string& folder, FolderFiles& files) {
  std::vector<std::string> names;
  if (const int err = ListFolderFiles(folder, names)) return err;
  for (const std::string& name : names) files[UCase(name)].push_back(name);  // in byte order
  return 0;
}

// Whether path is an arrangement file: exactly 10,528 bytes beginning with
// the header. Opened for reading only, and only the header is read. 0 with
// isArr, or the error number of a file that cannot be looked at.
int IsArrFile(const std::string& path, bool& isArr) {
  isArr = false;
  long long len = 0;
  if (const int err = FileLength(path, len)) return err;
  if (len != kArrFileLen) return 0;  // empty or of another size
  RecordFile f;
  std::string head;
  int err = 0;
  if ((err = f.Open(path, static_cast<int>(kArrFileHeader.size()), OpenMode::ReadOnly)) != 0 ||
      (err = f.Get(1, head)) != 0 || (err = f.Close()) != 0)
    return err;
  isArr = head == kArrFileHeader;
  return 0;
}

enum class EntryFile { Kept, Dead, Error };

// Whether the file of an entry is still an arrangement file, looked at
// without creating anything. Error: the file exists but cannot be read; err
// then holds why.
EntryFile CheckEntryFile(const std::string& folder, const FolderFiles& files, const std::string& name,
                         int& err) {
  err = 0;
  // A name holding a separator or a NUL names no file of the folder.
  if (name.find(kPathSep) != std::string::npos || name.find('\0') != std::string::npos)
    return EntryFile::Dead;
  const std::string fileName = name + ".arr";
  const auto found = files.find(UCase(fileName));
  if (found == files.end()) return EntryFile::Dead;
  // The name as stored first, then its other spellings.
  std::vector<std::string> candidates = found->second;
  const auto exact = std::find(candidates.begin(), candidates.end(), fileName);
  if (exact != candidates.end()) std::rotate(candidates.begin(), exact, exact + 1);

  for (const std::string& candidate : candidates) {
    const std::string path = folder + kPathSep + candidate;
    if (!FileExists(path)) continue;  // gone since the listing
    bool isArr = false;
    if ((err = IsArrFile(path, isArr)) != 0) return EntryFile::Error;
    if (isArr) return EntryFile::Kept;
  }
  return EntryFile::Dead;
}

// The arrangement files Add All looks at, as (name without extension, file
// name): plain files, not hidden, whose name ends in ".arr" in any case,
// with a name the database can hold (24 characters), in the database's
// order (upper case, then byte code), which decides the IDs they get.
std::vector<std::pair<std::string, std::string>> AddAllCandidates(const std::vector<std::string>& files) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& file : files) {
    const int len = static_cast<int>(file.size());
    if (len <= 4 || Left(file, 1) == "." || UCase(Right(file, 4)) != ".ARR") continue;
    const std::string name = Left(file, len - 4);
    if (name.size() > static_cast<size_t>(kDBArrNameLen)) continue;
    out.emplace_back(name, file);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    const std::string ka = UCase(a.first), kb = UCase(b.first);
    return ka != kb ? ka < kb : a.first < b.first;
  });
  return out;
}

}  // namespace

DBArrWindows* TheDBArrWindows() { return gWindows; }
void SetDBArrWindows(DBArrWindows* windows) { gWindows = windows; }

std::string DBArrPath() { return WinPath(kDBArrName); }

int DBArrRecPos(int k) { return (k - 1) * kDBArrRecLen + 1; }

std::string DBArrRecName(const std::string& image, int k) {
  return RTrim(Mid(image, DBArrRecPos(k), kDBArrNameLen));
}

int DBArrRecId(const std::string& image, int k) {
  const int pos = DBArrRecPos(k) + kDBArrNameLen;
  return Asc(image, pos + 1) * 256 + Asc(image, pos);
}

bool DBArrRecEmpty(const std::string& image, int k) { return Asc(image, DBArrRecPos(k)) == 0; }

std::string DBArrFolder(const std::string& image) { return RTrim(Mid(image, kDBArrDirPos, kDBArrDirLen)); }

bool DBArrImageValid(const std::string& image) {
  return image.size() == static_cast<size_t>(kDBArrLen) && Left(image, 8) == kDBArrName;
}

std::string DBArrNewImage() {
  std::string image = kDBArrName + Nuls(kDBArrRecLen - 8);
  for (int k = 2; k <= kDBArrLastRec; ++k) image += EmptyRec();
  image += Nuls(kDBArrMapLen);
  image += Space(kDBArrDirLen);
  return image;
}

DBArrFind DBArrLookup(const std::string& image, const std::string& name, int& rec) {
  const std::string key = UCase(name);
  for (int k = kDBArrFirstRec; k <= kDBArrLastRec; ++k) {
    if (Key(image, k) == key) {
      rec = k;
      return DBArrFind::Found;
    }
    if (DBArrRecEmpty(image, k)) {
      rec = k;
      return DBArrFind::Absent;
    }
  }
  rec = 0;
  return DBArrFind::Full;
}

int DBArrInsert(std::string& image, const std::string& name, int firstEmpty) {
  if (name.size() > static_cast<size_t>(kDBArrNameLen)) return 0;
  if (Asc(name, 1) == 0 && !name.empty()) return 0;  // it would read as an empty record
  if (image.size() != static_cast<size_t>(kDBArrLen)) return 0;
  if (firstEmpty < kDBArrFirstRec || firstEmpty > kDBArrLastRec) return 0;
  const int mapAt = InStr(Mid(image, kDBArrMapPos, kDBArrMapLen), Chr(0));
  if (mapAt == 0) return 0;  // every ID is taken: the database is full

  // The new record's place: after the last used record L when the name sorts
  // after it, else after the last record (from L down) that sorts before it.
  // Record 2 is empty, so every name sorts after it.
  const std::string key = UCase(name);
  const int last = firstEmpty - 1;
  int target = firstEmpty;
  if (!(key > Key(image, last))) {
    int k = last;
    while (k >= kDBArrFirstRec && !(Key(image, k) < key)) --k;
    target = k + 1;
    // Records target to last move one place towards the end.
    MidAssign(image, DBArrRecPos(target + 1),
              Mid(image, DBArrRecPos(target), (last - target + 1) * kDBArrRecLen));
  }

  const int id = mapAt + kDBArrFirstRec - 1;
  MidAssign(image, kDBArrMapPos + mapAt - 1, Chr(1));
  const int pos = DBArrRecPos(target);
  MidAssign(image, pos, Space(kDBArrNameLen));
  MidAssign(image, pos, name);
  MidAssign(image, pos + kDBArrNameLen, Chr(id & 255) + Chr(id >> 8));
  return id;
}

void DBArrRemove(std::string& image, int k) {
  if (k < kDBArrFirstRec || k > kDBArrLastRec) return;
  if (const int mapPos = MapPos(DBArrRecId(image, k))) MidAssign(image, mapPos, Chr(0));
  ClearRec(image, k);
  if (k == kDBArrLastRec) return;
  // The later records up to the first empty one (included) move up one
  // place; when there is none, record 999 is left empty.
  int end = k + 1;
  while (end <= kDBArrLastRec && !DBArrRecEmpty(image, end)) ++end;
  const int last = std::min(end, kDBArrLastRec);
  MidAssign(image, DBArrRecPos(k), Mid(image, DBArrRecPos(k + 1), (last - k) * kDBArrRecLen));
  if (end > kDBArrLastRec) ClearRec(image, kDBArrLastRec);
}

std::vector<std::string> DBArrListLines(const std::string& image) {
  std::vector<std::string> lines{Str(1) + "\tArrA", Str(2) + "\tArrB"};
  for (int k = kDBArrFirstRec; k <= kDBArrLastRec && !EndOfEntries(image, k); ++k)
    lines.push_back(Str(DBArrRecId(image, k)) + "\t" + DBArrRecName(image, k) + ".arr");
  return lines;
}

int DBArrRecOfId(const std::string& image, int id) {
  for (int k = kDBArrFirstRec; k <= kDBArrLastRec && !EndOfEntries(image, k); ++k)
    if (DBArrRecId(image, k) == id) return k;
  return 0;
}

std::string DBArrCountText(int lineCount) { return Str(lineCount) + "/999"; }

int DBArrFindID(const std::string& path) {
  if (!gDBArrEditOpen) {
    RecordFile f;
    if (OpenDatabase(f) != 0) return 0;
    bool damaged = false;
    const int err = ReadImage(f, DBArrBuf, damaged);
    f.Close();
    if (err != 0 || damaged) return 0;
  }
  if (!DBArrImageValid(DBArrBuf)) return 0;
  if (DBArrFolder(DBArrBuf) != PathDir(path)) return 0;
  int rec = 0;
  if (DBArrLookup(DBArrBuf, PathFileName(path), rec) != DBArrFind::Found) return 0;
  return DBArrRecId(DBArrBuf, rec);
}

bool DBArrWriteRefused(const std::string& title) {
  if (!gSettingsFolderLocked) return false;
  SettingsFolderRefusalMsg(title);
  return true;
}

void DBArrAutoAdd() {
  if (gSettingsFolderLocked) return;
  DBArrAdd(19);
}

int DBArrAdd(int kind) {
  gOpCaption = Res(105) + kDBArrName;
  // Asked first: a new database's question could not be answered by a write.
  if (DBArrWriteRefused(gOpCaption)) return 0;
  RecordFile f;
  int err = OpenDatabase(f);

  if (err == kErrFileNotFound) {
    // No database yet: the folder of the file in hand may become its folder.
    if (AskSaveDir(3, kDBArrEditTitle) != kMsgYes) return 0;
    if (MainView* view = TheMainView()) {
      view->SetMenuEnabled("mnuWEditDBArr", true);
      view->SetMenuEnabled("mnuAggArr", true);
      view->SetMenuEnabled("mnuWFindID", true);
    }
    f.Close();
    const std::string before = DBArrBuf;
    DBArrBuf = DBArrNewImage();
    int id = 0;
    if (kind == 19) {
      id = DBArrInsert(DBArrBuf, gArrFileName, kDBArrFirstRec);  // 3, or 0 for a name too long
      gDBArrId = id;
    }
    MidAssign(DBArrBuf, kDBArrDirPos, gArrFileDir);
    if (DBArrWrite(DBArrBuf) != 0) {
      DBArrBuf = before;
      if (kind == 19) gDBArrId = 0;
      ShowMsg(25, gOpCaption, "");
      return 0;
    }
    RefreshEditor();
    ShowIdInWindow(id);
    return id > 0 ? 1 : 0;
  }

  if (err == 0 && (kind == 2 || kind == 3)) return 0;
  bool damaged = false;
  if (err == 0) err = ReadImage(f, DBArrBuf, damaged);
  f.Close();
  if (err == 0 && damaged) {
    ShowMsg(4, gOpCaption, "");
    gDBArrId = 0;
    return 0;
  }
  if (err == 0) {
    // A file of another folder has no ID and cannot be entered.
    if (DBArrFolder(DBArrBuf) != gArrFileDir) return 0;
    int rec = 0;
    switch (DBArrLookup(DBArrBuf, gArrFileName, rec)) {
      case DBArrFind::Full:
        gDBArrId = 0;
        return 0;
      case DBArrFind::Found:
        gDBArrId = DBArrRecId(DBArrBuf, rec);
        ShowIdInWindow(gDBArrId);
        return gDBArrId > 0 ? 1 : 0;
      case DBArrFind::Absent:
        break;
    }
    const std::string before = DBArrBuf;
    gDBArrId = DBArrInsert(DBArrBuf, gArrFileName, rec);
    if (gDBArrId == 0) return 0;  // a name too long, or no free ID
    err = DBArrWrite(DBArrBuf);
    if (err == 0) {
      RefreshEditor();
      ShowIdInWindow(gDBArrId);
      return 1;
    }
    DBArrBuf = before;  // the entry was not written
    gDBArrId = 0;
  }
  ShowMsg(25, gOpCaption, "");
  return 0;
}

void DBArrUpdate() {
  gOpCaption = Res(105) + kDBArrName;
  if (DBArrWriteRefused(gOpCaption)) return;
  RecordFile f;
  int err = OpenDatabase(f);
  if (err == kErrFileNotFound) {
    ShowMsg(27, gOpCaption, "");
    return;
  }
  bool damaged = false;
  if (err == 0) err = ReadImage(f, DBArrBuf, damaged);
  f.Close();
  if (err == 0 && damaged) {
    ShowMsg(4, gOpCaption, "");
    return;
  }
  if (err == 0) {
    const std::string read = DBArrBuf;
    const std::string folder = DBArrFolder(DBArrBuf);
    FolderFiles files;
    bool listed = false;
    int k = kDBArrFirstRec;
    while (err == 0 && k <= kDBArrLastRec && !DBArrRecEmpty(DBArrBuf, k)) {
      const std::string name = DBArrRecName(DBArrBuf, k);
      gOpCaption = Res(105) + name + ".arr";
      if (!listed) {
        listed = true;
        if ((err = ListFolder(folder, files)) != 0) break;
      }
      switch (CheckEntryFile(folder, files, name, err)) {
        case EntryFile::Kept:
          ++k;
          break;
        case EntryFile::Dead:
          DBArrRemove(DBArrBuf, k);  // the record moved into its place is looked at next
          break;
        case EntryFile::Error:
          break;
      }
    }
    if (err == 0) err = DBArrWrite(DBArrBuf);
    if (err == 0) {
      RefreshEditor();
      return;
    }
    DBArrBuf = read;  // nothing was written
  }
  ShowMsg(25, gOpCaption, "");
}

int DBArrRead(std::string& image) {
  RecordFile f;
  int err = f.Open(DBArrPath(), kDBArrLen, OpenMode::ReadOnly);
  if (err == kErrFileNotFound || err == kErrPathNotFound) return 1;
  if (err == 0 && f.Lof() == 0) return 1;
  bool damaged = false;
  if (err == 0) err = ReadImage(f, image, damaged);
  if (err == 0) err = f.Close();
  if (err != 0) return err;
  return damaged ? 2 : 0;
}

int DBArrWrite(const std::string& image) {
  if (gSettingsFolderLocked) return kErrPathFileAccess;
  return WriteWholeFileAtomic(DBArrPath(), image);
}

int DBArrCheck() {
  switch (DBArrRead(DBArrBuf)) {
    case 0:
      return 0;
    case 1:
      if (!gStarting) ShowMsg(6, kDBArrEditTitle, "");
      return 1;
    case 2:
      if (gStarting) return 0;
      ShowMsg(7, kDBArrEditTitle, "");
      return 2;
    default:
      // The file is there but cannot be read: not usable.
      ShowMsg(25, kDBArrEditTitle, "");
      return 2;
  }
}

void DBArrAddAll() {
  gOpCaption = Res(111) + kDBArrName;
  if (DBArrWriteRefused(gOpCaption)) return;
  const std::string before = DBArrBuf;  // what the editor lists
  switch (const int r = DBArrRead(DBArrBuf)) {
    case 0:
      break;
    case 1:
    case 2:
      ShowMsg(r == 1 ? 6 : 7, gOpCaption, "");
      return;
    default:
      ShowMsg(25, gOpCaption, "");
      return;
  }
  const std::string folder = DBArrFolder(DBArrBuf);
  std::vector<std::string> files;
  if (ListFolderFiles(folder, files) != 0) {
    DBArrBuf = before;
    ShowMsg(25, gOpCaption, "");
    return;
  }
  // Files that cannot be read are passed over, as files of another kind are.
  // A full database ends the scan: what was entered so far is written.
  for (const auto& [name, file] : AddAllCandidates(files)) {
    bool isArr = false;
    if (IsArrFile(folder + kPathSep + file, isArr) != 0 || !isArr) continue;
    int rec = 0;
    const DBArrFind found = DBArrLookup(DBArrBuf, name, rec);
    if (found == DBArrFind::Found) {
      gDBArrId = DBArrRecId(DBArrBuf, rec);
      continue;
    }
    gDBArrId = found == DBArrFind::Absent ? DBArrInsert(DBArrBuf, name, rec) : 0;
    if (gDBArrId == 0) break;
  }
  if (DBArrWrite(DBArrBuf) != 0) {
    DBArrBuf = before;
    ShowMsg(25, gOpCaption, "");
    return;
  }
  RefreshEditor();
  DBArrShowWindowIds();
}

void DBArrShowWindowIds() {
  for (int slot = 1; slot <= 8; ++slot) {
    if (gArrSlotUsed[slot] != 1) continue;
    const int id = DBArrFindID(RTrim(gArrSlots[slot].Path));
    gArrSlots[slot].DbId = static_cast<int16_t>(id);
    if (gWindows) gWindows->ArrWindowShowId(slot, id);
  }
}

void DBArrReset() {
  DBArrBuf.assign(kDBArrLen, '\0');
  gDBArrId = 0;
  gDBArrEditOpen = false;
  gWindows = nullptr;
}
