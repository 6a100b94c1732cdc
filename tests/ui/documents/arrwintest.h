// Helpers of the arrangement-window tests: bank images built in code, clicks
// on a list line and the shared info file (the messages that reached the
// MIDI output: tests/fixtures/midibytes.h).
#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QListWidget>
#include <QTest>

#include <string>
#include <utility>
#include <vector>

#include "app/nametables.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "midi/channels.h"
#include "midi/sysex.h"
#include "platform/midi/virtual_midi.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/midibytes.h"

namespace arrwintest {

// A bank image: the header, then record i named names[i].first (as stored,
// 16 bytes) with style number names[i].second at offset 17; the other
// records keep the style of their index and the name "Arr " and the index.
inline std::string BankImage(const std::vector<std::pair<std::string, int>>& records = {}) {
  std::string image = Nuls(kArrFileLen);
  MidAssign(image, 1, kArrFileHeader);
  for (int i = 0; i < kArrRecCount; ++i) {
    const int p = kArrRecStart + kArrRecLen * i + 1;
    std::string name = PadRight("Arr " + CStr(i), 16);
    int style = i;
    if (i < static_cast<int>(records.size())) {
      name = Left(records[i].first + Space(16), 16);
      style = records[i].second;
    }
    MidAssign(image, p, name);
    MidAssign(image, p + 17, Chr(style));
    MidAssign(image, p + 21, Chr(90));  // some further settings, sent as stored
    MidAssign(image, p + 100, Chr(0xA5));
  }
  return image;
}

// An arrangement record: its name, style number and style source; a user
// program on one track when prgTrack is 0-8.
inline std::string Rec(const std::string& name, int style, int source = 0, int prgTrack = -1) {
  std::string rec = Nuls(164);
  MidAssign(rec, 1, PadRight(name, 16));
  MidAssign(rec, 18, Chr(style));
  MidAssign(rec, 19, Chr(source));
  if (prgTrack >= 0) MidAssign(rec, 41 + 8 * prgTrack, Chr(3));
  return rec;
}

// An arrangement file holding the given records (index, record); the others
// empty.
inline std::string ArrFile(const std::vector<std::pair<int, std::string>>& recs) {
  std::string file = Left(ArrFileBytes(), 32) + Nuls(64 * 164);
  for (const auto& [i, rec] : recs) MidAssign(file, 33 + 164 * i, rec);
  return file;
}

// Bank select 0 / lsb and program change on the arrangement channel.
inline std::vector<std::string> CallUp(int lsb, int program) {
  const int n = gChArrang & 0x0F;
  return {Chr(0xB0 | n) + Chr(0) + Chr(0), Chr(0xB0 | n) + Chr(0x20) + Chr(lsb),
          Chr(0xC0 | n) + Chr(program)};
}

// The arrangement bank dump of the 64 records of a document.
inline std::string BankDump(const std::string& tag) {
  return SysExHeader() + Chr(0x64) + Pack8to7(Mid(tag, 303, 64 * 164)) + Chr(0xF7);
}

inline std::string ModeChange(int mode) {
  return SysExHeader() + Chr(0x4E) + Chr(mode) + Chr(0xF7);
}

inline std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Lets events and timers run until done() holds (at most 5 s), then
// afterMs longer, so that anything sent too many shows up.
template <class Done>
void SettleUntil(Done done, int afterMs = 20) {
  const qint64 end = QDateTime::currentMSecsSinceEpoch() + 5000;
  while (!done() && QDateTime::currentMSecsSinceEpoch() < end)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  const qint64 after = QDateTime::currentMSecsSinceEpoch() + afterMs;
  while (QDateTime::currentMSecsSinceEpoch() < after) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A mouse click on a line of a list, as the user makes it (with a modifier
// key held, when given).
inline void ClickLine(QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  list->scrollToItem(list->item(row));
  QTest::mouseClick(list->viewport(), button, modifiers, list->visualItemRect(list->item(row)).center());
}

// A right click as the windowing system delivers it: the press, the
// context-menu event that comes with the press, then the release.
inline void RightClickAsPlatform(QWidget* target, QPoint pos) {
  QTest::mousePress(target, Qt::RightButton, Qt::NoModifier, pos);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
  QApplication::sendEvent(target, &menu);
  QTest::mouseRelease(target, Qt::RightButton, Qt::NoModifier, pos);
}

}  // namespace arrwintest
