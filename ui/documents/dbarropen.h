// What the two database windows (the database editor and find by ID) share:
// opening the arrangement file of a database entry in a new window, and the
// window of an internal bank.
#pragma once

#include <string>

// Opens the arrangement file path (folder and name, without extension) in a
// new arrangement-file window: the file is read with ".arr" in the case
// found on disk ("File not found" titled with the reader's caption when it
// is missing or empty; the reader reports its other faults), a free slot is
// taken, and the window opens read-only as the Preferences' read-only mark
// says, as an Open dialog would start. False when no window was created
// (also when all eight are open).
bool OpenArrFileWindow(const std::string& path);

// Opens the window of bank A (kind 2) or B (kind 3) as View > Arrangement A
// or B does: the bank file is read, and one that is missing or damaged is
// reported (the reader's message, then "File r40ArrA not found" or its B
// twin) and opens nothing.
void OpenBankByView(int kind);
