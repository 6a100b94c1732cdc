// The save engine (files.h): WriteWholeFiles, the records of a save and
// ResolveKilledSave, which run under the save lock (savelock.h).
//
// Trust. Whatever stands beside a document may have been put there by
// someone else: another user of a shared folder, an unpacked archive, a
// restored backup. So a record is acted on only when everything about it
// shows that this program wrote it for a save of this very file:
// - it is a regular file of this user, at most 64 KiB, whole;
// - it lists its own copies with their device, inode and birth time, and
//   the one read is among them (a copy of a record, or one written by hand,
//   has another inode and birth time than the ones it lists);
// - it names only the file, another name of it, and the file's companion
//   in the same folder, and its side files only at the file's homes, under
//   the names this engine gives;
// - every file it would rename, write from, write into or delete has the
//   device, inode and birth time the save recorded, and holds what the
//   save recorded (the old content, the new one, or for a file written in
//   place a mix of the two, byte by byte);
// anything else is left alone, and the document opens and saves as if the
// record were not there.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
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

#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/savelock.h"
#include "platform/winfolder.h"

using namespace fileimpl;

namespace {

// ---- Identities ----

// A file as the file system knows it: its device, inode and birth time
// (zero where the file system keeps none). An inode number may be reused by
// a later file; the birth time tells them apart.
struct Ident {
  uint64_t dev = 0;
  uint64_t ino = 0;
  uint64_t bsec = 0;
  uint64_t bnsec = 0;
  bool Known() const { return ino != 0; }
  bool SameInode(const Ident& o) const { return dev == o.dev && ino == o.ino; }
  bool operator==(const Ident& o) const { return SameInode(o) && bsec == o.bsec && bnsec == o.bnsec; }
  bool operator!=(const Ident& o) const { return !(*this == o); }
  bool operator<(const Ident& o) const {
    return std::tie(dev, ino, bsec, bnsec) < std::tie(o.dev, o.ino, o.bsec, o.bnsec);
  }
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

// ---- Hashes ----

// The 64-bit FNV-1a hash of bytes: what tells a whole content from a torn
// one, and shortens long names. (A record's trust does not rest on it.)
uint64_t HashOf(const char* data, size_t size) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ull;
  }
  return h;
}
uint64_t HashOf(const std::string& data) { return HashOf(data.data(), data.size()); }

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
// within what the file system takes.

constexpr char kMark[] = "~brv";
constexpr size_t kRandomLen = 6;
constexpr char kRecordExt[] = ".save";
constexpr size_t kRecordExtLen = 5;
constexpr size_t kPlainNameMax = 200;
constexpr size_t kRecordMax = 64 * 1024;

std::string NamePart(const std::string& name) {
  if (name.size() <= kPlainNameMax) return name;
  return name.substr(0, kPlainNameMax) + "-" + Hex16(HashOf(name));
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

std::string RandomPart() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 rng{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kChars)) - 2);
  std::string s;
  for (size_t i = 0; i < kRandomLen; ++i) s += kChars[pick(rng)];
  return s;
}

// Whether a folder entry is a temporary file named after home.
bool IsTempName(const std::string& entry, const std::string& home) {
  const std::string prefix = SidePrefix(home);
  return entry.size() == prefix.size() + kRandomLen && entry.compare(0, prefix.size(), prefix) == 0 &&
         IsRandomAt(entry, prefix.size());
}

// Whether a folder entry is a record named after home.
bool IsRecordName(const std::string& entry, const std::string& home) {
  const std::string prefix = SidePrefix(home);
  return entry.size() == prefix.size() + kRandomLen + kRecordExtLen && entry.compare(0, prefix.size(), prefix) == 0 &&
         IsRandomAt(entry, prefix.size()) && entry.compare(prefix.size() + kRandomLen, kRecordExtLen, kRecordExt) == 0;
}

std::string SidePath(const std::string& home, bool record) {
  return InFolder(FolderOf(home), SidePrefix(home) + RandomPart() + (record ? kRecordExt : ""));
}

// The home of a file saved in place in the settings folder: named after the
// file's name and a hash of its canonical path, so that two documents of
// one name never share it.
std::string SettingsHomeOf(const std::string& file, const std::string& settings) {
  return InFolder(settings, NameOf(file).substr(0, 100) + "-" + Hex16(HashOf(file)));
}

// The home of the records of a file written in place, found through any of
// its names: named after the file's identity, in the settings folder (or
// beside the file where that folder takes nothing).
std::string IdentityHomeIn(const std::string& folder, const Ident& id) {
  return InFolder(folder, "brv-" + Hex(id.dev) + "-" + Hex(id.ino) + "-" + Hex(id.bsec) + "." + Hex(id.bnsec));
}

// The path with its folder as the file system knows it (no ".", ".." or
// linked folders), so that two spellings of one file meet; the path itself
// when its folder cannot be resolved.
std::string CanonicalPath(const std::string& path) {
  char buf[PATH_MAX];
  if (!::realpath(FolderOf(path).c_str(), buf)) return path;
  return InFolder(buf, NameOf(path));
}

// The file a path names, through any symbolic links (at most 40 of them);
// the path itself when it is no link.
std::string RealFileOf(const std::string& path) {
  std::string p = path;
  for (int i = 0; i < 40; ++i) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return p;
    const std::string target(buf, static_cast<size_t>(n));
    p = target[0] == '/' ? target : FolderOf(p) + "/" + target;
  }
  return p;
}

