#include "platform/savelock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/winfolder.h"

using namespace fileimpl;

namespace {

constexpr char kLockFileName[] = "saves.lock";
// The bytes of the lock file a folder's lock may fall on.
constexpr int kSlots = 4096;
constexpr int kLockPollMs = 10;
constexpr int kDefaultWaitMs = 5000;

// A byte of the lock file this process holds, through a descriptor of its
// own (an open file description: what the lock belongs to), with how many
// takers hold it each way.
struct HeldSlot {
  int fd = -1;
  int exclusive = 0;
  int shared = 0;
};

std::mutex gMutex;
std::map<int, HeldSlot> gHeld;
pid_t gHeldPid = 0;  // the process gHeld belongs to
int gLockWaitMs = kDefaultWaitMs;
bool gFileMade = true;

// A child made by fork inherits the parent's table, not its locks: they
// belong to the parent's descriptors. The child starts with none of its own
// (its copies of the descriptors are closed, which leaves the parent's locks
// as they are). Called with gMutex held.
void ForgetInherited() {
  const pid_t me = ::getpid();
  if (gHeldPid == me) return;
  for (auto& [slot, held] : gHeld) ::close(held.fd);
  gHeld.clear();
  gHeldPid = me;
}

// The byte a folder's lock falls on: the 64-bit FNV-1a hash of its device
// and inode numbers.
int SlotOf(const struct stat& st) {
  std::string bytes;
  for (const uint64_t v : {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)})
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xff);
  return static_cast<int>(Fnv1a(bytes) % kSlots);
}

// A new descriptor of the lock file (an open file description of its own),
// or -1 where none can be had: the settings folder is not known, the file
// is not there and may not be made, or what stands there is not this
// user's regular file.
int OpenLockFile() {
  const std::string settings = WinFolderPath();
  if (!PathUsable(settings)) return -1;
  const std::string path = InFolder(settings, kLockFileName);
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | flags | (gFileMade ? O_CREAT : 0), 0600);
  // One that may only be read still takes a shared lock.
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) fd = ::open(path.c_str(), O_RDONLY | flags);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

enum class Attempt { Taken, Busy, Unlockable };

// Locks (or with F_UNLCK lets go of) one byte of the lock file, at once or
// not at all.
Attempt LockByte(int fd, int byte, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return Attempt::Taken;
  if (errno == EAGAIN || errno == EACCES || errno == EINTR) return Attempt::Busy;
  // A file system that takes no lock, or a file opened for reading only
  // asked for an exclusive one.
  return Attempt::Unlockable;
}

Attempt WaitForByte(int fd, int byte, short type, std::chrono::steady_clock::time_point deadline) {
  Attempt attempt;
  while ((attempt = LockByte(fd, byte, type)) == Attempt::Busy && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
  return attempt;
}

// Takes a folder's byte, waiting until the deadline. Each taker first holds
// the byte's turnstile (the byte kSlots further on) while it waits for the
// byte itself, so that a copy saving over and over, which must pass the
// turnstile before each save, cannot keep a waiting one out for good.
Attempt TakeSlot(int fd, int slot, bool shared, std::chrono::steady_clock::time_point deadline) {
  const Attempt gate = WaitForByte(fd, kSlots + slot, F_WRLCK, deadline);
  if (gate == Attempt::Busy) return gate;
  const Attempt attempt = WaitForByte(fd, slot, shared ? F_RDLCK : F_WRLCK, deadline);
  if (gate == Attempt::Taken) LockByte(fd, kSlots + slot, F_UNLCK);
  return attempt;
}

// The file a path names through any symbolic links (at most 40 of them):
// what a save writes, so its folder is locked too.
std::string LinkedFileOf(const std::string& path) {
  std::string p = path;
  for (int i = 0; i < 40; ++i) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::string target;
    if (!LinkTarget(p, target)) return p;
    p = target;
  }
  return p;
}

}  // namespace

int FolderLocks::Take(const std::vector<std::string>& folders, std::string& busy) {
  return Lock(folders, busy, false);
}

int FolderLocks::TakeShared(const std::vector<std::string>& folders, std::string& busy) {
  return Lock(folders, busy, true);
}

