#include "app/clipedit.h"

#include "app/arrrec.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/nametables.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "files/prgfile.h"
#include "files/stygrp.h"
#include "services/childview.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/strings.h"

int gCutKind = 0;

namespace {

constexpr int kEntryLen = 21;        // copy mark and 20 characters of line text
constexpr int kLineTextLen = 20;
constexpr int kArrEntries = 10799;   // entry table of the arrangement windows
constexpr int kPrgBankEntries = 30;  // of the program-bank windows
constexpr int kPrgEntries = 30751;   // of the program-file windows
constexpr int kStyEntries = 271;     // of the style windows
constexpr int kLines = 64;           // arrangement and program lists
constexpr int kStyLines = 19;        // style list: 16 slots, 3 separators
constexpr int kPrgSignaturePos = 271;
// The box of a group style that the source cannot supply.
const char* const kNoStyleFileTitle = "File .sty assente";

int EntryPos(int base, int line) { return base + kEntryLen * line; }

// The active window and its document; no document without a window.
std::string* ActiveDoc(ChildView*& window) {
  window = MainActiveChild();
  return window ? window->MutableTag() : nullptr;
}

// The active window's document for a paste: only while the clipboard holds
// lines of a kind that fits (gClipKind is taken from it again).
std::string* PasteTarget(ChildView*& window, bool (*fits)(int clipKind)) {
  std::string* doc = ActiveDoc(window);
  if (!doc || gClipText.empty()) return nullptr;
  gClipKind = Asc(gClipText, 1);
  return fits(gClipKind) ? doc : nullptr;
}

bool IsArrBank(int kind) { return kind == kKindArrA || kind == kKindArrB; }
bool IsPrgBank(int kind) { return kind >= kKindPrgA && kind <= kKindPrgE; }
bool IsArrDoc(int kind) { return kind == kKindArrFile || kind == kKindArrNew; }
bool IsPrgDoc(int kind) { return kind == kKindPrgFile || kind == kKindPrgNew; }
bool IsStyDoc(int kind) { return kind == kKindStyFile || kind == kKindStyNew; }

// The item-entry table of a window kind: its first entry and its lines; no
// lines for a kind without one.
struct EntryTable {
  int base = 0;
  int lines = 0;
};
EntryTable EntryTableOf(int kind) {
  if (IsArrBank(kind) || IsArrDoc(kind)) return {kArrEntries, kLines};
  if (IsStyDoc(kind)) return {kStyEntries, kStyLines};
  if (IsPrgBank(kind)) return {kPrgBankEntries, kLines};
  if (IsPrgDoc(kind)) return {kPrgEntries, kLines};
  return {};
}

// The walk over the lines of a paste target (arrangement and program
// lists): paste(j, L) for each line j (0-63) marked in the clipboard's
// table from base, L the target line. With several lines selected it fills
// selected lines only, in order, and stops at the first unselected one;
// with one it fills the lines from it on. It stops at the list's end and at
// an occupied line (a paste never overwrites), and when paste answers
// false. L moves on after every marked line, pasted or not. Without a
// selected line nothing is pasted.
template <class Paste>
void WalkTargets(const ChildView& target, int base, Paste paste) {
  int selected = 0, target0 = -1;
  for (int i = 0; i < kLines; ++i) {
    if (!target.ListSelected(i)) continue;
    if (target0 < 0) target0 = i;
    ++selected;
  }
  if (selected == 0) return;
  int L = target0;
  for (int j = 0; j < kLines; ++j) {
    if (Asc(gClipText, EntryPos(base, j)) == 0) continue;
    if (L < 0 || L > kLines - 1) return;
    if (selected > 1 && !target.ListSelected(L)) return;
    if (RTrim(target.ListText(L)).size() > 2) return;
    if (!paste(j, L)) return;
    ++L;
  }
}

// The slot lines of a style list in order: visit(line, slot) for the 16
// slots, the bank separators (lines 4, 9, 14) left out; visit answers false
// to stop.
template <class Visit>
void ForEachSlotLine(Visit visit) {
  for (int slot = 0; slot < kStySlotCount; ++slot)
    if (!visit(StyIdxMap(slot), slot)) return;
}

// The signature of a program document by its records: "KPGG" and a .pgg
// file (character 19 Chr(1)) while any record is a reference to an internal
// program (first byte 1), else "KORG" and a .prg file.
void PrgSignature(std::string& tag) {
  bool reference = false;
  for (int n = 0; n < kLines && !reference; ++n) reference = Asc(tag, PrgWinRecPos(n)) == 1;
  MidAssign(tag, kPrgSignaturePos, reference ? "KPGG" : "KORG");
  MidAssign(tag, 19, Chr(reference ? 1 : 0));
}

bool AnyRecordInUse(const std::string& tag, int (*recPos)(int)) {
  for (int n = 0; n < kLines; ++n)
    if (Asc(tag, recPos(n)) != 0) return true;
  return false;
}

// A style window shows the size of the slot, of its bank (both followed by
// one blank) and its bank's Load Styles is on while the bank holds data.
void ShowSlotSizes(ChildView& window, int slot, const std::string& group) {
  const int bank = slot / 4;
  const int bankSize = StyGrpBankSize(slot, group);
  window.SetBoxText("Text1_" + CStr(slot), CStr(StyGrpSlotLen(slot, group)) + " ");
  window.SetBoxText("Text2_" + CStr(bank), CStr(bankSize) + " ");
  window.SetButtonEnabled("CommLoadStyGrp_" + CStr(bank), bankSize >= 1);
}

// The style window that shows an arrangement window's own group (opened by
// that window's Show Styles; found by the full path) takes the group the
// arrangement window now holds and closes without a prompt: the
// arrangement window holds every change and saves it. Its Show Styles step
// is then started to open it again with the same place (gStyChanged, in
// the slot left in gStySlotIdx).
void MirrorToStyleWindow(ChildView& arrWindow, const std::string& tag) {
  gArrSlotIdx = Asc(tag, 15);
  gStySlotIdx = StyWinFind(WinTagPath(tag));
  gStyChanged = 0;
  if (gStySlotIdx <= 0) return;
  gStySlotCur = gStySlots[gStySlotIdx];
  if (gStySlotCur.FromArr != 1) return;
  MainView* main = TheMainView();
  ChildView* styWindow = main ? main->ChildOfKind(kKindStyFile, gStySlotIdx) : nullptr;
  if (!styWindow) return;
  if (std::string* styTag = styWindow->MutableTag())
    *styTag = Left(*styTag, kStyWinGrpBase - 1) + Mid(tag, kArrWinGrpBase);
  styWindow->UnloadNow();
  gStyChanged = 1;
  arrWindow.StartTimer("TimerShowSty");
}

// The arrangement window whose group a style window shows (a style-file
// window opened by Show Styles; found by the full path) takes the style
// window's new group; it writes its style file on save while the group
// holds a style.
void MirrorToArrWindow(const std::string& styTag) {
  if (Asc(styTag, 1) != kKindStyFile) return;
  gStySlotIdx = Asc(styTag, 15);
  if (gStySlotIdx < 1 || gStySlotIdx > 8) return;
  gStySlotCur = gStySlots[gStySlotIdx];
  if (gStySlotCur.FromArr != 1) return;
  const int slot = ArrWinFind(WinTagPath(styTag));
  MainView* main = TheMainView();
  ChildView* arrWindow = slot != 0 && main ? main->ChildOfKind(kKindArrFile, slot) : nullptr;
  std::string* doc = arrWindow ? arrWindow->MutableTag() : nullptr;
  if (!doc) return;
  const std::string group = Mid(styTag, kStyWinGrpBase);
  *doc = Left(*doc, kArrWinGrpBase - 1) + group;
  MidAssign(*doc, 10, Chr(1));
  if (StyGrpHasStyle(group) == 1) MidAssign(*doc, 9, Chr(2));
}

// The end of a style paste or cut: the window's document takes the new
// group, Text3 the group's size, the arrangement window the group.
void FinishStyleEdit(ChildView& window, std::string* doc, const std::string& tag, const std::string& group) {
  *doc = Left(tag, kStyWinGrpBase - 1) + group;
  window.SetBoxText("Text3", CStr(static_cast<long long>(group.size())));
  MirrorToArrWindow(*doc);
  MenuUpdate();
}

}  // namespace

