#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <random>

#include "platform/winfolder.h"

namespace {

FileFaultHook gFaultHook;

int AskHook(const char* op, const std::string& path) {
  return gFaultHook ? gFaultHook(op, path) : 0;
}

// A path the system calls can take: not empty and without a NUL byte (which
// would silently cut the name short).
bool PathUsable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int LastError(const std::string& path) {
  return FileErrorFromErrno(errno, path);
}

// Writes all of data at the file's current offset.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A name inside a folder.
std::string InFolder(const std::string& folder, const std::string& name) {
  return (folder == "/" ? std::string() : folder) + "/" + name;
}

// Temporary files of a save stand beside their file, hidden, named after
// it: "." + name + "~brv" + six letters or digits. The name part is kept
// short enough that the suffix never makes the name too long.
constexpr char kTempMark[] = "~brv";
constexpr size_t kTempSuffixLen = 6;

std::string TempPrefixFor(const std::string& path) {
  return "." + NameOf(path).substr(0, 200) + kTempMark;
}

std::string TempPathFor(const std::string& path) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 rng{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kChars)) - 2);
  std::string suffix;
  for (size_t i = 0; i < kTempSuffixLen; ++i) suffix += kChars[pick(rng)];
  return InFolder(FolderOf(path), TempPrefixFor(path) + suffix);
}

// Whether a folder entry is a temporary file of a save of path.
bool IsTempOf(const std::string& entry, const std::string& path) {
  const std::string prefix = TempPrefixFor(path);
  if (entry.size() != prefix.size() + kTempSuffixLen || entry.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the temporary files named after path that a killed save left.
void RemoveLeftovers(const std::string& path) {
  const std::string folder = FolderOf(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* e = ::readdir(dir))
    if (IsTempOf(e->d_name, path)) found.push_back(e->d_name);
  ::closedir(dir);
  for (const std::string& name : found) {
    const std::string leftover = InFolder(folder, name);
    struct stat st {};
    if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(leftover.c_str());
  }
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

// Makes a new temporary file beside path, open for writing.
int CreateTemp(const std::string& path, std::string& temp, int& fd) {
  fd = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = TempPathFor(path);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return 0;
    if (errno != EEXIST) return LastError(path);
  }
  return LastError(path);
}

// Gives a new file the owner, group and permission bits of the old one:
// the owner and group where the process may (the group alone, else
// nothing), the permission bits always.
int TakeOldAttributes(int fd, const struct stat& old, const std::string& path) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : LastError(path);
}

// Writes data whole into a new temporary file beside path, flushed, with
// the attributes of old when given. On failure nothing is left.
int WriteTemp(const std::string& path, const std::string& data, const struct stat* old, std::string& temp) {
  int fd = -1;
  if (const int err = CreateTemp(path, temp, fd)) return err;
  int err = 0;
  if (old) err = TakeOldAttributes(fd, *old, path);
  if (err == 0 && !WriteAll(fd, data.data(), data.size())) err = LastError(path);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(path);
  if (::close(fd) != 0 && err == 0) err = LastError(path);
  if (err != 0) {
    ::unlink(temp.c_str());
    temp.clear();
  }
  return err;
}

// The whole content of an open file.
bool ReadAllFd(int fd, std::string& data) {
  data.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    data.append(buf, static_cast<size_t>(n));
  }
}

// Rewrites an existing file in place: data from its start, cut to its size.
int WriteInPlace(const std::string& path, const std::string& data) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError(path);
  int err = 0;
  if (!WriteAll(fd, data.data(), data.size())) err = LastError(path);
  if (err == 0 && ::ftruncate(fd, static_cast<off_t>(data.size())) != 0) err = LastError(path);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(path);
  if (::close(fd) != 0 && err == 0) err = LastError(path);
  return err;
}

// Flushes a folder's entries so a rename survives a crash; failures here
// leave the data written and are not reported.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

