// The document and bank windows register their openers with the main
// window (ui/main/openers.h); the program calls this once before Main.
#pragma once

void RegisterDocumentWindows();

// Puts the state of the document windows' modules back to its start
// values (tests).
void ResetDocumentWindows();
