#include "platform/savekey.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/winfolder.h"

using namespace fileimpl;

namespace savekey {

namespace {

constexpr size_t kKeyLen = 32;

std::atomic<bool> gMayMake{true};

enum class Read { Ok, Missing, Unusable };

// Reads the key file: this user's regular file (not a link), readable and
// writable by no one else, of exactly 32 bytes.
Read ReadKey(const std::string& path, std::string& key) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Read::Missing : Read::Unusable;
  struct stat st {};
  Read result = Read::Unusable;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0 &&
      st.st_size == static_cast<off_t>(kKeyLen)) {
    std::string data;
    if (ReadAllFd(fd, data) && data.size() == kKeyLen) {
      key = data;
      result = Read::Ok;
    }
  }
  ::close(fd);
  return result;
}

bool RandomBytes(char* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::getrandom(out + done, n - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

// Makes the key file: the bytes go whole to a private file beside it, which
// then takes the key's name only where nothing stands there. Missing when
// another copy made it first (to be read), Unusable when the folder takes
// no file.
Read MakeKey(const std::string& folder, const std::string& path, std::string& key) {
  std::string fresh(kKeyLen, '\0');
  if (!RandomBytes(fresh.data(), fresh.size())) return Read::Unusable;
  MakeDirs(folder);
  std::string name(8, '\0');
  if (!RandomBytes(name.data(), name.size())) return Read::Unusable;
  std::string temp = InFolder(folder, std::string(".") + kKeyFileName + "~");
  for (const char c : name) temp += "0123456789abcdef"[static_cast<unsigned char>(c) & 15];
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Read::Unusable;
  bool ok = WriteAll(fd, fresh.data(), fresh.size()) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    return Read::Unusable;
  }
  // A second name where the file system has them (it fails where one
  // stands already), else a rename that replaces nothing.
  int err = 0;
  if (::link(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    if (err != EEXIST)
      err = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
  }
  ::unlink(temp.c_str());
  if (err == EEXIST) return Read::Missing;
  if (err != 0) return Read::Unusable;
  SyncFolder(folder);
  key = fresh;
  return Read::Ok;
}

}  // namespace

std::string Key(bool make) {
  // Read afresh each time (a few small reads a save), so that a key removed
  // or replaced meanwhile is never used from memory.
  const std::string folder = WinFolderPath();
  if (folder.empty()) return std::string();
  const std::string path = InFolder(folder, kKeyFileName);
  std::string key;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Read r = ReadKey(path, key);
    if (r == Read::Missing) r = make && gMayMake ? MakeKey(folder, path, key) : Read::Unusable;
    if (r == Read::Unusable) return std::string();
    if (r == Read::Ok) return key;
  }
  return std::string();
}

std::string Mac(const std::string& key, const std::string& bytes) {
  const QByteArray mac = QMessageAuthenticationCode::hash(QByteArray::fromRawData(bytes.data(), bytes.size()),
                                                          QByteArray::fromRawData(key.data(), key.size()),
                                                          QCryptographicHash::Sha256);
  return std::string(mac.constData(), static_cast<size_t>(mac.size()));
}

std::string ContentHash(const char* data, size_t size) {
  const QByteArray h = QCryptographicHash::hash(QByteArrayView(data, static_cast<qsizetype>(size)),
                                                QCryptographicHash::Blake2b_256)
                           .toHex();
  return std::string(h.constData(), static_cast<size_t>(h.size()));
}

}  // namespace savekey

void SetSaveKeyMayBeMade(bool may) { savekey::gMayMake = may; }
