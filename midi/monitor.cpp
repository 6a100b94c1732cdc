#include "midi/monitor.h"

#include "services/mainview.h"

bool gMonitorOn = false;
static MonitorView* sMonitorView = nullptr;

MonitorView* TheMonitorView() { return sMonitorView; }
void SetMonitorView(MonitorView* view) { sMonitorView = view; }

std::string MonitorLine(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string line;
  line.reserve(bytes.size() * 3 + 4);
  for (unsigned char c : bytes) {
    line += digits[c >> 4];
    line += digits[c & 15];
    line += ' ';
  }
  line += "\r\n\r\n";
  return line;
}

void MidiMonLog(const std::string& text) {
  if (!gMonitorOn) return;
  MainView* main = TheMainView();
  if (!main || main->MenuEnabled("mnuMsgEx")) return;
  MonitorView* view = TheMonitorView();
  if (!view) return;
  if (text.empty()) {
    view->Clear();
    return;
  }
  view->Append(MonitorLine(text));
}

void MonitorReset() {
  gMonitorOn = false;
  sMonitorView = nullptr;
}