// ---- Copy ------------------------------------------------------------------

void CopyLines() {
  ChildView* window = MainActiveChild();
  if (!window) return;
  const std::string& tag = window->Tag();
  const int kind = Asc(tag, 1);
  if (kind == kKindEditDBArr) {
    gClipKind = kind;
    gClipText = tag;
    return;
  }
  const EntryTable table = EntryTableOf(kind);
  if (table.lines == 0) return;  // no entry table: the clipboard stays
  gClipKind = kind;
  gClipText = tag;
  for (int i = 0; i < table.lines; ++i) {
    const int p = EntryPos(table.base, i);
    // The whole field is written, so no text of an earlier Copy stays
    // behind a shorter line; the program bank's last entry stays short.
    MidAssign(gClipText, p + 1, PadRight(window->ListText(i), kLineTextLen));
    MidAssign(gClipText, p, Chr(window->ListSelected(i) ? 1 : 0));
  }
  if (std::string* doc = window->MutableTag()) *doc = gClipText;
}

bool RefusedReadOnly(const ChildView& child) {
  const std::string& tag = child.Tag();
  const int kind = Asc(tag, 1);
  if (kind < kKindArrFile || kind > kKindStyNew) return false;
  // The preference protects every open document, as the menu shows it.
  const MainView* main = TheMainView();
  if (Asc(tag, 2) != 1 && !(main && main->MenuChecked("mnuRdOnly"))) return false;
  ShowMsg(17, WinCaption(tag), "");
  return true;
}

