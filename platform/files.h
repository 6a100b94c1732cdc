// Fixed-record files with the semantics the program relies on, and the
// error numbers it tests.
//
// - An open for random access creates a missing file (empty) unless the
//   caller asks for reading only; a record read past the end of the file
//   gives the pad byte (zeros, or blanks for the info file); a record write
//   never truncates the file.
// - Failures come back as the numbers the program tests (below); every call
//   returns 0 or such a number.
// - A document save writes the whole file beside the old one and renames it
//   over it (WriteWholeFileAtomic), so a crash or a full disk never leaves half
//   a file.
//
// Paths are the bytes the file system uses ("/" separated).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int kErrBadFileName = 52;
constexpr int kErrFileNotFound = 53;
constexpr int kErrDeviceIO = 57;
constexpr int kErrFileExists = 58;
constexpr int kErrDiskFull = 61;
constexpr int kErrInputPastEnd = 62;
constexpr int kErrTooManyFiles = 67;
constexpr int kErrPermissionDenied = 70;
constexpr int kErrDiskNotReady = 71;
constexpr int kErrPathFileAccess = 75;  // access denied, read-only file or folder
constexpr int kErrPathNotFound = 76;
constexpr int kErrBadRecordLength = 59;
constexpr int kErrBadRecordNumber = 63;

// The error number of an errno value of a failed system call on `path`.
int FileErrorFromErrno(int err);
// The same, told apart by the path: a missing file (ENOENT) is 53 when its
// folder exists and 76 when the folder itself is missing.
int FileErrorFromErrno(int err, const std::string& path);

enum class OpenMode {
  ReadWrite,  // random access; a missing file is created empty
  ReadOnly,   // reading only; a missing file is error 53, nothing is created
};

class RecordFile {
 public:
  RecordFile() = default;
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // ReadWrite on an existing file that may not be written opens it for
  // reading, as the designed random-access open falls back to read access;
  // a Put then fails with 75. A record length below 1 is 59; an open
  // RecordFile is closed first.
  int Open(const std::string& path, int recordLength, OpenMode mode = OpenMode::ReadWrite);
  bool IsOpen() const { return fd_ >= 0; }
  // Record n (from 1) into rec, exactly recordLength bytes; bytes past the end
  // of the file read as pad. A record number below 1 is 63; a closed file 52.
  int Get(int recordNo, std::string& rec, char pad = '\0');
  // Writes rec (cut or padded with NULs to recordLength) as record n.
  int Put(int recordNo, const std::string& rec);
  // Length of the open file in bytes (the designed LOF); -1 when closed.
  long long Lof() const;
  int Close();

 private:
  int fd_ = -1;
  int recLen_ = 0;
  bool readOnly_ = false;
  std::string path_;
};

// Length of a file in bytes, into len. 53 when it does not exist.
int FileLength(const std::string& path, long long& len);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Deletes a file (the designed Kill). 53 when it does not exist, 75 for a
// read-only file.
int KillFile(const std::string& path);
// Reads a whole file for reading only; creates nothing.
int ReadWholeFile(const std::string& path, std::string& data);
// Writes data as the whole file: to a temporary file in the same folder,
// flushed, then renamed over path. On failure the old file is untouched and
// the temporary file is removed.
int WriteWholeFileAtomic(const std::string& path, const std::string& data);
// Makes a folder and its parents; 0 when it exists afterwards.
int MakeDirs(const std::string& path);
// The names of the plain files of a folder (regular files, and links to
// them; not folders, devices or pipes), in byte order, into names. 76 when
// the folder is missing, 75 when it may not be read or searched.
int ListFolderFiles(const std::string& folder, std::vector<std::string>& names);

// Fault injection for tests: when set, every file operation first asks the
// hook with the operation ("open", "get", "put", "close", "len", "kill",
// "read", "write", "rename", "mkdir") and the path; a non-zero answer is
// returned as that operation's error without acting. WriteWholeFileAtomic
// asks "write" before it starts and "rename" once the temporary file is
// written, so a test can fail it at either step. The queries that answer no
// error number (FileExists, DirExists, Lof) do not ask it. An empty hook
// (the start value) removes it.
using FileFaultHook = std::function<int(const std::string& op, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);
