// The menu refresh: brings the main window's File and Edit items into line
// with the active child window. It never changes a child's own buttons; the
// relayed items copy the enabled state of the matching button.
#pragma once

void MenuUpdate();

// The enlarged (largest) size of a window kind in twips, the size of
// Edit > Maximize and of the Enlarge rule; {0, 0} for a kind without one.
struct WindowSize {
  int height, width;
};
WindowSize EnlargedSizeOfKind(int kind);