bool AnyLineSelected(const ChildView& child) {
  for (int i = 0; i < kLines; ++i)
    if (child.ListSelected(i)) return true;
  return false;
}

// ---- Paste -----------------------------------------------------------------

void PasteArr() {
  ChildView* window = nullptr;
  std::string* doc = PasteTarget(window, [](int clipKind) { return IsArrBank(clipKind) || IsArrDoc(clipKind); });
  if (!doc) return;

  std::string T = *doc;
  const int kind = Asc(T, 1);
  std::string D = Mid(T, kArrWinGrpBase);
  // The instrument's banks carry no style group.
  const bool groupSource = IsArrDoc(gClipKind);
  std::string C = groupSource ? Mid(gClipText, kArrWinGrpBase) : std::string();
  const std::string title = Res(83);
  bool styleAdded = false;

  WalkTargets(*window, kArrEntries, [&](int j, int L) {
    const int src = ArrRecPos(j);
    // The record tells whether it plays a style of its file's own group;
    // the line shows it by the same test.
    const bool groupStyle = Asc(gClipText, src + 18) == 1;
    gPasteName = PadRight(Mid(gClipText, EntryPos(kArrEntries, j) + 1, kLineTextLen), kLineTextLen);
    MidAssign(gPasteName, 3, groupStyle ? " +" : "  ");
    auto pasteRecord = [&] {
      ArrRecCopy(j, L, T);
      MidAssign(T, 4, Chr(1));
      window->SetButtonEnabled("CommLoadArr", true);
      if (kind == kKindArrFile) window->SetButtonEnabled("CommLoadAll", true);
    };
    if (!groupStyle) {
      pasteRecord();
      return true;
    }
    int s = Asc(gClipText, src + 17);
    if (!groupSource || Asc(gClipText, 9) == 0 || s >= kStySlotCount || StyGrpSlotLen(s, C) == 0) {
      // The source has no such style: what was pasted so far stays.
      ShowMsg(0, kNoStyleFileTitle, "");
      return false;
    }
    int slotOut = 0, mode = 100;
    const int result = StyGrpPutSlot(slotOut, s, C, mode, D);
    const int PT = ArrRecPos(L);
    switch (result) {
      case 0:
        T = Left(T, kArrWinGrpBase - 1) + D;
        pasteRecord();
        MidAssign(T, 10, Chr(1));
        MidAssign(T, 9, Chr(2));
        MidAssign(T, PT + 17, Chr(slotOut));
        MidAssign(T, PT + 18, Chr(1));
        window->SetButtonEnabled("CommLoadSty", true);
        if (kind == kKindArrFile) window->SetButtonEnabled("CommShowSty", true);
        styleAdded = true;
        break;
      case 1:  // the group holds a style of that name already
        pasteRecord();
        MidAssign(T, PT + 17, Chr(slotOut));
        MidAssign(T, PT + 18, Chr(1));
        break;
      case 2:
        ShowMsg(3, title, "");
        break;
      default:
        ShowMsg(36, title, "");
        break;
    }
    return true;
  });

  *doc = T;
  StyListFill(T);
  if (styleAdded && kind == kKindArrFile) MirrorToStyleWindow(*window, T);
  MenuUpdate();
}

