// The live editors (arrangement editor, global parameters, on-screen
// keyboard) register their openers with the main window
// (ui/main/openers.h) and install the interfaces through which the lower
// layers and the document windows reach them; the program calls this once
// before Main.
#pragma once

void RegisterEditorWindows();

// Puts the state of the editors' modules back to its start values (tests).
void ResetEditorWindows();