// An absolute path without empty, "." or ".." parts: what the engine
// records, and all a record may name.
bool CleanPath(const std::string& p) {
  if (p.size() < 2 || p[0] != '/' || p.back() == '/' || p.find('\0') != std::string::npos) return false;
  size_t at = 1;
  while (at <= p.size()) {
    size_t end = p.find('/', at);
    if (end == std::string::npos) end = p.size();
    const std::string part = p.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
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
// extension (either way round).
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

// Opens a regular file that must be the one identified (links not
// followed); -1 with errno set otherwise (ESTALE for another file).
int OpenIdentified(const std::string& path, int flags, const Ident* id) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  Look look;
  if (!LookFd(fd, look) || !S_ISREG(look.mode) || (id && look.id != *id)) {
    ::close(fd);
    errno = ESTALE;
    return -1;
  }
  return fd;
}

// The whole content of the identified file; false when it is not there as
// recorded or cannot be read.
bool ReadIdentified(const std::string& path, const Ident& id, std::string& data) {
  const int fd = OpenIdentified(path, O_RDONLY, &id);
  if (fd < 0) return false;
  const bool ok = ReadAllFd(fd, data);
  ::close(fd);
  return ok;
}

// Rewrites an existing file in place, the very file identified (links not
// followed): data from its start, cut to its size, flushed.
int WriteInPlace(const std::string& path, const std::string& data, const Ident& id) {
  const int fd = OpenIdentified(path, O_WRONLY, &id);
  if (fd < 0) return errno == ESTALE ? kErrPathFileAccess : LastError(path);
  int err = 0;
  if (!WriteAll(fd, data.data(), data.size())) err = LastError(path);
  if (err == 0 && ::ftruncate(fd, static_cast<off_t>(data.size())) != 0) err = LastError(path);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(path);
  if (::close(fd) != 0 && err == 0) err = LastError(path);
  return err;
}

// Deletes a side file, only when it is the one identified.
void RemoveIdentified(const std::string& path, const Ident& id) {
  if (path.empty()) return;
  Look look;
  if (LookAt(path, look) == 0 && look.exists && look.id == id) ::unlink(path.c_str());
}

// Makes a new side file at home, open for writing (private to this user
// until its attributes are given); its path and identity come back.
int CreateSideFile(const std::string& home, bool record, std::string& path, Ident& id, int& fd) {
  fd = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = SidePath(home, record);
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, record ? 0600 : 0666);
    if (fd >= 0) {
      Look look;
      if (!LookFd(fd, look)) {
        const int err = LastError(path);
        ::close(fd);
        ::unlink(path.c_str());
        fd = -1;
        return err;
      }
      id = look.id;
      return 0;
    }
    if (errno != EEXIST) break;  // a name someone holds is passed over
  }
  const int err = LastError(home);
  path.clear();
  return err;
}

// Writes data whole into a new temporary file at home, flushed. With old,
// the new file takes its permission bits, and its owner and group where the
// process may give them: ownerKept tells whether it could.
int WriteTemp(const std::string& home, const std::string& data, const Look* old, std::string& temp, Ident& id,
              bool* ownerKept = nullptr) {
  int fd = -1;
  if (const int err = CreateSideFile(home, false, temp, id, fd)) return err;
  int err = 0;
  if (old) {
    const bool kept = ::fchown(fd, old->uid, old->gid) == 0;
    if (ownerKept) *ownerKept = kept;
    if (::fchmod(fd, old->mode & 07777) != 0) err = LastError(home);
  }
  if (err == 0 && !WriteAll(fd, data.data(), data.size())) err = LastError(home);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(home);
  if (::close(fd) != 0 && err == 0) err = LastError(home);
  if (err != 0) {
    ::unlink(temp.c_str());
    temp.clear();
  }
  return err;
}

// ---- The record of a save ----
//
// Its bytes (files.h):
//   "Brenvolta save record 2\n"
//   per copy of the record: "copy" SP path SP identity LF
//   per file: op SP path SP identity SP old size SP old hash SP new size SP
//     new hash SP temp SP identity SP aside SP identity LF
//   "end " + hash + "\n"
// A path is its length in decimal, ":" and its bytes; an identity is the
// device, inode, birth seconds and birth nanoseconds in decimal; hashes are
// 16 lower-case hex digits; the final hash is that of every byte before
// "end". A file written in place keeps its new content in a temporary file
// too, so that a file a killed write left part new can be told, byte by
// byte, from one rewritten since.

constexpr char kRecordHead[] = "Brenvolta save record 2\n";

enum class RecordOp { Replace, Create, InPlace, Remove };
constexpr const char* kOpNames[] = {"replace", "new", "inplace", "remove"};

struct Side {
  std::string path;
  Ident id;
};

struct RecordEntry {
  RecordOp op = RecordOp::Replace;
  std::string path;       // the file (canonical, links resolved; for a removal, the name)
  Ident old;              // the file as it stood (replace, inplace, remove)
  long long oldSize = 0;  // its content (replace, inplace)
  uint64_t oldHash = 0;
  long long size = 0;     // the new content (replace, new, inplace)
  uint64_t hash = 0;
  Side temp;              // the new content at the file's home (replace, new, inplace)
  Side aside;             // the old file kept aside (replace: a second name or a copy; inplace: a copy;
                          // remove: the file itself)
};

struct Record {
  std::vector<Side> copies;
  std::vector<RecordEntry> entries;
};

void AppendPath(std::string& out, const std::string& p) { out += std::to_string(p.size()) + ":" + p; }
void AppendIdent(std::string& out, const Ident& id) {
  out += std::to_string(id.dev) + " " + std::to_string(id.ino) + " " + std::to_string(id.bsec) + " " +
         std::to_string(id.bnsec);
}