// EBUSY, ENXIO, ENODEV and ENOMEDIUM all say that the device behind the path
// is not there or not usable just now (a drive without its medium, a busy or
// unplugged device): the designed "disk not ready", which the program offers
// to try again.
int FileErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
      return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrPathFileAccess;
    case ENOSPC:
    case EDQUOT:
      return kErrDiskFull;
    case EIO:
      return kErrDeviceIO;
    case ENXIO:
    case ENODEV:
    case EBUSY:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
      return kErrDiskNotReady;
    case EMFILE:
    case ENFILE:
      return kErrTooManyFiles;
    case ENAMETOOLONG:
      return kErrBadFileName;
    default:
      return kErrDeviceIO;
  }
}

int FileErrorFromErrno(int err, const std::string& path) {
  if (err == ENOENT && !DirExists(FolderOf(path))) return kErrPathNotFound;
  return FileErrorFromErrno(err);
}

FileKind KindOfFile(const std::string& path) {
  struct stat st {};
  if (!PathUsable(path) || ::stat(path.c_str(), &st) != 0) return FileKind::Missing;
  return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

int RecordFile::Open(const std::string& path, int recordLength, OpenMode mode) {
  if (const int fault = AskHook("open", path)) return fault;
  if (fd_ >= 0) Close();
  if (recordLength < 1) return kErrBadRecordLength;
  if (!PathUsable(path)) return kErrBadFileName;
  // A folder, pipe or device is no file: never opened, never created over.
  if (KindOfFile(path) == FileKind::Other) return kErrFileNotFound;

  // Non-blocking, in case a pipe took the file's place since the test above:
  // its open then returns at once and the type test below refuses it.
  bool readOnly = mode == OpenMode::ReadOnly;
  int fd = readOnly ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                    : ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0 && !readOnly && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    // An existing file that may only be read still opens for random access.
    const int writeErr = errno;
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) errno = writeErr;  // report why it could not be opened for writing
    readOnly = true;
  }
  if (fd < 0) return LastError(path);

  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? LastError(path) : kErrFileNotFound;
    ::close(fd);
    return err;
  }
  fd_ = fd;
  recLen_ = recordLength;
  readOnly_ = readOnly;
  path_ = path;
  return 0;
}

int RecordFile::Get(int recordNo, std::string& rec, char pad) {
  if (const int fault = AskHook("get", path_)) return fault;
  if (fd_ < 0) return kErrBadFileName;
  if (recordNo < 1) return kErrBadRecordNumber;

  rec.assign(static_cast<size_t>(recLen_), pad);
  const off_t start = static_cast<off_t>(recordNo - 1) * recLen_;
  size_t done = 0;
  while (done < rec.size()) {
    const ssize_t n = ::pread(fd_, rec.data() + done, rec.size() - done, start + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError(path_);
    }
    if (n == 0) break;  // end of file: the rest stays pad
    done += static_cast<size_t>(n);
  }
  return 0;
}

