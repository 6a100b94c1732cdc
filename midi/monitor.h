// The MIDI monitor echo: outgoing messages as hexadecimal text in the
// monitor window, or a clear of it.
#pragma once

#include <string>

// Logging is allowed (set when the monitor is opened from the menu; the
// keyboard turns it off around its own sends). Closing the window leaves it.
extern bool gMonitorOn;

// The monitor window as the echo sees it; the window installs itself while
// it exists. It keeps the text it is given exactly, line ends included.
class MonitorView {
 public:
  virtual ~MonitorView() = default;
  virtual void Clear() = 0;
  // Appends one message line in one assignment of the shown text.
  virtual void Append(const std::string& line) = 0;
};
MonitorView* TheMonitorView();
void SetMonitorView(MonitorView* view);  // not owned; nullptr when the window closes

// One message as its monitor line: two upper-case hex digits and a blank per
// byte, then CR LF CR LF.
std::string MonitorLine(const std::string& bytes);

// Echoes text (usually the data of gOutMsg), or clears the monitor for an
// empty text. Acts only while gMonitorOn is set and the monitor is open (its
// menu item mnuMsgEx is disabled); never creates the window.
void MidiMonLog(const std::string& text);

void MonitorReset();  // gMonitorOn false, no view
