#include "services/messages.h"

#include <QCoreApplication>
#include <QTimer>

#include "core/bytes.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/midi/winmm.h"
#include "services/mainview.h"
#include "services/strings.h"

std::string gOpCaption;
int gInstrMode = 0;

namespace {

// The number of the last status shown; a clear that waits for the MIDI
// output is dropped when it is no longer current.
int gStatusClearWait = 0;

// MsgCodeTab: message code -> string id. 0 marks a code without an entry.
constexpr int kMsgCodeTab[] = {
    76,   // 0 generic error
    0,    // 1
    100,  // 2 "_ error"
    82,   // 3 not more than 4 styles per file
    14,   // 4 error reading _
    79,   // 5 file _ not found
    40,   // 6 r40DBArr not found
    41,   // 7 r40DBArr data error
    42,   // 8 arrangement file not found
    43,   // 9 r40DBArr empty
    16,   // 10 one instance only
    0,    // 11
    49,   // 12 close the other applications first
    89,   // 13 not more than 10 applications
    77,   // 14 r40ArrA not found
    78,   // 15 r40ArrB not found
    93,   // 16 file already open
    90,   // 17 read only file
    27,   // 18 disk reading error
    28,   // 19 disk full
    18,   // 20 output device already in use
    19,   // 21 error opening output device
    20,   // 22 output device not found
    21,   // 23 error closing output device
    66,   // 24 change takes effect at next run
    104,  // 25 reading error
    105,  // 26 "Reading "
    15,   // 27 file not found
    26,   // 28 disk not ready
    109,  // 29 disk writing error
    110,  // 30 path not found
    112,  // 31 I/O device error
    116,  // 32 data format error
    0,    // 33
    117,  // 34 error opening input device
    118,  // 35 the MIDI device will not be used
    119,  // 36 4-styles group too long
};

// StatusCodeTab: status code -> string id (0: no entry; code 0 clears).
constexpr int kStatusCodeTab[] = {0, 10, 11, 12, 13, 0, 96, 99, 101};

int TableId(const int* table, int size, int code) {
  if (code < 0 || code >= size) return 0;
  return table[code];
}

std::string PromptText(int code) {
  switch (code) {
    case 1:
      return Res(52) + "\r\n" + Res(53);
    case 2:
      return Res(94) + "\r\n" + Res(53);
    case 3:
      return Res(97);
    default:
      return std::string();
  }
}

}  // namespace

std::string ReplaceFirstUnderscore(const std::string& text, const std::string& insert) {
  const int p = InStr(text, "_");
  if (p == 0) return text;
  return Left(text, p - 1) + insert + Mid(text, p + 1);
}

std::string MsgText(int code, const std::string& insert) {
  const int id = TableId(kMsgCodeTab, static_cast<int>(std::size(kMsgCodeTab)), code);
  if (id == 0) return std::string();
  return ReplaceFirstUnderscore(Res(id), insert);
}

void ShowMsg(int code, const std::string& title, const std::string& insert) { ShowMsgReason(code, title, insert, ""); }

void ShowMsgReason(int code, const std::string& title, const std::string& insert, const std::string& reason) {
  const std::string text = MsgText(code, insert) + (reason.empty() ? "" : "\r\n" + reason);
  // A box closed by its close box or Esc counts as OK.
  TheDialogs().MessageBox(title, text, MsgIcon::Exclamation, MsgButtons::OK);
}

namespace {

constexpr int kStatusPollMs = 10;

void ClearStatus() {
  if (MainView* view = TheMainView()) {
    view->SetBusyCursor(false);
    view->SetLabelCaption("Label1", std::string());
  }
}

// Clears the status line once the output queue is empty, unless another
// status was shown meanwhile (the wait's number is then no longer current).
void ClearStatusWhenSent(int wait) {
  QTimer::singleShot(kStatusPollMs, [wait] {
    if (wait != gStatusClearWait) return;
    if (midiplatform::OutputQueueBusy()) {
      ClearStatusWhenSent(wait);
    } else {
      ClearStatus();
    }
  });
}

}  // namespace

void StatusShow(int code, const std::string& insert) {
  ++gStatusClearWait;  // a waiting clear gives way to what is shown now
  if (code == 0) {
    // The transfer the status speaks of is done when its last byte has
    // left, not when its last message was queued.
    if (midiplatform::OutputQueueBusy() && QCoreApplication::instance()) {
      ClearStatusWhenSent(gStatusClearWait);
    } else {
      ClearStatus();
    }
    return;
  }
  MainView* view = TheMainView();
  const int id = TableId(kStatusCodeTab, static_cast<int>(std::size(kStatusCodeTab)), code);
  const std::string text = id == 0 ? std::string() : ReplaceFirstUnderscore(Res(id), insert);
  if (view) {
    view->SetLabelCaption("Label1", text);
    view->SetBusyCursor(true);
  }
}

int AskSave(int code, const std::string& title) {
  const int answer =
      TheDialogs().MessageBox(title, PromptText(code), MsgIcon::Exclamation, MsgButtons::YesNoCancel);
  if (answer == kMsgYes || answer == kMsgNo) return answer;
  return kMsgCancel;  // Cancel, or the box was closed: nothing is saved, nothing is lost
}

int AskSaveDir(int code, const std::string& title) {
  const int answer = TheDialogs().MessageBox(title, PromptText(code), MsgIcon::Exclamation, MsgButtons::YesNo);
  return answer == kMsgYes ? kMsgYes : kMsgNo;
}

int FileErrMsg(const std::string& title, int errNumber) {
  switch (errNumber) {
    case kErrDeviceIO:
      ShowMsg(31, title, "");
      return 1;
    case kErrDiskNotReady:
      ShowMsg(28, title, "");
      return 2;
    case kErrPathFileAccess:
      ShowMsg(17, title, "");
      return 1;
    case kErrPathNotFound:
      ShowMsg(30, title, "");
      return 1;
    case kErrDiskFull:
      // A full disk is only met in a write: shown as such, never as a read
      // error.
      ShowMsg(19, title, "");
      return 1;
    case kErrSaveInUse:
      // Another program is saving in the folder: that clears, as a disk that
      // is not ready does.
      TheDialogs().MessageBox(title, Res(143), MsgIcon::Exclamation, MsgButtons::OK);
      return 2;
    default:
      ShowMsg(18, title, "");
      return 1;
  }
}

void ModeShow() {
  const char* label = nullptr;
  switch (gInstrMode) {
    case 0:
      label = "ARR PLAY";
      break;
    case 1:
      label = "SONG PLAY";
      break;
    case 2:
      label = "GLOBAL";
      break;
    default:
      return;  // any other value leaves the label as it is
  }
  if (MainView* view = TheMainView()) view->SetLabelCaption("LabelMode", label);
}

void MessagesReset() {
  gOpCaption.clear();
  gInstrMode = 0;
  ++gStatusClearWait;  // a clear still waiting does nothing
}
