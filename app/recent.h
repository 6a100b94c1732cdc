// The recent-file list: eight entries, each with its kind, the read-only
// state it was opened with and its window's geometry when last closed.
#pragma once

#include <cstdint>
#include <string>

// RecentKind: 1 arr, 2 sty, 3 prg, 4 pgg, 5 gbl; 0 a free entry.
struct RecentFileRec {
  std::string Path = std::string(238, ' ');  // full path without extension
  int16_t Height = 0, Width = 0, Top = 0, Left = 0;
  uint8_t Kind = 0;
  uint8_t Flag = 0;  // read-only
};

extern RecentFileRec gRecentFiles[8];
extern RecentFileRec gRecentFileCur;

void RecentReset();
