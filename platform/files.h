// Fixed-record files with the semantics the program relies on, and the
// error numbers it tests.
//
// - An open for random access creates a missing file (empty) unless the
//   caller asks for reading only; a record read past the end of the file
//   gives the pad byte (zeros, or blanks for the info file); a record write
//   never truncates the file.
// - Failures come back as the numbers the program tests (below); every call
//   returns 0 or such a number.
// - Only a regular file is a file: a folder, a named pipe, a device or a
//   socket standing at a path is treated as no file at all (53), looked at
//   without being opened, so that nothing blocks on it and nothing deletes it.
// - A save writes every file of the save whole beside the old one and only
//   then puts them in place (WriteWholeFiles), so a crash or a full disk never
//   leaves half a file, nor one new file beside an old companion.
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

// What stands at a path, symbolic links followed (a link to nothing is
// Missing): the one test of "is this a file we may open and read without
// blocking" that every reader and writer goes through. Other is a folder, a
// named pipe, a device or a socket.
enum class FileKind { Missing, Regular, Other };
FileKind KindOfFile(const std::string& path);

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
  // RecordFile is closed first. A path where something other than a regular
  // file stands is 53 in both modes: it is neither opened nor created.
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

// Length of a file in bytes, into len. 53 when it does not exist or is not a
// regular file.
int FileLength(const std::string& path, long long& len);
bool FileExists(const std::string& path);  // a regular file stands there
bool DirExists(const std::string& path);
// Deletes a file (the designed Kill). 53 when it does not exist, 75 for a
// read-only file.
int KillFile(const std::string& path);
// Reads a whole file for reading only; creates nothing. 53 for a path that
// is not a regular file.
int ReadWholeFile(const std::string& path, std::string& data);

// One file of a save: its whole new content, or its removal.
struct WholeFile {
  std::string path;
  std::string data;
  bool remove = false;  // delete the file (a missing one is already deleted)
};

// Writes the files of one save together, as one transaction:
// - each file is written to the real file its path names: a symbolic link
//   stays a link and its target gets the new content;
// - first every new content goes whole to a temporary file beside its file
//   (flushed, with the old file's permission bits and, where the process may,
//   its owner and group), and the old file is kept aside; only when all were
//   written does each take its file's place, in the order given;
// - a file with more than one hard link is written in place, so that every
//   name keeps seeing it; its old bytes are copied aside first;
// - a removal takes its file aside the same way and deletes it at the end;
// - on any failure every file already put in place is put back, every
//   temporary file is removed, and the old files stand as they were.
// A read-only file, or one that is not a regular file, is refused (75) as a
// write in place would be. Temporary files are named after their file, so
// that those of a save that was killed are recognised and removed by the
// next save of the same file.
// Returns 0, or the error number; failedPath (when given) then names the
// file whose step failed.
int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath = nullptr);
// One file alone.
int WriteWholeFileAtomic(const std::string& path, const std::string& data);
// Makes a folder and its parents; 0 when it exists afterwards.
int MakeDirs(const std::string& path);
// The names of the plain files of a folder (regular files, and links to
// them; not folders, devices or pipes), in byte order, into names. 76 when
// the folder is missing, 75 when it may not be read or searched.
int ListFolderFiles(const std::string& folder, std::vector<std::string>& names);

// An exclusive lock (flock) on a lock file, held while the object lives and
// freed by the system when the process ends. The lock belongs to the open
// file, so a second FileLock on the same path fails even in the same process.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  enum Result {
    Taken,   // the lock is held now
    Held,    // another open file holds it
    Failed,  // the lock file cannot be opened or made (a path that is not a
             // regular file is never opened)
  };
  // Takes the lock at once or not at all; the file is made when missing and
  // never written.
  Result TryLock(const std::string& path);
  void Unlock();
  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Fault injection for tests: when set, every file operation first asks the
// hook with the operation ("open", "get", "put", "close", "len", "kill",
// "read", "write", "rename", "mkdir", "list") and the path; a non-zero
// answer is returned as that operation's error without acting.
// WriteWholeFiles asks "write" for each file before it writes that file's
// new content, and, once every temporary file is written, "rename" for each
// file written (or "kill" for each removal) just before that file takes its
// place, so a test can fail a save before it starts or between the files it
// puts in place. The queries that answer no error number (KindOfFile,
// FileExists, DirExists, Lof) and FileLock do not ask it. An empty hook (the
// start value) removes it.
using FileFaultHook = std::function<int(const std::string& op, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);
