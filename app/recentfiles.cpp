#include "app/recentfiles.h"

#include "app/appstate.h"
#include "services/mainview.h"
#include "services/paths.h"
#include "app/recent.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"

namespace {

constexpr int kEntries = 8;
constexpr int kPathLen = 238;
constexpr int kCaptionWhole = 35;  // longer texts are shortened
constexpr int kCaptionTail = 28;   // at most this much of the tail is shown

const char* ExtOfKind(int kind) {
  switch (kind) {
    case 1: return "arr";
    case 2: return "sty";
    case 3: return "prg";
    case 4: return "pgg";
    case 5: return "gbl";
    default: return nullptr;
  }
}

// A new entry starts at the top left corner with the enlarged size of the
// window that shows its kind (global windows have none).
void SetNewEntryGeometry(RecentFileRec& rec) {
  int height = 0, width = 0;
  switch (rec.Kind) {
    case 1: height = gArrUBigHeight; width = gArrUBigWidth; break;
    case 2: height = gStyUNBigHeight; width = gStyUNBigWidth; break;
    case 3: case 4: height = gPrgUNBigHeight; width = gPrgUNBigWidth; break;
    default: break;
  }
  rec.Top = 0;
  rec.Left = 0;
  rec.Height = ClampTwips16(height);
  rec.Width = ClampTwips16(width);
}

std::string MenuItemName(int i) { return "mnuRecentFile_" + CStr(i); }

// The shortened form of a caption text of n > 35 characters. The kept
// prefix is the root separator of an absolute path (none for a relative
// one); the walk looks at the separators after it.
std::string ShortenCaptionText(const std::string& text) {
  const int n = static_cast<int>(text.size());
  const std::string prefix = Left(text, 1) == kPathSep ? kPathSep : std::string();
  const int from = static_cast<int>(prefix.size()) + 1;
  if (InStr(text, kPathSep, from) == 0) return Left(text, kCaptionWhole) + "...";
  for (int p = InStr(text, kPathSep, from); p != 0;) {
    const int next = InStr(text, kPathSep, p + 1);
    if (n - p <= kCaptionTail) return prefix + "..." + kPathSep + Mid(text, p + 1);
    if (next == 0) return prefix + "..." + kPathSep + Mid(text, p + 1, kCaptionTail) + "...";
    p = next;
  }
  return text;  // not reached: the last separator always ends the walk
}

}  // namespace

void RecentFileAdd(std::string& path, int readOnly) {
  const int kind = FileTypeOfPath(path);
  if (kind == 0) return;
  const std::string bare = Left(path, static_cast<int>(path.size()) - 4);
  // The openers refuse a path that does not fit its field; the list never
  // keeps a cut one.
  if (static_cast<int>(bare.size()) > kPathLen) return;
  path = bare;

  const std::string wanted = RTrim(bare);
  for (const RecentFileRec& rec : gRecentFiles) {
    if (rec.Kind == kind && RTrim(rec.Path) == wanted) return;
  }

  int slot = -1;
  for (int i = 0; i < kEntries; ++i) {
    if (gRecentFiles[i].Kind == 0) {
      slot = i;
      break;
    }
  }
  if (slot < 0) {
    for (int i = kEntries - 1; i > 0; --i) gRecentFiles[i] = gRecentFiles[i - 1];
    slot = 0;
  }
  RecentFileRec& rec = gRecentFiles[slot];
  rec.Path = PadRight(bare, kPathLen);
  rec.Kind = static_cast<uint8_t>(kind);
  rec.Flag = readOnly != 0 ? 1 : 0;
  SetNewEntryGeometry(rec);

  RecentMenuShow();
}

void RecentMenuShow() {
  MainView* main = TheMainView();
  if (!main) return;
  for (int i = 0; i < kEntries; ++i) {
    // The list ends at the first entry that is not a file kind.
    if (!ExtOfKind(gRecentFiles[i].Kind)) break;
    main->SetMenuVisible("mnuSep16", true);
    main->SetMenuCaption(MenuItemName(i), RecentMenuCaption(i));
    main->SetMenuVisible(MenuItemName(i), true);
    main->SetMenuEnabled(MenuItemName(i), true);
  }
}

void RecentSaveWinPos(const std::string& tag, int top, int left, int height, int width) {
  int kind = 0;
  switch (Asc(tag, 1)) {
    case kKindArrFile: kind = 1; break;
    case kKindStyFile: kind = 2; break;
    case kKindPrgFile: kind = Asc(tag, 19) != 0 ? 4 : 3; break;
    default: return;
  }
  const std::string path = RTrim(Mid(tag, 21, kPathLen));
  for (RecentFileRec& rec : gRecentFiles) {
    if (rec.Kind == kind && RTrim(rec.Path) == path) {
      rec.Top = ClampTwips16(top);
      rec.Left = ClampTwips16(left);
      rec.Height = ClampTwips16(height);
      rec.Width = ClampTwips16(width);
      return;
    }
  }
}

std::string RecentMenuCaption(int i) {
  if (i < 0 || i >= kEntries) return std::string();
  const char* ext = ExtOfKind(gRecentFiles[i].Kind);
  if (!ext) return std::string();
  gCurExt = ext;
  std::string text = RTrim(gRecentFiles[i].Path) + "." + ext;
  if (static_cast<int>(text.size()) > kCaptionWhole) text = ShortenCaptionText(text);
  std::string caption = "&";
  caption += CStr(i + 1);
  caption += "  ";
  caption += text;
  return caption;
}
