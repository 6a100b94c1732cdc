// The Windows folder of the design ("c:\windows\"): the folder "Brenvolta"
// under the user's configuration folder, made on first use. The settings
// file, the device-sharing file, the info file, the arrangement database and
// the MIDI device locks live there.
#pragma once

#include <string>

// The folder's path, without a trailing separator. Made on first use (a
// failure to make it is left for the file calls to report).
std::string WinFolder();
// The same path without making the folder (a query that must not create it).
std::string WinFolderPath();
// WinFolder() + "/" + name.
std::string WinPath(const std::string& name);
// Points the folder elsewhere (tests); an empty path returns to the default.
void SetWinFolder(const std::string& path);

// Whether files can be written in the folder, found out with a real write:
// the folder is made when missing, then a small file of our own is written
// there and removed again, so that a full disk counts as well as a locked or
// unmakeable folder. Returns 0, or the error number of the step that failed;
// exists tells whether the folder stands afterwards.
int WinFolderProbe(bool& exists);

// An exclusive lock (flock) on the folder itself, opened for reading only:
// it writes nothing and needs no file there, so it can be held in a folder
// that cannot be written. Held while the object lives, and freed by the
// system when the process ends. The lock belongs to the open folder, so a
// second WinFolderLock fails even in the same process.
class WinFolderLock {
 public:
  WinFolderLock() = default;
  ~WinFolderLock();
  WinFolderLock(const WinFolderLock&) = delete;
  WinFolderLock& operator=(const WinFolderLock&) = delete;
  enum Result {
    Taken,   // the lock is held now
    Held,    // another open of the folder holds it
    Failed,  // the folder is missing or cannot be opened (it is not made)
  };
  // Takes the lock at once or not at all.
  Result TryLock();
  void Unlock();
  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};
