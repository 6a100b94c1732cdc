#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/files_internal.h"

namespace fileimpl {

namespace {
FileFaultHook gFaultHook;
}  // namespace

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

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t h = 14695981039346656037ull;
  for (const unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool LinkTarget(const std::string& link, std::string& target) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return false;
  target.assign(buf, static_cast<size_t>(n));
  if (target[0] != '/') target = FolderOf(link) + "/" + target;
  return true;
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

// Flushes a folder's entries so a rename survives a crash; failures here
// leave the data written and are not reported.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace fileimpl

using namespace fileimpl;

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
  if (IsOpen()) Close();
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

int RecordFile::OpenRead(const std::string& path, int recordLength, std::shared_ptr<const std::string> bytes) {
  if (const int fault = AskHook("open", path)) return fault;
  if (IsOpen()) Close();
  if (recordLength < 1) return kErrBadRecordLength;
  if (!PathUsable(path)) return kErrBadFileName;
  if (!bytes) return kErrFileNotFound;
  bytes_ = std::move(bytes);
  recLen_ = recordLength;
  readOnly_ = true;
  path_ = path;
  return 0;
}

int RecordFile::Get(int recordNo, std::string& rec, char pad) {
  if (const int fault = AskHook("get", path_)) return fault;
  if (!IsOpen()) return kErrBadFileName;
  if (recordNo < 1) return kErrBadRecordNumber;

  rec.assign(static_cast<size_t>(recLen_), pad);
  const off_t start = static_cast<off_t>(recordNo - 1) * recLen_;
  if (bytes_) {
    if (start < static_cast<off_t>(bytes_->size()))
      bytes_->copy(rec.data(), rec.size(), static_cast<size_t>(start));
    return 0;
  }
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
  if (!IsOpen()) return kErrBadFileName;
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
  if (bytes_) return static_cast<long long>(bytes_->size());
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

int RecordFile::Close() {
  if (const int fault = AskHook("close", path_)) return fault;
  bytes_.reset();
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
  return Take(fd);
}

FileLock::Result FileLock::TryLockFolder(const std::string& folder) {
  Unlock();
  if (!PathUsable(folder)) return Failed;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Failed;
  return Take(fd);
}

FileLock::Result FileLock::Take(int fd) {
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
  fileimpl::gFaultHook = std::move(hook);
}
