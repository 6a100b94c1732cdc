// The device-sharing file "Veltrano" in the Windows folder, shared with the
// sibling programs: one 145-byte record with a tag, the published MIDI
// output and input handles, the number of programs using them and this
// program's running flag. Every byte this program does not own is carried
// through as read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

constexpr int kSharedDevLen = 145;
extern const std::string kSharedDevName;  // "Veltrano"

// The program's copy of the record, kept as its 145 bytes with accessors at
// the record's positions (from 1).
struct SharedDevRec {
  std::string image = std::string(kSharedDevLen, '\0');

  std::string Tag() const;                // 1-8
  uint32_t OutHandle() const;             // 10-13, low byte first
  void SetOutHandle(uint32_t h);
  int UserCount() const;                  // 14
  void SetUserCount(int n);
  int Running() const;                    // 18
  void SetRunning(int v);
  uint32_t InHandle() const;              // 46-49
  void SetInHandle(uint32_t h);
};

extern SharedDevRec gSharedDev;

// The file's path in the Windows folder.
std::string SharedDevPath();

// Fills gSharedDev with the default record (byte 145, which belongs to no
// field, is kept as it was).
void SharedDevRecInit();
// Writes the default record to the file (first start), whole, as a save
// does, under the record's lock: bytes past the record keep what they held,
// and a file that cannot be written keeps what it held. Returns 0 or the
// error number (the caller reports).
int SharedDevRecReset();

// The lock file of the record, "Veltrano.lock" beside it: the file itself
// is replaced by a rename when it is written whole (first start), so a lock
// on it would stay with the old file and the next taker would lock the new
// one. The lock file is never written, renamed or removed.
std::string SharedDevLockPath();

// Holds an exclusive lock (on SharedDevLockPath) while this program reads,
// decides and writes the record, so that two starts of this program never
// interleave. Waits a few seconds at most, then goes on without it. The
// sibling programs take no lock: what they see of the file is unchanged.
class SharedDevLock {
 public:
  SharedDevLock();
  bool held() const { return lock_.IsHeld(); }

 private:
  FileLock lock_;
};
// How long the lock is waited for (tests shorten it).
extern int gSharedDevLockWaitMs;

void SharedDevReset();
