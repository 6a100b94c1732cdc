// The caption of a child window, built from its WinTag.
#pragma once

#include <string>

// The caption text of the child window whose WinTag is given (the caller
// sets the window's caption to it); empty for a kind without one. Reads
// tag positions 1 (kind), 2 (read-only), 15 (slot), 16 (channel of a bank
// or kit window), 18 (a new style still untitled), 19 (.pgg), 21-258 (path
// or title) and 286 (channel of a program-file window). A short tag reads as
// blanks and zeros.
std::string WinCaption(const std::string& tag);

// The path (or title) of the window's document: tag positions 21-258,
// trailing blanks removed.
std::string WinTagPath(const std::string& tag);
