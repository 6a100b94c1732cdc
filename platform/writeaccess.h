// Whether this process may write a file, asked before a window offers to
// save it.
#pragma once

#include <string>

// True when a write of the regular file at path would be refused: by its
// permissions for the effective user and group (as the kernel judges the
// write, not the real ids), or by a read-only mount. A path where no file
// stands refuses nothing: there is nothing of the user's to keep.
bool WriteRefused(const std::string& path);
