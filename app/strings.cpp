// Placeholder until the string table lands.
#include "app/strings.h"

int gLangBase = 0;
int gLangSel = 0;
const std::string kAppTitle = "Brenvolta - Brenvolta v 2.0 ";

std::string LoadResString(int) { return std::string(); }
std::string Res(int id) { return LoadResString(id + gLangBase); }
bool ResExists(int) { return false; }
void StringsReset() {
  gLangBase = 0;
  gLangSel = 0;
}
