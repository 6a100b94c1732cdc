// Shared parts of the start-up fuzz targets (settings, device-sharing and
// info files): a private Windows folder, scripted dialogs and the virtual
// MIDI back end, and every module back at its start values for each input.
#pragma once

#include "tests/fuzz/fuzz_check.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "services/paths.h"
#include "app/recent.h"
#include "app/settings.h"
#include "app/shareddev.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/startup.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/twips.h"
#include "platform/winfolder.h"

// Answers every box at once and keeps nothing, so memory stays flat.
class FuzzDialogs : public Dialogs {
 public:
  int language = 2;
  int MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons buttons) override {
    return buttons == MsgButtons::OK ? kMsgOK : kMsgNo;
  }
  FileDialogResult ShowOpen(const FileDialogRequest&) override { return {}; }
  FileDialogResult ShowSave(const FileDialogRequest&) override { return {}; }
  std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
  int ChooseLanguage() override { return language; }
};

inline FuzzDialogs& FuzzBoxes() {
  static FuzzDialogs d;
  return d;
}

// The Windows folder of this process, made on first use.
inline const std::string& FuzzWinDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : P_tmpdir) + "/brv_fuzz_win_XXXXXX";
    if (!::mkdtemp(templ.data())) std::abort();
    SetWinFolder(templ);
    SetTwipsPerPixel(15);
    SetDialogs(&FuzzBoxes());
    return templ;
  }();
  return dir;
}

inline void FuzzWrite(const std::string& name, const std::string& bytes) {
  const std::string path = FuzzWinDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline void FuzzRemove(const std::string& name) { std::remove((FuzzWinDir() + "/" + name).c_str()); }

inline void FuzzResetState() {
  AppStateReset();
  MessagesReset();
  NameTablesReset();
  PathsReset();
  RecentReset();
  SettingsReset();
  SharedDevReset();
  gSharedDevLockWaitMs = 0;
  SharedInfoReset();
  SlotsReset();
  StartupReset();
  StringsReset();
  WinPosReset();
  ChannelsReset();
  MidiLinkReset();
  MonitorReset();
  SetFileFaultHook(nullptr);
}

// A valid settings file, so that a start reads it instead of asking.
inline std::string FuzzValidSettings() {
  std::string s = Nuls(46 * 250);
  MidAssign(s, 1, std::string("Brenvolta") + '\0');
  MidAssign(s, 25, Chr(2));
  return s;
}
