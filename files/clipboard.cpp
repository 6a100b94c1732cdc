#include "files/clipboard.h"

std::string gClipText;
int gClipKind = 0;

void ClipboardReset() {
  gClipText.clear();
  gClipKind = 0;
}
