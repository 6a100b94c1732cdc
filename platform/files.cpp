#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <random>

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
  const std::string folder = FolderOf(path);
  return (folder == "/" ? std::string() : folder) + "/" + TempPrefixFor(path) + suffix;
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

// Removes what a save of path that was killed left beside it.
void RemoveLeftovers(const std::string& path) {
  const std::string folder = FolderOf(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* e = ::readdir(dir))
    if (IsTempOf(e->d_name, path)) found.push_back(e->d_name);
  ::closedir(dir);
  for (const std::string& name : found) {
    const std::string leftover = (folder == "/" ? std::string() : folder) + "/" + name;
    struct stat st {};
    if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(leftover.c_str());
  }
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

// One file of a save on its way: where it goes, what stands there now, and
// what the save has done to it so far.
struct SaveStep {
  const WholeFile* file = nullptr;
  std::string real;      // the file the path names, links followed
  bool existed = false;  // a file stands there now
  struct stat old {};    // its attributes
  bool inPlace = false;  // more than one hard link: rewritten in place
  std::string temp;      // the new content, beside the file
  std::string aside;     // the old file (a link to it, or a copy), or the removed one
  std::string oldBytes;  // in place: the old content, to put back
  bool touched = false;  // the file itself was changed (put in place or removed)
};

// A removal takes away the name itself, as a delete does: a symbolic link
// goes, not the file it points to. Refused, as a delete is, for a folder
// and for a file that may not be written.
int PrepareRemoval(SaveStep& s) {
  s.real = s.file->path;
  struct stat st {};
  s.existed = ::lstat(s.real.c_str(), &st) == 0;
  if (!s.existed) return errno == ENOENT ? 0 : LastError(s.real);
  if (::stat(s.real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }
  RemoveLeftovers(s.real);
  s.aside = TempPathFor(s.real);
  return 0;
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
  s.real = RealFileOf(f.path);
  s.existed = ::stat(s.real.c_str(), &s.old) == 0;
  if (!s.existed && errno != ENOENT) return LastError(s.real);
  if (s.existed) {
    // Only a regular file is replaced; a read-only one is refused as a write
    // in place would be, though its folder may allow a rename over it.
    if (!S_ISREG(s.old.st_mode)) return kErrPathFileAccess;
    if (::faccessat(AT_FDCWD, s.real.c_str(), W_OK, AT_EACCESS) != 0) return LastError(s.real);
  }
  RemoveLeftovers(s.real);

  s.inPlace = s.existed && s.old.st_nlink > 1;
  if (s.existed) {
    // The old file is kept aside until the save is over: a second name for
    // it where the file system has them, else a copy of its bytes. A file
    // rewritten in place always needs the copy.
    bool linked = false;
    if (!s.inPlace) {
      for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
        s.aside = TempPathFor(s.real);
        if (::link(s.real.c_str(), s.aside.c_str()) == 0)
          linked = true;
        else if (errno != EEXIST)
          break;
      }
    }
    if (!linked) {
      const int fd = ::open(s.real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) return LastError(s.real);
      const bool read = ReadAllFd(fd, s.oldBytes);
      ::close(fd);
      if (!read) return LastError(s.real);
      if (const int err = WriteTemp(s.real, s.oldBytes, &s.old, s.aside)) {
        s.aside.clear();
        return err;
      }
    }
  }
  if (s.inPlace) return 0;
  return WriteTemp(s.real, f.data, s.existed ? &s.old : nullptr, s.temp);
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

// Puts back what a step changed.
void UndoStep(SaveStep& s) {
  if (!s.touched) return;
  if (s.inPlace) {
    WriteInPlace(s.real, s.oldBytes);
  } else if (s.existed) {
    if (::rename(s.aside.c_str(), s.real.c_str()) == 0) s.aside.clear();
  } else {
    ::unlink(s.real.c_str());
  }
  s.touched = false;
}

}  // namespace

int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath) {
  std::vector<SaveStep> steps(files.size());
  for (size_t i = 0; i < files.size(); ++i) steps[i].file = &files[i];

  int err = 0;
  size_t failed = 0;
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = PrepareStep(steps[i]);
    failed = i;
  }
  for (size_t i = 0; i < steps.size() && err == 0; ++i) {
    err = CommitStep(steps[i]);
    failed = i;
  }
  if (err != 0) {
    for (size_t i = steps.size(); i-- > 0;) UndoStep(steps[i]);
    if (failedPath) *failedPath = files[failed].path;
  }
  // What is left aside or unused goes: on success the old files, on failure
  // the new contents and the copies that were not needed.
  for (SaveStep& s : steps) {
    if (!s.temp.empty()) ::unlink(s.temp.c_str());
    if (!s.aside.empty()) ::unlink(s.aside.c_str());
  }
  if (err == 0) {
    for (const SaveStep& s : steps) SyncFolder(FolderOf(s.real));
  }
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
