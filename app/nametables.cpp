#include "app/nametables.h"

#include <string_view>

#include "core/bytes.h"

std::string gPrgNames[9];
std::string gDrumKitNames;
std::string gStyNames[128];
int16_t gGblFuncCodes[52] = {};

namespace {

constexpr int kNameLen = 16;

struct GblFuncRow {
  std::string_view text;
  int16_t code;
};

#include "resources/name_tables.inc"

// A name as the tables hold it: Latin-1, blank-padded to 16 characters.
std::string TableName(std::string_view utf8) {
  return PadRight(Utf8ToLatin1(utf8), kNameLen);
}

void BuildGblFuncCodes() {
  for (int i = 0; i < 52; ++i) gGblFuncCodes[i] = kGblFuncRows[i].code;
}

void BuildPrgBank(int kind) {
  std::string names;
  for (std::string_view name : kPrgBankNames[kind - 4]) names += TableName(name);
  gPrgNames[kind] = names;
}

void BuildDrumKits() {
  gDrumKitNames.clear();
  for (std::string_view name : kDrumKitNameList) gDrumKitNames += TableName(name);
}

void BuildStyles() {
  for (int s = 0; s < 128; ++s) gStyNames[s] = TableName(kStyNameList[s]);
}

std::array<std::string, 52> GblFuncListTexts() {
  std::array<std::string, 52> texts;
  for (int i = 0; i < 52; ++i) texts[i] = Utf8ToLatin1(kGblFuncRows[i].text);
  return texts;
}

}  // namespace

const std::array<std::string, 52> kGblFuncListTexts = GblFuncListTexts();

std::string PrgBankName(int bankKind, int p) {
  return PadRight(Mid(gPrgNames[bankKind], kNameLen * p + 1, kNameLen), kNameLen);
}

void NameTablesBuild() {
  BuildGblFuncCodes();
  for (int kind = 4; kind <= 8; ++kind) BuildPrgBank(kind);
  BuildDrumKits();
  BuildStyles();
}

void NameTablesReset() {
  for (std::string& bank : gPrgNames) bank.clear();
  gDrumKitNames.clear();
  for (std::string& name : gStyNames) name.clear();
  for (int16_t& code : gGblFuncCodes) code = 0;
}
