// The string table, served from the built-in data in resources/strings.inc.
#include "services/strings.h"

#include <map>
#include <string_view>

#include "core/bytes.h"

int gLangBase = 0;
int gLangSel = 0;
const std::string kAppTitle = "Brenvolta - Brenvolta v 2.0 ";

namespace {

struct StringRow {
  int id;
  std::string_view utf8;
};

constexpr StringRow kStringRows[] = {
#include "resources/strings.inc"
};

// A text added under an id another text already has would hide one of the
// two without a word (the table keeps the first): the build refuses it.
constexpr bool IdsUnique() {
  constexpr size_t n = sizeof kStringRows / sizeof kStringRows[0];
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (kStringRows[i].id == kStringRows[j].id) return false;
  return true;
}
static_assert(IdsUnique(), "two texts of the string table share an id");

// The table by absolute id, in Latin-1, built on first use.
const std::map<int, std::string>& Table() {
  static const std::map<int, std::string> table = [] {
    std::map<int, std::string> t;
    for (const StringRow& row : kStringRows) t.emplace(row.id, Utf8ToLatin1(row.utf8));
    return t;
  }();
  return table;
}

}  // namespace

std::string LoadResString(int id) {
  const auto& table = Table();
  const auto it = table.find(id);
  return it == table.end() ? std::string() : it->second;
}

std::string Res(int id) {
  return LoadResString(id + gLangBase);
}

bool ResExists(int id) {
  return Table().count(id) != 0;
}

void StringsReset() {
  gLangBase = 0;
  gLangSel = 0;
}
