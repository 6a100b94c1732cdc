#include "app/editorpick.h"

#include "app/arrrec.h"
#include "app/nametables.h"
#include "core/bytes.h"
#include "files/prgfile.h"
#include "midi/callup.h"

namespace {

ArrEditorPicks* sPicks = nullptr;

constexpr int kNameLen = 16;

struct Pick {
  int program = 0;
  int bank = 0;           // the bank code, as the bank-select LSB of the call-up
  std::string name;       // 16 characters
  std::string prefix;     // "A " to "E ", "Dr ", "U "
  int place = 0;          // the place 0-63 in its list of 64 (0-15 for a kit)
};

// An internal program: bank code 0 (banks A, B), 1 (C, D) or 2 (E) and
// program change p; banks B and D hold the programs 64-127.
bool InternalProgram(int bank, int p, Pick& pick) {
  if (bank < 0 || bank > 2 || p < 0 || p > 127 || (bank == 2 && p > 63)) return false;
  const int bankKind = 4 + 2 * bank + (p >= 64 ? 1 : 0);
  pick.program = p;
  pick.bank = bank;
  pick.place = p % 64;
  pick.name = PrgBankName(bankKind, pick.place);
  pick.prefix = std::string(1, static_cast<char>('A' + bankKind - 4)) + " ";
  return true;
}

// A kit by its place 0-15 in the kit table.
void Kit(int place, const std::string& name, Pick& pick) {
  pick.program = place;
  pick.bank = 4;
  pick.place = place;
  pick.name = PadRight(Left(name, kNameLen), kNameLen);
  pick.prefix = "Dr ";
}

std::string KitName(int place) { return Mid(gDrumKitNames, kNameLen * place + 1, kNameLen); }

// The place of a kit's program change in the kit table, -1 for none.
int KitPlace(int program) {
  for (int q = 0; q < 16; ++q)
    if (kKitPrograms[q] == program) return q;
  return -1;
}

// Line index of a program-file window: an ordinary record is the file's
// own program; a reference record names an internal program or kit.
bool FileProgram(int index, const std::string& tag, Pick& pick) {
  const std::string rec = PadRight(Mid(tag, PrgWinRecPos(index), kPrgRecLen), kPrgRecLen, '\0');
  if (Asc(rec, 1) != 1) {
    pick.program = index;
    pick.bank = 3;
    pick.place = index;
    pick.name = Left(rec, kNameLen);
    pick.prefix = "U ";
    return true;
  }
  const int bank = Asc(rec, 2) & 0x7F;
  const int p = Asc(rec, 3) & 0x7F;
  if (bank == 4) {
    const int place = KitPlace(p);
    if (place < 0) return false;
    Kit(place, Mid(rec, 4, kNameLen), pick);
    return true;
  }
  return InternalProgram(bank, p, pick);
}

bool PickOf(int index, const std::string& tag, Pick& pick) {
  const int kind = Asc(tag, 1);
  switch (kind) {
    case 4: case 5: case 6: case 7: case 8:
      if (index < 0 || index > 63) return false;
      return InternalProgram((kind - 4) / 2, index + (kind == 5 || kind == 7 ? 64 : 0), pick);
    case 9: case 10:
      if (index < 0 || index > 15) return false;
      Kit(index, KitName(index), pick);
      return true;
    case 21: case 22:
      if (index < 0 || index > 63) return false;
      return FileProgram(index, tag, pick);
    default:
      return false;
  }
}

}  // namespace

std::string ProgramPlaceText(const std::string& prefix, int place) {
  return prefix + Str(place / 8 + 1) + LTrim(Str(place % 8 + 1));
}

TrackProgramText TrackProgramShown(int t) {
  const int p = Asc(gArrEditBuf, 40 + 8 * t);
  const int code = Asc(gArrEditBuf, 41 + 8 * t);
  const int q = p < 64 ? p : p - 64;
  TrackProgramText shown;
  std::string prefix;
  switch (code) {
    case 0:
    case 1:
      if (p <= 127) {
        const int bankKind = 4 + 2 * code + (p < 64 ? 0 : 1);
        shown.name = Mid(gPrgNames[bankKind], kNameLen * q + 1, kNameLen);
        prefix = std::string(1, static_cast<char>('A' + bankKind - 4)) + " ";
      }
      break;
    case 2:
      if (p <= 127) {
        shown.name = Mid(gPrgNames[8], kNameLen * q + 1, kNameLen);
        prefix = "E ";
      }
      break;
    case 3:
      shown.name = Mid(gArrEditBuf, 181 + kNameLen * t, kNameLen);
      prefix = "U ";
      break;
    case 4:
      if (p <= 15) {
        shown.name = KitName(p);
        prefix = "Dr ";
      }
      break;
    default:
      break;
  }
  if (!RTrim(CutAtNul(shown.name)).empty()) shown.place = ProgramPlaceText(prefix, q);
  return shown;
}

void SetArrEditorPicks(ArrEditorPicks* picks) { sPicks = picks; }
ArrEditorPicks* TheArrEditorPicks() { return sPicks; }

int PrgPickToEditor(int index, const std::string& tag) {
  if (!sPicks || !sPicks->EditorOpen()) return 0;
  const int field = EditArrLowestField();
  // Only a program field takes a program: the name, style and bank fields
  // hold other bytes of the record.
  if (field < 2 || field % 2 != 0) return 0;
  Pick pick;
  if (!PickOf(index, tag, pick)) return 0;
  const int t = (field - 2) / 2;
  MidAssign(gArrEditBuf, 40 + 8 * t, Chr(pick.program));
  MidAssign(gArrEditBuf, 41 + 8 * t, Chr(pick.bank));
  MidAssign(gArrEditBuf, 181 + kNameLen * t, pick.name);
  sPicks->SetFieldText(field, pick.name);
  sPicks->SetFieldText(field + 1, ProgramPlaceText(pick.prefix, pick.place));
  return 1;
}

int EditArrStySet(int listIndex, const std::string& tag) {
  if (!sPicks || !sPicks->EditorOpen()) return 0;
  return sPicks->EditArrStySet(listIndex, tag) == 1 ? 1 : 0;
}

void EditArrFill() {
  if (sPicks && sPicks->EditorOpen()) sPicks->EditArrFill();
}

void EditorPickReset() { sPicks = nullptr; }
