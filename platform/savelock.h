// The save lock: one save of a folder's files at a time among this user's
// copies of the program, and reads of a document's files that no such save
// comes between.
//
// A folder is locked through one file of the user's settings folder,
// "saves.lock" (made with mode 0600, never written and never removed), on
// the byte of it that a hash of the folder's identity (device and inode)
// picks out of a fixed set: an exclusive lock for a save, a shared one for
// a read. Only the user may open that file, so no process of another user
// can hold the lock, delay it or make it fail, whatever he may do to the
// document's folder; and since nothing is locked in the folder itself, it
// works the same in a folder that may not be read and on a network share
// where a lock on a folder fails. Two folders may share a byte: their saves
// then wait for each other, as briefly as a save lasts.
//
// Where the settings folder takes no lock file and has none (it is missing,
// or may not be written, or SetSaveLockFileMade(false) said it must not be
// written), nothing is locked: no other copy of the program can be running
// on that settings folder meanwhile (the one-copy check at the start), and
// a copy with another settings folder never shares this lock. A lock file
// that stands there already is used, even in a folder that may not be
// written, since taking it writes nothing.
#pragma once

#include <string>
#include <vector>

class FolderLocks {
 public:
  FolderLocks() = default;
  ~FolderLocks() { Release(); }
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

  // Locks every folder for a save (exclusively), waiting a bounded time
  // (SetSaveLockWait) for one that another copy holds: 0, or kErrSaveInUse
  // with busy naming the folder (nothing then stays locked). Within one
  // process the locks are counted, so a resolve inside a save takes what
  // the save holds; an exclusive lock asked while this process holds the
  // same one shared is refused at once (kErrSaveInUse), since it could
  // never be had. A folder that is missing, or that no lock can be taken
  // for (above), is passed over.
  int Take(const std::vector<std::string>& folders, std::string& busy);
  // The same for reading: shared with the other readers, excluding saves.
  int TakeShared(const std::vector<std::string>& folders, std::string& busy);
  // Lets go of every lock this object holds.
  void Release();
  // Whether this object holds any lock.
  bool Holding() const { return !mine_.empty(); }

 private:
  int Lock(const std::vector<std::string>& folders, std::string& busy, bool shared);
  struct Mine {
    int slot;
    bool shared;
  };
  std::vector<Mine> mine_;
};

// How long a save, a resolve or a read waits for the lock of a folder that
// another copy holds, in milliseconds (5000 at start; a negative value puts
// that back). For tests.
void SetSaveLockWait(int milliseconds);

// Whether the lock file may be made in the settings folder when it is not
// there (true at start). A run that must write nothing in its settings
// folder says false; one that stands there already is still used.
void SetSaveLockFileMade(bool made);

// One file of a document read together with the others (ReadFilesTogether).
struct FileReadTogether {
  enum State {
    NotRead,  // could not be read here (an error, or over 4 MiB): the caller reads it itself
    Missing,  // no file there (nothing, or not a regular file)
    Read,     // data holds the whole file
  };
  std::string path;
  State state = NotRead;
  std::string data;
};

// Reads the files of one document as one save left them. Under the save
// lock of their folders taken shared (the folders their links lead to
// included), so that no save of this user's other copies comes between
// them, each file is read whole, in the order given (the order a save puts
// them in place). Since a save of another user takes no lock of ours,
// every file but the last is then checked to be still the one read (the
// same bytes, or still no file), and when one is not they are all read
// again, at most 8 times in all; after that the last reading stands. With shareLock false the lock is not taken (the files are read
// and checked all the same). The fault hook is asked "read" with each path
// before it is read; an error it answers leaves that file NotRead. Returns
// 0, or kErrSaveInUse when another copy kept a folder locked past the wait
// (busy, when given, then names the file; nothing is read).
int ReadFilesTogether(std::vector<FileReadTogether>& files, bool shareLock = true, std::string* busy = nullptr);
