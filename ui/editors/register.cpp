#include "ui/editors/register.h"

void RegisterEditorWindows() {}

void ResetEditorWindows() {}
