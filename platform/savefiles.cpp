// The save engine (files.h): WriteWholeFiles, the records of a save and
// ResolveKilledSave, which run under the save lock (savelock.h).
//
// Trust. Whatever stands beside a document may have been put there by
// someone else: another user of a shared folder, an unpacked archive, a
// restored backup. Owning, linking or rewriting a file proves nothing, so a
// record is acted on only when it can only have come from this user's own
// copies of the program, for a save of this very document:
// - its bytes carry an HMAC-SHA256 under the user's save key (savekey.h),
//   which only the user may read; its name is one the key derives from its
//   file's name, so it is found without listing the folder, and no one else
//   can tell the name beforehand;
// - it is a private regular file of this user with one name, at most
//   64 KiB, and it lists its own copies with their inode and birth time:
//   one read under another (a record of ours brought back from a backup or
//   an archive, which is a new file) is left alone. Where the file system
//   keeps no stable inode numbers (FAT, exFAT) this cannot be asked, and
//   the contents decide;
// - it names its files by their names in their folders, so that it still
//   counts once the folder is reached another way (moved, renamed, a stick
//   mounted elsewhere), and only the name asked for and its companion (the
//   ".sty" of an ".arr", the ".pgg" of a ".prg", beside that name), or
//   other names of the file asked for, each with the file its links led to;
// - every file it would rename, write from, write into or delete is as the
//   save left it: its inode and birth time, its content (the old one, the
//   new one, or for a file written in place a mix of the two, byte by
//   byte), and each side file this user's regular file at the moment of
//   the act, checked again after each rename.
// Anything else is left alone, and the document opens and saves as if the
// record were not there. Where no key can be had, no record is acted on.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "platform/fileattrs.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/savekey.h"
#include "platform/savelock.h"
#include "platform/winfolder.h"

using namespace fileimpl;
using fileattrs::Attrs;

namespace {

// ---- Identities ----

// A file as the file system knows it: its device, inode and birth time
// (zero where the file system keeps none). An inode number may be reused by
// a later file; the birth time tells them apart. A record keeps the inode
// and birth time only: the device number changes when a stick is mounted
// again.
struct Ident {
  uint64_t dev = 0;
  uint64_t ino = 0;
  uint64_t bsec = 0;
  uint64_t bnsec = 0;
  bool Known() const { return ino != 0; }
  bool SameInode(const Ident& o) const { return dev == o.dev && ino == o.ino; }
  bool operator==(const Ident& o) const { return SameInode(o) && bsec == o.bsec && bnsec == o.bnsec; }
  bool operator!=(const Ident& o) const { return !(*this == o); }
  // Whether a file found now is the one recorded (a record's identity has
  // no device).
  bool Recorded(const Ident& now) const { return ino == now.ino && bsec == now.bsec && bnsec == now.bnsec; }
};

// What stands at a path, links not followed.
struct Look {
  bool exists = false;
  Ident id;
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  nlink_t nlink = 0;
  long long size = 0;
};

void FillLook(const struct statx& sx, Look& look) {
  look.exists = true;
  look.id.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  look.id.ino = sx.stx_ino;
  if (sx.stx_mask & STATX_BTIME) {
    look.id.bsec = static_cast<uint64_t>(sx.stx_btime.tv_sec);
    look.id.bnsec = sx.stx_btime.tv_nsec;
  }
  look.mode = sx.stx_mode;
  look.uid = sx.stx_uid;
  look.gid = sx.stx_gid;
  look.nlink = sx.stx_nlink;
  look.size = static_cast<long long>(sx.stx_size);
}

constexpr unsigned kLookMask = STATX_BASIC_STATS | STATX_BTIME;

// 0 with look filled (look.exists false when nothing stands there), or the
// errno of a failure to look.
int LookAt(const std::string& path, Look& look) {
  look = Look{};
  if (!PathUsable(path)) return ENOENT;
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, kLookMask, &sx) != 0)
    return errno == ENOENT ? 0 : errno;
  FillLook(sx, look);
  return 0;
}

bool LookFd(int fd, Look& look) {
  look = Look{};
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, kLookMask, &sx) != 0) return false;
  FillLook(sx, look);
  return true;
}

// Whether the file system of a folder keeps a file's inode number for good.
// FAT and exFAT give inode numbers out afresh when a file is looked up
// again (after a remount, or once the kernel forgot it), so there a file
// is known by its content only. The fault hook's "inodes" stands for such
// a file system in tests.
bool KeepsInodes(const std::string& folder) {
  constexpr long kMsdos = 0x4d44, kExfat = 0x2011BAB0;
  if (AskHook("inodes", folder) != 0) return false;
  struct statfs fs {};
  if (::statfs(folder.c_str(), &fs) != 0) return true;
  return fs.f_type != kMsdos && fs.f_type != kExfat;
}

// ---- Hashes ----

// Long names are shortened by their FNV-1a hash (Fnv1a); contents are told
// apart by their BLAKE2b-256 (savekey::ContentHash).

std::string Hex16(uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = kDigits[v & 15];
  return s;
}

std::string Hex(uint64_t v) {
  std::string s = Hex16(v);
  const size_t first = s.find_first_not_of('0');
  return first == std::string::npos ? "0" : s.substr(first);
}

// ---- Side-file names ----
//
// Each file of a save has a home its side files are named after (files.h):
// "." + name part + "~brv" + six letters or digits, and for a record the
// same + ".save". A name part is the home's name, or for a name longer than
// 200 bytes its first 200 bytes, "-" and the hash of the whole name: two
// names of one save never share a part, and every side-file name stays
// within what the file system takes. The six letters or digits are derived
// from the key, the home's name and a slot number: a record is looked for
// at the few names of its slots, never by listing a folder, and the next
// save finds what a killed one left the same way.

constexpr char kMark[] = "~brv";
constexpr size_t kRandomLen = 6;
constexpr char kRecordExt[] = ".save";
constexpr size_t kRecordExtLen = 5;
constexpr size_t kPlainNameMax = 200;
constexpr size_t kRecordMax = 64 * 1024;
constexpr int kTempSlots = 4;    // new contents and old files aside
constexpr int kRecordSlots = 4;  // records
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string NamePart(const std::string& name) {
  if (name.size() <= kPlainNameMax) return name;
  return name.substr(0, kPlainNameMax) + "-" + Hex16(Fnv1a(name));
}

std::string SidePrefix(const std::string& home) { return "." + NamePart(NameOf(home)) + kMark; }

bool IsRandomAt(const std::string& s, size_t at) {
  if (s.size() < at + kRandomLen) return false;
  for (size_t i = at; i < at + kRandomLen; ++i) {
    const char c = s[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Whether a name is one of a side file of the engine's: a temporary file
// ("." + part + "~brv" + six letters or digits) or a record (the same +
// ".save"), of any home.
bool IsSideName(const std::string& entry, bool record) {
  const size_t tail = kRandomLen + (record ? kRecordExtLen : 0);
  const size_t mark = entry.size() >= tail + 4 ? entry.size() - tail - 4 : std::string::npos;
  return mark != std::string::npos && mark >= 2 && entry[0] == '.' && entry.compare(mark, 4, kMark) == 0 &&
         IsRandomAt(entry, mark + 4) && (!record || entry.compare(entry.size() - kRecordExtLen, kRecordExtLen, kRecordExt) == 0);
}

// Whether a folder entry is a record named after home (by any slot).
bool IsRecordName(const std::string& entry, const std::string& home) {
  const std::string prefix = SidePrefix(home);
  return entry.size() == prefix.size() + kRandomLen + kRecordExtLen && entry.compare(0, prefix.size(), prefix) == 0 &&
         IsSideName(entry, true);
}

std::string RandomPart() {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kNameChars)) - 2);
  std::string s;
  for (size_t i = 0; i < kRandomLen; ++i) s += kNameChars[pick(rng)];
  return s;
}

// The name of slot k of a side file at home, derived from the key. Its six
// letters or digits are kept once worked out, since each save and open
// looks at the same few names again.
std::string SlotPath(const std::string& key, const std::string& home, bool record, int k) {
  static std::mutex mutex;
  static std::map<std::string, std::string> parts;  // by key and what is named
  const std::string what = key + (record ? "record " : "temp ") + std::to_string(k) + " " + NameOf(home);
  std::string part;
  {
    std::lock_guard<std::mutex> guard(mutex);
    const auto known = parts.find(what);
    if (known != parts.end()) part = known->second;
  }
  if (part.empty()) {
    const std::string mac = savekey::Mac(key, what.substr(key.size()));
    for (size_t i = 0; i < kRandomLen; ++i)
      part += kNameChars[static_cast<unsigned char>(mac[i]) % (sizeof(kNameChars) - 1)];
    std::lock_guard<std::mutex> guard(mutex);
    if (parts.size() >= 1024) parts.clear();
    parts[what] = part;
  }
  return InFolder(FolderOf(home), SidePrefix(home) + part + (record ? kRecordExt : ""));
}

// The i-th name a side file at home may take: its slots, then (for a
// temporary file, should others hold every slot) random names; without a
// key only random names. Empty past the last.
std::string SideName(const std::string& key, const std::string& home, bool record, int i) {
  const int slots = key.empty() ? 0 : record ? kRecordSlots : kTempSlots;
  if (i < slots) return SlotPath(key, home, record, i);
  if (record || i >= slots + 100) return std::string();
  return InFolder(FolderOf(home), SidePrefix(home) + RandomPart());
}

// The home of a file saved in place in the settings folder: named after the
// file's name and a hash of its canonical path, so that two documents of
// one name never share it.
std::string SettingsHomeOf(const std::string& file, const std::string& settings) {
  return InFolder(settings, NameOf(file).substr(0, 100) + "-" + Hex16(Fnv1a(file)));
}

// The home of the records of a file written in place, found through any of
// its names: named after the file's inode and birth time, in the settings
// folder (or beside the file where that folder takes nothing).
std::string IdentityHomeIn(const std::string& folder, const Ident& id) {
  return InFolder(folder, "brv-" + Hex(id.ino) + "-" + Hex(id.bsec) + "." + Hex(id.bnsec));
}

// The path with its folder as the file system knows it (no ".", ".." or
// linked folders), so that two spellings of one file meet; the path itself
// when its folder cannot be resolved.
std::string CanonicalPath(const std::string& path) {
  char buf[PATH_MAX];
  if (!::realpath(FolderOf(path).c_str(), buf)) return path;
  return InFolder(buf, NameOf(path));
}

// ---- Links ----