void PastePrg() {
  ChildView* window = nullptr;
  std::string* doc = PasteTarget(window, [](int clipKind) { return IsPrgBank(clipKind) || IsPrgDoc(clipKind); });
  if (!doc || !IsPrgDoc(gCutKind)) return;
  const bool bankSource = IsPrgBank(gClipKind);

  std::string T = *doc;
  const int base = bankSource ? kPrgBankEntries : kPrgEntries;
  WalkTargets(*window, base, [&](int j, int L) {
    const int PT = PrgWinRecPos(L);
    if (bankSource) {
      // A reference to the internal program: bank code 0 for banks A and
      // B, 1 for C and D, 2 for E; banks B and D hold programs 64-127. The
      // name comes whole from the name table.
      const int bank = gClipKind - kKindPrgA;
      const std::string name = PrgBankName(gClipKind, j);
      std::string rec = Nuls(kPrgRecLen);
      MidAssign(rec, 1, Chr(1) + Chr(bank / 2) + Chr(bank % 2 == 1 ? j + 64 : j) + name);
      MidAssign(T, PT, rec);
      gPasteName = " *" + name;
    } else {
      MidAssign(T, PT, PadRight(Mid(gClipText, PrgWinRecPos(j), kPrgRecLen), kPrgRecLen, '\0'));
      gPasteName = PadRight(Mid(gClipText, EntryPos(base, j) + 3, 18), 18);
    }
    window->SetListText(L, Left(window->ListText(L), 2) + gPasteName);
    MidAssign(T, 7, Chr(1));
    window->SetButtonEnabled("CommLoad", true);
    return true;
  });

  PrgSignature(T);
  gPrgSlotIdx = Asc(T, 15);
  *doc = T;
  window->SetWindowCaption(WinCaption(T));
  MenuUpdate();
}

void PasteSty() {
  ChildView* window = nullptr;
  std::string* doc = PasteTarget(window, IsStyDoc);
  if (!doc) return;

  int t = -1;  // the slot of the first selected line
  ForEachSlotLine([&](int line, int slot) {
    if (window->ListSelected(line)) t = slot;
    return t < 0;
  });
  if (t < 0) return;

  std::string tag = *doc;
  std::string D = Mid(tag, kStyWinGrpBase);
  std::string C = Mid(gClipText, kStyWinGrpBase);
  ForEachSlotLine([&](int line, int slot) {
    const int entry = EntryPos(kStyEntries, line);
    if (Asc(gClipText, entry) == 0) return true;
    int slotOut = 0, s = slot, mode = t;
    const int result = StyGrpPutSlot(slotOut, s, C, mode, D);
    if (result == 3) {
      ShowMsg(36, Res(120), "");
      return false;
    }
    if (result != 0) return true;  // an absent source slot is skipped
    const int target = StyIdxMap(t);
    window->SetListText(target, Left(window->ListText(target), 4) + RTrim(Mid(gClipText, entry + 5, 16)));
    ShowSlotSizes(*window, t, D);
    MidAssign(tag, 10, Chr(1));
    return ++t < kStySlotCount;  // a paste never writes past slot 15
  });
  FinishStyleEdit(*window, doc, tag, D);
}

// ---- Cut -------------------------------------------------------------------

