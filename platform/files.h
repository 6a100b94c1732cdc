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
//   then puts them in place (WriteWholeFiles), so a failure, a full disk or a
//   kill never leaves half a file, nor one new file beside an old companion:
//   a failure is undone at once, a kill at the next open or save of any of
//   the save's files (ResolveKilledSave).
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
// - first whatever a killed save of any of the files left is resolved
//   (ResolveKilledSave), and the temporary files it left are removed; only
//   then is each file looked at, so that a second name a killed save left
//   never makes a file with one name count as hard-linked;
// - every new content goes whole to a temporary file beside its file
//   (flushed, with the old file's permission bits and, where the process may,
//   its owner and group), and the old file is kept aside (a second name for
//   it, or a copy); only when all were written does each take its file's
//   place, in the order given, by a rename;
// - a file with more than one hard link is written in place, so that every
//   name keeps seeing it; its old bytes are copied aside first;
// - a file that may be written in a folder that takes no new file (the
//   temporary file is refused for want of permission) is written in place
//   too, its old bytes kept in the settings folder (WinFolder), where its
//   record goes as well (below);
// - a removal takes its file aside the same way and deletes it at the end;
//   it needs a folder that may be written;
// - before it changes the first file, a save of more than one file, or one
//   that writes a file in place, writes its record (below) at the home of
//   each file; the records go once every file is in place;
// - on any failure every file already put in place is put back (one written
//   in place gets its old bytes back), every temporary file is removed, and
//   the old files stand as they were. Should putting a file back fail too,
//   the records and the old bytes aside stay, and the next open or save puts
//   it back.
// A read-only file, or one that is not a regular file, is refused (75) as a
// write in place would be; so is a new file or a removal in a folder that
// may not be written.
// Returns 0, or the error number; failedPath (when given) then names what
// refused:
// - the folder of the real file (links followed) when it took no new file
//   for want of permission (75) and the file could not be written in place
//   instead: it is new, or is being removed;
// - the settings folder when the old bytes of a file to be written in place
//   could not be kept there (the reason is that folder's);
// - the file whose killed save could not be resolved, as recorded;
// - else the file of the failing step, as the caller named it.
int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath = nullptr);
// One file alone.
int WriteWholeFileAtomic(const std::string& path, const std::string& data);

// Side files of a save. Each file of a save has a home its side files are
// named after: the file itself, so that they stand beside it, or, for a file
// written in place because its folder takes no new file, the name
// "<file name, at most 100 bytes>-<16 hex digits>" in the settings folder,
// the digits being the 64-bit FNV-1a hash of the file's path with its folder
// resolved (so that two files of one name never share it). At a home:
// - temporary files (new contents, old files aside, records being written)
//   are "." + home name (at most 200 bytes) + "~brv" + six letters or
//   digits; any of them without a record is a leftover of a killed save,
//   which the next save of the file removes;
// - the record of a save is "." + home name + "~brv.save". It is written
//   under a temporary name, flushed, and then renamed into place, so that
//   it is either whole or missing; every file of the save gets one, each
//   listing the whole save. Its bytes:
//     "Brenvolta save record 1\n"
//     per file: op SP size SP hash SP path SP temp SP aside SP record LF
//     "end " + hash + "\n"
//   op is "replace" (an existing file renamed over), "new" (a new file),
//   "inplace" (written in place) or "remove"; size and hash (16 lower-case
//   hex digits, FNV-1a) are those of the new content; each path is written
//   as its length in decimal, ":", and its bytes (temp and aside may be
//   empty); the final hash is that of every byte before "end". A record
//   that does not read back whole this way was never written: the save had
//   not begun to put its files in place.

// Resolves what a killed save of path (or of the file its links lead to)
// left, from its record when there is one: when no file of that save was
// being written in place and every new content is there whole (in its
// temporary file, or already in its file's place), the save is finished;
// else it is rolled back, the old files put back (one written in place gets
// its old bytes back by a write in place, so every name keeps the file).
// Then the save's records and what it kept aside are removed; temporary
// files without a record are left for the next save of the file. Every
// document open and every save calls it first. Returns 0 when nothing was
// left or it was resolved, else the error number, failedPath then naming
// the file that could not be finished or put back.
int ResolveKilledSave(const std::string& path, std::string* failedPath = nullptr);

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
// "read", "write", "rename", "temp", "mkdir", "list") and the path; a
// non-zero answer is returned as that operation's error without acting.
// WriteWholeFiles asks "write" for each file before it writes that file's
// new content; "temp" with a folder before it makes the first side file of
// a file there (beside the file, or in the settings folder for one written
// in place) or takes a removed file aside there, where an answer of 75
// stands for a folder that takes no new file for want of permission (the
// file is then written in place, as for a real refusal); and, once every
// temporary file and record is written, "rename" for each file written (or
// "kill" for each removal) just before that file takes its place (for a
// file written in place, before the write), so a test can fail a save
// before it starts or between the files it puts in place, or end the
// process there as a kill would. ResolveKilledSave, the queries that answer
// no error number (KindOfFile, FileExists, DirExists, Lof) and FileLock do
// not ask it. An empty hook (the start value) removes it.
using FileFaultHook = std::function<int(const std::string& op, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);
