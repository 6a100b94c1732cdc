// The arrangement database: the input as the file r40DBArr, then the start-up
// check, lookups, entries and the update over it, with every question
// answered Yes. A folder of arrangement files beside it holds a good file, a
// good file with an upper-case name, an empty one, a short one and one with
// a wrong header, so that the update keeps some entries and drops others.
// Databases with nearly all records used also go through the removal and
// insertion rules directly, at any record.
#include <algorithm>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "services/paths.h"
#include "files/arrfile.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/winfolder.h"
#include "tests/fuzz/fuzz_common.h"

// The Windows folder is the fuzz folder.
std::string WinFolder() { return FuzzDir(); }
std::string WinFolderPath() { return FuzzDir(); }
std::string WinPath(const std::string& name) { return FuzzPath(name); }
void SetWinFolder(const std::string&) {}

namespace {

const std::string& ArrDir() {
  static const std::string dir = [] {
    const std::string d = FuzzPath("arr");
    FUZZ_CHECK(MakeDirs(d) == 0);
    const std::string good = PadRight(kArrFileHeader, kArrFileLen, '\0');
    std::string badHeader = good;
    MidAssign(badHeader, 5, Chr(0x4E));
    FuzzWriteFile("arr/a.arr", good);
    FuzzWriteFile("arr/B.ARR", good);
    FuzzWriteFile("arr/c.arr", "");
    FuzzWriteFile("arr/d.arr", Left(good, 9000));
    FuzzWriteFile("arr/e.arr", badHeader);
    return d;
  }();
  return dir;
}

// Names the input picks: those of the folder, case variants, the longest
// name kept and one too long.
const std::string kNames[] = {"a", "A", "b", "c", "d", "e", "f", "zz", "", std::string(24, 'n'),
                              std::string(25, 'n'), "a ", "x/y"};
constexpr int kNameCount = static_cast<int>(sizeof kNames / sizeof kNames[0]);

std::string PickName(FuzzInput& in) {
  const int b = in.Byte();
  if (b < 200) return kNames[b % kNameCount];
  // A name from the input itself, up to 30 bytes.
  std::string name;
  for (int n = b - 200; n > 0 && n <= 30; --n) name += Chr(in.Byte());
  return name;
}

// count entries with IDs from 3 up, named "n0000" on, in folder.
std::string NearlyFull(int count, const std::string& folder) {
  std::string image = kDBArrName + Nuls(kDBArrRecLen - 8);
  for (int k = 2; k <= kDBArrLastRec; ++k) image += Chr(0) + Space(kDBArrNameLen - 1) + Nuls(2);
  image += Nuls(kDBArrMapLen) + PadRight(folder, kDBArrDirLen);
  for (int i = 0; i < count; ++i) {
    const int pos = DBArrRecPos(kDBArrFirstRec + i);
    const int id = kDBArrFirstRec + i;
    MidAssign(image, pos, PadRight("n" + Right(CStr(10000 + i), 4), kDBArrNameLen));
    MidAssign(image, pos + kDBArrNameLen, Chr(id & 255) + Chr(id >> 8));
    MidAssign(image, kDBArrMapPos + i, Chr(1));
  }
  return image;
}

ScriptedDialogs& Boxes() {
  static ScriptedDialogs d;
  return d;
}

std::string DbFile() {
  std::string bytes;
  ReadWholeFile(DBArrPath(), bytes);  // "" when missing
  return bytes;
}

bool Damaged(const std::string& bytes) {
  return !bytes.empty() && (bytes.size() != static_cast<size_t>(kDBArrLen) || Left(bytes, 8) != kDBArrName);
}

int MapUsed(const std::string& image) {
  int n = 0;
  for (int i = 0; i < kDBArrMapLen; ++i) n += Asc(image, kDBArrMapPos + i) == 1;
  return n;
}

// The IDs of the entries, record 3 up to the first empty record.
std::vector<int> EntryIds(const std::string& image) {
  std::vector<int> ids;
  for (int k = kDBArrFirstRec; k <= kDBArrLastRec && !DBArrRecEmpty(image, k); ++k)
    ids.push_back(DBArrRecId(image, k));
  return ids;
}

bool IsSubsequence(const std::vector<int>& part, const std::vector<int>& whole) {
  size_t i = 0;
  for (int id : whole)
    if (i < part.size() && part[i] == id) ++i;
  return i == part.size();
}

// The file after an operation: missing, the damaged file as it was, or a
// whole database.
void CheckFile(const std::string& before) {
  const std::string now = DbFile();
  if (Damaged(before)) {
    FUZZ_CHECK(now == before);
  } else {
    FUZZ_CHECK(now.empty() || DBArrImageValid(now));
  }
}

// DBArrAdd of a name the input picks, in the database's folder (or, now and
// then, another one).
void AddOne(FuzzInput& in, const std::string& folder) {
  gArrFileDir = (in.Byte() & 7) ? folder : FuzzPath("other");
  gArrFileName = PickName(in);
  const std::string before = DbFile();
  Boxes().boxAnswers.push_back(kMsgYes);
  const int result = DBArrAdd(19);
  Boxes().boxAnswers.clear();
  FUZZ_CHECK(result == 0 || result == 1);
  CheckFile(before);
  const std::string after = DbFile();
  if (gArrFileName.size() > static_cast<size_t>(kDBArrNameLen))
    FUZZ_CHECK(after == before || EntryIds(after).empty());
  if (result == 1) {
    FUZZ_CHECK(gDBArrId > 0);
    // The lookup by path finds it again, where the path gives back the name
    // (no separator in it, no trailing blank).
    const std::string path = gArrFileDir + "/" + gArrFileName;
    if (!gDBArrEditOpen && PathFileName(path) == gArrFileName && PathDir(path) == gArrFileDir)
      FUZZ_CHECK(DBArrFindID(path) == gDBArrId);
    if (after != before && !before.empty()) {
      // A new entry: one more ID in use, the new one of 3-999.
      FUZZ_CHECK(gDBArrId >= kDBArrFirstRec && gDBArrId <= kDBArrLastRec);
      FUZZ_CHECK(MapUsed(after) == MapUsed(before) + 1);
      // (Records past the first empty one join the entries when the new one
      // fills the gap.)
      FUZZ_CHECK(EntryIds(after).size() >= EntryIds(before).size() + 1);
    }
  } else if (!before.empty()) {
    FUZZ_CHECK(after == before);
  }
}

// Removals and insertions straight on an image: whatever its bytes, they
// keep its length, header, record 2 and folder, and change no map byte but
// the one of the ID freed or taken.
void RulesOnImage(FuzzInput& in, std::string image) {
  for (int step = 0; step < 2; ++step) {
    const std::string before = image;
    const int b = in.Byte();
    if (b & 1) {
      // Mostly the last records; otherwise any number, outside 3-999 too.
      const int k = (b & 2) ? kDBArrLastRec - (b >> 2) % 16 : (in.Byte() | in.Byte() << 8) % 1003;
      const int id = DBArrRecId(image, k);
      DBArrRemove(image, k);
      for (int i = 0; i < kDBArrMapLen; ++i) {
        const int pos = kDBArrMapPos + i;
        if (Asc(image, pos) != Asc(before, pos))
          FUZZ_CHECK(pos == id + kDBArrMapPos - kDBArrFirstRec && Asc(image, pos) == 0);
      }
    } else {
      const std::string name = kNames[(b >> 1) % kNameCount];
      int rec = 0;
      if (DBArrLookup(image, name, rec) != DBArrFind::Absent) continue;
      const int id = DBArrInsert(image, name, rec);
      if (id == 0) {
        FUZZ_CHECK(image == before);
        continue;
      }
      FUZZ_CHECK(id >= kDBArrFirstRec && id <= kDBArrLastRec);
      FUZZ_CHECK(Asc(before, id + kDBArrMapPos - kDBArrFirstRec) == 0 &&
                 MapUsed(image) == MapUsed(before) + 1);
      if (RTrim(name) == name) {
        FUZZ_CHECK(DBArrLookup(image, name, rec) == DBArrFind::Found);
        FUZZ_CHECK(DBArrRecId(image, rec) == id);
      }
    }
    FUZZ_CHECK(image.size() == before.size());
    FUZZ_CHECK(Left(image, 2 * kDBArrRecLen) == Left(before, 2 * kDBArrRecLen));
    FUZZ_CHECK(Mid(image, kDBArrDirPos) == Mid(before, kDBArrDirPos));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    SetDialogs(&Boxes());
    ArrDir();
    return true;
  }();
  (void)once;
  Boxes().Clear();
  DBArrReset();

  FuzzInput in{data, size};
  const int how = in.Byte();
  std::string bytes;
  if ((how & 3) == 0) {
    bytes = in.Rest();  // the whole file
  } else if ((how & 3) == 3) {
    // A database holding 985-997 entries with their IDs in the map, then
    // bytes changed where the input says (pairs of offset and value), so
    // that insertion and removal reach the last records and a full map. Its
    // folder does not exist: the update stops at the first entry, as
    // checking hundreds of files per input would make the run crawl; the
    // removal rule is run on the image directly instead.
    static const std::vector<std::string> images = [] {
      std::vector<std::string> v;
      for (int count = 985; count <= 997; ++count) v.push_back(NearlyFull(count, FuzzPath("gone")));
      return v;
    }();
    bytes = images[in.Byte() % images.size()];
    const size_t end = in.size - std::min<size_t>(in.size, 16);  // the last bytes drive the rules
    while (in.pos + 2 < end) {
      const int at = in.Byte() | in.Byte() << 8;
      MidAssign(bytes, at % kDBArrLen + 1, Chr(in.Byte()));
    }
    RulesOnImage(in, bytes);
    in.pos = 1;  // the names below come from the start of the input again
  } else {
    // A database with the good magic and length: records and map from the
    // input; for mode 2 the folder of the arrangement files and entries named
    // from the names above with the IDs the input gives.
    bytes = PadRight(kDBArrName + in.Rest(), kDBArrLen, '\0');
    if ((how & 3) == 2) {
      FuzzInput names{data, size};
      names.pos = 1;
      MidAssign(bytes, kDBArrDirPos, PadRight(ArrDir(), kDBArrDirLen));
      const int count = names.Byte() % 12;
      for (int k = kDBArrFirstRec; k < kDBArrFirstRec + count; ++k) {
        const int pos = DBArrRecPos(k);
        MidAssign(bytes, pos, PadRight(kNames[names.Byte() % kNameCount], kDBArrNameLen));
        // Mostly IDs of 0-15; now and then a high byte, for IDs past 999.
        const int lo = names.Byte() % 16;
        const int hi = names.Byte() % 8 == 0 ? names.Byte() & 3 : 0;
        MidAssign(bytes, pos + kDBArrNameLen, Chr(lo) + Chr(hi));
      }
      MidAssign(bytes, DBArrRecPos(kDBArrFirstRec + count), Chr(0));
    }
  }
  FuzzWriteFile(kDBArrName, bytes);
  gDBArrEditOpen = (how & 4) != 0;
  if (gDBArrEditOpen) DBArrBuf = PadRight(bytes, kDBArrLen, '\0');

  // The start-up check, or the check later.
  gStarting = (how & 8) != 0;
  const int check = DBArrCheck();
  FUZZ_CHECK(check >= 0 && check <= 2);
  if (bytes.empty()) FUZZ_CHECK(check == 1 && DbFile().empty());
  if (!bytes.empty()) FUZZ_CHECK(DbFile() == bytes);
  if (Damaged(bytes)) FUZZ_CHECK(check == (gStarting ? 0 : 2));
  if (!bytes.empty() && !Damaged(bytes)) FUZZ_CHECK(check == 0);
  gStarting = false;
  if (bytes.empty()) return 0;

  const std::string folder = Damaged(bytes) ? ArrDir() : DBArrFolder(bytes);
  // Lookups: never an ID from a damaged file. (Fewer over the large
  // databases, whose lookups are slow under the sanitizers.)
  const bool large = (how & 3) == 3;
  for (int i = 0; i < (large ? 1 : 3); ++i) {
    const int id = DBArrFindID(folder + "/" + PickName(in));
    FUZZ_CHECK(id >= 0 && id <= 65535);
    if (Damaged(bytes)) FUZZ_CHECK(id == 0);
  }

  AddOne(in, folder);
  const std::string before = DbFile();
  DBArrUpdate();
  CheckFile(before);
  const std::string after = DbFile();
  if (!before.empty() && !Damaged(before) && after != before) {
    // Entries are only removed, the others in their order with their IDs.
    FUZZ_CHECK(IsSubsequence(EntryIds(after), EntryIds(before)));
    FUZZ_CHECK(MapUsed(after) <= MapUsed(before));
  }
  if (!large) AddOne(in, folder);
  AddOne(in, folder);
  FUZZ_CHECK(DBArrBuf.size() == static_cast<size_t>(kDBArrLen));
  return 0;
}
