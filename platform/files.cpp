#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

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

// A name for the temporary file beside path: ".name.XXXXXX". The name part
// is kept short enough that the suffix never makes the name too long.
std::string TempPathFor(const std::string& path) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 rng{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof(kChars)) - 2);
  std::string suffix;
  for (int i = 0; i < 6; ++i) suffix += kChars[pick(rng)];
  const std::string folder = FolderOf(path);
  return (folder == "/" ? std::string() : folder) + "/." + NameOf(path).substr(0, 200) + "." + suffix;
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

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

int RecordFile::Open(const std::string& path, int recordLength, OpenMode mode) {
  if (const int fault = AskHook("open", path)) return fault;
  if (fd_ >= 0) Close();
  if (recordLength < 1) return kErrBadRecordLength;
  if (!PathUsable(path)) return kErrBadFileName;

  bool readOnly = mode == OpenMode::ReadOnly;
  int fd = readOnly ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                    : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && !readOnly && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    // An existing file that may only be read still opens for random access.
    const int writeErr = errno;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) errno = writeErr;  // report why it could not be opened for writing
    readOnly = true;
  }
  if (fd < 0) return LastError(path);

  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? kErrPathFileAccess : LastError(path);
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
  if (S_ISDIR(st.st_mode)) return kErrPathFileAccess;
  len = static_cast<long long>(st.st_size);
  return 0;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return PathUsable(path) && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError(path);

  std::string result;
  char buf[65536];
  int err = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = LastError(path);
      break;
    }
    if (n == 0) break;
    result.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (err == 0) data = std::move(result);
  return err;
}

int WriteWholeFileAtomic(const std::string& path, const std::string& data) {
  if (const int fault = AskHook("write", path)) return fault;
  if (!PathUsable(path)) return kErrBadFileName;

  // A read-only file is refused as a write in place would be: the rename
  // would otherwise replace it regardless of its permission bits.
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  if (existed && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return LastError(path);

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempPathFor(path);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return LastError(path);
  }
  if (fd < 0) return LastError(path);

  int err = 0;
  if (existed && ::fchmod(fd, old.st_mode & 07777) != 0) err = LastError(path);
  if (err == 0 && !WriteAll(fd, data.data(), data.size())) err = LastError(path);
  if (err == 0 && ::fsync(fd) != 0) err = LastError(path);
  if (::close(fd) != 0 && err == 0) err = LastError(path);
  if (err == 0) err = AskHook("rename", path);
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = LastError(path);
  if (err != 0) {
    ::unlink(temp.c_str());
    return err;
  }
  SyncFolder(FolderOf(path));
  return 0;
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