std::string RecordBytes(const Record& r) {
  std::string out = kRecordHead;
  for (const Side& c : r.copies) {
    out += "copy ";
    AppendPath(out, c.path);
    out += ' ';
    AppendIdent(out, c.id);
    out += '\n';
  }
  for (const RecordEntry& e : r.entries) {
    out += kOpNames[static_cast<int>(e.op)];
    out += ' ';
    AppendPath(out, e.path);
    out += ' ';
    AppendIdent(out, e.old);
    out += ' ' + std::to_string(e.oldSize) + ' ' + Hex16(e.oldHash) + ' ' + std::to_string(e.size) + ' ' +
           Hex16(e.hash) + ' ';
    AppendPath(out, e.temp.path);
    out += ' ';
    AppendIdent(out, e.temp.id);
    out += ' ';
    AppendPath(out, e.aside.path);
    out += ' ';
    AppendIdent(out, e.aside.id);
    out += '\n';
  }
  out += "end " + Hex16(HashOf(out)) + "\n";
  return out;
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
    return Word(w, sep) && Digits(w, v);
  }
  static bool Digits(const std::string& w, uint64_t& v) {
    if (w.empty() || w.size() > 19) return false;
    v = 0;
    for (const char c : w) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
  }
  bool Size(long long& v, char sep) {
    uint64_t n = 0;
    if (!Number(n, sep) || n > (1ull << 50)) return false;
    v = static_cast<long long>(n);
    return true;
  }
  bool Hash(uint64_t& v, char sep) {
    std::string w;
    if (!Word(w, sep) || w.size() != 16) return false;
    v = 0;
    for (const char c : w) {
      int d = 0;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else
        return false;
      v = (v << 4) | static_cast<uint64_t>(d);
    }
    return true;
  }
  bool Path(std::string& p, char sep) {
    size_t colon = pos_;
    while (colon < end_ && colon - pos_ < 6 && b_[colon] >= '0' && b_[colon] <= '9') ++colon;
    if (colon == pos_ || colon >= end_ || b_[colon] != ':') return false;
    const size_t n = std::stoul(b_.substr(pos_, colon - pos_));
    if (n >= end_ - colon - 1 || b_[colon + 1 + n] != sep) return false;
    p = b_.substr(colon + 1, n);
    pos_ = colon + 2 + n;
    return p.find('\0') == std::string::npos;
  }
  bool Identity(Ident& id, char sep) {
    return Number(id.dev, ' ') && Number(id.ino, ' ') && Number(id.bsec, ' ') && Number(id.bnsec, sep);
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
  if (e.path.empty()) return false;
  const bool old = e.old.Known(), temp = !e.temp.path.empty() && e.temp.id.Known(),
             aside = !e.aside.path.empty() && e.aside.id.Known();
  switch (e.op) {
    case RecordOp::Replace:
      return old && temp && aside;
    case RecordOp::Create:
      return temp && e.aside.path.empty();
    case RecordOp::InPlace:
      return old && aside && temp;
    case RecordOp::Remove:
      return old && aside && e.temp.path.empty() && e.aside.id == e.old;
  }
  return false;
}

constexpr size_t kTrailerLen = 4 + 16 + 1;  // "end " + hash + "\n"

// Whether bytes end as a record ends, with the hash of all before: written
// whole (what it says is another matter).
bool IsWholeRecord(const std::string& bytes) {
  const std::string head = kRecordHead;
  if (bytes.size() < head.size() + kTrailerLen || bytes.compare(0, head.size(), head) != 0) return false;
  const size_t end = bytes.size() - kTrailerLen;
  return bytes.compare(end, 4, "end ") == 0 && bytes.back() == '\n' &&
         bytes.compare(end + 4, 16, Hex16(HashOf(bytes.data(), end))) == 0;
}

// Reads a record back; false for anything that is not a whole record with
// every field its files' steps need.
bool ParseRecord(const std::string& bytes, Record& r) {
  r = Record{};
  const std::string head = kRecordHead;
  if (!IsWholeRecord(bytes)) return false;
  const size_t end = bytes.size() - kTrailerLen;
  RecordReader in(bytes, head.size(), end);
  while (in.Peek("copy ")) {
    std::string word;
    Side c;
    if (!in.Word(word, ' ') || !in.Path(c.path, ' ') || !in.Identity(c.id, '\n') || c.path.empty()) return false;
    r.copies.push_back(std::move(c));
  }
  while (!in.AtEnd()) {
    RecordEntry e;
    std::string op;
    if (!in.Word(op, ' ')) return false;
    const auto named = std::find_if(std::begin(kOpNames), std::end(kOpNames), [&](const char* n) { return op == n; });
    if (named == std::end(kOpNames)) return false;
    e.op = static_cast<RecordOp>(named - std::begin(kOpNames));
    if (!in.Path(e.path, ' ') || !in.Identity(e.old, ' ') || !in.Size(e.oldSize, ' ') || !in.Hash(e.oldHash, ' ') ||
        !in.Size(e.size, ' ') || !in.Hash(e.hash, ' ') || !in.Path(e.temp.path, ' ') || !in.Identity(e.temp.id, ' ') ||
        !in.Path(e.aside.path, ' ') || !in.Identity(e.aside.id, '\n'))
      return false;
    if (!CompleteEntry(e)) return false;
    r.entries.push_back(std::move(e));
  }
  return !r.copies.empty() && !r.entries.empty();
}

}  // namespace

