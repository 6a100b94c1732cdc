#include "app/recent.h"

RecentFileRec gRecentFiles[8];
RecentFileRec gRecentFileCur;

void RecentReset() {
  for (auto& r : gRecentFiles) r = RecentFileRec();
  gRecentFileCur = RecentFileRec();
}
