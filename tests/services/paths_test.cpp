#include "services/paths.h"

#include <gtest/gtest.h>

#include "tests/fixtures/appfixture.h"

class PathsTest : public AppFixture {};

TEST_F(PathsTest, FolderAndFileName) {
  struct Case {
    const char* path;
    const char* dir;
    const char* name;
  };
  const Case cases[] = {
      {"/d/a/b.sty ", "/d/a", "b.sty"},
      {"/d/a/", "/d/a", ""},
      {"/top", "", "top"},
      {"no separator  ", "", "no separator"},
      {"", "", ""},
      {"rel/dir/name", "rel/dir", "name"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathDir(c.path), c.dir) << c.path;
    EXPECT_EQ(PathFileName(c.path), c.name) << c.path;
  }
}

TEST_F(PathsTest, FileTypeOfPathByItsExtension) {
  struct Case {
    const char* path;
    int kind;
    const char* ext;
  };
  const Case cases[] = {
      {"/a/live.ARR", 1, "arr"}, {"/a/b.Sty", 2, "sty"}, {"x.prg", 3, "prg"},   {"x.pgg", 4, "pgg"},
      {"/g/x.gbl", 5, "gbl"},    {"/a/b.txt", 0, "txt"}, {"/a/song.midi", 0, "   "}, {"/a/b.ar", 0, "   "},
      {"arr", 1, "arr"},         {"/arr", 0, "   "},     {"", 0, "   "},        {"/a.b/noext", 0, "   "},
  };
  for (const Case& c : cases) {
    gCurExt = "zzz";
    EXPECT_EQ(FileTypeOfPath(c.path), c.kind) << c.path;
    EXPECT_EQ(gCurExt, c.ext) << c.path;
  }
}
