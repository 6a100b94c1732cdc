#include "services/strings.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Ids of 2-123 that hold no text in either language.
const std::set<int> kIdsWithoutText = {33, 34, 35, 36, 55, 56, 57};

class StringsTest : public ::testing::Test {
 protected:
  void SetUp() override { StringsReset(); }
  void TearDown() override { StringsReset(); }
};

TEST_F(StringsTest, EveryIdHasATextInBothLanguagesOrInNeither) {
  for (int id = 2; id <= 123; ++id) {
    SCOPED_TRACE(id);
    const bool expected = kIdsWithoutText.count(id) == 0;
    EXPECT_EQ(ResExists(id), expected);
    EXPECT_EQ(ResExists(id + 200), expected);
    EXPECT_EQ(LoadResString(id).empty(), !expected);
    EXPECT_EQ(LoadResString(id + 200).empty(), !expected);
    // Texts are Latin-1: no UTF-8 sequence of an accented letter is left.
    EXPECT_EQ(LoadResString(id).find('\xC3'), std::string::npos);
  }
}

TEST_F(StringsTest, IdsOutsideBothRangesHaveNoText) {
  for (int id : {-1, 0, 1, 124, 199, 200, 201, 324, 400}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(ResExists(id));
    EXPECT_EQ(LoadResString(id), "");
  }
}

struct TextCase {
  int id;
  const char* italian;
  const char* english;
};

TEST_F(StringsTest, TextsAreKeptByteForByteInBothLanguages) {
  const TextCase cases[] = {
      {2, "&File", "&File"},
      {8, "&Chiudi", "&Close"},
      {14, "Formato dati _ errato", "Error reading _"},  // the two differ in sense
      {16, "Non \xE8 ammessa pi\xF9 di una istanza del programma", "Not more than one instance is allowed"},
      {17, "Apertura di _", "Opening "},  // only the Italian text has a placeholder
      {30, "Informazioni su ", "About "},
      {40, "File r40DBArr assente", "File r40DBArr not found"},
      {52, "Il file \xE8 stato modificato", "The file has changed"},
      {66, "Il cambio avr\xE0 effetto alla prossima esecuzione del programma",
       "The change will take place next time you will run the programme"},
      {81, "SenzaNome", "Untitled"},
      {89, "Consentite non pi\xF9 di 10 applicazioni", "Not more than 10 applications Allowed "},
      {93, "File gi\xE0 aperto", "File already open"},
      {97, "Scegliere la directory del file aperto come directory di lavoro di r40DBArr ?",
       "Choose the directory of the opened file as working directory of r40DBArr?"},
      {105, "Lettura di ", "Reading "},
      {111, "Apertura di ", "Opening "},
      {115, "Salva ", "Saving "},
      {119, "La lunghezza di un gruppo di 4 Styles deve essere inferiore a 65496 bytes",
       "The length of a 4 Styles group must be less than 65496 bytes"},
      {122, "Sola Lettura", "Read Only"},
      {123, "Ingrandisci", "Maximize"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(LoadResString(c.id), c.italian);
    EXPECT_EQ(LoadResString(c.id + 200), c.english);
  }
}

TEST_F(StringsTest, ResFollowsTheLanguageBase) {
  EXPECT_EQ(gLangBase, 0);
  EXPECT_EQ(Res(53), "Salvare le modifiche ?");
  gLangBase = 200;
  EXPECT_EQ(Res(53), "Save changes ?");
  EXPECT_EQ(Res(33), "");
  gLangSel = 2;
  StringsReset();
  EXPECT_EQ(gLangBase, 0);
  EXPECT_EQ(gLangSel, 0);
  EXPECT_EQ(Res(53), "Salvare le modifiche ?");
}

TEST_F(StringsTest, AppTitleKeepsItsTrailingBlank) {
  EXPECT_EQ(kAppTitle, "Brenvolta - Brenvolta v 2.0 ");
}

}  // namespace
