// The menu refresh: brings the main window's File and Edit items into line
// with the active child window. It never changes a child's own buttons; the
// relayed items copy the enabled state of the matching button.
#pragma once

void MenuUpdate();