int RecordFile::Put(int recordNo, const std::string& rec) {
  if (const int fault = AskHook("put", path_)) return fault;
  if (fd_ < 0) return kErrBadFileName;
  if (recordNo < 1) return kErrBadRecordNumber;
  if (readOnly_) return kErrPathFileAccess;

  std::string data = rec;
  data.resize(static_cast<size_t>(recLen_), '\0');
  const off_t start = static_cast<off_t>(recordNo - 1) * recLen_;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, start + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError(path_);
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

long long RecordFile::Lof() const {
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

int RecordFile::Close() {
  if (const int fault = AskHook("close", path_)) return fault;
  if (fd_ < 0) return 0;
  const int rc = ::close(fd_);
  fd_ = -1;  // the descriptor is gone even when close reports an error
  return rc == 0 ? 0 : LastError(path_);
}

int FileLength(const std::string& path, long long& len) {
  if (const int fault = AskHook("len", path)) return fault;
  if (!PathUsable(path)) return kErrBadFileName;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return LastError(path);
  if (!S_ISREG(st.st_mode)) return kErrFileNotFound;
  len = static_cast<long long>(st.st_size);
  return 0;
}

bool FileExists(const std::string& path) {
  return KindOfFile(path) == FileKind::Regular;
}

bool DirExists(const std::string& path) {
  struct stat st {};
  return PathUsable(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int KillFile(const std::string& path) {
  if (const int fault = AskHook("kill", path)) return fault;
  if (!PathUsable(path)) return kErrBadFileName;
  // A read-only file is not deleted, though its folder would allow it.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
      ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return LastError(path);
  if (::unlink(path.c_str()) != 0) return LastError(path);
  return 0;
}

int ReadWholeFile(const std::string& path, std::string& data) {
  if (const int fault = AskHook("read", path)) return fault;
  if (!PathUsable(path)) return kErrBadFileName;
  if (KindOfFile(path) == FileKind::Other) return kErrFileNotFound;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kErrFileNotFound;
  }
  std::string result;
  const int err = ReadAllFd(fd, result) ? 0 : LastError(path);
  ::close(fd);
  if (err == 0) data = std::move(result);
  return err;
}

namespace {

// ---- The record of a save ----
//
// Written, whole, beside the side files of each file of a save (its home)
// before the save changes the first of them, and removed after the last: a
// save that was killed on its way leaves it, and the next open or save of
// any of its files finishes that save or rolls it back (files.h).

// The 64-bit FNV-1a hash of bytes.
uint64_t HashOf(const std::string& data) {
  uint64_t h = 14695981039346656037ull;
  for (const unsigned char c : data) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex16(uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = kDigits[v & 15];
  return s;
}

// The home of a file saved in place in the settings folder: its old bytes
// and its record there are named after the file's name and a hash of its
// canonical path, so that two documents of one name never share them.
std::string SettingsHomeOf(const std::string& canonical, const std::string& settingsFolder) {
  return InFolder(settingsFolder, NameOf(canonical).substr(0, 100) + "-" + Hex16(HashOf(canonical)));
}

// The places a file's side files may stand: beside it, and in the settings
// folder (when there is one).
std::vector<std::string> HomesOf(const std::string& canonical) {
  std::vector<std::string> homes = {canonical};
  const std::string settings = WinFolderPath();
  if (!settings.empty()) homes.push_back(SettingsHomeOf(canonical, settings));
  return homes;
}

constexpr char kRecordSuffix[] = ".save";
constexpr char kRecordHead[] = "Brenvolta save record 1\n";

std::string RecordPathOf(const std::string& home) {
  return InFolder(FolderOf(home), TempPrefixFor(home) + kRecordSuffix);
}

enum class RecordOp { Replace, Create, InPlace, Remove };
constexpr const char* kOpNames[] = {"replace", "new", "inplace", "remove"};

// One file of a recorded save.
struct RecordEntry {
  RecordOp op = RecordOp::Replace;
  long long size = 0;  // the new content: its length and hash
  uint64_t hash = 0;
  std::string path;    // the file (canonical)
  std::string temp;    // its new content (replace, new)
  std::string aside;   // its old file (replace, inplace, remove)
  std::string record;  // the record beside its home
};

std::string RecordBytes(const std::vector<RecordEntry>& entries) {
  std::string out = kRecordHead;
  const auto field = [&out](const std::string& s) { out += ' ' + std::to_string(s.size()) + ':' + s; };
  for (const RecordEntry& e : entries) {
    out += kOpNames[static_cast<int>(e.op)];
    out += ' ' + std::to_string(e.size) + ' ' + Hex16(e.hash);
    field(e.path);
    field(e.temp);
    field(e.aside);
    field(e.record);
    out += '\n';
  }
  out += "end " + Hex16(HashOf(out)) + "\n";
  return out;
}

// A number of the record: decimal digits that fit a length, or the 16 hex
// digits of a hash.
bool AllDigits(const std::string& w, bool hex) {
  if (w.empty() || w.size() > (hex ? 16u : 18u)) return false;
  for (const char c : w)
    if (!((c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f'))) return false;
  return true;
}

// Reads a record back; false for anything that is not a whole record.
bool ParseRecord(const std::string& bytes, std::vector<RecordEntry>& entries) {
  entries.clear();
  const std::string head = kRecordHead;
  constexpr size_t kTrailerLen = 4 + 16 + 1;  // "end " + hash + "\n"
  if (bytes.size() < head.size() + kTrailerLen || bytes.compare(0, head.size(), head) != 0) return false;
  const size_t end = bytes.size() - kTrailerLen;
  if (bytes.compare(end, 4, "end ") != 0 || bytes.back() != '\n' ||
      bytes.compare(end + 4, 16, Hex16(HashOf(bytes.substr(0, end)))) != 0)
    return false;
  size_t pos = head.size();
  const auto word = [&](char stop, std::string& w) {
    const size_t at = bytes.find(stop, pos);
    if (at == std::string::npos || at >= end) return false;
    w = bytes.substr(pos, at - pos);
    pos = at + 1;
    return true;
  };
  const auto number = [&](char stop, bool hex, unsigned long long& n) {
    std::string w;
    if (!word(stop, w) || !AllDigits(w, hex)) return false;
    n = std::stoull(w, nullptr, hex ? 16 : 10);
    return true;
  };
  const auto field = [&](char stop, std::string& s) {
    unsigned long long n = 0;
    if (!number(':', false, n) || n >= end - pos || bytes[pos + n] != stop) return false;
    s = bytes.substr(pos, n);
    pos += n + 1;
    return true;
  };
  while (pos < end) {
    RecordEntry e;
    std::string op;
    unsigned long long size = 0, hash = 0;
    if (!word(' ', op)) return false;
    const auto named = std::find_if(std::begin(kOpNames), std::end(kOpNames), [&](const char* n) { return op == n; });
    if (named == std::end(kOpNames)) return false;
    e.op = static_cast<RecordOp>(named - std::begin(kOpNames));
    if (!number(' ', false, size) || !number(' ', true, hash) || !field(' ', e.path) || !field(' ', e.temp) ||
        !field(' ', e.aside) || !field('\n', e.record) || e.path.empty() || e.record.empty())
      return false;
    e.size = static_cast<long long>(size);
    e.hash = hash;
    entries.push_back(std::move(e));
  }
  return !entries.empty();
}

// Whether the bytes at a record's place are the start of one of ours that
// was cut short (an empty file included).
bool IsTornRecord(const std::string& bytes) {
  const std::string head = kRecordHead;
  return bytes.size() < head.size() ? head.compare(0, bytes.size(), bytes) == 0
                                    : bytes.compare(0, head.size(), head) == 0;
}

// Whether p is empty or a temporary file named after home, beside it.
bool IsSideFileOf(const std::string& p, const std::string& home) {
  return p.empty() || (FolderOf(p) == FolderOf(home) && IsTempOf(NameOf(p), home));
}

// Whether every file a record names is one of its save's own: its side
// files and its record stand at one of its homes, under our names. A
// record that names anything else is not acted on.
bool IsSoundRecord(const std::vector<RecordEntry>& entries) {
  return std::all_of(entries.begin(), entries.end(), [](const RecordEntry& e) {
    if (!IsSideFileOf(e.temp, e.path)) return false;
    for (const std::string& home : HomesOf(e.path))
      if (e.record == RecordPathOf(home)) return IsSideFileOf(e.aside, home);
    return false;
  });
}

bool Lexists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The whole content of a regular file, without asking the fault hook.
bool ReadRaw(const std::string& path, std::string& data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAllFd(fd, data);
  ::close(fd);
  return ok;
}

// Whether file holds the new content of e, whole.
bool HoldsNewContent(const std::string& file, const RecordEntry& e) {
  std::string data;
  return ReadRaw(file, data) && static_cast<long long>(data.size()) == e.size && HashOf(data) == e.hash;
}

// Puts in place what the recorded save had not put in place yet.
int FinishRecord(const std::vector<RecordEntry>& entries, std::string& failed) {
  for (const RecordEntry& e : entries) {
    int err = 0;
    if ((e.op == RecordOp::Replace || e.op == RecordOp::Create) && Lexists(e.temp)) {
      if (::rename(e.temp.c_str(), e.path.c_str()) != 0) err = LastError(e.path);
    } else if (e.op == RecordOp::Remove && !Lexists(e.aside) && Lexists(e.path)) {
      if (::rename(e.path.c_str(), e.aside.c_str()) != 0) err = LastError(e.path);
    }
    if (err != 0) {
      failed = e.path;
      return err;
    }
  }
  return 0;
}

// Puts back what the recorded save had changed, last file first.
int RollBackRecord(const std::vector<RecordEntry>& entries, std::string& failed) {
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const RecordEntry& e = *it;
    int err = 0;
    switch (e.op) {
      case RecordOp::Replace:
        // The old file over what stands there now; where it still stands
        // there (the aside is a second name of it) the rename does nothing.
        if (Lexists(e.aside) && ::rename(e.aside.c_str(), e.path.c_str()) != 0) err = LastError(e.path);
        break;
      case RecordOp::Create:
        // Only the save's own new file goes.
        if (!Lexists(e.temp) && HoldsNewContent(e.path, e)) ::unlink(e.path.c_str());
        break;
      case RecordOp::InPlace:
        // The old bytes go back into the same file, so every name keeps it.
        if (Lexists(e.aside)) {
          std::string old;
          err = ReadRaw(e.aside, old) ? WriteInPlace(e.path, old) : LastError(e.aside);
        }
        break;
      case RecordOp::Remove:
        if (Lexists(e.aside) && !Lexists(e.path) && ::rename(e.aside.c_str(), e.path.c_str()) != 0)
          err = LastError(e.path);
        break;
    }
    if (err != 0) {
      failed = e.path;
      return err;
    }
  }
  return 0;
}

// Finishes the recorded save when every file's new content is there whole
// and none was being written in place; else rolls it back. Then its records
// and what it kept aside go.
int ApplyRecord(const std::vector<RecordEntry>& entries, std::string& failed) {
  bool finish = true;
  for (const RecordEntry& e : entries) {
    if (e.op == RecordOp::InPlace)
      finish = false;
    else if (e.op != RecordOp::Remove && !HoldsNewContent(Lexists(e.temp) ? e.temp : e.path, e))
      finish = false;
  }
  if (const int err = finish ? FinishRecord(entries, failed) : RollBackRecord(entries, failed)) return err;
  for (const RecordEntry& e : entries) SyncFolder(FolderOf(e.path));
  for (const RecordEntry& e : entries) ::unlink(e.record.c_str());
  for (const RecordEntry& e : entries) {
    if (!e.temp.empty()) ::unlink(e.temp.c_str());
    if (!e.aside.empty()) ::unlink(e.aside.c_str());
  }
  return 0;
}

// Removes the temporary files a killed save of a file left at its homes.
void RemoveLeftoversOf(const std::string& canonical) {
  for (const std::string& home : HomesOf(canonical)) RemoveLeftovers(home);
}

}  // namespace

int ResolveKilledSave(const std::string& path, std::string* failedPath) {
  if (!PathUsable(path)) return 0;
  // A removal records the name itself, a write the file its links lead to.
  std::vector<std::string> files = {CanonicalPath(path)};
  const std::string real = CanonicalPath(RealFileOf(path));
  if (real != files[0]) files.push_back(real);
  for (const std::string& file : files) {
    for (const std::string& home : HomesOf(file)) {
      const std::string record = RecordPathOf(home);
      struct stat st {};
      std::string bytes;
      if (::lstat(record.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !ReadRaw(record, bytes)) continue;
      std::vector<RecordEntry> entries;
      if (!ParseRecord(bytes, entries)) {
        // A record cut short was never whole: its save changed nothing.
        if (IsTornRecord(bytes)) ::unlink(record.c_str());
        continue;
      }
      const bool names = std::any_of(entries.begin(), entries.end(), [&](const RecordEntry& e) {
        return e.path == file && e.record == record;
      });
      if (!names || !IsSoundRecord(entries)) continue;  // not the record of a save of this file
      std::string failed;
      if (const int err = ApplyRecord(entries, failed)) {
        if (failedPath) *failedPath = failed;
        return err;
      }
    }
  }
  return 0;
}

namespace {

// One file of a save on its way: where it goes, what stands there now, and
// what the save has done to it so far.
struct SaveStep {
  const WholeFile* file = nullptr;
  std::string real;       // the file the path names, links followed (canonical)
  std::string home;       // its side files are named after this: the file, or its name in the settings folder
  bool existed = false;   // a file stands there now
  struct stat old {};     // its attributes
  bool inPlace = false;   // rewritten in place: more than one hard link, or a folder that takes no new file
  std::string temp;       // the new content, beside the file
  std::string aside;      // the old file (a link to it, or a copy), or the removed one
  bool haveOld = false;   // oldBytes holds the old content
  std::string oldBytes;   // the old content, to keep aside or put back
  bool touched = false;   // the file itself was changed (put in place or removed)
  std::string refused;    // the folder that refused the step, when one did
};

// A removal takes away the name itself, as a delete does: a symbolic link
// goes, not the file it points to. Refused, as a delete is, for a folder
// and for a file that may not be written, and when its folder may not be
// written.
int PrepareRemoval(SaveStep& s) {
  s.real = CanonicalPath(s.file->path);
  s.home = s.real;
  struct stat st {};
  s.existed = ::lstat(s.real.c_str(), &st) == 0;
  if (!s.existed) return errno == ENOENT ? 0 : LastError(s.real);
  if (::stat(s.real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }
  RemoveLeftoversOf(s.real);
  const std::string folder = FolderOf(s.real);
  int err = AskHook("temp", folder);
  if (err == 0 && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) err = LastError(folder);
  if (err == kErrPathFileAccess) s.refused = folder;
  if (err != 0) return err;
  s.aside = TempPathFor(s.real);
  return 0;
}

int ReadOld(SaveStep& s) {
  if (s.haveOld) return 0;
  const int fd = ::open(s.real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError(s.real);
  const bool read = ReadAllFd(fd, s.oldBytes);
  ::close(fd);
  if (!read) return LastError(s.real);
  s.haveOld = true;
  return 0;
}

// Removes what a step made beside its file.
void DiscardSideFiles(SaveStep& s) {
  for (std::string* p : {&s.temp, &s.aside}) {
    if (!p->empty()) ::unlink(p->c_str());
    p->clear();
  }
}

// The folder of a file takes no new file: the file is saved in place, its
// old bytes kept in the settings folder (made when missing).
int KeepOldInSettingsFolder(SaveStep& s) {
  s.inPlace = true;
  if (const int err = ReadOld(s)) return err;
  const std::string settings = WinFolder();
  s.home = SettingsHomeOf(s.real, settings);
  int err = AskHook("temp", settings);
  if (err == 0) err = WriteTemp(s.home, s.oldBytes, &s.old, s.aside);
  if (err != 0) s.refused = settings;
  return err;
}

// Looks at the file of a step and prepares its new content and the old one
// aside. Nothing the user sees changes here.
int PrepareStep(SaveStep& s) {
  const WholeFile& f = *s.file;
  if (!f.remove) {
    if (const int fault = AskHook("write", f.path)) return fault;
  }
  if (!PathUsable(f.path)) return kErrBadFileName;
  if (f.remove) return PrepareRemoval(s);
  s.real = CanonicalPath(RealFileOf(f.path));
  s.home = s.real;
  // What a killed save left goes before the file is looked at, so that a
  // second name it left does not count as one of the file's own.
  RemoveLeftoversOf(s.real);
  s.existed = ::stat(s.real.c_str(), &s.old) == 0;
  if (!s.existed && errno != ENOENT) return LastError(s.real);
  if (s.existed) {
    // Only a regular file is replaced; a read-only one is refused as a write
    // in place would be, though its folder may allow a rename over it.
    if (!S_ISREG(s.old.st_mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }

  s.inPlace = s.existed && s.old.st_nlink > 1;
  const std::string folder = FolderOf(s.real);
  int err = AskHook("temp", folder);
  // The old file is kept aside until the save is over: a second name for
  // it where the file system has them, else a copy of its bytes. A file
  // rewritten in place always needs the copy.
  bool linked = false;
  for (int attempt = 0; err == 0 && s.existed && !s.inPlace && !linked && attempt < 100; ++attempt) {
    s.aside = TempPathFor(s.real);
    if (::link(s.real.c_str(), s.aside.c_str()) == 0)
      linked = true;
    else if (errno != EEXIST)
      break;
  }
  if (!linked) s.aside.clear();
  if (err == 0 && s.existed && !linked) {
    if (const int readErr = ReadOld(s)) return readErr;
    err = WriteTemp(s.real, s.oldBytes, &s.old, s.aside);
  }
  if (err == 0 && !s.inPlace) err = WriteTemp(s.real, f.data, s.existed ? &s.old : nullptr, s.temp);
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
  e.size = static_cast<long long>(f.data.size());
  e.hash = HashOf(f.data);
  e.path = s.real;
  e.temp = s.temp;
  e.aside = s.aside;
  e.record = RecordPathOf(s.home);
  return e;
}

// Writes the record of a save at the home of each of its files, when the
// save needs one: a single file put in place by one rename is whole either
// way. Each record is written whole under a temporary name and then takes
// its own, so that it stands either whole or not at all. records takes the
// paths of those written; failed the step whose record failed.
int WriteRecords(const std::vector<SaveStep>& steps, std::vector<std::string>& records, size_t& failed) {
  std::vector<RecordEntry> entries;
  std::vector<size_t> of;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].file->remove && !steps[i].existed) continue;
    entries.push_back(EntryOf(steps[i]));
    of.push_back(i);
  }
  const bool needed = entries.size() > 1 || std::any_of(entries.begin(), entries.end(), [](const RecordEntry& e) {
                        return e.op == RecordOp::InPlace;
                      });
  if (!needed) return 0;
  // The new contents and the old files aside are on the disk before the
  // record says they are.
  for (const SaveStep& s : steps) {
    SyncFolder(FolderOf(s.real));
    SyncFolder(FolderOf(s.home));
  }
  const std::string bytes = RecordBytes(entries);
  for (size_t k = 0; k < entries.size(); ++k) {
    failed = of[k];
    std::string temp;
    int err = WriteTemp(steps[of[k]].home, bytes, nullptr, temp);
    if (err == 0 && ::rename(temp.c_str(), entries[k].record.c_str()) != 0) {
      err = LastError(entries[k].record);
      ::unlink(temp.c_str());
    }
    if (err != 0) return err;
    records.push_back(entries[k].record);
    SyncFolder(FolderOf(entries[k].record));
  }
  return 0;
}

// Puts a prepared step in place.
int CommitStep(SaveStep& s) {
  const WholeFile& f = *s.file;
  if (f.remove) {
    if (const int fault = AskHook("kill", f.path)) return fault;
    if (!s.existed) return 0;
    if (::rename(s.real.c_str(), s.aside.c_str()) != 0) return LastError(s.real);
    s.touched = true;
    return 0;
  }
  if (const int fault = AskHook("rename", f.path)) return fault;
  if (s.inPlace) {
    s.touched = true;  // a write that fails half-way is undone too
    return WriteInPlace(s.real, f.data);
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
    undone = WriteInPlace(s.real, s.oldBytes) == 0;
  } else if (s.existed) {
    undone = ::rename(s.aside.c_str(), s.real.c_str()) == 0;
    if (undone) s.aside.clear();
  } else {
    ::unlink(s.real.c_str());
  }
  s.touched = false;
  return undone;
}

}  // namespace

int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath) {
  // A killed save of any of these files is finished or rolled back first.
  for (const WholeFile& f : files) {
    std::string failed;
    if (const int err = ResolveKilledSave(f.path, &failed)) {
      if (failedPath) *failedPath = failed;
      return err;
    }
  }

  std::vector<SaveStep> steps(files.size());
  for (size_t i = 0; i < files.size(); ++i) steps[i].file = &files[i];

  int err = 0;
  size_t failed = 0;
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = PrepareStep(steps[i]);
    failed = i;
  }
  std::vector<std::string> records;
  if (err == 0) err = WriteRecords(steps, records, failed);
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = CommitStep(steps[i]);
    failed = i;
  }
  bool undone = true;
  if (err != 0) {
    for (size_t i = steps.size(); i-- > 0;) undone = UndoStep(steps[i]) && undone;
    if (failedPath) *failedPath = steps[failed].refused.empty() ? files[failed].path : steps[failed].refused;
  } else {
    for (const SaveStep& s : steps) SyncFolder(FolderOf(s.real));
  }
  // A file that could not be put back keeps the record and what was kept
  // aside, for the next open or save to put it back.
  if (!undone) return err;
  // What is left aside or unused goes: on success the old files, on failure
  // the new contents and the copies that were not needed. The records go
  // first, so that a save stopped here leaves only leftovers.
  for (const std::string& r : records) ::unlink(r.c_str());
  for (SaveStep& s : steps) DiscardSideFiles(s);
  return err;
}

int WriteWholeFileAtomic(const std::string& path, const std::string& data) {
  return WriteWholeFiles({WholeFile{path, data}});
}

FileLock::~FileLock() {
  Unlock();
}

FileLock::Result FileLock::TryLock(const std::string& path) {
  Unlock();
  if (!PathUsable(path) || KindOfFile(path) == FileKind::Other) return Failed;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return Failed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Held : Failed;
  }
  fd_ = fd;
  return Taken;
}

void FileLock::Unlock() {
  if (fd_ < 0) return;
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

int MakeDirs(const std::string& path) {
  if (const int fault = AskHook("mkdir", path)) return fault;
  if (!PathUsable(path)) return kErrBadFileName;
  if (DirExists(path)) return 0;

  // Each folder from the top down; one that exists already is passed over.
  size_t pos = 0;
  for (;;) {
    pos = path.find('/', pos + 1);
    const std::string part = path.substr(0, pos);
    if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return LastError(part);
    if (pos == std::string::npos) break;
  }
  return DirExists(path) ? 0 : kErrPathFileAccess;  // a file stands in the way
}

int ListFolderFiles(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  if (const int fault = AskHook("list", folder)) return fault;
  if (!PathUsable(folder)) return kErrBadFileName;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    const int err = errno;
    return err == ENOENT || err == ENOTDIR ? kErrPathNotFound : FileErrorFromErrno(err);
  }
  int err = 0;
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    // Follows links: a link to a file is a file of the folder; a dangling
    // link is none.
    if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) {
      // A folder that may be read but not searched hides what its names are.
      if (errno == EACCES) {
        err = kErrPathFileAccess;
        break;
      }
      continue;
    }
    if (S_ISREG(st.st_mode)) names.push_back(entry->d_name);
  }
  ::closedir(dir);
  if (err != 0) {
    names.clear();
    return err;
  }
  std::sort(names.begin(), names.end());
  return 0;
}

void SetFileFaultHook(FileFaultHook hook) {
  gFaultHook = std::move(hook);
}