// Whether a symbolic link may be followed for a write: this user made it,
// or its folder is this user's and no one else may write there, so that no
// one else can have put it there (the kernel's rule for links in sticky
// folders, applied in every folder, since the engine follows links
// itself).
bool MayFollow(const std::string& link, const Look& look) {
  const uid_t me = ::geteuid();
  if (look.uid == me) return true;
  struct stat folder {};
  return ::stat(FolderOf(link).c_str(), &folder) == 0 && folder.st_uid == me && (folder.st_mode & 022) == 0;
}

// The file a path names, through its symbolic links (at most 40 of them),
// each followed only where MayFollow allows: at a link that may not be
// followed, that link itself, with followed false.
std::string RealFileOf(const std::string& path, bool& followed) {
  followed = true;
  std::string p = path;
  for (int i = 0; i < 40; ++i) {
    Look look;
    if (LookAt(p, look) != 0 || !look.exists || !S_ISLNK(look.mode)) return p;
    if (!MayFollow(p, look)) {
      followed = false;
      return p;
    }
    std::string target;
    if (!LinkTarget(p, target)) return p;
    p = target;
  }
  return p;
}

std::string RealFileOf(const std::string& path) {
  bool followed = true;
  return RealFileOf(path, followed);
}

// A name within a folder: not empty, no "/" nor NUL, not "." or "..".
bool CleanName(const std::string& n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos && n.find('\0') == std::string::npos;
}

// An absolute path without empty, "." or ".." parts.
bool CleanPath(const std::string& p) {
  if (p == "/") return true;
  if (p.size() < 2 || p[0] != '/' || p.back() == '/') return false;
  size_t at = 1;
  while (at <= p.size()) {
    size_t end = p.find('/', at);
    if (end == std::string::npos) end = p.size();
    if (!CleanName(p.substr(at, end - at))) return false;
    at = end + 1;
  }
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Whether b is the companion of a in one save: the style file of an
// arrangement file, or the program file of the same name with the other
// extension (either way round), in the same folder.
bool IsCompanion(const std::string& a, const std::string& b) {
  if (FolderOf(a) != FolderOf(b)) return false;
  const std::string na = NameOf(a), nb = NameOf(b);
  if (na.size() < 5 || nb.size() != na.size() || na.compare(0, na.size() - 4, nb, 0, nb.size() - 4) != 0)
    return false;
  const std::string ea = Lower(na.substr(na.size() - 4)), eb = Lower(nb.substr(nb.size() - 4));
  return (ea == ".arr" && eb == ".sty") || (ea == ".sty" && eb == ".arr") || (ea == ".prg" && eb == ".pgg") ||
         (ea == ".pgg" && eb == ".prg");
}

// ---- Moving and writing files ----

// Renames from over nothing: fails (EEXIST) where something stands at to.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  // A file system without the flag: a second name, then the first goes.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return errno;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Opens a regular file (links not followed) that passes check; -1 with
// errno set otherwise (ESTALE for a file that fails it).
int OpenChecked(const std::string& path, int flags, const std::function<bool(const Look&)>& check) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  Look look;
  if (!LookFd(fd, look) || !S_ISREG(look.mode) || (check && !check(look))) {
    ::close(fd);
    errno = ESTALE;
    return -1;
  }
  return fd;
}

// The whole content of a regular file that passes check.
bool ReadChecked(const std::string& path, const std::function<bool(const Look&)>& check, std::string& data) {
  const int fd = OpenChecked(path, O_RDONLY, check);
  if (fd < 0) return false;
  const bool ok = ReadAllFd(fd, data);
  ::close(fd);
  return ok;
}

// Rewrites an existing regular file in place (links not followed), the
// file passing check: data from its start, cut to its size, flushed.
int WriteInPlace(const std::string& path, const std::string& data, const std::function<bool(const Look&)>& check) {
  const int fd = OpenChecked(path, O_WRONLY, check);
  if (fd < 0) return errno == ESTALE ? kErrPathFileAccess : LastError(path);
  int err = 0;
  if (!WriteAll(fd, data.data(), data.size())) err = LastError(path);
  if (err == 0 && ::ftruncate(fd, static_cast<off_t>(data.size())) != 0) err = LastError(path);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(path);
  if (::close(fd) != 0 && err == 0) err = LastError(path);
  return err;
}

// Deletes a side file, only when it is the one identified (as it stands now).
void RemoveIdentified(const std::string& path, const Ident& id) {
  if (path.empty()) return;
  Look look;
  if (LookAt(path, look) == 0 && look.exists && look.id == id) ::unlink(path.c_str());
}

// Flushes each folder once (the fault hook is asked "sync" with each).
void SyncFolders(const std::set<std::string>& folders) {
  for (const std::string& f : folders) {
    AskHook("sync", f);
    SyncFolder(f);
  }
}

// Makes a new side file at home, private to this user, open for writing;
// its path and identity come back. A name someone holds is passed over; a
// record takes one of its slots or none (EEXIST).
int CreateSideFile(const std::string& key, const std::string& home, bool record, std::string& path, Ident& id,
                   int& fd) {
  fd = -1;
  int err = EEXIST;
  for (int i = 0; !(path = SideName(key, home, record, i)).empty(); ++i) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      Look look;
      if (!LookFd(fd, look)) {
        err = errno;
        ::close(fd);
        ::unlink(path.c_str());
        fd = -1;
        break;
      }
      id = look.id;
      return 0;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  path.clear();
  return err;
}

// Writes data whole into a new private temporary file at home, flushed; the
// file stays open (fd) so that its attributes can be given just before it
// takes its place.
int WriteTemp(const std::string& key, const std::string& home, const std::string& data, std::string& temp, Ident& id,
              int& fd) {
  if (const int e = CreateSideFile(key, home, false, temp, id, fd)) return FileErrorFromErrno(e, home);
  int err = 0;
  if (!WriteAll(fd, data.data(), data.size())) err = LastError(home);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(home);
  if (err != 0) {
    ::close(fd);
    fd = -1;
    ::unlink(temp.c_str());
    temp.clear();
  }
  return err;
}

// ---- The record of a save ----
//
// Its bytes (files.h):
//   "Brenvolta save record 3\n"
//   per folder it names: "folder" SP kind SP path LF
//   per copy of the record: "copy" SP folder SP name SP identity LF
//   per file: op SP folder SP name SP folder SP file SP identity SP old
//     size SP old hash SP new size SP new hash SP temp folder SP temp SP
//     identity SP aside folder SP aside SP identity SP mode SP owner SP
//     group SP count (SP attribute name SP value)* LF
//   "mac" SP 64 hex digits LF
// kind is "doc" or "settings" (the settings folder, wherever it is); a
// folder's path is where it was at the save, a hint only; a folder is named
// by its place in that list ("-" for none); a name, path or value is its
// length in decimal, ":" and its bytes; an identity is the inode, birth
// seconds and birth nanoseconds in decimal; hashes are BLAKE2b-256 (64 hex
// digits); the mac is the HMAC-SHA256 of every byte before "mac" under the
// key. Each file is named twice: by the name the save was given (its
// folder and name), and the file that name led to (links followed).

constexpr char kRecordHead[] = "Brenvolta save record 3\n";
constexpr size_t kMacLen = 4 + 64 + 1;  // "mac " + hex + "\n"
const std::string kNoHash(64, '0');

enum class RecordOp { Replace, Create, InPlace, Remove };
constexpr const char* kOpNames[] = {"replace", "new", "inplace", "remove"};

struct RecFolder {
  bool settings = false;
  std::string hint;  // the folder's path at the save
};

// A side file or a copy of the record: its folder (an index into the
// record's folders, -1 for none), its name, and the path that leads to it
// now once the record is placed (Placed).
struct Side {
  int folder = -1;
  std::string name;
  Ident id;
  std::string path;
};

struct RecordEntry {
  RecordOp op = RecordOp::Replace;
  int nameFolder = -1;       // the name the save was given
  std::string nameName;
  int folder = -1;           // the file it led to (for a removal, the name itself)
  std::string fileName;
  Ident old;                 // the file as it stood (replace, inplace, remove)
  long long oldSize = 0;     // its content (replace, inplace, and a regular file removed)
  std::string oldHash = kNoHash;
  long long size = 0;        // the new content (replace, new, inplace)
  std::string hash = kNoHash;
  Side temp;                 // the new content (replace, new, inplace)
  Side aside;                // the old file kept aside (replace: a second name or a copy; inplace: a copy;
                             // remove: the file itself)
  Attrs attrs;               // what the new file is given (replace, new)
  // Once placed:
  std::string name;          // the name's path now
  std::string path;          // the file's path now
  bool stable = true;        // its folder keeps inode numbers
};

struct Record {
  std::vector<RecFolder> folders;
  std::vector<Side> copies;
  std::vector<RecordEntry> entries;
};

void AppendBytes(std::string& out, const std::string& p) { out += std::to_string(p.size()) + ":" + p; }
void AppendIdent(std::string& out, const Ident& id) {
  out += std::to_string(id.ino) + " " + std::to_string(id.bsec) + " " + std::to_string(id.bnsec);
}
void AppendFolder(std::string& out, int folder) { out += folder < 0 ? "-" : std::to_string(folder); }
void AppendSide(std::string& out, const Side& s) {
  AppendFolder(out, s.folder);
  out += ' ';
  AppendBytes(out, s.name);
  out += ' ';
  AppendIdent(out, s.id);
}

std::string HexBytes(const std::string& raw) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (const unsigned char c : raw) {
    s += kDigits[c >> 4];
    s += kDigits[c & 15];
  }
  return s;
}

// The bytes of a record up to its mac.
std::string RecordBody(const Record& r) {
  std::string out = kRecordHead;
  for (const RecFolder& f : r.folders) {
    out += f.settings ? "folder settings " : "folder doc ";
    AppendBytes(out, f.hint);
    out += '\n';
  }
  for (const Side& c : r.copies) {
    out += "copy ";
    AppendSide(out, c);
    out += '\n';
  }
  for (const RecordEntry& e : r.entries) {
    out += kOpNames[static_cast<int>(e.op)];
    out += ' ';
    AppendFolder(out, e.nameFolder);
    out += ' ';
    AppendBytes(out, e.nameName);
    out += ' ';
    AppendFolder(out, e.folder);
    out += ' ';
    AppendBytes(out, e.fileName);
    out += ' ';
    AppendIdent(out, e.old);
    out += ' ' + std::to_string(e.oldSize) + ' ' + e.oldHash + ' ' + std::to_string(e.size) + ' ' + e.hash + ' ';
    AppendSide(out, e.temp);
    out += ' ';
    AppendSide(out, e.aside);
    out += ' ' + std::to_string(e.attrs.mode) + ' ' + std::to_string(e.attrs.uid) + ' ' + std::to_string(e.attrs.gid) +
           ' ' + std::to_string(e.attrs.xattrs.size());
    for (const auto& [name, value] : e.attrs.xattrs) {
      out += ' ';
      AppendBytes(out, name);
      out += ' ';
      AppendBytes(out, value);
    }
    out += '\n';
  }
  return out;
}

