#include "platform/midi/midi_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/bytes.h"
#include "core/pathsep.h"
#include "platform/winfolder.h"

namespace midiplatform {

namespace {
std::string Prefix(bool input) { return input ? "midi-in-" : "midi-out-"; }
const std::string kSuffix = ".lock";

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
  std::string safe = portName;
  for (char& c : safe) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '.' ||
                      u == '-' || u == '_';
    if (!keep) c = '_';
  }
  return Prefix(input) + safe + kSuffix;
}

MMRESULT TakeDeviceLock(bool input, const std::string& portName, uint32_t handle, int* fd) {
  *fd = -1;
  const std::string path = WinPath(DeviceLockFileName(input, portName));
  const int f = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (f < 0) return MMSYSERR_ERROR;
  if (flock(f, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(f);
    return err == EWOULDBLOCK ? MMSYSERR_ALLOCATED : MMSYSERR_ERROR;
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
  const std::string folder = WinFolder();
  DIR* dir = opendir(folder.c_str());
  if (!dir) return "";
  const std::string wanted = Left(LockText(handle, ""), 9);  // "XXXXXXXX "
  std::string found;
  while (dirent* entry = readdir(dir)) {
    const std::string file = entry->d_name;
    if (Left(file, static_cast<int>(Prefix(input).size())) != Prefix(input) ||
        Right(file, static_cast<int>(kSuffix.size())) != kSuffix) {
      continue;
    }
    const int f = open((folder + kPathSep + file).c_str(), O_RDONLY | O_CLOEXEC);
    if (f < 0) continue;
    const std::string text = ReadSmallFile(f);
    // Only a lock that its owner still holds speaks for the handle: a
    // shared lock is refused while the owner's exclusive one stands.
    bool held = false;
    if (Left(text, 9) == wanted) {
      held = flock(f, LOCK_SH | LOCK_NB) != 0;
      if (!held) flock(f, LOCK_UN);
    }
    close(f);
    if (held) {
      const int end = InStr(text, "\n");
      found = Mid(text, 10, end > 0 ? end - 10 : -1);
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace midiplatform
