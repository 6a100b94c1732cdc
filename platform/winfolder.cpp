#include "platform/winfolder.h"

#include <QFile>
#include <QStandardPaths>
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
