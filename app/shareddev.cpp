#include "app/shareddev.h"

#include <chrono>
#include <thread>

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/winfolder.h"

const std::string kSharedDevName = "Veltrano";
SharedDevRec gSharedDev;
int gSharedDevLockWaitMs = 3000;

std::string SharedDevRec::Tag() const { return Mid(image, 1, 8); }
uint32_t SharedDevRec::OutHandle() const { return GetU32LE(image, 10); }
void SharedDevRec::SetOutHandle(uint32_t h) { PutU32LE(image, 10, h); }
int SharedDevRec::UserCount() const { return Asc(image, 14); }
void SharedDevRec::SetUserCount(int n) { MidAssign(image, 14, Chr(n)); }
int SharedDevRec::Running() const { return Asc(image, 18); }
void SharedDevRec::SetRunning(int v) { MidAssign(image, 18, Chr(v)); }
uint32_t SharedDevRec::InHandle() const { return GetU32LE(image, 46); }
void SharedDevRec::SetInHandle(uint32_t h) { PutU32LE(image, 46, h); }

std::string SharedDevPath() { return WinPath(kSharedDevName); }
std::string SharedDevLockPath() { return WinPath(kSharedDevName + ".lock"); }

void SharedDevRecInit() {
  const char byte145 = gSharedDev.image.size() == kSharedDevLen ? gSharedDev.image[kSharedDevLen - 1] : '\0';
  std::string r = kSharedDevName;  // 1-8 tag
  r += Nuls(1);                    // 9 separator
  r += Nuls(4);                    // 10-13 output handle
  r += Chr(0);                     // 14 user count
  r += Nuls(3);                    // 15-17 flags
  r += Chr(0);                     // 18 running flag
  r += Nuls(27);                   // 19-45 reserved text
  r += Nuls(4);                    // 46-49 input handle
  r += Space(24) + Chr(0);         // 50-74 text 1, byte 1
  r += Space(24) + Chr(0);         // 75-99 text 2, byte 2
  r += Space(24) + Chr(0);         // 100-124 text 3, byte 3
  r += Nuls(10) + Nuls(10);        // 125-144 texts 4 and 5
  r += byte145;                    // 145
  gSharedDev.image = r;
}

int SharedDevRecReset() {
  const std::string path = SharedDevPath();
  gOpCaption = Res(111) + PathFileName(path);
  SharedDevLock lock;
  SharedDevRecInit();
  std::string image;
  if (FileExists(path)) {
    const int err = ReadWholeFile(path, image);
    if (err != 0) return err;
  }
  if (image.size() < static_cast<size_t>(kSharedDevLen)) image.resize(kSharedDevLen, '\0');
  image.replace(0, kSharedDevLen, gSharedDev.image);
  return WriteWholeFileAtomic(path, image);
}

SharedDevLock::SharedDevLock() {
  const std::string path = SharedDevLockPath();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(gSharedDevLockWaitMs);
  while (lock_.TryLock(path) == FileLock::Held && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void SharedDevReset() {
  gSharedDev = SharedDevRec();
  gSharedDevLockWaitMs = 3000;
}
