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
// - A save writes every file of the save whole beside the old one (or, for
//   a file written in place, keeps the old bytes aside) and only then puts
//   them in place (WriteWholeFiles). A save is done when every file holds
//   its new content whole; a failure before that is undone at once, a kill
//   at the next open or save of any of the save's files (ResolveKilledSave),
//   which finishes it when every new content is there whole (in its file or,
//   for a file renamed into place, in its temporary file) and else rolls the
//   whole save back, a file written in place included. A save that was done
//   is never undone, even when a power loss brings its record back.
// - Only what the program itself set aside for a save of this document is
//   ever renamed, written or deleted by a resolve: a record is acted on only
//   when it carries the mac of the user's save key (kept in the settings
//   folder, which only the user may read), is this user's private file
//   listing itself with the inode and birth time it was written with, and
//   names only the document (by the name it was opened by, or another name
//   of its file) and its companion (below); and only where each of its side
//   files is this user's regular file at the moment of the act. Owning,
//   linking or rewriting a file proves nothing. Anything else beside a
//   document is left alone and never stops an open or a save.
// - A write never follows a symbolic link another user made (one in a
//   folder others may write, or not this user's): the save is refused.
//
// Paths are the bytes the file system uses ("/" separated).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "platform/savelock.h"

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
// Another program holds the lock of a document's folder past the wait: a
// save is refused, a resolve leaves the record alone (the designed
// "Permission denied" of a file another process has locked).
constexpr int kErrSaveInUse = 70;
// A killed save must be rolled back but the copy of a file's old content it
// kept aside is gone: nothing is changed and the record stays.
constexpr int kErrOldCopyGone = 1001;
// A symbolic link on the way to a file to be written was made by another
// user (and stands in a folder others may write): the save is refused
// before anything changes.
constexpr int kErrForeignLink = 1002;
// A record that looks like one of ours stands beside the file, but there is
// no key to check it with (the settings folder takes no file): it is left
// as it stands, side files and all.
constexpr int kErrUnchecked = 1003;
// Without a key, and in a folder that cannot be listed, a record of a
// killed save could not even be looked for.
constexpr int kErrNotLookedFor = 1004;
// A file written in place was left neither old, new nor a mix of the two
// (a power loss's zeros or stale blocks): nothing is changed, its old
// content is kept under a name of its own (the resolve says where).
constexpr int kErrDamaged = 1005;
// A side file was changed or replaced by someone else while a resolve
// acted on it: what it was to put in place is not put there.
constexpr int kErrSideChanged = 1006;

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
  // Opens for reading only what was read of path already (a document's
  // files read together, ReadFilesTogether): Get and Lof give those bytes,
  // a Put fails with 75, and the fault hook is asked as for the file itself.
  // No bytes (nullptr) stand for no file there: 53.
  int OpenRead(const std::string& path, int recordLength, std::shared_ptr<const std::string> bytes);
  bool IsOpen() const { return fd_ >= 0 || bytes_ != nullptr; }
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
  std::shared_ptr<const std::string> bytes_;  // opened by OpenRead
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
//   stays a link and its target gets the new content; a link is followed
//   only where this user made it, or its folder is this user's and no one
//   else may write there (the kernel's rule for sticky folders, in every
//   folder). Any other link refuses the whole save before anything changes
//   (kErrForeignLink, failedPath naming the file as given);
// - the folders of the files are locked first, for the whole save, with
//   the save lock (savelock.h), which only this user's copies of the
//   program can take. Another copy's save holding one is waited for a few
//   seconds (SetSaveLockWait), then the save is refused (kErrSaveInUse);
// - then whatever a killed save of any of the files left is resolved
//   (ResolveKilledSave, once, under this lock); one that can be neither
//   finished nor rolled back is left as it stands, told in unresolved, and
//   this save goes on. Then the leftovers of killed saves are removed:
//   what stands at the names of the file's side files (temporary files of
//   this user's with one name, or a second name of the file itself, and
//   records of ours a resolve found stale, or cut short), found by their
//   names, never by listing the folder; never a file a record that could
//   not be resolved still needs. Only then is each file looked at, so that a
//   second name a killed save left never makes a file with one name count
//   as hard-linked;
// - every new content goes whole to a temporary file beside its file,
//   private to this user (mode 0600) and flushed, and the old file is kept
//   aside (a second name for it, or a copy); only when all were written does
//   each take its file's place, in the order given, by a rename, just after
//   it is given the old file's mode, owner, group and extended attributes
//   (its access list, system.posix_acl_access, among them), or for a new
//   file what a plain create would give it (the umask, or the folder's
//   default access list);
// - a file is written in place, its old bytes copied aside and its new
//   content written beside it first (so that a write stopped part way can
//   be told from a later one, byte by byte), where a new file could not take
//   its place with everything it had: it has more than one hard link (so
//   that every name keeps seeing it), or the new file cannot be given its
//   owner and group (another user's file this user may write, in a shared or
//   sticky folder: the rename would take the file from its owner, or be
//   refused), or its extended attributes (ones the file system or the
//   process refuses, or more than 16 KiB of them). The in-place write opens
//   the recorded file itself, never through a link;
// - a file that may be written in a folder that takes no new file (the
//   temporary file is refused for want of permission) is written in place
//   too, its old bytes and its record kept in the settings folder (WinFolder);
// - a removal takes its file aside the same way and deletes it at the end;
//   it needs a folder that may be written (and, in a sticky folder, a file
//   of this user's);
// - before it changes the first file, a save of more than one file, or one
//   that writes a file in place, writes its record (below) at the home of
//   each file, and for a file written in place one more copy at its identity
//   home, so that a killed write in place is found through any name of the
//   file. A home whose record names someone else holds gives way to the
//   file's home in the settings folder, or has no copy (the others list the
//   save); where no key can be had, or no copy made, the save writes no
//   record and each file is still put in place whole;
// - the folders are flushed once each at four points: those of the
//   temporary files before the records are written, those of the records
//   after they are written and before the first file takes its place, those
//   of the files once every file is in place and before the records go, and
//   those of the records once they are gone, before the save reports
//   success;
// - on any failure every file already put in place is put back (one written
//   in place gets its old bytes back), every temporary file is removed, and
//   the old files stand as they were. Should putting a file back fail too,
//   the records and the old bytes aside stay (the new contents not yet in
//   place go), and the next open or save rolls it back.
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
// - the file whose folder another program kept locked (kErrSaveInUse);
// - the file as given whose link may not be followed (kErrForeignLink);
// - else the file of the failing step, as the caller named it.
// What a save's resolve of killed saves could not carry out (err 0 when
// nothing): its error, the file, and for a damaged file where its old
// content is kept.
struct SaveNotice {
  int err = 0;
  std::string file;
  std::string oldCopy;
};
int WriteWholeFiles(const std::vector<WholeFile>& files, std::string* failedPath = nullptr,
                    SaveNotice* unresolved = nullptr);
