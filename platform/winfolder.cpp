#include "platform/winfolder.h"

#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

#include <mutex>

#include "core/pathsep.h"
#include "platform/files.h"

namespace {

std::mutex gMutex;
std::string gFolder;  // empty: not yet decided
bool gMade = false;

std::string DefaultFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QString folder = base.isEmpty() ? QStringLiteral("Brenvolta") : base + QStringLiteral("/Brenvolta");
  return QFile::encodeName(folder).toStdString();
}

}  // namespace

std::string WinFolder() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gFolder.empty()) gFolder = DefaultFolder();
  if (!gMade) {
    MakeDirs(gFolder);  // a failure shows up at the first file call inside it
    gMade = true;
  }
  return gFolder;
}

std::string WinFolderPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gFolder.empty()) gFolder = DefaultFolder();
  return gFolder;
}

std::string WinPath(const std::string& name) {
  return WinFolder() + kPathSep + name;
}

void SetWinFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gFolder = path;
  while (gFolder.size() > 1 && gFolder.back() == '/') gFolder.pop_back();
  gMade = false;
}

int WinFolderProbe(bool& exists) {
  const std::string folder = WinFolder();
  int err = MakeDirs(folder);
  exists = DirExists(folder);
  if (err != 0) return err;
  // Named after the process, so that two copies starting at once never
  // remove each other's.
  const std::string probe = folder + kPathSep + ".Brenvolta-probe-" + std::to_string(::getpid());
  const std::string text = "Brenvolta";
  RecordFile f;
  err = f.Open(probe, static_cast<int>(text.size()));
  if (err == 0) err = f.Put(1, text);
  const int closeErr = f.Close();
  if (err == 0) err = closeErr;
  if (FileExists(probe)) {
    const int killErr = KillFile(probe);
    if (err == 0) err = killErr;
  }
  return err;
}
