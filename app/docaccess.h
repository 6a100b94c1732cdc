// Whether a document window opens read-only because its file may not be
// written by the user.
#pragma once

#include <string>

// True when a save in place of the document whose window tag is given
// would be refused by a file the user may not write (WriteRefused): an
// arrangement file's ".arr" or its style file where one exists (kind 19), a
// program file with the extension its records give (21), a style file (23),
// a global file (25). Any other kind, and an untitled document, answer
// false. The window then opens as the Open dialog's "Read only" box opens
// it; what the user chose is kept apart (the recent-files entry, the slot
// record), so a file made writable later opens writable again.
bool DocFileWriteRefused(const std::string& tag);

// True when the document window was opened read-only by the user's own
// choice (the Open dialog's "Read only" box, or Preferences > Read only
// file at the open), as its slot record keeps it: kinds 19, 21, 23 and 25.
// Any other kind answers what character 2 says.
bool DocReadOnlyChosen(const std::string& tag);

// Character 2 of a document that now stands for another file (Save As):
// read-only when the user chose it, or when the new file may not be
// written.
void DocReadOnlyFollowFile(std::string& tag);