// One file alone.
int WriteWholeFileAtomic(const std::string& path, const std::string& data);

// Side files of a save. Each file of a save has a home its side files are
// named after: the file itself, so that they stand beside it, or, for a file
// written in place because its folder takes no new file, the name
// "<file name, at most 100 bytes>-<16 hex digits>" in the settings folder,
// the digits being the 64-bit FNV-1a hash of the file's canonical path (so
// that two files of one name never share it). A file written in place also
// has an identity home, "brv-<inode>-<birth seconds>.<birth nanoseconds>"
// (hex) in the settings folder, or beside the file where the settings
// folder takes nothing. At a home named N, with P the name part of N (N
// itself, or for a name longer than 200 bytes its first 200 bytes, "-" and
// the 16 hex digits of the FNV-1a hash of N, so that the files of one save
// never share a part and every name fits):
// - temporary files (new contents, old files aside) are "." + P + "~brv" +
//   six letters or digits, and a record the same + ".save". The six are
//   derived from the user's save key, N and a slot number (4 slots for
//   temporary files, 4 for records), so that a record is found without
//   listing the folder (in a folder that may be written but not listed
//   too), what a killed save left is found by the next save, and no one
//   else can tell the names beforehand. A slot someone holds is passed
//   over; a temporary file whose slots are all held takes a random name.
// - A record is written whole and flushed before the save changes its
//   first file; every file of the save gets a copy, each listing the whole
//   save:
//     "Brenvolta save record 3\n"
//     per folder it names: "folder" SP ("doc" | "settings") SP path LF
//     per copy: "copy" SP folder SP name SP identity LF
//     per file: op SP folder SP name SP folder SP file SP identity SP old
//       size SP old hash SP new size SP new hash SP folder SP temp SP
//       identity SP folder SP aside SP identity SP mode SP owner SP group
//       SP count (SP attribute name SP value)* LF
//     "mac" SP hex LF
//   Files are named by a folder (its place in the folder list, or "-" for
//   no file) and their name in it, so that a record still counts once its
//   folder is reached another way (moved, renamed, a stick mounted
//   elsewhere); a folder's path is where it was at the save, used only to
//   find another name of a file written in place, and "settings" is the
//   settings folder wherever it is. Each file is named twice: by the name
//   the save was given (name), and the file that name led to (file, links
//   followed; for a removal the name itself). op is "replace" (an existing
//   file renamed over), "new" (a new file), "inplace" (written in place) or
//   "remove"; an identity is the inode, birth seconds and birth nanoseconds
//   (0 where the file system keeps no birth time) in decimal; sizes are
//   decimal and hashes the BLAKE2b-256 (64 lower-case hex digits) of the old
//   content the save found and of the new one; mode, owner, group and the
//   extended attributes are what the new file is given (replace, new);
//   every name, path and value is written as its length in decimal, ":",
//   and its bytes; the mac is the HMAC-SHA256 of every byte before "mac"
//   under the key, in hex. A record that does not end with its mac line was
//   never written: the save had not begun to put its files in place. A
//   record of an earlier format ("Brenvolta save record 1" or "2") is not
//   one of these and is left alone.

