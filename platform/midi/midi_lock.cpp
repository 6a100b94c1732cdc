#include "platform/midi/midi_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/bytes.h"
#include "platform/winfolder.h"

namespace midiplatform {

namespace {
std::string Prefix(bool input) { return input ? "midi-in-" : "midi-out-"; }
const std::string kSuffix = ".lock";
const std::string kThruPrefix = "midi-thru-";

// Every character other than a letter, digit, '.', '-' or '_' turned into '_'.
std::string SafeName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '.' ||
                      u == '-' || u == '_';
    if (!keep) c = '_';
  }
  return safe;
}

std::string ThruRecordPath(const std::string& inName, const std::string& outName) {
  return WinPath(kThruPrefix + SafeName(inName) + "+" + SafeName(outName) + kSuffix);
}

// Calls visit(file name) for each file of the Windows folder.
template <typename Visit>
void ForEachWinFile(Visit visit) {
  DIR* dir = opendir(WinFolder().c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (!visit(std::string(entry->d_name))) break;
  }
  closedir(dir);
}

bool Named(const std::string& file, const std::string& prefix) {
  return Left(file, static_cast<int>(prefix.size())) == prefix &&
         Right(file, static_cast<int>(kSuffix.size())) == kSuffix;
}

// "<handle in 8 hex digits> <port name>\n"
std::string LockText(uint32_t handle, const std::string& portName) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(handle));
  return std::string(hex) + " " + portName + "\n";
}

std::string ReadSmallFile(int fd) {
  std::string text;
  char buf[512];
  ssize_t n;
  off_t at = 0;
  while ((n = pread(fd, buf, sizeof buf, at)) > 0 && text.size() < 4096) {
    text.append(buf, static_cast<size_t>(n));
    at += n;
  }
  return text;
}
}  // namespace

std::string DeviceLockFileName(bool input, const std::string& portName) {
  return Prefix(input) + SafeName(portName) + kSuffix;
}

MMRESULT TakeDeviceLock(bool input, const std::string& portName, uint32_t handle, int* fd) {
  *fd = -1;
  const std::string path = WinPath(DeviceLockFileName(input, portName));
  const int f = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (f < 0) return MMSYSERR_ERROR;
  constexpr int kTries = 6;
  for (int attempt = 1;; ++attempt) {
    if (flock(f, LOCK_EX | LOCK_NB) == 0) break;
    const int err = errno;
    if (err != EWOULDBLOCK || attempt == kTries) {
      close(f);
      return err == EWOULDBLOCK ? MMSYSERR_ALLOCATED : MMSYSERR_ERROR;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string text = LockText(handle, portName);
  if (ftruncate(f, 0) != 0 || pwrite(f, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    close(f);
    return MMSYSERR_ERROR;
  }
  *fd = f;
  return MMSYSERR_NOERROR;
}

void ReleaseDeviceLock(int fd) {
  if (fd >= 0) close(fd);  // closing the only descriptor frees the flock
}

std::string FindLockedPortName(bool input, uint32_t handle) {
  const std::string wanted = Left(LockText(handle, ""), 9);  // "XXXXXXXX "
  std::string found;
  ForEachWinFile([&](const std::string& file) {
    if (!Named(file, Prefix(input))) return true;
    const int f = open(WinPath(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (f < 0) return true;
    const std::string text = ReadSmallFile(f);
    // Only a lock that its owner still holds speaks for the handle: a
    // shared lock is refused while the owner's exclusive one stands.
    bool held = false;
    if (Left(text, 9) == wanted) {
      held = flock(f, LOCK_SH | LOCK_NB) != 0;
      if (!held) flock(f, LOCK_UN);
    }
    close(f);
    if (!held) return true;
    const int end = InStr(text, "\n");
    found = Mid(text, 10, end > 0 ? end - 10 : -1);
    return false;
  });
  return found;
}

int RecordThru(const std::string& inName, const std::string& outName) {
  const int f = open(ThruRecordPath(inName, outName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (f < 0) return -1;
  const std::string text = inName + "\n" + outName + "\n";
  if (flock(f, LOCK_EX | LOCK_NB) != 0 || ftruncate(f, 0) != 0 ||
      pwrite(f, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    close(f);
    return -1;
  }
  return f;
}

void DropThruRecord(int fd, const std::string& inName, const std::string& outName) {
  if (fd < 0) return;
  unlink(ThruRecordPath(inName, outName).c_str());
  close(fd);
}

std::vector<ThruRecord> TakeStaleThruRecords() {
  std::vector<ThruRecord> stale;
  ForEachWinFile([&](const std::string& file) {
    if (!Named(file, kThruPrefix)) return true;
    const int f = open(WinPath(file).c_str(), O_RDWR | O_CLOEXEC);
    if (f < 0) return true;
    if (flock(f, LOCK_EX | LOCK_NB) != 0) {  // its maker still runs
      close(f);
      return true;
    }
    // "<input port>\n<output port>\n"
    const std::string text = ReadSmallFile(f);
    const int first = InStr(text, "\n");
    const int second = first > 0 ? InStr(text, "\n", first + 1) : 0;
    if (second == 0) {  // being written right now, or not a record
      close(f);
      return true;
    }
    stale.push_back({Left(text, first - 1), Mid(text, first + 1, second - first - 1), f});
    return true;
  });
  return stale;
}

}  // namespace midiplatform