namespace {

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
// name leads to (both canonical).
struct Subject {
  std::string name;
  std::string real;
  Look realLook;
};

Subject SubjectOf(const std::string& path) {
  Subject s;
  s.name = CanonicalPath(path);
  s.real = CanonicalPath(RealFileOf(path));
  LookAt(s.real, s.realLook);
  return s;
}

// Every file named like a record at one of the subject's homes: beside
// the name and beside the real file, at their homes in the settings folder,
// and at the real file's identity homes (so that a record of a write in
// place is found through any name of the file).
std::vector<std::string> RecordsAtHomes(const Subject& s) {
  std::map<std::string, std::vector<std::string>> homesByFolder;
  const auto add = [&](const std::string& home) {
    auto& homes = homesByFolder[FolderOf(home)];
    if (std::find(homes.begin(), homes.end(), home) == homes.end()) homes.push_back(home);
  };
  const std::string settings = WinFolderPath();
  for (const std::string& file : {s.name, s.real}) {
    add(file);
    if (!settings.empty()) add(SettingsHomeOf(file, settings));
  }
  if (s.realLook.exists) {
    for (const std::string& file : {s.name, s.real}) add(IdentityHomeIn(FolderOf(file), s.realLook.id));
    if (!settings.empty()) add(IdentityHomeIn(settings, s.realLook.id));
  }
  std::vector<std::string> found;
  for (const auto& [folder, homes] : homesByFolder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) continue;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      for (const std::string& home : homes) {
        if (IsRecordName(name, home)) {
          found.push_back(InFolder(folder, name));
          break;
        }
      }
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// A record file as found: not ours (left alone), whole and ours, or one of
// this user's files named as a record that does not read back whole (the
// record a killed save was writing: a leftover).
struct Found {
  enum Kind { NotOurs, Torn, Whole } kind = NotOurs;
  std::string path;
  Look look;
  Record record;
};

Found ReadRecordAt(const std::string& path) {
  Found f;
  f.path = path;
  if (LookAt(path, f.look) != 0 || !f.look.exists || !S_ISREG(f.look.mode) || f.look.uid != ::geteuid() ||
      f.look.size > static_cast<long long>(kRecordMax))
    return f;
  const int fd = OpenIdentified(path, O_RDONLY, &f.look.id);
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
  if (!ok || bytes.size() > kRecordMax) return f;
  if (!ParseRecord(bytes, f.record)) {
    // Only what starts as a record starts (an empty file included) is one
    // a killed save was writing; anything else is someone's file.
    const std::string head = kRecordHead;
    const bool torn = bytes.size() < head.size() ? head.compare(0, bytes.size(), bytes) == 0
                                                 : bytes.compare(0, head.size(), head) == 0 && !IsWholeRecord(bytes);
    f.kind = torn ? Found::Torn : Found::NotOurs;
    return f;
  }
  // A record lists its own copies: one read under another inode or birth
  // time (a copy brought back, one written by hand) is not the one written.
  const bool self = std::any_of(f.record.copies.begin(), f.record.copies.end(),
                                [&](const Side& c) { return c.path == path && c.id == f.look.id; });
  f.kind = self ? Found::Whole : Found::NotOurs;
  return f;
}

// Whether p is empty or a temporary file at one of the homes of file.
bool IsSideOf(const std::string& p, const std::string& file, const std::string& settings) {
  if (p.empty()) return true;
  if (!CleanPath(p)) return false;
  if (FolderOf(p) == FolderOf(file) && IsTempName(NameOf(p), file)) return true;
  return !settings.empty() && FolderOf(p) == settings && IsTempName(NameOf(p), SettingsHomeOf(file, settings));
}

// Whether a record of ours is about this subject and names nothing else:
// the file, other names of it and their companions in their folder, its
// side files at their homes, its copies at homes of its files.
bool InScope(const Record& r, const Subject& s) {
  const std::string settings = WinFolderPath();
  std::vector<const RecordEntry*> anchors;
  std::set<std::string> paths;
  for (const RecordEntry& e : r.entries) {
    if (!CleanPath(e.path) || !paths.insert(e.path).second) return false;
    bool anchor = e.path == s.name || e.path == s.real;
    if (!anchor && s.realLook.exists) {
      Look other;
      anchor = LookAt(e.path, other) == 0 && other.exists && other.id == s.realLook.id;
    }
    if (anchor) anchors.push_back(&e);
  }
  if (anchors.empty()) return false;
  for (const RecordEntry& e : r.entries) {
    const bool named = std::any_of(anchors.begin(), anchors.end(), [&](const RecordEntry* a) {
      return a == &e || IsCompanion(a->path, e.path);
    });
    if (!named || !IsSideOf(e.temp.path, e.path, settings) || !IsSideOf(e.aside.path, e.path, settings)) return false;
  }
  for (const Side& c : r.copies) {
    if (!CleanPath(c.path)) return false;
    const std::string folder = FolderOf(c.path), name = NameOf(c.path);
    const bool atHome = std::any_of(r.entries.begin(), r.entries.end(), [&](const RecordEntry& e) {
      if (folder == FolderOf(e.path) && (IsRecordName(name, e.path) ||
                                         (e.old.Known() && IsRecordName(name, IdentityHomeIn(folder, e.old)))))
        return true;
      return !settings.empty() && folder == settings &&
             (IsRecordName(name, SettingsHomeOf(e.path, settings)) ||
              (e.old.Known() && IsRecordName(name, IdentityHomeIn(settings, e.old))));
    });
    if (!atHome) return false;
  }
  return true;
}

// ---- Where a recorded save stands ----

// One file of a recorded save as it stands now.
struct EntryState {
  enum Where { Before, After, Torn } where = Before;
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

bool HoldsContent(const std::string& data, long long size, uint64_t hash) {
  return static_cast<long long>(data.size()) == size && HashOf(data) == hash;
}

// Looks at a side file: there (and the one recorded), missing, or changed.
Standing LookSide(const Side& side, bool& there, int& err) {
  there = false;
  if (side.path.empty()) return Standing::Consistent;
  Look look;
  if ((err = LookAt(side.path, look)) != 0) return Standing::Error;
  if (!look.exists) return Standing::Consistent;
  if (!S_ISREG(look.mode) || look.id != side.id) return Standing::Changed;
  there = true;
  return Standing::Consistent;
}

Standing Examine(const RecordEntry& e, EntryState& st, int& err) {
  st = EntryState{};
  err = 0;
  Standing side = LookSide(e.temp, st.tempThere, err);
  if (side != Standing::Consistent) return side;
  side = LookSide(e.aside, st.asideThere, err);
  if (side != Standing::Consistent) return side;
  Look file;
  if ((err = LookAt(e.path, file)) != 0) return Standing::Error;
  const auto tempHoldsNew = [&] {
    std::string data;
    return st.tempThere && ReadIdentified(e.temp.path, e.temp.id, data) && HoldsContent(data, e.size, e.hash);
  };
  std::string data;
  switch (e.op) {
    case RecordOp::Replace:
      if (!file.exists || !S_ISREG(file.mode)) return Standing::Changed;
      if (!ReadIdentified(e.path, file.id, data)) return (err = EIO), Standing::Error;
      if ((file.id == e.old || file.id == e.aside.id) && HoldsContent(data, e.oldSize, e.oldHash))
        st.where = EntryState::Before;  // the old file (or its copy put back)
      else if (file.id == e.temp.id && HoldsContent(data, e.size, e.hash) && !st.tempThere)
        st.where = EntryState::After;
      else
        return Standing::Changed;
      st.newAtHand = st.where == EntryState::After || tempHoldsNew();
      return Standing::Consistent;
    case RecordOp::Create:
      if (!file.exists) {
        st.where = EntryState::Before;
      } else if (S_ISREG(file.mode) && file.id == e.temp.id && !st.tempThere &&
                 ReadIdentified(e.path, file.id, data) && HoldsContent(data, e.size, e.hash)) {
        st.where = EntryState::After;
      } else {
        return Standing::Changed;
      }
      st.newAtHand = st.where == EntryState::After || tempHoldsNew();
      return Standing::Consistent;
    case RecordOp::InPlace: {
      if (!file.exists || !S_ISREG(file.mode) || file.id != e.old) return Standing::Changed;
      if (!ReadIdentified(e.path, file.id, data)) return (err = EIO), Standing::Error;
      if (HoldsContent(data, e.size, e.hash)) {
        st.where = EntryState::After;
      } else if (HoldsContent(data, e.oldSize, e.oldHash)) {
        st.where = EntryState::Before;
      } else {
        // Neither: a write of ours stopped part way, or a rewrite since. The
        // old bytes kept aside and the new ones beside tell; without the old
        // ones the file cannot be put back, which is said as such.
        std::string old, fresh;
        if (!st.tempThere || !ReadIdentified(e.temp.path, e.temp.id, fresh) || !HoldsContent(fresh, e.size, e.hash)) {
          return Standing::Changed;
        } else if (!st.asideThere) {
          st.where = EntryState::Torn;
        } else if (!ReadIdentified(e.aside.path, e.aside.id, old) || !HoldsContent(old, e.oldSize, e.oldHash)) {
          return Standing::Changed;
        } else if (IsTornWrite(data, old, fresh)) {
          st.where = EntryState::Torn;
        } else {
          return Standing::Changed;
        }
      }
      st.newAtHand = st.where == EntryState::After;
      return Standing::Consistent;
    }
    case RecordOp::Remove:
      if (file.exists && file.id == e.old && !st.asideThere)
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

// Finishes or rolls back a consistent recorded save; 0, or the error number
// with failed naming the file.
int ApplyRecord(const Record& r, const std::vector<EntryState>& states, std::string& failed) {
  const bool finish = std::all_of(states.begin(), states.end(), [](const EntryState& s) { return s.newAtHand; });
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
  if (finish) {
    for (size_t i = 0; i < r.entries.size(); ++i) {
      const RecordEntry& e = r.entries[i];
      if (states[i].where != EntryState::Before) continue;
      if (const int fault = AskResolve(e.path)) return fail(fault, e);
      switch (e.op) {
        case RecordOp::Replace:
          if (::rename(e.temp.path.c_str(), e.path.c_str()) != 0) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::Create:
          if (const int err = RenameNoReplace(e.temp.path, e.path)) return fail(Errno(err, e.path), e);
          break;
        case RecordOp::Remove:
          if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::InPlace:
          break;  // holds its new content, or the save is not finished
      }
    }
  } else {
    for (size_t i = r.entries.size(); i-- > 0;) {
      const RecordEntry& e = r.entries[i];
      const EntryState& s = states[i];
      if (s.where == EntryState::Before) continue;
      if (const int fault = AskResolve(e.path)) return fail(fault, e);
      switch (e.op) {
        case RecordOp::Replace:
          if (::rename(e.aside.path.c_str(), e.path.c_str()) != 0) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::Create:
          if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) return fail(Errno(errno, e.path), e);
          break;
        case RecordOp::InPlace: {
          // The old bytes go back into the same file, so every name keeps it.
          std::string old;
          if (!ReadIdentified(e.aside.path, e.aside.id, old)) return fail(kErrOldCopyGone, e);
          if (const int err = WriteInPlace(e.path, old, e.old)) return fail(err, e);
          break;
        }
        case RecordOp::Remove:
          if (const int err = RenameNoReplace(e.aside.path, e.path)) return fail(Errno(err, e.path), e);
          break;
      }
    }
  }
  return 0;
}

// Removes a record's copies (their folders flushed, so that a resolved or
// finished save does not come back after a power loss), then the side
// files it names: each only where it is the one recorded.
void RemoveRecordAndSides(const Record& r) {
  std::set<std::string> folders;
  for (const RecordEntry& e : r.entries) folders.insert(FolderOf(e.path));
  for (const std::string& f : folders) SyncFolder(f);
  folders.clear();
  for (const Side& c : r.copies) {
    RemoveIdentified(c.path, c.id);
    folders.insert(FolderOf(c.path));
  }
  for (const std::string& f : folders) SyncFolder(f);
  for (const RecordEntry& e : r.entries) {
    RemoveIdentified(e.temp.path, e.temp.id);
    RemoveIdentified(e.aside.path, e.aside.id);
  }
}

// The resolve of killed saves for the files of one save, or of one open.
class Resolver {
 public:
  // Resolves every record of ours about path: finished or rolled back, or
  // kept when that fails. 0, or the error number of the first that could
  // not be resolved (kErrSaveInUse when its folders stayed locked), failed
  // then naming the file.
  int Run(const std::string& path, std::string& failed) {
    Subject s = SubjectOf(path);
    // The folders a resolve may change: the subject's and those of the
    // files records of ours name. Only when there is such a record are
    // they locked (a file of someone else's at a record's name waits for
    // no lock), then everything is looked at again.
    std::vector<std::string> folders = {FolderOf(s.real), FolderOf(s.name)};
    bool ours = false;
    for (const std::string& c : RecordsAtHomes(s)) {
      const Found f = ReadRecordAt(c);
      if (f.kind != Found::Whole || !InScope(f.record, s)) continue;
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
    for (const std::string& c : RecordsAtHomes(s)) {
      if (done_.count(c)) continue;
      Found f = ReadRecordAt(c);
      if (f.kind != Found::Whole) continue;
      s = SubjectOf(path);  // an earlier record may have moved the file
      if (!InScope(f.record, s)) continue;
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
      if (standing == Standing::Consistent) {
        err = ApplyRecord(f.record, states, file);
        if (err == 0) {
          RemoveRecordAndSides(f.record);
          continue;
        }
      }
      Keep(f.record);
      kept_.push_back(std::move(f.record));
      if (result == 0) {
        result = err;
        failed = file;
      }
    }
    return result;
  }

  // Whether a file is one that a record kept for a later resolve names.
  bool Keeps(const Ident& id) const { return keep_.count(id) != 0; }
  // Records of ours found stale or kept, for a save to remove once it has
  // put its own files in place.
  const std::vector<Record>& Stale() const { return stale_; }
  const std::vector<Record>& Kept() const { return kept_; }

 private:
  void Keep(const Record& r) {
    for (const Side& c : r.copies) keep_.insert(c.id);
    for (const RecordEntry& e : r.entries) {
      if (e.temp.id.Known()) keep_.insert(e.temp.id);
      if (e.aside.id.Known()) keep_.insert(e.aside.id);
    }
  }

  std::set<std::string> done_;
  std::set<Ident> keep_;
  std::vector<Record> stale_;
  std::vector<Record> kept_;
};

}  // namespace

int ResolveKilledSave(const std::string& path, std::string* failedPath) {
  if (!PathUsable(path)) return 0;
  Resolver resolver;
  std::string failed;
  const int err = resolver.Run(path, failed);
  if (err != 0 && failedPath) *failedPath = failed;
  return err;
}

namespace {

// One file of a save on its way: where it goes, what stands there now, and
// what the save has done to it so far.
struct SaveStep {
  const WholeFile* file = nullptr;
  std::string real;       // the file the path names, links followed (canonical); for a removal the name
  std::string home;       // its side files are named after this: the file, or its name in the settings folder
  Look old;               // what stands there now
  bool existed = false;
  bool inPlace = false;   // rewritten in place (below)
  std::string temp;       // the new content at the file's home
  Ident tempId;
  std::string aside;      // the old file (a second name, or a copy), or the removed one
  Ident asideId;
  bool haveOld = false;   // oldBytes holds the old content
  std::string oldBytes;
  bool touched = false;   // the file itself was changed (put in place or removed)
  std::string refused;    // the folder that refused the step, when one did
};

int ReadOld(SaveStep& s) {
  if (s.haveOld) return 0;
  if (!ReadIdentified(s.real, s.old.id, s.oldBytes)) return errno == ESTALE ? kErrPathFileAccess : LastError(s.real);
  s.haveOld = true;
  return 0;
}

// Removes what a step made beside its file (only what it made).
void DiscardSideFiles(SaveStep& s) {
  RemoveIdentified(s.temp, s.tempId);
  RemoveIdentified(s.aside, s.asideId);
  s.temp.clear();
  s.aside.clear();
}

// Removes what killed saves of a file left at one of its homes: temporary
// files, and records of ours that a resolve found stale or that were cut
// short. Never a file a kept record names, never a record that is not ours,
// and nothing of another user but a second name of the file itself.
void RemoveLeftovers(const std::string& home, const Look& file, const Resolver& resolver) {
  const std::string folder = FolderOf(home);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* e = ::readdir(dir))
    if (IsTempName(e->d_name, home) || IsRecordName(e->d_name, home)) found.push_back(e->d_name);
  ::closedir(dir);
  for (const std::string& name : found) {
    const std::string path = InFolder(folder, name);
    Look look;
    if (LookAt(path, look) != 0 || !look.exists || !S_ISREG(look.mode) || resolver.Keeps(look.id)) continue;
    const bool secondName = file.exists && look.id == file.id;
    if (look.uid != ::geteuid() && !secondName) continue;
    if (IsRecordName(name, home) && ReadRecordAt(path).kind == Found::NotOurs) continue;
    ::unlink(path.c_str());
  }
}

void RemoveLeftoversOf(const std::string& file, const Resolver& resolver) {
  Look look;
  LookAt(file, look);
  const std::string settings = WinFolderPath();
  RemoveLeftovers(file, look, resolver);
  if (!settings.empty()) RemoveLeftovers(SettingsHomeOf(file, settings), look, resolver);
  if (look.exists) {
    RemoveLeftovers(IdentityHomeIn(FolderOf(file), look.id), look, resolver);
    if (!settings.empty()) RemoveLeftovers(IdentityHomeIn(settings, look.id), look, resolver);
  }
}

// Whether a folder's sticky bit keeps this process from renaming or
// removing a file of another user in it.
bool StickyRefuses(const std::string& folder, const Look& file) {
  struct stat st {};
  const uid_t me = ::geteuid();
  return me != 0 && ::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_ISVTX) && st.st_uid != me && file.uid != me;
}

// A removal takes away the name itself, as a delete does: a symbolic link
// goes, not the file it points to. Refused, as a delete is, for a folder,
// for a file that may not be written, and when its folder may not be
// written (or keeps another user's file by its sticky bit).
int PrepareRemoval(SaveStep& s, const Resolver& resolver) {
  s.real = CanonicalPath(s.file->path);
  s.home = s.real;
  RemoveLeftoversOf(s.real, resolver);
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
  s.aside = SidePath(s.real, false);
  s.asideId = s.old.id;
  return 0;
}

// The folder of a file takes no new file: the file is saved in place, its
// old bytes kept in the settings folder (made when missing).
int KeepOldInSettingsFolder(SaveStep& s) {
  s.inPlace = true;
  if (const int err = ReadOld(s)) return err;
  const std::string settings = WinFolder();
  s.home = SettingsHomeOf(s.real, settings);
  int err = AskHook("temp", settings);
  if (err == 0) err = WriteTemp(s.home, s.oldBytes, &s.old, s.aside, s.asideId);
  if (err == 0) err = WriteTemp(s.home, s.file->data, &s.old, s.temp, s.tempId);
  if (err != 0) s.refused = settings;
  return err;
}

// Looks at the file of a step and prepares its new content and the old one
// aside. Nothing the user sees changes here.
int PrepareStep(SaveStep& s, const Resolver& resolver) {
  const WholeFile& f = *s.file;
  if (!f.remove) {
    if (const int fault = AskHook("write", f.path)) return fault;
  }
  if (!PathUsable(f.path)) return kErrBadFileName;
  if (f.remove) return PrepareRemoval(s, resolver);
  s.real = CanonicalPath(RealFileOf(f.path));
  s.home = s.real;
  // What a killed save left goes before the file is looked at, so that a
  // second name it left does not count as one of the file's own.
  RemoveLeftoversOf(s.real, resolver);
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
    bool ownerKept = true;
    err = WriteTemp(s.real, f.data, s.existed ? &s.old : nullptr, s.temp, s.tempId, &ownerKept);
    // A new file that cannot have the old one's owner and group (another
    // user's file in a shared folder, which a rename would also take from
    // its owner, or which a sticky folder keeps from being renamed over) is
    // not put in its place: the file is written in place.
    if (err == 0 && s.existed && !ownerKept) s.inPlace = true;  // the new content stays beside, as for any write in place
  }
  // The old file is kept aside until the save is over: a second name for
  // it where the file system has them, else a copy of its bytes. A file
  // rewritten in place always needs the copy.
  if (err == 0 && s.existed && !s.inPlace) {
    bool linked = false;
    for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
      s.aside = SidePath(s.real, false);
      if (::link(s.real.c_str(), s.aside.c_str()) == 0)
        linked = true;
      else if (errno != EEXIST)
        break;
    }
    if (linked) {
      s.asideId = s.old.id;
    } else {
      s.aside.clear();
      err = ReadOld(s);
      if (err == 0) err = WriteTemp(s.real, s.oldBytes, &s.old, s.aside, s.asideId);
    }
  }
  if (err == 0 && s.inPlace) {
    err = ReadOld(s);
    if (err == 0) err = WriteTemp(s.real, s.oldBytes, &s.old, s.aside, s.asideId);
    if (err == 0 && s.temp.empty()) err = WriteTemp(s.real, f.data, &s.old, s.temp, s.tempId);
  }
  if (err != kErrPathFileAccess) return err;
  // The file may be written but its folder takes no new file.
  DiscardSideFiles(s);
  if (!s.existed) {
    s.refused = folder;
    return err;
  }
  return KeepOldInSettingsFolder(s);
}

// What the record says of a prepared step.
RecordEntry EntryOf(const SaveStep& s) {
  RecordEntry e;
  const WholeFile& f = *s.file;
  e.op = f.remove ? RecordOp::Remove : s.inPlace ? RecordOp::InPlace : s.existed ? RecordOp::Replace : RecordOp::Create;
  e.path = s.real;
  if (s.existed) e.old = s.old.id;
  if (s.haveOld) {
    e.oldSize = static_cast<long long>(s.oldBytes.size());
    e.oldHash = HashOf(s.oldBytes);
  }
  if (!f.remove) {
    e.size = static_cast<long long>(f.data.size());
    e.hash = HashOf(f.data);
  }
  e.temp = Side{s.temp, s.tempId};
  e.aside = Side{s.aside, s.asideId};
  return e;
}

// A record copy being written.
struct PendingCopy {
  Side side;
  int fd = -1;
  bool identity = false;  // at an identity home
};

void DropCopies(std::vector<PendingCopy>& copies) {
  for (PendingCopy& c : copies) {
    if (c.fd >= 0) ::close(c.fd);
    RemoveIdentified(c.side.path, c.side.id);
  }
  copies.clear();
}

// Writes the record of a save, when the save needs one (a single file put
// in place by one rename is whole either way): a copy at the home of each
// file, and for a file written in place one more at its identity home, in
// the settings folder (beside the file where that folder takes nothing).
// Every copy is made first, so that each lists them all with their
// identities, then each is written whole and flushed. record takes what was
// written; failed the step whose record failed.
int WriteRecords(std::vector<SaveStep>& steps, Record& record, size_t& failed) {
  std::vector<size_t> of;
  for (size_t i = 0; i < steps.size(); ++i)
    if (!(steps[i].file->remove && !steps[i].existed)) of.push_back(i);
  const bool needed = of.size() > 1 || std::any_of(of.begin(), of.end(), [&](size_t i) { return steps[i].inPlace; });
  if (!needed) return 0;
  for (const size_t i : of) {
    failed = i;
    if (steps[i].existed && !steps[i].file->remove)
      if (const int err = ReadOld(steps[i])) return err;
  }
  // The new contents and the old files aside are on the disk before the
  // record says they are.
  for (const SaveStep& s : steps) {
    SyncFolder(FolderOf(s.real));
    SyncFolder(FolderOf(s.home));
  }
  // A settings folder that takes a new file but then no bytes (a full disk)
  // is given up for the identity copies, which then stand beside the files.
  const std::string settings = WinFolderPath();
  bool useSettings = !settings.empty() && DirExists(settings);
  for (;;) {
    std::vector<PendingCopy> copies;
    const auto make = [&](const std::string& home, bool identity) {
      PendingCopy c;
      c.identity = identity;
      const int err = CreateSideFile(home, true, c.side.path, c.side.id, c.fd);
      if (err == 0) copies.push_back(c);
      return err;
    };
    Record r;
    for (const size_t i : of) {
      failed = i;
      SaveStep& s = steps[i];
      int err = make(s.home, false);
      if (err == 0 && s.inPlace) {
        int there = useSettings ? AskHook("temp", settings) : kErrPathNotFound;
        if (there == 0) there = make(IdentityHomeIn(settings, s.old.id), true);
        if (there != 0) err = make(IdentityHomeIn(FolderOf(s.real), s.old.id), true);
      }
      if (err != 0) {
        DropCopies(copies);
        return err;
      }
      r.entries.push_back(EntryOf(s));
    }
    for (const PendingCopy& c : copies) r.copies.push_back(c.side);
    const std::string bytes = RecordBytes(r);
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
      err = AskHook("record", c.side.path);
      if (err == 0 && !WriteAll(c.fd, bytes.data(), bytes.size())) err = LastError(c.side.path);
      if (err == 0 && ::fsync(c.fd) != 0) err = LastError(c.side.path);
      if (::close(c.fd) != 0 && err == 0) err = LastError(c.side.path);
      c.fd = -1;
      if (err != 0) {
        settingsRefused = c.identity && FolderOf(c.side.path) == settings;
        break;
      }
      folders.insert(FolderOf(c.side.path));
    }
    if (err != 0) {
      DropCopies(copies);
      if (settingsRefused && useSettings) {
        useSettings = false;
        continue;
      }
      return err;
    }
    for (const std::string& f : folders) SyncFolder(f);
    record = std::move(r);
    return 0;
  }
}

