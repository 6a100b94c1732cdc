#include "ui/documents/register.h"

#include "ui/main/openers.h"

void RegisterDocumentWindows() {}
