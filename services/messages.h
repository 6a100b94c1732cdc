// Messages, prompts and the status line, by numeric code.
#pragma once

#include <string>

// Title of the message boxes of the current file operation: string 111
// ("Opening ") or 115 ("Saving ") and the file name.
extern std::string gOpCaption;

// The instrument mode last set by the program (0 arrangement play, 1 song
// play, 2 global). Only the three mode senders change it; the settings file
// keeps it between runs.
extern int gInstrMode;

// A modal box with the exclamation icon and one OK button: the text of
// message code `code`, its first "_" replaced by insert, titled title.
void ShowMsg(int code, const std::string& title, const std::string& insert);
// The same box with one more line under the text, when reason is not empty:
// what the system said of the failure ("ALSA sequencer: Permission denied").
void ShowMsgReason(int code, const std::string& title, const std::string& insert, const std::string& reason);
// The text ShowMsg would show (empty for a code without an entry).
std::string MsgText(int code, const std::string& insert);

// The status line: code 0 clears it and restores the pointer, once the MIDI
// output queue is empty (the text and the hourglass of a transfer stay
// until its last byte has left); any other code shows its text (first "_"
// replaced by insert) and the hourglass.
void StatusShow(int code, const std::string& insert);

// Yes / No / Cancel box for prompt code 1 or 2: 6 Yes, 7 No, 2 Cancel
// (a box closed by its close box or Esc answers 2).
int AskSave(int code, const std::string& title);
// Yes / No box for prompt code 1, 2 or 3: 6 Yes, 7 No (closed: 7).
int AskSaveDir(int code, const std::string& title);

// The file-error reporter, called by a file procedure with the error number
// of the failed statement: shows its message titled title and answers 2 to
// run the failed statement again (disk not ready, or a folder another
// program is saving in) or 1 to give up.
int FileErrMsg(const std::string& title, int errNumber);

// Puts gInstrMode into the main window's mode label.
void ModeShow();

// Replaces the first "_" of text by insert.
std::string ReplaceFirstUnderscore(const std::string& text, const std::string& insert);

void MessagesReset();  // gOpCaption empty, gInstrMode 0, no clear waiting
