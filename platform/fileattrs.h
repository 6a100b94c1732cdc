// A file's attributes as a save keeps them: its mode, owner and group, and
// its extended attributes (the access list, system.posix_acl_access, among
// them). The save engine (savefiles.cpp) writes a new content to a private
// file beside the old one and gives it these just before it takes the old
// one's place. Not for use outside platform/.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace fileattrs {

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

struct Attrs {
  mode_t mode = 0;  // permission bits (07777)
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<std::pair<std::string, std::string>> xattrs;  // name, value
  // The bytes the extended attributes take, names and values.
  size_t XattrBytes() const;
};

// The attributes of the file at path (links not followed); false when they
// cannot be read (a file system without extended attributes has none).
bool ReadAttrs(const std::string& path, Attrs& attrs);

// What a new file made in folder would get from a plain create with mode
// 0666: that mode less the umask, or, where the folder has a default
// access list, that list masked by the mode. uid and gid are the ones of
// the open file fd (which was made there).
bool NewFileAttrs(int fd, const std::string& folder, Attrs& attrs);

// Gives fd, while it is still private, what it may have before it takes its
// place: the group and the extended attributes other than the access list.
// False when any of them cannot be given (an owner this process may not
// give, an attribute the file system or the process refuses), in which
// case the file is to be written in place instead.
bool GiveWhilePrivate(int fd, const Attrs& attrs);

// Gives fd the attributes whole: extended attributes it has and attrs has
// not go (security ones stay, as the system gives them), then the owner
// and group, the mode, the extended attributes, and the access list last
// (which sets the group bits from its mask, as the old file had them).
// 0, or the errno of the step that failed.
int GiveAttrs(int fd, const Attrs& attrs);

}  // namespace fileattrs