// Resolves what a killed save of path (or of the file its links lead to,
// where they may be followed) left, from every record of ours about it at
// its homes: the record slots are looked at, no folder is listed, and no
// lock is taken and nothing is said unless one of them is ours. A record
// is acted on only when it is a regular file of this user, mode 0600 with
// one name, at most 64 KiB, whole, carries the key's mac, and is among the
// copies it lists with their inode and birth time (a record brought back
// from a backup is a new file, and is left alone; where the file system
// keeps no stable inode numbers, FAT and exFAT, that is not asked and the
// contents decide). Its names are the one asked for, another name of the
// same file (a file written in place) or the companion of one of those
// beside it (the ".sty" of an ".arr", the ".pgg" of a ".prg" and back),
// each leading now to the file recorded for it; its side files stand beside
// their files or in the settings folder; and every file stands as the
// recorded save left it: with the recorded inode and birth time (where
// they are kept), holding the old or the new content (a file written in
// place: or a mix of the two, each byte old or new at its place, as a write
// stopped part way leaves it). A record failing any of these is left alone,
// as if it were not there (one of ours that a later save made stale is
// removed by the next save). Then, with the folders of the files locked
// (only when a record of ours is there, so that a file of someone else's
// at a record's name waits for no lock): when every file holds its new
// content whole, or (a file renamed into place) has it whole in its
// temporary file, the save is finished; else it
// is rolled back, the old files put back (one written in place gets its old
// bytes back by a write in place, so every name keeps the file). Each side
// file is checked again just before it is renamed, read or written from
// (this user's regular file, the one recorded, with the recorded content),
// a file put in place is first given the attributes the save would have
// given it, and what stands in the document's place after the rename is
// checked to be that file: anything else someone put there meanwhile is
// taken out again (kErrSideChanged). Then the save's records (their
// folders flushed) and what it kept aside go. Every document open and every
// save calls it first. Returns 0 when nothing of ours was left, or it was
// resolved; else the error number, failedPath then naming the file:
// kErrSaveInUse when another program kept the folders locked past the wait
// (the record is left alone), kErrOldCopyGone when a roll-back needs an old
// copy that is gone (nothing is changed), kErrDamaged when a file written
// in place is neither old, new nor a mix of the two but is the very file
// the save wrote, of a length the write could leave, and its old copy is
// whole (nothing is changed, the old content is kept under the name
// "<file>.old" beside that copy, or ".old2" and on, which oldCopy names and
// no save removes; the record stays until a save of the file), kErrUnchecked
// when there is no key and a record that looks like one of ours about the
// file stands there (left as it stands, side files and all; failedPath
// names the first file of its save),
// kErrNotLookedFor when there is no key and the file's folder cannot be
// listed (failedPath naming the folder), or the error of the step that
// failed. A record that was not
// resolved stays for a later try.
int ResolveKilledSave(const std::string& path, std::string* failedPath = nullptr, std::string* oldCopy = nullptr);

