#include "app/menuupdate.h"

#include <initializer_list>

#include "app/appstate.h"
#include "services/childview.h"
#include "services/mainview.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "platform/twips.h"

namespace {

const char* const kContextItems[] = {"mnuIngrandisci", "mnuTaglia",  "mnuIncolla",  "mnuCopia",   "mnuSalva",
                                     "mnuSalvaAs",     "mnuLoadAll", "mnuLoadArr",  "mnuLoadSty", "mnuShowSty",
                                     "mnuLoadPrg",     "mnuShowPrg", "mnuEditArr",  "mnui40DBArr", "mnuCancella",
                                     "mnuDBArrApri",   "mnuAddAll"};

}  // namespace

WindowSize EnlargedSizeOfKind(int kind) {
  switch (kind) {
    case 2: case 3: return {gArrABBigHeight, gArrABBigWidth};
    case 4: case 5: case 6: case 7: case 8: return {gPcgAEBigHeight, gPcgAEBigWidth};
    case 9: case 10: return {gDrumBigHeight, gDrumBigWidth};
    case 12: return {6072, 4308};
    case 13: return {5916, 9228};
    case 14: case 25: return {5640, 9072};
    case 15: return {5532, 9288};
    case 16: return {5760, 8000};
    case 17: case 18: return {gStyABBigHeight, gStyABBigWidth};
    case 19: return {gArrUBigHeight, gArrUBigWidth};
    case 20: return {gArrNewBigHeight, gArrNewBigWidth};
    case 21: case 22: return {gPrgUNBigHeight, gPrgUNBigWidth};
    case 23: case 24: return {gStyUNBigHeight, gStyUNBigWidth};
    default: return {0, 0};
  }
}

namespace {

bool HasSelectedItem(const ChildView& child) {
  const int i = child.ListIndex();
  return i != -1 && child.ListSelected(i);
}

// Any of the 64 lines of a bank's list is selected: Copy has something to
// take.
bool AnyBankLineSelected(const ChildView& child) {
  for (int i = 0; i < 64; ++i)
    if (child.ListSelected(i)) return true;
  return false;
}

}  // namespace

