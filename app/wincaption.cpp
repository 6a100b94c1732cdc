#include "app/wincaption.h"

#include "services/paths.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"

namespace {

// " - MIDI Channel" and the channel (1-16) of the byte at pos, with the
// leading blank of a positive number. The byte may come from a file: only
// its low nibble is the channel.
std::string ChannelText(const std::string& tag, int pos) {
  return " - MIDI Channel" + Str((Asc(tag, pos) & 0x0F) + 1);
}

}  // namespace

std::string WinTagPath(const std::string& tag) { return RTrim(Mid(tag, 21, 238)); }

std::string WinCaption(const std::string& tag) {
  const std::string slot = CStr(Asc(tag, 15));
  const std::string path = WinTagPath(tag);
  const std::string name = PathFileName(path);
  const std::string ext = Asc(tag, 19) == 1 ? ".pgg" : ".prg";
  const std::string suffix = Asc(tag, 2) == 1 ? " - " + Res(122) : std::string();
  const std::string slotText = " (" + slot + ")";

  const int kind = Asc(tag, 1);
  switch (kind) {
    case kKindArrA: case kKindArrB: case kKindStyA: case kKindStyB:
      return name + suffix;
    case 4: case 5: case 6: case 7: case 8:
      return Mid(tag, 21, 5) + ChannelText(tag, 16) + suffix;
    case kKindDrum: case kKindPerc:
      return RTrim(Mid(tag, 21, 24)) + ChannelText(tag, 16) + suffix;
    case kKindGblParam:
      return path;
    case kKindArrFile:
      return "File Arr - " + name + ".arr" + slotText + suffix;
    case kKindArrNew:
      return Res(80) + " - " + name + ".arr" + slotText;
    case kKindPrgFile:
      return "File Prg - " + name + ext + slotText + ChannelText(tag, 286) + suffix;
    case kKindPrgNew:
      return Res(88) + " - " + name + ext + slotText + ChannelText(tag, 286);
    case kKindStyFile:
      return "File Sty - " + name + ".sty" + slotText + suffix;
    case kKindStyNew:
      // "Untitled" until Save As gives it a name (character 18 cleared).
      return Res(121) + " - " + (Asc(tag, 18) == 0 ? name : Res(81)) + ".sty" + slotText;
    case kKindGblFile:
      return "File Gbl - " + name + ".gbl" + slotText + suffix;
    default:
      return std::string();
  }
}
