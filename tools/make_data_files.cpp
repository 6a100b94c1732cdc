// Makes the data files of the program folder from the built-in name tables:
//   brv_make_data_files <folder>
#include <cstdio>
#include <string>

#include "app/nametables.h"
#include "files/datafiles.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
    return 2;
  }
  NameTablesBuild();
  const int err = MakeDataFiles(argv[1], [](int s) { return gStyNames[s]; });
  if (err != 0) {
    std::fprintf(stderr, "%s: cannot write the data files into %s (file error %d)\n", argv[0], argv[1], err);
    return 1;
  }
  return 0;
}