void MenuUpdate() {
  if (gClosing) return;
  MainView* main = TheMainView();
  if (!main) return;
  for (const char* item : kContextItems) main->SetMenuEnabled(item, false);

  ChildView* child = main->ActiveChild();
  const int sum = gArrWinCount + gStyWinCount + gPrgWinCount + gToolWinCount + gGblWinCount;
  if (sum == 0 || !child || child->Unloading()) {
    main->SetMenuEnabled("mnuWindow", false);
    main->SetMenuEnabled("mnuChiudi", false);
    return;
  }
  main->SetMenuEnabled("mnuWindow", true);

  const std::string& tag = child->Tag();
  const bool readOnly = Asc(tag, 2) == 1 || main->MenuChecked("mnuRdOnly");
  main->SetMenuEnabled("mnuChiudi", true);

  // The child's size is read as a 16-bit value, as the records keep it.
  const int height = static_cast<int16_t>(child->HeightTwips());
  const int width = child->WidthTwips();
  const int kind = Asc(tag, 1);
  const WindowSize big = EnlargedSizeOfKind(kind);
  // Compared in pixels: a size in twips read back from the screen is
  // rounded to whole pixels.
  auto enlargeRule = [&] {
    main->SetMenuEnabled("mnuIngrandisci", TwipsToPixels(height) != TwipsToPixels(big.height) ||
                                               TwipsToPixels(width) != TwipsToPixels(big.width));
  };
  auto copy = [&](const char* item, const std::string& button) {
    main->SetMenuEnabled(item, child->ButtonEnabled(button));
  };

  switch (kind) {
    case 17: case 18: case 23: case 24: case 16: case 2: case 3:
    case 4: case 5: case 6: case 7: case 8:
      enlargeRule();
      break;
    case 13: case 15: case 9: case 10:
      enlargeRule();
      return;
    case 12:
      copy("mnuCancella", "CommDelete");
      copy("mnuDBArrApri", "CommApri");
      copy("mnuAddAll", "CommAddAll");
      // Cut deletes the selected entry: a line of the database, not a bank.
      if (HasSelectedItem(*child) && child->ListIndex() >= 2) main->SetMenuEnabled("mnuTaglia", true);
      enlargeRule();
      return;
    case 25: case 14:
      enlargeRule();
      if (!readOnly) main->SetMenuEnabled("mnuSalva", true);
      main->SetMenuEnabled("mnuSalvaAs", true);
      return;
    case 19:
      enlargeRule();
      copy("mnuLoadAll", "CommLoadAll");
      copy("mnuLoadArr", "CommLoadArr");
      copy("mnuLoadSty", "CommLoadSty");
      copy("mnuShowSty", "CommShowSty");
      copy("mnuLoadPrg", "CommLoadPrg");
      copy("mnuShowPrg", "CommShowPrg");
      copy("mnuEditArr", "CommEdit");
      copy("mnui40DBArr", "CommAdd");
      break;
    case 20:
      enlargeRule();
      copy("mnuLoadArr", "CommLoadArr");
      copy("mnuLoadSty", "CommLoadSty");
      break;
    case 21: case 22:
      enlargeRule();
      copy("mnuLoadPrg", "CommLoad");
      break;
    default:
      return;  // 11, 27, 28 and any other kind: nothing
  }

  if (!gClipText.empty()) gClipKind = Asc(gClipText, 1);

  switch (kind) {
    case 2: case 3:
      if (AnyBankLineSelected(*child)) main->SetMenuEnabled("mnuCopia", true);
      main->SetMenuEnabled("mnuSalvaAs", true);
      break;
    case 4: case 5: case 6: case 7: case 8:
      if (HasSelectedItem(*child)) main->SetMenuEnabled("mnuCopia", true);
      break;
    case 19: case 20: case 21: case 22: {
      // A read-only document is never saved in place; Save As writes another file.
      if (!readOnly) main->SetMenuEnabled("mnuSalva", true);
      main->SetMenuEnabled("mnuSalvaAs", true);
      if (!HasSelectedItem(*child)) break;
      const std::string text = RTrim(child->ListText(child->ListIndex()));
      if (text.size() > 2) {
        main->SetMenuEnabled("mnuCopia", true);
        if (!readOnly) main->SetMenuEnabled("mnuTaglia", true);
      } else if (!gClipText.empty() && !readOnly) {
        bool fits;
        if (kind == 19 || kind == 20)
          fits = gClipKind == 2 || gClipKind == 3 || gClipKind == 19 || gClipKind == 20;
        else
          fits = (gClipKind >= 4 && gClipKind <= 8) || gClipKind == 21 || gClipKind == 22;
        if (fits) main->SetMenuEnabled("mnuIncolla", true);
      }
      break;
    }
    case 23: case 24: {
      if (!readOnly) main->SetMenuEnabled("mnuSalva", true);
      main->SetMenuEnabled("mnuSalvaAs", true);
      for (int i = 0; i < 4; ++i)
        if (child->ButtonEnabled("CommLoadStyGrp_" + CStr(i))) main->SetMenuEnabled("mnuLoadSty", true);
      if (!HasSelectedItem(*child)) break;
      const int index = child->ListIndex();
      if (index == 4 || index == 9 || index == 14) break;
      const std::string text = RTrim(child->ListText(index));
      const bool emptySlot = text.size() == 2;
      if (emptySlot) main->SetMenuEnabled("mnuTaglia", false);
      const std::string name = emptySlot ? std::string() : Mid(text, 5);
      if (name == "- empty -" || emptySlot) {
        if (!gClipText.empty() && (gClipKind == 23 || gClipKind == 24) && !readOnly)
          main->SetMenuEnabled("mnuIncolla", true);
      } else {
        main->SetMenuEnabled("mnuCopia", true);
        if (!readOnly) main->SetMenuEnabled("mnuTaglia", true);
      }
      break;
    }
    default:
      break;
  }
}
