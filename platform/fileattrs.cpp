#include "platform/fileattrs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace fileattrs {

namespace {

// The names of a list from (f|l)listxattr: NUL-terminated, one after another.
std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t at = 0;
  while (at < list.size()) {
    const size_t end = list.find('\0', at);
    const size_t stop = end == std::string::npos ? list.size() : end;
    if (stop > at) names.push_back(list.substr(at, stop - at));
    at = stop + 1;
  }
  return names;
}

bool NoXattrs(int err) { return err == ENOTSUP || err == ENOSYS; }

// Reads the names of a file's extended attributes through list(buf, size).
template <typename List>
bool ListNames(List list, std::vector<std::string>& names) {
  names.clear();
  for (int attempt = 0; attempt < 5; ++attempt) {
    const ssize_t size = list(nullptr, 0);
    if (size < 0) return NoXattrs(errno);
    if (size == 0) return true;
    std::string buf(static_cast<size_t>(size), '\0');
    const ssize_t got = list(buf.data(), buf.size());
    if (got < 0 && errno == ERANGE) continue;  // grew meanwhile
    if (got < 0) return false;
    buf.resize(static_cast<size_t>(got));
    names = SplitNames(buf);
    return true;
  }
  return false;
}

template <typename Get>
bool GetValue(Get get, std::string& value) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const ssize_t size = get(nullptr, 0);
    if (size < 0) return false;
    value.assign(static_cast<size_t>(size), '\0');
    if (size == 0) return true;
    const ssize_t got = get(value.data(), value.size());
    if (got < 0 && errno == ERANGE) continue;
    if (got < 0) return false;
    value.resize(static_cast<size_t>(got));
    return true;
  }
  return false;
}

bool IsAcl(const std::string& name) { return name == kAccessAcl || name == kDefaultAcl; }
bool IsSecurity(const std::string& name) { return name.rfind("security.", 0) == 0; }

// The umask of the process, read without changing it (which would race
// with other threads making files).
mode_t CurrentUmask() {
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned int mask = 0;
      if (std::sscanf(line, "Umask: %o", &mask) == 1) {
        std::fclose(f);
        return static_cast<mode_t>(mask & 0777);
      }
    }
    std::fclose(f);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// An access list as a default list gives it to a new file of mode: each
// entry's permissions limited as the kernel does at a create (the owner's
// by the mode's owner bits, the mask's, or the owning group's where there
// is no mask, by its group bits, the others' by its other bits). The mode
// the file then has comes back too. False for a list this cannot read.
bool MaskedAcl(const std::string& acl, mode_t mode, std::string& out, mode_t& fileMode) {
  constexpr size_t kHeader = 4, kEntry = 8;
  constexpr uint16_t kUserObj = 0x01, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20;
  if (acl.size() < kHeader || (acl.size() - kHeader) % kEntry != 0) return false;
  const auto u16 = [&](size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1]) << 8);
  };
  out = acl;
  bool hasMask = false;
  for (size_t at = kHeader; at < acl.size(); at += kEntry)
    if (u16(at) == kMask) hasMask = true;
  unsigned owner = 0, group = 0, other = 0;
  for (size_t at = kHeader; at < acl.size(); at += kEntry) {
    const uint16_t tag = u16(at);
    unsigned perm = u16(at + 2);
    if (tag == kUserObj) owner = perm &= (mode >> 6) & 7;
    else if (tag == kOther) other = perm &= mode & 7;
    else if (tag == kMask || (tag == kGroupObj && !hasMask)) group = perm &= (mode >> 3) & 7;
    out[at + 2] = static_cast<char>(perm & 0xff);
    out[at + 3] = static_cast<char>(perm >> 8);
  }
  fileMode = static_cast<mode_t>(owner << 6 | group << 3 | other);
  return true;
}

int SetXattr(int fd, const std::string& name, const std::string& value) {
  std::string now;
  if (GetValue([&](char* b, size_t n) { return ::fgetxattr(fd, name.c_str(), b, n); }, now) && now == value) return 0;
  return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0 ? 0 : errno;
}

}  // namespace

size_t Attrs::XattrBytes() const {
  size_t n = 0;
  for (const auto& [name, value] : xattrs) n += name.size() + value.size();
  return n;
}

bool ReadAttrs(const std::string& path, Attrs& attrs) {
  attrs = Attrs{};
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  attrs.mode = st.st_mode & 07777;
  attrs.uid = st.st_uid;
  attrs.gid = st.st_gid;
  std::vector<std::string> names;
  if (!ListNames([&](char* b, size_t n) { return ::llistxattr(path.c_str(), b, n); }, names)) return false;
  for (const std::string& name : names) {
    std::string value;
    if (!GetValue([&](char* b, size_t n) { return ::lgetxattr(path.c_str(), name.c_str(), b, n); }, value)) {
      if (errno == ENODATA) continue;  // gone meanwhile
      return false;
    }
    attrs.xattrs.emplace_back(name, value);
  }
  return true;
}

bool NewFileAttrs(int fd, const std::string& folder, Attrs& attrs) {
  attrs = Attrs{};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  attrs.uid = st.st_uid;
  attrs.gid = st.st_gid;
  attrs.mode = 0666 & ~CurrentUmask();
  std::string def;
  if (GetValue([&](char* b, size_t n) { return ::getxattr(folder.c_str(), kDefaultAcl, b, n); }, def) && !def.empty()) {
    std::string acl;
    mode_t mode = 0;
    if (!MaskedAcl(def, 0666, acl, mode)) return false;
    attrs.mode = mode;
    attrs.xattrs.emplace_back(kAccessAcl, acl);
  }
  return true;
}

bool GiveWhilePrivate(int fd, const Attrs& attrs) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  // The owner is given at the end; only root may give another one.
  if (attrs.uid != st.st_uid && ::geteuid() != 0) return false;
  if (attrs.gid != st.st_gid && ::fchown(fd, static_cast<uid_t>(-1), attrs.gid) != 0) return false;
  for (const auto& [name, value] : attrs.xattrs)
    if (!IsAcl(name) && SetXattr(fd, name, value) != 0) return false;
  return true;
}

int GiveAttrs(int fd, const Attrs& attrs) {
  std::vector<std::string> names;
  if (!ListNames([&](char* b, size_t n) { return ::flistxattr(fd, b, n); }, names)) return errno;
  for (const std::string& name : names) {
    if (IsSecurity(name)) continue;
    bool wanted = false;
    for (const auto& kept : attrs.xattrs) wanted = wanted || kept.first == name;
    if (!wanted && ::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA) return errno;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if ((st.st_uid != attrs.uid || st.st_gid != attrs.gid) && ::fchown(fd, attrs.uid, attrs.gid) != 0) return errno;
  if (::fchmod(fd, attrs.mode & 07777) != 0) return errno;
  for (const auto& [name, value] : attrs.xattrs)
    if (name != kAccessAcl)
      if (const int err = SetXattr(fd, name, value)) return err;
  for (const auto& [name, value] : attrs.xattrs)
    if (name == kAccessAcl)
      if (const int err = SetXattr(fd, name, value)) return err;
  return 0;
}

}  // namespace fileattrs