// Whether the save key (the one that lets a resolve tell a record of its
// own, kept in the settings folder) may be made there when there is none
// yet: true at start. The program turns it off when the settings folder
// cannot be written, so that nothing is written there; records found
// beside a document are then left alone and said (kErrUnchecked).
void SetSaveKeyMayBeMade(bool may);

// Makes a folder and its parents; 0 when it exists afterwards.
int MakeDirs(const std::string& path);
// The names of the plain files of a folder (regular files, and links to
// them; not folders, devices or pipes), in byte order, into names. 76 when
// the folder is missing, 75 when it may not be read or searched.
int ListFolderFiles(const std::string& folder, std::vector<std::string>& names);

// An exclusive lock (flock) on a lock file, or on a folder itself, held
// while the object lives and freed by the system when the process ends. The
// lock belongs to the open file, so a second FileLock on the same path fails
// even in the same process.
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
  // The same on a folder, opened for reading only: it writes nothing and
  // needs no file there, so it can be held in a folder that cannot be
  // written. A missing folder (it is not made) or one that cannot be opened
  // is Failed.
  Result TryLockFolder(const std::string& folder);
  void Unlock();
  bool IsHeld() const { return fd_ >= 0; }

 private:
  Result Take(int fd);
  int fd_ = -1;
};

// Fault injection for tests: when set, every file operation first asks the
// hook with the operation ("open", "get", "put", "close", "len", "kill",
// "read", "write", "rename", "temp", "mkdir", "list") and the path; a
// non-zero answer is returned as that operation's error without acting.
// WriteWholeFiles asks "write" for each file before it writes that file's
// new content; "temp" with a folder before it makes the first side file of
// a file there (beside the file, or in the settings folder for one written
// in place, and in the settings folder before the identity copy of a
// record there) or takes a removed file aside there, where an answer of 75
// stands for a folder that takes no new file for want of permission (the
// file is then written in place, as for a real refusal; the identity copy
// goes beside the file); "record" with the path of each copy of the record
// just before it writes it; once every temporary file and record is
// written, "rename" for each file written (or "kill" for each removal) just
// before that file takes its place (for a file written in place, before the
// write); and, once every file holds its new content, "done" for each file
// before the records go (its answer is not used). It asks "sync" with each
// folder it flushes, just before (the answer is not used), so that a test
// can tell the order of the flushes. So a test can fail a save before it
// starts, between its records or between the files it puts in place, or end
// the process at any of these points as a kill or a power loss would.
// ResolveKilledSave asks "resolve" with the file before each file it
// renames, writes or deletes to finish or roll back a save (a non-zero
// answer fails the resolve there). ReadFilesTogether asks "read" with each
// file before it reads it. WriteWholeFiles and ResolveKilledSave ask
// "inodes" with a folder to learn
// whether its file system keeps inode numbers: a non-zero answer stands
// for one that does not (FAT, exFAT). The queries that answer no error
// number (KindOfFile, FileExists, DirExists, Lof) and FileLock do not ask
// it. An empty hook (the start value) removes it.
using FileFaultHook = std::function<int(const std::string& op, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);
