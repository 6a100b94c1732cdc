// What the record files (files.cpp) and the save engine (savefiles.cpp)
// share inside this folder: the fault hook's question, path pieces and whole
// reads and writes of an open file. Not for use outside platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fileimpl {

// The fault hook's answer for op on path (0 when no hook is set).
int AskHook(const char* op, const std::string& path);
// A path the system calls can take: not empty and without a NUL byte.
bool PathUsable(const std::string& path);
// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
// A name inside a folder.
std::string InFolder(const std::string& folder, const std::string& name);
// The 64-bit FNV-1a hash of bytes: short names for long ones, and the
// slots of the save lock.
uint64_t Fnv1a(const std::string& bytes);
// Where a symbolic link points, a relative target taken from the link's
// folder; false when link cannot be read as a link.
bool LinkTarget(const std::string& link, std::string& target);
// The error number of errno after a failed call on path.
int LastError(const std::string& path);
// Writes all of data at the file's current offset.
bool WriteAll(int fd, const char* data, size_t size);
// The whole content of an open file.
bool ReadAllFd(int fd, std::string& data);
// Flushes a folder's entries so that a rename or an unlink in it survives a
// crash; a failure leaves what was written and is not reported.
void SyncFolder(const std::string& folder);

}  // namespace fileimpl