// Puts a prepared step in place.
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
    return WriteInPlace(s.real, f.data, s.old.id);
  }
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
    undone = WriteInPlace(s.real, s.oldBytes, s.old.id) == 0;
  } else if (s.file->remove) {
    undone = RenameNoReplace(s.aside, s.real) == 0;
    if (undone) s.aside.clear();
  } else if (s.existed) {
    undone = ::rename(s.aside.c_str(), s.real.c_str()) == 0;
    if (undone) s.aside.clear();
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

int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath) {
  // One save at a time in a folder: the folders of the files are locked for
  // the whole save, the resolve of killed saves included.
  std::vector<std::string> folders;
  for (const WholeFile& f : files)
    if (PathUsable(f.path)) folders.push_back(FolderOf(CanonicalPath(f.remove ? f.path : RealFileOf(f.path))));
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
  // can be neither is left as it stands (the caller says so): this save puts
  // its own files in place all the same, which leaves that record stale.
  Resolver resolver;
  for (const WholeFile& f : files) {
    std::string ignored;
    if (PathUsable(f.path)) resolver.Run(f.path, ignored);
  }

  std::vector<SaveStep> steps(files.size());
  for (size_t i = 0; i < files.size(); ++i) steps[i].file = &files[i];

  int err = 0;
  size_t failed = 0;
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = PrepareStep(steps[i], resolver);
    failed = i;
  }
  Record record;
  if (err == 0) err = WriteRecords(steps, record, failed);
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = CommitStep(steps[i]);
    failed = i;
  }
  bool undone = true;
  if (err != 0) {
    for (size_t i = steps.size(); i-- > 0;) undone = UndoStep(steps[i]) && undone;
    if (failedPath) *failedPath = steps[failed].refused.empty() ? files[failed].path : steps[failed].refused;
  }
  // What was put in place (or back) is on the disk before the record goes.
  for (const SaveStep& s : steps) SyncFolder(FolderOf(s.real));
  if (err == 0) {
    // Every file holds its new content: the save is done. (A stopping point
    // for tests: the answer is not used.)
    for (const WholeFile& f : files) AskHook("done", f.path);
  }
  if (!undone) {
    // A file that could not be put back keeps the record and what was kept
    // aside, for the next open or save to put it back; the new contents not
    // yet in place go, so that the save is rolled back, never finished.
    for (SaveStep& s : steps)
      if (!s.touched && !s.file->remove) {
        RemoveIdentified(s.temp, s.tempId);
        s.temp.clear();
      }
    return err;
  }
  // The record goes first, its folders flushed, so that a save stopped (or
  // a power lost) past this point leaves only leftovers; then what was kept
  // aside or not used.
  std::set<std::string> recordFolders;
  for (const Side& c : record.copies) {
    RemoveIdentified(c.path, c.id);
    recordFolders.insert(FolderOf(c.path));
  }
  for (const std::string& f : recordFolders) SyncFolder(f);
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