int FolderLocks::Lock(const std::vector<std::string>& folders, std::string& busy, bool shared) {
  struct Wanted {
    int slot;
    std::string folder;
  };
  std::vector<Wanted> wanted;
  for (const std::string& folder : folders) {
    struct stat st {};
    if (!PathUsable(folder) || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    const int slot = SlotOf(st);
    if (std::none_of(wanted.begin(), wanted.end(), [&](const Wanted& w) { return w.slot == slot; }))
      wanted.push_back({slot, folder});
  }
  // One order for every process, so that two savers never wait on each
  // other crosswise.
  std::sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) { return a.slot < b.slot; });
  int result = 0;
  for (const Wanted& w : wanted) {
    {
      std::lock_guard<std::mutex> guard(gMutex);
      ForgetInherited();
      const auto held = gHeld.find(w.slot);
      if (held != gHeld.end()) {
        if (!shared && held->second.exclusive == 0) {
          result = kErrSaveInUse;
          busy = w.folder;
          break;
        }
        ++(shared ? held->second.shared : held->second.exclusive);
        mine_.push_back({w.slot, shared});
        continue;
      }
    }
    const int fd = OpenLockFile();
    if (fd < 0) continue;
    const Attempt attempt =
        TakeSlot(fd, w.slot, shared, std::chrono::steady_clock::now() + std::chrono::milliseconds(gLockWaitMs));
    if (attempt != Attempt::Taken) {
      ::close(fd);
      if (attempt == Attempt::Unlockable) continue;
      result = kErrSaveInUse;
      busy = w.folder;
      break;
    }
    std::lock_guard<std::mutex> guard(gMutex);
    gHeld[w.slot] = HeldSlot{fd, shared ? 0 : 1, shared ? 1 : 0};
    mine_.push_back({w.slot, shared});
  }
  if (result != 0) Release();
  return result;
}

void FolderLocks::Release() {
  std::lock_guard<std::mutex> guard(gMutex);
  ForgetInherited();
  for (const Mine& m : mine_) {
    const auto held = gHeld.find(m.slot);
    if (held == gHeld.end()) continue;
    int& count = m.shared ? held->second.shared : held->second.exclusive;
    if (count > 0) --count;
    if (held->second.shared > 0 || held->second.exclusive > 0) continue;
    ::close(held->second.fd);  // the lock goes with its open file description
    gHeld.erase(held);
  }
  mine_.clear();
}

void SetSaveLockWait(int milliseconds) { gLockWaitMs = milliseconds < 0 ? kDefaultWaitMs : milliseconds; }

void SetSaveLockFileMade(bool made) { gFileMade = made; }

namespace {

constexpr int kReadTries = 8;
constexpr long long kReadMax = 4 * 1024 * 1024;

// Whether a failed look at path found no file there, in a folder that is
// there (what a reader takes for "no such file" and passes over silently).
bool NoFileThere(int err, const std::string& path) {
  return err == ENOENT && FileErrorFromErrno(err, path) == kErrFileNotFound;
}

// Reads one file as the readers open it (links followed; a folder, a pipe
// or a device is no file and is never opened). Whatever fails else is left
// NotRead, for the reader to meet and report itself. The fault hook is asked
// first when askHook is set.
void ReadOne(FileReadTogether& f, bool askHook) {
  f.state = FileReadTogether::NotRead;
  f.data.clear();
  if ((askHook && AskHook("read", f.path) != 0) || !PathUsable(f.path)) return;
  struct stat look {};
  if (::stat(f.path.c_str(), &look) != 0) {
    if (NoFileThere(errno, f.path)) f.state = FileReadTogether::Missing;
    return;
  }
  if (!S_ISREG(look.st_mode)) {
    f.state = FileReadTogether::Missing;
    return;
  }
  const int fd = ::open(f.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (NoFileThere(errno, f.path)) f.state = FileReadTogether::Missing;
    return;
  }
  struct stat st {};
  const bool looked = ::fstat(fd, &st) == 0;
  if (looked && !S_ISREG(st.st_mode)) {
    f.state = FileReadTogether::Missing;
  } else if (looked && st.st_size <= kReadMax && ReadAllFd(fd, f.data)) {
    f.state = FileReadTogether::Read;
  } else {
    f.data.clear();
  }
  ::close(fd);
}

// Whether a file read is still what stands there: the same content (or
// still no file). The content, not the file's times, since a write in place
// may leave those as they were within the clock's step.
bool StillAsRead(const FileReadTogether& f) {
  if (f.state == FileReadTogether::NotRead) return true;
  FileReadTogether now;
  now.path = f.path;
  ReadOne(now, false);
  return now.state == f.state && now.data == f.data;
}

}  // namespace

int ReadFilesTogether(std::vector<FileReadTogether>& files, bool shareLock, std::string* busy) {
  if (files.empty()) return 0;
  FolderLocks locks;
  if (shareLock) {
    std::vector<std::string> folders;
    for (const FileReadTogether& f : files) {
      if (!PathUsable(f.path)) continue;
      folders.push_back(FolderOf(f.path));
      folders.push_back(FolderOf(LinkedFileOf(f.path)));
    }
    std::string folder;
    if (locks.TakeShared(folders, folder) != 0) {
      if (busy) {
        *busy = files.front().path;
        for (const FileReadTogether& f : files)
          if (FolderOf(f.path) == folder || FolderOf(LinkedFileOf(f.path)) == folder) {
            *busy = f.path;
            break;
          }
      }
      return kErrSaveInUse;
    }
  }
  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    for (FileReadTogether& f : files) ReadOne(f, true);
    if (std::all_of(files.begin(), files.end() - 1, StillAsRead)) break;
  }
  return 0;
}
