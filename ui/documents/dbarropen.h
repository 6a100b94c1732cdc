// What the two database windows (the database editor and find by ID) share:
// opening the arrangement file of a database entry in a new window.
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