std::string RecordBytes(const Record& r, const std::string& key) {
  const std::string body = RecordBody(r);
  return body + "mac " + HexBytes(savekey::Mac(key, body)) + "\n";
}

// Reads the words of a record, each followed by the one separator it must
// have; every length is checked against what is there.
class RecordReader {
 public:
  RecordReader(const std::string& bytes, size_t pos, size_t end) : b_(bytes), pos_(pos), end_(end) {}
  bool AtEnd() const { return pos_ >= end_; }
  bool Word(std::string& w, char sep) {
    size_t at = pos_;
    while (at < end_ && b_[at] != ' ' && b_[at] != '\n') ++at;
    if (at >= end_ || b_[at] != sep) return false;
    w = b_.substr(pos_, at - pos_);
    pos_ = at + 1;
    return true;
  }
  bool Number(uint64_t& v, char sep) {
    std::string w;
    if (!Word(w, sep) || w.empty() || w.size() > 19) return false;
    v = 0;
    for (const char c : w) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
  }
  // A number followed by a space or the line's end, which sep tells.
  bool NumberThen(uint64_t& v, char& sep) {
    size_t at = pos_;
    while (at < end_ && b_[at] >= '0' && b_[at] <= '9') ++at;
    if (at == pos_ || at - pos_ > 19 || at >= end_ || (b_[at] != ' ' && b_[at] != '\n')) return false;
    sep = b_[at];
    return Number(v, sep);
  }
  bool Size(long long& v, char sep) {
    uint64_t n = 0;
    if (!Number(n, sep) || n > (1ull << 50)) return false;
    v = static_cast<long long>(n);
    return true;
  }
  bool Id32(uint32_t& v, char sep) {
    uint64_t n = 0;
    if (!Number(n, sep) || n > 0xffffffffull) return false;
    v = static_cast<uint32_t>(n);
    return true;
  }
  bool Hash(std::string& h, char sep) {
    if (!Word(h, sep) || h.size() != 64) return false;
    return std::all_of(h.begin(), h.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  }
  bool Bytes(std::string& p, char sep) {
    size_t colon = pos_;
    while (colon < end_ && colon - pos_ < 6 && b_[colon] >= '0' && b_[colon] <= '9') ++colon;
    if (colon == pos_ || colon >= end_ || b_[colon] != ':') return false;
    const size_t n = std::stoul(b_.substr(pos_, colon - pos_));
    if (n >= end_ - colon - 1 || b_[colon + 1 + n] != sep) return false;
    p = b_.substr(colon + 1, n);
    pos_ = colon + 2 + n;
    return true;
  }
  bool Folder(int& f, size_t count, char sep) {
    std::string w;
    if (!Word(w, sep)) return false;
    if (w == "-") {
      f = -1;
      return true;
    }
    if (w.empty() || w.size() > 3 || !std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    f = std::stoi(w);
    return static_cast<size_t>(f) < count;
  }
  bool Identity(Ident& id, char sep) { return Number(id.ino, ' ') && Number(id.bsec, ' ') && Number(id.bnsec, sep); }
  bool SideOf(Side& s, size_t folders, char sep) {
    if (!Folder(s.folder, folders, ' ') || !Bytes(s.name, ' ') || !Identity(s.id, sep)) return false;
    return s.folder < 0 ? s.name.empty() : CleanName(s.name);
  }
  bool Peek(const char* word) const {
    const size_t n = std::char_traits<char>::length(word);
    return end_ - pos_ >= n && b_.compare(pos_, n, word) == 0;
  }

 private:
  const std::string& b_;
  size_t pos_;
  size_t end_;
};

// Whether an entry has every field its step needs: the file, what stood
// there and its side files.
bool CompleteEntry(const RecordEntry& e) {
  if (e.folder < 0 || e.nameFolder < 0 || !CleanName(e.fileName) || !CleanName(e.nameName)) return false;
  const bool old = e.old.Known(), temp = e.temp.folder >= 0 && e.temp.id.Known(),
             aside = e.aside.folder >= 0 && e.aside.id.Known();
  switch (e.op) {
    case RecordOp::Replace:
      return old && temp && aside;
    case RecordOp::Create:
      return temp && e.aside.folder < 0;
    case RecordOp::InPlace:
      return old && aside && temp;
    case RecordOp::Remove:
      return old && aside && e.temp.folder < 0 && e.aside.id.Recorded(e.old);
  }
  return false;
}

// Whether bytes start as a record starts (or are the start of that).
bool StartsAsRecord(const std::string& bytes) {
  const std::string head = kRecordHead;
  return bytes.size() < head.size() ? head.compare(0, bytes.size(), bytes) == 0 : bytes.compare(0, head.size(), head) == 0;
}

// The body of a record, up to its mac: false for anything that is not a
// record with every field its files' steps need.
bool ParseBody(const std::string& bytes, size_t end, Record& r) {
  const std::string head = kRecordHead;
  RecordReader in(bytes, head.size(), end);
  while (in.Peek("folder ")) {
    std::string word, kind;
    RecFolder f;
    if (!in.Word(word, ' ') || !in.Word(kind, ' ') || !in.Bytes(f.hint, '\n')) return false;
    if (kind != "doc" && kind != "settings") return false;
    f.settings = kind == "settings";
    if (!f.settings && !CleanPath(f.hint)) return false;
    r.folders.push_back(std::move(f));
  }
  const size_t folders = r.folders.size();
  while (in.Peek("copy ")) {
    std::string word;
    Side c;
    if (!in.Word(word, ' ') || !in.SideOf(c, folders, '\n') || c.folder < 0) return false;
    r.copies.push_back(std::move(c));
  }
  while (!in.AtEnd()) {
    RecordEntry e;
    std::string op;
    if (!in.Word(op, ' ')) return false;
    const auto named = std::find_if(std::begin(kOpNames), std::end(kOpNames), [&](const char* n) { return op == n; });
    if (named == std::end(kOpNames)) return false;
    e.op = static_cast<RecordOp>(named - std::begin(kOpNames));
    uint64_t count = 0;
    uint32_t mode = 0;
    char sep = 0;
    if (!in.Folder(e.nameFolder, folders, ' ') || !in.Bytes(e.nameName, ' ') || !in.Folder(e.folder, folders, ' ') ||
        !in.Bytes(e.fileName, ' ') || !in.Identity(e.old, ' ') || !in.Size(e.oldSize, ' ') ||
        !in.Hash(e.oldHash, ' ') || !in.Size(e.size, ' ') || !in.Hash(e.hash, ' ') || !in.SideOf(e.temp, folders, ' ') ||
        !in.SideOf(e.aside, folders, ' ') || !in.Id32(mode, ' ') || !in.Id32(e.attrs.uid, ' ') ||
        !in.Id32(e.attrs.gid, ' ') || !in.NumberThen(count, sep) || (count == 0) != (sep == '\n') || count > 1000)
      return false;
    e.attrs.mode = static_cast<mode_t>(mode & 07777);
    for (uint64_t i = 0; i < count; ++i) {
      std::string name, value;
      if (!in.Bytes(name, ' ') || !in.Bytes(value, i + 1 == count ? '\n' : ' ') || name.empty()) return false;
      e.attrs.xattrs.emplace_back(std::move(name), std::move(value));
    }
    if (!CompleteEntry(e)) return false;
    r.entries.push_back(std::move(e));
  }
  return !r.copies.empty() && !r.entries.empty();
}

// What a file that starts as a record holds.
enum class Parsed {
  CutShort,  // no whole mac line at its end: the record a killed save was writing
  NotOurs,   // whole, but not under the key, or not a record the engine writes
  Ok,
};

// Reads a record back. With a key, one whose mac is not the key's is not
// ours; without a key the mac is not checked: such a record can only be
// said to be there, never acted on.
Parsed ParseRecord(const std::string& bytes, const std::string& key, Record& r) {
  r = Record{};
  const std::string head = kRecordHead;
  if (bytes.size() < head.size() + kMacLen || bytes.compare(0, head.size(), head) != 0) return Parsed::CutShort;
  const size_t end = bytes.size() - kMacLen;
  const bool trailer = bytes[end - 1] == '\n' && bytes.compare(end, 4, "mac ") == 0 && bytes.back() == '\n' &&
                       std::all_of(bytes.begin() + static_cast<long>(end) + 4, bytes.end() - 1,
                                   [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  if (!trailer) return Parsed::CutShort;
  if (!key.empty() && bytes.compare(end + 4, 64, HexBytes(savekey::Mac(key, bytes.substr(0, end)))) != 0)
    return Parsed::NotOurs;
  return ParseBody(bytes, end, r) ? Parsed::Ok : Parsed::NotOurs;
}


// ---- A write in place stopped part way ----

// Whether a file written in place holds what a write of fresh over old,
// stopped anywhere (or, after a power loss, kept in part), leaves: every
// byte the old one or the new one at its place, and a length between the
// two.
bool IsTornWrite(const std::string& file, const std::string& old, const std::string& fresh) {
  if (file.size() > std::max(fresh.size(), old.size()) || file.size() < std::min(fresh.size(), old.size())) return false;
  for (size_t i = 0; i < file.size(); ++i) {
    const bool isNew = i < fresh.size() && file[i] == fresh[i];
    const bool isOld = i < old.size() && file[i] == old[i];
    if (!isNew && !isOld) return false;
  }
  return true;
}

// ---- Looking for records ----

// What a resolve is about: the name it was asked for and the file that
// name leads to (both canonical), and the settings folder.
struct Subject {
  std::string name;
  std::string real;
  Look realLook;
  std::string settings;  // canonical; empty when there is none
};

// The settings folder as the file system knows it (kept once found, for
// as long as the settings folder is the same).
std::string SettingsFolder() {
  static std::mutex mutex;
  static std::string asked, found;
  const std::string settings = WinFolderPath();
  if (settings.empty()) return settings;
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (settings == asked) return found;
  }
  char buf[PATH_MAX];
  if (!::realpath(settings.c_str(), buf)) return settings;
  std::lock_guard<std::mutex> guard(mutex);
  asked = settings;
  found = buf;
  return found;
}

Subject SubjectOf(const std::string& path) {
  Subject s;
  s.name = CanonicalPath(path);
  s.real = CanonicalPath(RealFileOf(path));
  LookAt(s.real, s.realLook);
  s.settings = SettingsFolder();
  return s;
}

// The homes a record about the subject may stand at: beside the name and
// beside the real file, their homes in the settings folder, and the real
// file's identity homes (so that a record of a write in place is found
// through any name of the file).
std::vector<std::string> HomesOf(const Subject& s) {
  std::vector<std::string> homes;
  const auto add = [&](const std::string& home) {
    if (std::find(homes.begin(), homes.end(), home) == homes.end()) homes.push_back(home);
  };
  for (const std::string& file : {s.real, s.name}) {
    add(file);
    if (!s.settings.empty()) add(SettingsHomeOf(file, s.settings));
  }
  if (s.realLook.exists && S_ISREG(s.realLook.mode)) {
    for (const std::string& file : {s.real, s.name}) add(IdentityHomeIn(FolderOf(file), s.realLook.id));
    if (!s.settings.empty()) add(IdentityHomeIn(s.settings, s.realLook.id));
  }
  return homes;
}

// The files at the record slots of the subject's homes.
std::vector<std::string> RecordsAtHomes(const Subject& s, const std::string& key) {
  std::vector<std::string> found;
  for (const std::string& home : HomesOf(s)) {
    for (int k = 0; k < kRecordSlots; ++k) {
      const std::string p = SlotPath(key, home, true, k);
      Look look;
      if (LookAt(p, look) == 0 && look.exists) found.push_back(p);
    }
  }
  return found;
}

// A record file as found: not ours (left alone), whole and ours, or a
// private file of this user's that starts as a record but is cut short
// (the record a killed save was writing: a leftover).
struct Found {
  enum Kind { NotOurs, Torn, Whole } kind = NotOurs;
  std::string path;
  Look look;
  Record record;
  int copy = -1;  // the copy read, of those the record lists
};

Found ReadRecordAt(const std::string& path, const std::string& key, const std::string& settings) {
  Found f;
  f.path = path;
  if (LookAt(path, f.look) != 0 || !f.look.exists || !S_ISREG(f.look.mode) || f.look.uid != ::geteuid() ||
      f.look.nlink != 1 || (f.look.mode & 077) != 0 || f.look.size > static_cast<long long>(kRecordMax))
    return f;
  const Ident id = f.look.id;
  const int fd = OpenChecked(path, O_RDONLY, [&](const Look& l) { return l.id == id; });
  if (fd < 0) return f;
  std::string bytes;
  char buf[8192];
  bool ok = true;
  while (bytes.size() <= kRecordMax) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok || bytes.size() > kRecordMax || !StartsAsRecord(bytes)) return f;
  switch (ParseRecord(bytes, key, f.record)) {
    case Parsed::CutShort:
      f.kind = Found::Torn;
      return f;
    case Parsed::NotOurs:
      return f;
    case Parsed::Ok:
      break;
  }
  // A record lists its own copies: one read under another inode or birth
  // time (a copy brought back, one written by hand) is not the one written.
  const bool inSettings = FolderOf(path) == settings;
  const bool stable = KeepsInodes(FolderOf(path));
  for (size_t i = 0; i < f.record.copies.size() && f.copy < 0; ++i) {
    const Side& c = f.record.copies[i];
    if (f.record.folders[static_cast<size_t>(c.folder)].settings == inSettings && c.name == NameOf(path) &&
        (!stable || c.id.Recorded(f.look.id)))
      f.copy = static_cast<int>(i);
  }
  f.kind = f.copy >= 0 ? Found::Whole : Found::NotOurs;
  return f;
}

// Places a record of ours found at copyFolder: finds which folder each of
// its folders is now, fills in every path, and tells whether it is about
// this subject and names nothing else. Its names are the name asked for,
// other names of the same file, and the companions of those beside them;
// each name leads to the file recorded for it; its side files stand beside
// their files or in the settings folder, and its copies at their homes.
bool PlaceRecord(Record& r, int copy, const std::string& copyFolder, const Subject& s) {
  std::vector<std::string> at(r.folders.size());
  const auto place = [&](int folder, const std::string& path) {
    std::string& now = at[static_cast<size_t>(folder)];
    if (now.empty()) now = path;
    return now == path;
  };
  if (!place(r.copies[static_cast<size_t>(copy)].folder, copyFolder)) return false;
  for (size_t i = 0; i < r.folders.size(); ++i)
    if (r.folders[i].settings && (s.settings.empty() || !place(static_cast<int>(i), s.settings))) return false;
  // Another name of the file asked for (a file written in place, reached
  // through a name in another folder): the folder where the save found it,
  // as long as that name there still leads to the same file.
  for (const RecordEntry& e : r.entries) {
    if (!at[static_cast<size_t>(e.nameFolder)].empty() || e.op != RecordOp::InPlace || !s.realLook.exists) continue;
    const std::string hint = r.folders[static_cast<size_t>(e.nameFolder)].hint;
    Look there;
    if (LookAt(InFolder(hint, e.nameName), there) == 0 && there.exists && there.id.SameInode(s.realLook.id))
      place(e.nameFolder, hint);
  }
  // Else the folder of the names is that of the name asked for, known by
  // that name or its companion among them.
  const std::string nameFolder = FolderOf(s.name);
  for (const RecordEntry& e : r.entries) {
    const std::string asName = InFolder(nameFolder, e.nameName);
    if (at[static_cast<size_t>(e.nameFolder)].empty() && (asName == s.name || IsCompanion(s.name, asName)))
      place(e.nameFolder, nameFolder);
  }
  // Each name leads to its file, which places the file's folder.
  std::set<std::string> files;
  for (RecordEntry& e : r.entries) {
    if (at[static_cast<size_t>(e.nameFolder)].empty()) return false;
    e.name = InFolder(at[static_cast<size_t>(e.nameFolder)], e.nameName);
    const std::string leads = e.op == RecordOp::Remove ? e.name : CanonicalPath(RealFileOf(e.name));
    if (NameOf(leads) != e.fileName || !place(e.folder, FolderOf(leads))) return false;
    e.path = leads;
    if (!files.insert(e.path).second) return false;
  }
  for (const std::string& folder : at)
    if (folder.empty()) return false;
  // Side files beside their files or in the settings folder; copies at a
  // file's folder or the settings folder; all under the engine's names.
  for (RecordEntry& e : r.entries) {
    for (Side* side : {&e.temp, &e.aside}) {
      if (side->folder < 0) continue;
      if ((side->folder != e.folder && !r.folders[static_cast<size_t>(side->folder)].settings) ||
          !IsSideName(side->name, false))
        return false;
      side->path = InFolder(at[static_cast<size_t>(side->folder)], side->name);
    }
    e.stable = KeepsInodes(FolderOf(e.path));
  }
  for (Side& c : r.copies) {
    const bool atFile = std::any_of(r.entries.begin(), r.entries.end(), [&](const RecordEntry& e) { return e.folder == c.folder; });
    if ((!atFile && !r.folders[static_cast<size_t>(c.folder)].settings) || !IsSideName(c.name, true)) return false;
    c.path = InFolder(at[static_cast<size_t>(c.folder)], c.name);
  }
  // The scope: the name asked for, or another name of its file, and the
  // companions of those.
  std::vector<const RecordEntry*> anchors;
  for (const RecordEntry& e : r.entries) {
    bool anchor = e.name == s.name;
    if (!anchor && e.op != RecordOp::Remove && s.realLook.exists) {
      Look other;
      anchor = LookAt(e.path, other) == 0 && other.exists && other.id.SameInode(s.realLook.id);
    }
    if (anchor) anchors.push_back(&e);
  }
  if (anchors.empty()) return false;
  return std::all_of(r.entries.begin(), r.entries.end(), [&](const RecordEntry& e) {
    return std::any_of(anchors.begin(), anchors.end(),
                       [&](const RecordEntry* a) { return a == &e || IsCompanion(a->name, e.name); });
  });
}

// ---- Where a recorded save stands ----

// One file of a recorded save as it stands now.
struct EntryState {
  enum Where {
    Before,   // as the save found it
    After,    // as the save made it
    Torn,     // written in place part way: each byte old or new
    Damaged,  // written in place, then left neither old, new nor a mix (a power loss's zeros or stale blocks)
  } where = Before;
  bool tempThere = false;
  bool asideThere = false;
  bool newAtHand = false;  // its new content is in place, or whole in its temporary file
};

// What a record's files show.
enum class Standing {
  Consistent,  // every file stands as the recorded save left it
  Changed,     // some file is not what the save made or found: the record is stale
  Error,       // a file could not be looked at
};

bool HoldsContent(const std::string& data, long long size, const std::string& hash) {
  return static_cast<long long>(data.size()) == size && savekey::ContentHash(data) == hash;
}

// Whether a file found now is the recorded one, where the file system keeps
// inode numbers (elsewhere its content tells).
bool IsRecordedFile(const Ident& recorded, bool stable, const Look& now) { return !stable || recorded.Recorded(now.id); }

// Whether what stands at a side file's place is that side file: this
// user's regular file, the one recorded. The old file kept aside by a
// second name is its owner's; what a removal took aside is whatever stood
// at the name.
bool IsSide(const RecordEntry& e, const Side& side, const Look& l) {
  const bool stable = KeepsInodes(FolderOf(side.path));
  if (!IsRecordedFile(side.id, stable, l)) return false;
  if (e.op == RecordOp::Remove && &side == &e.aside) return true;
  if (!S_ISREG(l.mode)) return false;
  if (l.uid == ::geteuid()) return true;
  return e.op == RecordOp::Replace && &side == &e.aside && stable && e.aside.id.Recorded(e.old) &&
         l.uid == e.attrs.uid;
}

bool ReadSide(const RecordEntry& e, const Side& side, std::string& data) {
  return ReadChecked(side.path, [&](const Look& l) { return IsSide(e, side, l); }, data);
}

// Looks at a side file: there (and the one recorded), missing, or changed.
Standing LookSide(const RecordEntry& e, const Side& side, bool& there, int& err) {
  there = false;
  if (side.folder < 0) return Standing::Consistent;
  Look look;
  if ((err = LookAt(side.path, look)) != 0) return Standing::Error;
  if (!look.exists) return Standing::Consistent;
  if (!IsSide(e, side, look)) return Standing::Changed;
  there = true;
  return Standing::Consistent;
}

Standing Examine(const RecordEntry& e, EntryState& st, int& err) {
  st = EntryState{};
  err = 0;
  Standing side = LookSide(e, e.temp, st.tempThere, err);
  if (side != Standing::Consistent) return side;
  side = LookSide(e, e.aside, st.asideThere, err);
  if (side != Standing::Consistent) return side;
  Look file;
  if ((err = LookAt(e.path, file)) != 0) return Standing::Error;
  const auto readFile = [&](std::string& data) {
    return ReadChecked(e.path, [&](const Look& l) { return l.id == file.id; }, data);
  };
  const auto tempHoldsNew = [&] {
    std::string data;
    return st.tempThere && ReadSide(e, e.temp, data) && HoldsContent(data, e.size, e.hash);
  };
  std::string data;
  switch (e.op) {
    case RecordOp::Replace:
      if (!file.exists || !S_ISREG(file.mode)) return Standing::Changed;
      if (!readFile(data)) return (err = EIO), Standing::Error;
      if ((IsRecordedFile(e.old, e.stable, file) || IsRecordedFile(e.aside.id, e.stable, file)) &&
          HoldsContent(data, e.oldSize, e.oldHash))
        st.where = EntryState::Before;  // the old file (or its copy put back)
      else if (IsRecordedFile(e.temp.id, e.stable, file) && HoldsContent(data, e.size, e.hash) && !st.tempThere)
        st.where = EntryState::After;
      else
        return Standing::Changed;
      st.newAtHand = st.where == EntryState::After || tempHoldsNew();
      return Standing::Consistent;
    case RecordOp::Create:
      if (!file.exists) {
        st.where = EntryState::Before;
      } else if (S_ISREG(file.mode) && IsRecordedFile(e.temp.id, e.stable, file) && !st.tempThere &&
                 readFile(data) && HoldsContent(data, e.size, e.hash)) {
        st.where = EntryState::After;
      } else {
        return Standing::Changed;
      }
      st.newAtHand = st.where == EntryState::After || tempHoldsNew();
      return Standing::Consistent;
    case RecordOp::InPlace: {
      if (!file.exists || !S_ISREG(file.mode) || !IsRecordedFile(e.old, e.stable, file)) return Standing::Changed;
      if (!readFile(data)) return (err = EIO), Standing::Error;
      if (HoldsContent(data, e.size, e.hash)) {
        st.where = EntryState::After;
      } else if (HoldsContent(data, e.oldSize, e.oldHash)) {
        st.where = EntryState::Before;
      } else {
        // Neither: a write of ours stopped part way, one a power loss left
        // damaged, or a rewrite since. The old bytes kept aside and the new
        // ones beside tell; without the old ones the file cannot be put
        // back, which is said as such.
        std::string old, fresh;
        const bool freshWhole = st.tempThere && ReadSide(e, e.temp, fresh) && HoldsContent(fresh, e.size, e.hash);
        const bool oldWhole = st.asideThere && ReadSide(e, e.aside, old) && HoldsContent(old, e.oldSize, e.oldHash);
        const long long len = static_cast<long long>(data.size());
        if (freshWhole && !st.asideThere)
          st.where = EntryState::Torn;
        else if (freshWhole && oldWhole && IsTornWrite(data, old, fresh))
          st.where = EntryState::Torn;
        else if (oldWhole && e.stable && len >= std::min(e.oldSize, e.size) && len <= std::max(e.oldSize, e.size))
          st.where = EntryState::Damaged;  // the very file, of a length the write could leave
        else
          return Standing::Changed;
      }
      st.newAtHand = st.where == EntryState::After;
      return Standing::Consistent;
    }
    case RecordOp::Remove:
      if (file.exists && IsRecordedFile(e.old, e.stable, file) && !st.asideThere &&
          (e.stable || !S_ISREG(file.mode) || (readFile(data) && HoldsContent(data, e.oldSize, e.oldHash))))
        st.where = EntryState::Before;
      else if (!file.exists)
        st.where = EntryState::After;
      else
        return Standing::Changed;
      st.newAtHand = true;
      return Standing::Consistent;
  }
  return Standing::Changed;
}

// Asks the fault hook before each step of a resolve.
int AskResolve(const std::string& path) { return AskHook("resolve", path); }

int Errno(int err, const std::string& path) { return FileErrorFromErrno(err, path); }

// Whether what stands at place is the file want; anything else that landed
// there (what another user put at a side file's name just before the
// rename) is taken out again.
int CheckLanded(const std::string& place, const Ident& want) {
  Look now;
  if (LookAt(place, now) != 0) return kErrSideChanged;
  if (now.exists && now.id.SameInode(want)) return 0;
  if (now.exists && !S_ISDIR(now.mode)) ::unlink(place.c_str());
  return kErrSideChanged;
}

// Puts a side file in its file's place by a rename: the side file is
// opened and checked first (this user's regular file, the one recorded,
// holding size and hash), given attrs when there are any, renamed (over
// what stands there when replace, else only where nothing does), and what
// then stands at the file's place is checked to be that very file. Should
// anything else have landed, it is taken out, and back (when given) goes
// back in its place.
int PutSideInPlace(const RecordEntry& e, const Side& side, long long size, const std::string& hash,
                   const Attrs* attrs, bool replace, const Side* back) {
  const int fd = OpenChecked(side.path, O_RDONLY, [&](const Look& l) { return IsSide(e, side, l); });
  if (fd < 0) return errno == ESTALE || errno == ELOOP || errno == ENOENT ? kErrSideChanged : Errno(errno, side.path);
  Look held;
  std::string data;
  int err = LookFd(fd, held) && ReadAllFd(fd, data) && HoldsContent(data, size, hash) ? 0 : kErrSideChanged;
  if (err == 0 && attrs)
    if (const int a = fileattrs::GiveAttrs(fd, *attrs)) err = Errno(a, e.path);
  ::close(fd);
  if (err != 0) return err;
  const int moved = replace ? (::rename(side.path.c_str(), e.path.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(side.path, e.path);
  if (moved != 0) return Errno(moved, e.path);
  err = CheckLanded(e.path, held.id);
  if (err != 0 && back) PutSideInPlace(e, *back, e.oldSize, e.oldHash, nullptr, false, nullptr);
  return err;
}

// Finishes (finish) or rolls back a consistent recorded save; 0, or the
// error number with failed naming the file. acted tells whether it changed
// any file before it failed.
int ApplyRecord(const Record& r, const std::vector<EntryState>& states, bool finish, std::string& failed, bool& acted) {
  acted = false;
  if (!finish) {
    // Every file the roll-back must put back needs its old copy: without
    // it, nothing is changed, and that is said.
    for (size_t i = 0; i < r.entries.size(); ++i) {
      const RecordEntry& e = r.entries[i];
      const EntryState& s = states[i];
      const bool putBack = (e.op == RecordOp::Replace && s.where == EntryState::After) ||
                           (e.op == RecordOp::InPlace && s.where != EntryState::Before) ||
                           (e.op == RecordOp::Remove && s.where == EntryState::After);
      if (putBack && !s.asideThere) {
        failed = e.path;
        return kErrOldCopyGone;
      }
    }
  }
  const auto fail = [&](int err, const RecordEntry& e) {
    failed = e.path;
    return err;
  };
  // What stands at the file's place now is still what was examined.
  const auto still = [](const RecordEntry& e, const Ident& id) {
    Look look;
    return LookAt(e.path, look) == 0 && look.exists && IsRecordedFile(id, e.stable, look);
  };
  if (finish) {
    for (size_t i = 0; i < r.entries.size(); ++i) {
      const RecordEntry& e = r.entries[i];
      if (states[i].where != EntryState::Before) continue;
      if (const int fault = AskResolve(e.path)) return fail(fault, e);
      switch (e.op) {
        case RecordOp::Replace:
          if (const int err = PutSideInPlace(e, e.temp, e.size, e.hash, &e.attrs, true, &e.aside)) return fail(err, e);
          break;
        case RecordOp::Create:
          if (const int err = PutSideInPlace(e, e.temp, e.size, e.hash, &e.attrs, false, nullptr)) return fail(err, e);
          break;
        case RecordOp::Remove:
          if (!still(e, e.old)) return fail(kErrSideChanged, e);
          if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::InPlace:
          break;  // holds its new content, or the save is not finished
      }
      acted = true;
    }
  } else {
    for (size_t i = r.entries.size(); i-- > 0;) {
      const RecordEntry& e = r.entries[i];
      const EntryState& s = states[i];
      if (s.where == EntryState::Before) continue;
      if (const int fault = AskResolve(e.path)) return fail(fault, e);
      switch (e.op) {
        case RecordOp::Replace: {
          // The old file itself (a second name kept aside) has its
          // attributes; a copy of its bytes is given them.
          const bool copy = !e.stable || !e.aside.id.Recorded(e.old);
          if (const int err = PutSideInPlace(e, e.aside, e.oldSize, e.oldHash, copy ? &e.attrs : nullptr, true, nullptr))
            return fail(err, e);
          break;
        }
        case RecordOp::Create:
          if (!still(e, e.temp.id)) return fail(kErrSideChanged, e);
          if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::InPlace: {
          // The old bytes go back into the same file, so every name keeps it.
          std::string old;
          if (!ReadSide(e, e.aside, old) || !HoldsContent(old, e.oldSize, e.oldHash)) return fail(kErrOldCopyGone, e);
          if (const int err = WriteInPlace(e.path, old, [&](const Look& l) { return IsRecordedFile(e.old, e.stable, l); }))
            return fail(err, e);
          break;
        }
        case RecordOp::Remove: {
          Look aside;
          if (LookAt(e.aside.path, aside) != 0 || !aside.exists || !IsSide(e, e.aside, aside))
            return fail(kErrSideChanged, e);
          if (const int err = RenameNoReplace(e.aside.path, e.path)) return fail(Errno(err, e.path), e);
          if (const int err = CheckLanded(e.path, aside.id)) return fail(err, e);
          break;
        }
      }
      acted = true;
    }
  }
  return 0;
}

// Removes a side file or a copy of a record, only where it is the one
// recorded.
void RemoveSide(const RecordEntry* e, const Side& side) {
  if (side.folder < 0 || side.path.empty()) return;
  Look look;
  if (LookAt(side.path, look) != 0 || !look.exists) return;
  const bool ours = e ? IsSide(*e, side, look)
                      : S_ISREG(look.mode) && look.uid == ::geteuid() &&
                            IsRecordedFile(side.id, KeepsInodes(FolderOf(side.path)), look);
  if (ours) ::unlink(side.path.c_str());
}

// Removes a record's copies (their folders flushed, so that a resolved or
// finished save does not come back after a power loss), then the side
// files it names: each only where it is the one recorded.
void RemoveRecordAndSides(const Record& r) {
  std::set<std::string> folders;
  for (const RecordEntry& e : r.entries) folders.insert(FolderOf(e.path));
  SyncFolders(folders);
  folders.clear();
  for (const Side& c : r.copies) {
    RemoveSide(nullptr, c);
    folders.insert(FolderOf(c.path));
  }
  SyncFolders(folders);
  for (const RecordEntry& e : r.entries) {
    RemoveSide(&e, e.temp);
    RemoveSide(&e, e.aside);
  }
}

// The old content of a file that a write in place left damaged, kept under
// a name of its own beside the copy the save kept: "<file>.old" (or
// ".old2" and on, where that name is taken), a second name of that copy or
// a copy of its bytes. No save removes it; the user does. Its path comes
// back (the copy's own where none could be made).
std::string KeepOldCopy(const RecordEntry& e) {
  Look aside;
  std::string old;
  if (LookAt(e.aside.path, aside) != 0 || !aside.exists || !ReadSide(e, e.aside, old)) return e.aside.path;
  for (int n = 1; n < 100; ++n) {
    const std::string name = NameOf(e.path) + ".old" + (n > 1 ? std::to_string(n) : std::string());
    const std::string path = InFolder(FolderOf(e.aside.path), name);
    Look there;
    if (LookAt(path, there) != 0) break;
    if (there.exists) {
      if (there.id.SameInode(aside.id)) return path;
      continue;
    }
    if (::link(e.aside.path.c_str(), path.c_str()) == 0) return path;
    if (errno == EEXIST) continue;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    const bool ok = WriteAll(fd, old.data(), old.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (ok) {
      SyncFolders({FolderOf(path)});
      return path;
    }
    ::unlink(path.c_str());
    break;
  }
  return e.aside.path;
}

// The resolve of killed saves for the files of one save, or of one open.
class Resolver {
 public:
  // Resolves every record of ours about path: finished or rolled back, or
  // kept when that fails. 0, or the error number of the first that could
  // not be resolved (kErrSaveInUse when its folders stayed locked), failed
  // then naming the file and, for a file a write in place left damaged,
  // oldCopy where its old content is.
  int Run(const std::string& path, std::string& failed, std::string& oldCopy) {
    const std::string key = savekey::Key(false);
    Subject s = SubjectOf(path);
    if (key.empty()) return LookWithoutKey(s, failed);
    std::vector<std::string> candidates = RecordsAtHomes(s, key);
    // Only a record of ours about this file is waited for: the folders it
    // may change are locked (the subject's and those of the files it
    // names), then everything is looked at again.
    std::vector<std::string> folders = {FolderOf(s.real), FolderOf(s.name)};
    bool ours = false;
    for (const std::string& c : candidates) {
      Found f = ReadRecordAt(c, key, s.settings);
      if (f.kind != Found::Whole || !PlaceRecord(f.record, f.copy, FolderOf(c), s)) continue;
      ours = true;
      for (const RecordEntry& e : f.record.entries) folders.push_back(FolderOf(e.path));
    }
    if (!ours) return 0;
    FolderLocks locks;
    std::string busy;
    if (locks.Take(folders, busy) != 0) {
      failed = path;
      return kErrSaveInUse;
    }
    int result = 0;
    for (const std::string& c : RecordsAtHomes(s, key)) {
      if (done_.count(c)) continue;
      Found f = ReadRecordAt(c, key, s.settings);
      if (f.kind != Found::Whole) continue;
      s = SubjectOf(path);  // an earlier record may have moved the file
      if (!PlaceRecord(f.record, f.copy, FolderOf(c), s)) continue;
      for (const Side& copy : f.record.copies) done_.insert(copy.path);
      std::vector<EntryState> states(f.record.entries.size());
      Standing standing = Standing::Consistent;
      int err = 0;
      std::string file;
      for (size_t i = 0; i < states.size() && standing == Standing::Consistent; ++i) {
        standing = Examine(f.record.entries[i], states[i], err);
        if (standing == Standing::Error) {
          file = f.record.entries[i].path;
          err = Errno(err, file);
        }
      }
      if (standing == Standing::Changed) {
        stale_.push_back(std::move(f.record));  // a later save's files: never applied
        continue;
      }
      std::string copy;
      if (standing == Standing::Consistent) {
        const auto damaged = std::find_if(states.begin(), states.end(),
                                          [](const EntryState& st) { return st.where == EntryState::Damaged; });
        if (damaged != states.end()) {
          // Neither finished nor rolled back: the old content is kept where
          // the user finds it, and the record stays until a save of the file.
          const RecordEntry& e = f.record.entries[static_cast<size_t>(damaged - states.begin())];
          copy = KeepOldCopy(e);
          file = e.path;
          err = kErrDamaged;
        } else {
          const bool finish =
              std::all_of(states.begin(), states.end(), [](const EntryState& st) { return st.newAtHand; });
          bool acted = false;
          err = ApplyRecord(f.record, states, finish, file, acted);
          // A new content that is no longer the one recorded (someone
          // changed it meanwhile) is not put in place: the save is rolled
          // back instead, where nothing was changed yet.
          if (err == kErrSideChanged && finish && !acted) err = ApplyRecord(f.record, states, false, file, acted);
          if (err == 0) {
            RemoveRecordAndSides(f.record);
            continue;
          }
        }
      }
      Keep(f.record);
      kept_.push_back(std::move(f.record));
      if (result == 0) {
        result = err;
        failed = file;
        oldCopy = copy;
      }
    }
    return result;
  }

  // Whether a side file is one that a record kept for a later resolve names.
  bool Keeps(const std::string& path) const { return keep_.count(path) != 0; }
  // Records of ours found stale or kept, for a save to remove once it has
  // put its own files in place.
  const std::vector<Record>& Stale() const { return stale_; }
  const std::vector<Record>& Kept() const { return kept_; }

 private:
  void Keep(const Record& r) {
    for (const Side& c : r.copies) keep_.insert(c.path);
    for (const RecordEntry& e : r.entries) {
      if (e.temp.folder >= 0) keep_.insert(e.temp.path);
      if (e.aside.folder >= 0) keep_.insert(e.aside.path);
    }
  }

  // Without a key no record can be checked, so none is acted on. One that
  // looks like one of ours about this file (a private file of this user,
  // whole but for its mac, naming this file) is said, naming the first file
  // of its save, and its side files stay; where the folder cannot even be
  // listed, that is said, naming the folder.
  static int LookWithoutKey(const Subject& s, std::string& failed) {
    std::map<std::string, std::vector<std::string>> homesByFolder;
    for (const std::string& home : HomesOf(s)) homesByFolder[FolderOf(home)].push_back(home);
    for (const auto& [folder, homes] : homesByFolder) {
      DIR* dir = ::opendir(folder.c_str());
      if (!dir) {
        if (folder == FolderOf(s.real) && errno == EACCES) {
          failed = folder;  // one box for every file of the folder an open reads
          return kErrNotLookedFor;
        }
        continue;
      }
      std::vector<std::string> names;
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (std::any_of(homes.begin(), homes.end(), [&](const std::string& h) { return IsRecordName(name, h); }))
          names.push_back(name);
      }
      ::closedir(dir);
      for (const std::string& name : names) {
        const std::string p = InFolder(folder, name);
        Found f = ReadRecordAt(p, std::string(), s.settings);
        if (f.kind == Found::Whole && PlaceRecord(f.record, f.copy, folder, s)) {
          failed = f.record.entries.front().name;  // the same for each file of the save
          return kErrUnchecked;
        }
      }
    }
    return 0;
  }

  std::set<std::string> done_;
  std::set<std::string> keep_;
  std::vector<Record> stale_;
  std::vector<Record> kept_;
};

}  // namespace

int ResolveKilledSave(const std::string& path, std::string* failedPath, std::string* oldCopy) {
  if (!PathUsable(path)) return 0;
  Resolver resolver;
  std::string failed, copy;
  const int err = resolver.Run(path, failed, copy);
  if (err != 0 && failedPath) *failedPath = failed;
  if (err != 0 && oldCopy) *oldCopy = copy;
  return err;
}

namespace {

// One file of a save on its way: where it goes, what stands there now, and
// what the save has done to it so far.
struct SaveStep {
  const WholeFile* file = nullptr;
  std::string name;       // the path as given, its folder canonical
  std::string real;       // the file the path names, links followed (canonical); for a removal the name
  std::string home;       // its side files are named after this: the file, or its name in the settings folder
  Look old;               // what stands there now
  bool existed = false;
  bool inPlace = false;   // rewritten in place (below)
  std::string temp;       // the new content at the file's home, private until it takes its place
  Ident tempId;
  int tempFd = -1;
  std::string aside;      // the old file (a second name, or a copy), or the removed one
  Ident asideId;
  int asideFd = -1;       // a copy's
  Attrs attrs;            // what the new file is given: the old one's, or a new file's
  bool haveOld = false;   // oldBytes holds the old content
  std::string oldBytes;
  bool touched = false;   // the file itself was changed (put in place or removed)
  std::string refused;    // the folder that refused the step, when one did
};

// Extended attributes beyond this many bytes do not fit a record: such a
// file is written in place, which keeps them.
constexpr size_t kAttrBudget = 16 * 1024;

int ReadOld(SaveStep& s) {
  if (s.haveOld) return 0;
  const Ident id = s.old.id;
  if (!ReadChecked(s.real, [&](const Look& l) { return l.id == id; }, s.oldBytes))
    return errno == ESTALE ? kErrPathFileAccess : LastError(s.real);
  s.haveOld = true;
  return 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Removes what a step made beside its file (only what it made).
void DiscardSideFiles(SaveStep& s) {
  CloseFd(s.tempFd);
  CloseFd(s.asideFd);
  RemoveIdentified(s.temp, s.tempId);
  RemoveIdentified(s.aside, s.asideId);
  s.temp.clear();
  s.aside.clear();
}

// Removes what killed saves of a file left at one of its homes, found at
// the names their slots give (no folder is listed): temporary files, and
// records of ours that a resolve found stale or that were cut short. Never
// a file a kept record names, never a record that is not ours, and nothing
// of another user or with another name but a second name of the file
// itself.
void RemoveLeftovers(const std::string& key, const std::string& home, const Look& file, const Resolver& resolver,
                     const std::string& settings, bool temps) {
  for (int k = 0; temps && k < kTempSlots; ++k) {
    const std::string path = SlotPath(key, home, false, k);
    Look look;
    if (LookAt(path, look) != 0 || !look.exists || !S_ISREG(look.mode) || resolver.Keeps(path)) continue;
    const bool secondName = file.exists && look.id.SameInode(file.id);
    if (!secondName && (look.uid != ::geteuid() || look.nlink != 1)) continue;
    ::unlink(path.c_str());
  }
  for (int k = 0; k < kRecordSlots; ++k) {
    const std::string path = SlotPath(key, home, true, k);
    if (resolver.Keeps(path)) continue;
    if (ReadRecordAt(path, key, settings).kind != Found::NotOurs) ::unlink(path.c_str());
  }
}

void RemoveLeftoversOf(const std::string& key, const std::string& file, const Resolver& resolver) {
  if (key.empty()) return;
  Look look;
  LookAt(file, look);
  const std::string settings = SettingsFolder();
  RemoveLeftovers(key, file, look, resolver, settings, true);
  if (!settings.empty()) RemoveLeftovers(key, SettingsHomeOf(file, settings), look, resolver, settings, true);
  // An identity home holds records only.
  if (look.exists) {
    RemoveLeftovers(key, IdentityHomeIn(FolderOf(file), look.id), look, resolver, settings, false);
    if (!settings.empty()) RemoveLeftovers(key, IdentityHomeIn(settings, look.id), look, resolver, settings, false);
  }
}

// Whether a folder's sticky bit keeps this process from renaming or
// removing a file of another user in it.
bool StickyRefuses(const std::string& folder, const Look& file) {
  struct stat st {};
  const uid_t me = ::geteuid();
  return me != 0 && ::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_ISVTX) && st.st_uid != me && file.uid != me;
}

// A name a removed file can be taken aside to: a free slot (or random name).
std::string FreeSideName(const std::string& key, const std::string& home) {
  std::string name;
  for (int i = 0; !(name = SideName(key, home, false, i)).empty(); ++i) {
    Look look;
    if (LookAt(name, look) == 0 && !look.exists) return name;
  }
  return std::string();
}

// A removal takes away the name itself, as a delete does: a symbolic link
// goes, not the file it points to. Refused, as a delete is, for a folder,
// for a file that may not be written, and when its folder may not be
// written (or keeps another user's file by its sticky bit).
int PrepareRemoval(const std::string& key, SaveStep& s, const Resolver& resolver) {
  s.home = s.real;
  RemoveLeftoversOf(key, s.real, resolver);
  if (const int err = LookAt(s.real, s.old)) return Errno(err, s.real);
  s.existed = s.old.exists;
  if (!s.existed) return 0;
  struct stat st {};
  if (::stat(s.real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }
  const std::string folder = FolderOf(s.real);
  int err = AskHook("temp", folder);
  if (err == 0 && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) err = LastError(folder);
  if (err == 0 && StickyRefuses(folder, s.old)) err = kErrPathFileAccess;
  if (err == kErrPathFileAccess) s.refused = folder;
  if (err != 0) return err;
  // What is removed keeps its content in the record where it is a file, so
  // that it is known where inode numbers are not kept.
  if (S_ISREG(s.old.mode) && (err = ReadOld(s)) != 0) return err;
  s.aside = FreeSideName(key, s.real);
  if (s.aside.empty()) return kErrPathFileAccess;
  s.asideId = s.old.id;
  return 0;
}

// The folder of a file takes no new file: the file is saved in place, its
// old bytes kept in the settings folder (made when missing).
int KeepOldInSettingsFolder(const std::string& key, SaveStep& s) {
  s.inPlace = true;
  if (const int err = ReadOld(s)) return err;
  const std::string settings = WinFolder();
  s.home = SettingsHomeOf(s.real, SettingsFolder());
  int err = AskHook("temp", settings);
  if (err == 0) err = WriteTemp(key, s.home, s.oldBytes, s.aside, s.asideId, s.asideFd);
  if (err == 0) err = WriteTemp(key, s.home, s.file->data, s.temp, s.tempId, s.tempFd);
  if (err != 0) s.refused = settings;
  return err;
}

// Looks at the file of a step and prepares its new content and the old one
// aside. Nothing the user sees changes here.
int PrepareStep(const std::string& key, SaveStep& s, const Resolver& resolver) {
  const WholeFile& f = *s.file;
  if (!PathUsable(f.path)) return kErrBadFileName;
  if (f.remove) return PrepareRemoval(key, s, resolver);
  s.home = s.real;
  // What a killed save left goes before the file is looked at, so that a
  // second name it left does not count as one of the file's own.
  RemoveLeftoversOf(key, s.real, resolver);
  if (const int err = LookAt(s.real, s.old)) return Errno(err, s.real);
  s.existed = s.old.exists;
  if (s.existed) {
    // Only a regular file is replaced; a read-only one is refused as a write
    // in place would be, though its folder may allow a rename over it.
    if (!S_ISREG(s.old.mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }

  // A file with more than one name is written in place, so that every name
  // keeps seeing it.
  s.inPlace = s.existed && s.old.nlink > 1;
  const std::string folder = FolderOf(s.real);
  int err = AskHook("temp", folder);
  if (err == 0 && !s.inPlace) {
    err = WriteTemp(key, s.real, f.data, s.temp, s.tempId, s.tempFd);
    // The new file is to have what the old one had: its owner and group,
    // mode and extended attributes (a new file, what a plain create would
    // give it). Where they cannot all be given (another user's file in a
    // shared folder, which a rename would also take from its owner or a
    // sticky folder keeps from being renamed over; attributes the file
    // system or the process refuses, or too many to record), the file is
    // written in place, which keeps them; the new content stays beside, as
    // for any write in place.
    if (err == 0 && s.existed) {
      const bool kept = fileattrs::ReadAttrs(s.real, s.attrs) && s.attrs.XattrBytes() <= kAttrBudget &&
                        fileattrs::GiveWhilePrivate(s.tempFd, s.attrs);
      if (!kept) s.inPlace = true;
    } else if (err == 0 && !fileattrs::NewFileAttrs(s.tempFd, folder, s.attrs)) {
      s.attrs.xattrs.clear();
    }
  }
  // The old file is kept aside until the save is over: a second name for
  // it where the file system has them, else a copy of its bytes. A file
  // rewritten in place always needs the copy.
  if (err == 0 && s.existed && !s.inPlace) {
    std::string name;
    for (int i = 0; !(name = SideName(key, s.real, false, i)).empty(); ++i) {
      if (::link(s.real.c_str(), name.c_str()) == 0) {
        s.aside = name;
        s.asideId = s.old.id;
        break;
      }
      if (errno != EEXIST) break;
    }
    if (s.aside.empty()) {
      err = ReadOld(s);
      if (err == 0) err = WriteTemp(key, s.real, s.oldBytes, s.aside, s.asideId, s.asideFd);
    }
  }
  if (err == 0 && s.inPlace) {
    err = ReadOld(s);
    if (err == 0) err = WriteTemp(key, s.real, s.oldBytes, s.aside, s.asideId, s.asideFd);
    if (err == 0 && s.temp.empty()) err = WriteTemp(key, s.real, f.data, s.temp, s.tempId, s.tempFd);
  }
  if (err != kErrPathFileAccess) return err;
  // The file may be written but its folder takes no new file.
  DiscardSideFiles(s);
  if (!s.existed) {
    s.refused = folder;
    return err;
  }
  return KeepOldInSettingsFolder(key, s);
}

// Builds a record: the folders it names, by their place in its list.
class RecordBuilder {
 public:
  explicit RecordBuilder(std::string settings) : settings_(std::move(settings)) {}
  int Folder(const std::string& folder) {
    for (size_t i = 0; i < folders_.size(); ++i)
      if (paths_[i] == folder) return static_cast<int>(i);
    RecFolder f;
    f.settings = !settings_.empty() && folder == settings_;
    f.hint = folder;
    folders_.push_back(f);
    paths_.push_back(folder);
    return static_cast<int>(folders_.size()) - 1;
  }
  Side SideAt(const std::string& path, const Ident& id) {
    Side s;
    if (path.empty()) return s;
    s.folder = Folder(FolderOf(path));
    s.name = NameOf(path);
    s.id = Ident{0, id.ino, id.bsec, id.bnsec};
    s.path = path;
    return s;
  }
  // What the record says of a prepared step.
  RecordEntry EntryOf(const SaveStep& s) {
    RecordEntry e;
    const WholeFile& f = *s.file;
    e.op = f.remove ? RecordOp::Remove : s.inPlace ? RecordOp::InPlace : s.existed ? RecordOp::Replace : RecordOp::Create;
    e.nameFolder = Folder(FolderOf(s.name));
    e.nameName = NameOf(s.name);
    e.folder = Folder(FolderOf(s.real));
    e.fileName = NameOf(s.real);
    if (s.existed) e.old = Ident{0, s.old.id.ino, s.old.id.bsec, s.old.id.bnsec};
    if (s.haveOld) {
      e.oldSize = static_cast<long long>(s.oldBytes.size());
      e.oldHash = savekey::ContentHash(s.oldBytes);
    }
    if (!f.remove) {
      e.size = static_cast<long long>(f.data.size());
      e.hash = savekey::ContentHash(f.data);
    }
    e.temp = SideAt(s.temp, s.tempId);
    e.aside = SideAt(s.aside, s.asideId);
    if (e.op == RecordOp::Replace || e.op == RecordOp::Create) e.attrs = s.attrs;
    e.path = s.real;
    return e;
  }
  std::vector<RecFolder> Folders() const { return folders_; }

 private:
  std::string settings_;
  std::vector<RecFolder> folders_;
  std::vector<std::string> paths_;
};

// A record copy being written.
struct PendingCopy {
  std::string path;
  Ident id;
  int fd = -1;
  bool identity = false;  // at an identity home
};

void DropCopies(std::vector<PendingCopy>& copies) {
  for (PendingCopy& c : copies) {
    CloseFd(c.fd);
    RemoveIdentified(c.path, c.id);
  }
  copies.clear();
}

// Writes the record of a save, when the save needs one (a single file put
// in place by one rename is whole either way) and there is a key: a copy at
// the home of each file, and for a file written in place one more at its
// identity home, in the settings folder (beside the file where that folder
// takes nothing). A home whose record slots another holds gives way to the
// file's home in the settings folder, or has no copy; a save none of whose
// copies could be made goes on without a record. Every copy is made first,
// so that each lists them all with their identities, then each is written
// whole and flushed; the folders of the new contents and of the old files
// aside are flushed before, and those of the records after. record takes
// what was written; failed the step whose record failed.
int WriteRecords(const std::string& key, std::vector<SaveStep>& steps, Record& record, size_t& failed) {
  std::vector<size_t> of;
  for (size_t i = 0; i < steps.size(); ++i)
    if (!(steps[i].file->remove && !steps[i].existed)) of.push_back(i);
  const bool needed = of.size() > 1 || std::any_of(of.begin(), of.end(), [&](size_t i) { return steps[i].inPlace; });
  if (!needed || key.empty()) return 0;
  for (const size_t i : of) {
    failed = i;
    if (steps[i].existed && !steps[i].file->remove)
      if (const int err = ReadOld(steps[i])) return err;
  }
  // The new contents and the old files aside are on the disk before the
  // record says they are.
  std::set<std::string> sideFolders;
  for (const SaveStep& s : steps) {
    if (!s.temp.empty()) sideFolders.insert(FolderOf(s.temp));
    if (!s.aside.empty()) sideFolders.insert(FolderOf(s.aside));
  }
  SyncFolders(sideFolders);
  // A settings folder that takes a new file but then no bytes (a full disk)
  // is given up for the identity copies, which then stand beside the files.
  const std::string settings = SettingsFolder();
  bool useSettings = !settings.empty() && DirExists(settings);
  for (;;) {
    std::vector<PendingCopy> copies;
    // A copy at home: 0, or the errno of the failure (EEXIST: every slot
    // there is held).
    const auto make = [&](const std::string& home, bool identity) {
      PendingCopy c;
      c.identity = identity;
      const int err = CreateSideFile(key, home, true, c.path, c.id, c.fd);
      if (err == 0) copies.push_back(c);
      return err;
    };
    RecordBuilder builder(settings);
    Record r;
    for (const size_t i : of) {
      failed = i;
      SaveStep& s = steps[i];
      int err = make(s.home, false);
      if (err == EEXIST && useSettings && FolderOf(s.home) != settings && AskHook("temp", settings) == 0)
        err = make(SettingsHomeOf(s.real, settings), false);
      if (err == EEXIST) err = 0;  // no copy for this file: the others list the save
      if (err == 0 && s.inPlace) {
        const bool there = useSettings && AskHook("temp", settings) == 0 &&
                           make(IdentityHomeIn(settings, s.old.id), true) == 0;
        if (!there) err = make(IdentityHomeIn(FolderOf(s.real), s.old.id), true);
        if (err == EEXIST) err = 0;
      }
      if (err != 0) {
        DropCopies(copies);
        return FileErrorFromErrno(err, s.home);
      }
      r.entries.push_back(builder.EntryOf(s));
    }
    if (copies.empty()) return 0;
    for (const PendingCopy& c : copies) r.copies.push_back(builder.SideAt(c.path, c.id));
    r.folders = builder.Folders();
    const std::string bytes = RecordBytes(r, key);
    if (bytes.size() > kRecordMax) {
      DropCopies(copies);
      return kErrBadFileName;
    }
    // The identity copies first: once any copy is whole, one that every name
    // of a file written in place finds is whole too.
    std::stable_partition(copies.begin(), copies.end(), [](const PendingCopy& c) { return c.identity; });
    std::set<std::string> folders;
    int err = 0;
    bool settingsRefused = false;
    for (PendingCopy& c : copies) {
      err = AskHook("record", c.path);
      if (err == 0 && !WriteAll(c.fd, bytes.data(), bytes.size())) err = LastError(c.path);
      if (err == 0 && ::fsync(c.fd) != 0) err = LastError(c.path);
      if (::close(c.fd) != 0 && err == 0) err = LastError(c.path);
      c.fd = -1;
      if (err != 0) {
        settingsRefused = c.identity && FolderOf(c.path) == settings;
        break;
      }
      folders.insert(FolderOf(c.path));
    }
    if (err != 0) {
      DropCopies(copies);
      if (settingsRefused && useSettings) {
        useSettings = false;
        continue;
      }
      return err;
    }
    SyncFolders(folders);
    record = std::move(r);
    return 0;
  }
}

// Puts a prepared step in place: a new content takes the old file's
// attributes just before its rename.
int CommitStep(SaveStep& s) {
  const WholeFile& f = *s.file;
  if (f.remove) {
    if (const int fault = AskHook("kill", f.path)) return fault;
    if (!s.existed) return 0;
    if (const int err = RenameNoReplace(s.real, s.aside)) return Errno(err, s.real);
    s.touched = true;
    return 0;
  }
  if (const int fault = AskHook("rename", f.path)) return fault;
  if (s.inPlace) {
    s.touched = true;  // a write that fails half-way is undone too
    const Ident id = s.old.id;
    return WriteInPlace(s.real, f.data, [&](const Look& l) { return l.id == id; });
  }
  if (const int err = fileattrs::GiveAttrs(s.tempFd, s.attrs)) return Errno(err, s.real);
  CloseFd(s.tempFd);
  if (::rename(s.temp.c_str(), s.real.c_str()) != 0) return LastError(s.real);
  s.temp.clear();
  s.touched = true;
  return 0;
}

// Puts back what a step changed; false when that failed.
bool UndoStep(SaveStep& s) {
  if (!s.touched) return true;
  bool undone = true;
  if (s.inPlace) {
    const Ident id = s.old.id;
    undone = WriteInPlace(s.real, s.oldBytes, [&](const Look& l) { return l.id == id; }) == 0;
  } else if (s.file->remove) {
    undone = RenameNoReplace(s.aside, s.real) == 0;
    if (undone) s.aside.clear();
  } else if (s.existed) {
    // A copy of the old bytes is given the old file's attributes first.
    if (s.asideFd >= 0) undone = fileattrs::GiveAttrs(s.asideFd, s.attrs) == 0;
    undone = undone && ::rename(s.aside.c_str(), s.real.c_str()) == 0;
    if (undone) {
      CloseFd(s.asideFd);
      s.aside.clear();
    }
  } else {
    RemoveIdentified(s.real, s.tempId);
  }
  s.touched = false;
  return undone;
}

bool NamesAnyOf(const Record& r, const std::vector<SaveStep>& steps) {
  return std::any_of(r.entries.begin(), r.entries.end(), [&](const RecordEntry& e) {
    return std::any_of(steps.begin(), steps.end(), [&](const SaveStep& s) { return s.real == e.path; });
  });
}

}  // namespace

int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath, SaveNotice* unresolved) {
  // Where each file is: its links followed, but never one another user
  // made (MayFollow), which refuses the save before anything changes.
  std::vector<SaveStep> steps(files.size());
  std::vector<std::string> folders;
  for (size_t i = 0; i < files.size(); ++i) {
    SaveStep& s = steps[i];
    s.file = &files[i];
    if (!PathUsable(files[i].path)) continue;
    s.name = CanonicalPath(files[i].path);
    bool followed = true;
    s.real = files[i].remove ? s.name : CanonicalPath(RealFileOf(files[i].path, followed));
    if (!followed) {
      if (failedPath) *failedPath = files[i].path;
      return kErrForeignLink;
    }
    folders.push_back(FolderOf(s.real));
  }

  // One save at a time in a folder: the folders of the files are locked for
  // the whole save, the resolve of killed saves included.
  FolderLocks locks;
  std::string busy;
  if (locks.Take(folders, busy) != 0) {
    if (failedPath) {
      *failedPath = files.empty() ? busy : files.front().path;
      for (size_t i = 0; i < files.size() && i < folders.size(); ++i)
        if (folders[i] == busy) {
          *failedPath = files[i].path;
          break;
        }
    }
    return kErrSaveInUse;
  }

  // Killed saves of these files are finished or rolled back first. One that
  // can be neither is left as it stands and told to the caller: this save
  // puts its own files in place all the same, which leaves that record
  // stale.
  Resolver resolver;
  for (const WholeFile& f : files) {
    std::string failed, copy;
    if (!PathUsable(f.path)) continue;
    const int err = resolver.Run(f.path, failed, copy);
    if (err != 0 && unresolved && unresolved->err == 0) *unresolved = SaveNotice{err, failed.empty() ? f.path : failed, copy};
  }

  // The key names side files and signs the record; it is made here when
  // there is none yet, once the save is about to write.
  std::string key;
  int err = 0;
  size_t failed = 0;
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    failed = i;
    if (!files[i].remove && (err = AskHook("write", files[i].path)) != 0) break;
    if (key.empty()) key = savekey::Key(true);
    err = PrepareStep(key, steps[i], resolver);
  }
  Record record;
  if (err == 0) err = WriteRecords(key, steps, record, failed);
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = CommitStep(steps[i]);
    failed = i;
  }
  // What was put in place (or back) is on the disk before the record goes.
  std::set<std::string> fileFolders;
  for (const SaveStep& s : steps)
    if (s.touched) fileFolders.insert(FolderOf(s.real));
  bool undone = true;
  if (err != 0) {
    for (size_t i = steps.size(); i-- > 0;) undone = UndoStep(steps[i]) && undone;
    if (failedPath) *failedPath = steps[failed].refused.empty() ? files[failed].path : steps[failed].refused;
  }
  SyncFolders(fileFolders);
  if (err == 0) {
    // Every file holds its new content: the save is done. (A stopping point
    // for tests: the answer is not used.)
    for (const WholeFile& f : files) AskHook("done", f.path);
  }
  if (!undone) {
    // A file that could not be put back keeps the record and what was kept
    // aside, for the next open or save to put it back; the new contents not
    // yet in place go, so that the save is rolled back, never finished.
    for (SaveStep& s : steps) {
      CloseFd(s.tempFd);
      CloseFd(s.asideFd);
      if (!s.touched && !s.file->remove) {
        RemoveIdentified(s.temp, s.tempId);
        s.temp.clear();
      }
    }
    return err;
  }
  // The record goes first, its folders flushed, so that a save stopped (or
  // a power lost) past this point leaves only leftovers; then what was kept
  // aside or not used.
  std::set<std::string> recordFolders;
  for (const Side& c : record.copies) {
    RemoveSide(nullptr, c);
    recordFolders.insert(FolderOf(c.path));
  }
  SyncFolders(recordFolders);
  for (SaveStep& s : steps) DiscardSideFiles(s);
  if (err == 0) {
    // Records of earlier saves of these files that were found stale, or
    // that could not be resolved, are of no use now that the files hold
    // this save: were one applied later, it would undo this save.
    for (const Record& r : resolver.Stale()) RemoveRecordAndSides(r);
    for (const Record& r : resolver.Kept())
      if (NamesAnyOf(r, steps)) RemoveRecordAndSides(r);
  }
  return err;
}

int WriteWholeFileAtomic(const std::string& path, const std::string& data) {
  return WriteWholeFiles({WholeFile{path, data}});
}