void CutArr() {
  ChildView* window = nullptr;
  std::string* doc = ActiveDoc(window);
  if (!doc) return;
  std::string T = *doc;
  gCutKind = Asc(T, 1);
  std::string G = Mid(T, kArrWinGrpBase);
  bool styleDeleted = false;

  for (int j = 0; j < kLines; ++j) {
    if (Asc(T, EntryPos(kArrEntries, j)) == 0) continue;
    const int p = ArrRecPos(j);
    const int s = Asc(T, p + 17);
    // A factory style, or a slot the window's own group lacks (a number no
    // group has, or a slot of length 0): nothing to free, and no empty
    // style is put into a slot the group does not hold.
    if (Asc(T, p + 18) != 1 || StyGrpSlotLen(s, G) == 0) {
      ArrRecClear(j, T);
      MidAssign(T, 4, Chr(1));
      continue;
    }
    int users = 0;
    for (int r = 0; r < kLines && users < 2; ++r)
      if (Asc(T, ArrRecPos(r) + 18) == 1 && Asc(T, ArrRecPos(r) + 17) == s) ++users;
    ArrRecClear(j, T);
    MidAssign(T, 4, Chr(1));
    if (users >= 2) continue;  // another arrangement still plays the style
    if (Asc(T, 9) == 0) {
      ShowMsg(0, kNoStyleFileTitle, "");
      continue;
    }
    // The template's empty style takes the slot.
    int slotOut = 1, srcSlot = 0, mode = s;
    std::string none;
    if (StyGrpPutSlot(slotOut, srcSlot, none, mode, G) == 0) {
      styleDeleted = true;
      T = Left(T, kArrWinGrpBase - 1) + G;
      MidAssign(T, 10, Chr(1));
    }
  }

  StyListFill(T);
  const bool inUse = AnyRecordInUse(T, ArrRecPos);
  window->SetButtonEnabled("CommLoadArr", inUse);
  if (gCutKind == kKindArrFile) window->SetButtonEnabled("CommLoadAll", true);
  window->UpdateEditCommand();
  if (!inUse) MidAssign(T, 3, Chr(0));
  if (styleDeleted && Asc(T, 9) != 0) {
    // Save writes the style file while a style is left, and deletes it
    // when none is.
    const bool styles = StyGrpHasStyle(Mid(T, kArrWinGrpBase)) == 1;
    window->SetButtonEnabled("CommLoadSty", styles);
    MidAssign(T, 9, Chr(styles ? 2 : 1));
  }
  *doc = T;
  if (styleDeleted && gCutKind == kKindArrFile) MirrorToStyleWindow(*window, T);
  MenuUpdate();
}

void CutPrg() {
  ChildView* window = nullptr;
  std::string* doc = ActiveDoc(window);
  if (!doc) return;
  std::string T = *doc;
  gCutKind = Asc(T, 1);
  for (int i = 0; i < kLines; ++i) {
    const int e = EntryPos(kPrgEntries, i);
    if (Asc(T, e) == 0) continue;
    MidAssign(T, PrgWinRecPos(i), Nuls(kPrgRecLen));
    MidAssign(T, e, Chr(0) + Space(kLineTextLen));
    MidAssign(T, 7, Chr(1));
    window->SetListText(i, Left(window->ListText(i), 2));
  }
  const bool inUse = AnyRecordInUse(T, PrgWinRecPos);
  window->SetButtonEnabled("CommLoad", inUse);
  PrgSignature(T);
  if (inUse) {
    gPrgSlotIdx = Asc(T, 15);
  } else {
    MidAssign(T, 6, Chr(0));
    MidAssign(T, 7, Chr(1));
  }
  *doc = T;
  window->SetWindowCaption(WinCaption(T));
  MenuUpdate();
}

void CutSty() {
  ChildView* window = nullptr;
  std::string* doc = ActiveDoc(window);
  if (!doc) return;
  std::string tag = *doc;
  std::string D = Mid(tag, kStyWinGrpBase);
  ForEachSlotLine([&](int line, int slot) {
    if (!window->ListSelected(line)) return true;
    int slotOut = 1, srcSlot = 0, mode = slot;
    std::string none;
    const int result = StyGrpPutSlot(slotOut, srcSlot, none, mode, D);
    if (result == 3) return false;  // the empty style would overfill its bank
    if (result != 0) return true;
    window->SetListText(line, Left(window->ListText(line), 4) + kStyEmptyName);
    ShowSlotSizes(*window, slot, D);
    MidAssign(tag, 10, Chr(1));
    return true;
  });
  FinishStyleEdit(*window, doc, tag, D);
}

void ClipEditReset() { gCutKind = 0; }
