// Opens while another process saves: a child saves an arrangement file and
// its style file over and over, each save a new version named in both
// files; the program, as Main starts it (offscreen, virtual MIDI back end,
// scripted dialogs), opens the arrangement file with File > Open Arr over
// and over meanwhile and looks at what its window shows: the arrangement
// file and the style file of one version, or of two (a mixed pair).
//
//   bench_opensave <folder> [opens] [way]
//
// way is who saves:
//   same    another copy of the program run by this user, which takes the
//           same save lock (the start value);
//   other   another user (uid and gid 65533), whose saves take no lock of
//           ours, in a folder everyone may write (mode 1777); needs root.
//
// A folder "opensave" is made inside <folder> and emptied first. Prints the
// opens, the mixed pairs among them, the opens that failed or showed a box,
// and the saves the child completed.
#include <QApplication>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/slots.h"
#include "bench/benchprogram.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/datafiles.h"
#include "files/stygrp.h"
#include "platform/files.h"
#include "ui/documents/frmarru.h"

namespace {

// Version v: the arrangement file's first arrangement and the style file's
// first style are named "Version <v>".
std::string Name(long v) { return PadRight("Version " + std::to_string(v), 16); }

std::string ArrImage(long v) {
  std::string file = kArrFileHeader + Nuls(25) + Nuls(64 * 164);
  std::string rec = Nuls(164);
  MidAssign(rec, 1, Name(v));
  MidAssign(rec, 18, Chr(3));
  MidAssign(file, 33, rec);
  return file;
}

std::string StyImage(long v) {
  std::string group = Nuls(224);
  MidAssign(group, 1, std::string("KORG\x4D\x00\x04", 7));
  PutU16LE(group, 25, 1000);
  return group + Name(v) + std::string(984, 's');
}

// The version a name field holds, or -1.
long VersionIn(const std::string& field) {
  if (field.compare(0, 8, "Version ") != 0) return -1;
  return std::strtol(field.c_str() + 8, nullptr, 10);
}

[[noreturn]] void SaveForever(const std::string& arr, const std::string& sty, int done) {
  long saves = 0;
  for (long v = 1;; ++v) {
    if (WriteWholeFiles({{arr, ArrImage(v)}, {sty, StyImage(v)}}) == 0) ++saves;
    (void)!::pwrite(done, &saves, sizeof saves, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_opensave <folder> [opens] [same|other]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string root = argv[1];
  const int opens = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
  const bool other = argc > 3 && std::string(argv[3]) == "other";
  if (other && ::geteuid() != 0) {
    std::fprintf(stderr, "bench_opensave: the way other needs root\n");
    return 2;
  }

  const std::string dir = root + "/opensave";
  (void)!std::system(("rm -rf '" + dir + "'").c_str());
  if (::mkdir(dir.c_str(), other ? 01777 : 0755) != 0 || ::chmod(dir.c_str(), other ? 01777 : 0755) != 0) {
    std::perror(dir.c_str());
    return 1;
  }
  const std::string arr = dir + "/song.arr", sty = dir + "/song.sty";

  BenchProgram program;
  WriteFile(program.Folder() + "/r40Sty", StyTemplateFileImage());
  frmMain* mainWindow = program.Start(false);
  if (!mainWindow) return 1;
  app.processEvents();

  // The saver's count of completed saves, in a small file it rewrites: one
  // in memory with no name, shared with the child through the descriptor.
  const int done = ::memfd_create("bench_opensave", 0);
  int ready[2];
  if (done < 0 || ::pipe(ready) != 0) return 1;
  const pid_t saver = ::fork();
  if (saver == 0) {
    if (other && (::setgroups(0, nullptr) != 0 || ::setresgid(65533, 65533, 65533) != 0 ||
                  ::setresuid(65533, 65533, 65533) != 0))
      ::_exit(1);
    WriteWholeFiles({{arr, ArrImage(0)}, {sty, StyImage(0)}});
    (void)!::write(ready[1], "r", 1);
    SaveForever(arr, sty, done);
  }
  char c;
  if (saver < 0 || ::read(ready[0], &c, 1) != 1) return 1;

  int mixed = 0, failed = 0, boxes = 0;
  for (int i = 0; i < opens; ++i) {
    program.Dialogs().Clear();
    program.ChooseFile(arr);
    mainWindow->mnuApriArr_Click();
    frmArrU* w = gArrSlotUsed[gArrSlotIdx] ? gArrUForms[gArrSlotIdx] : nullptr;
    boxes += static_cast<int>(program.Dialogs().boxes.size());
    if (!w) {
      ++failed;
      continue;
    }
    const long a = VersionIn(Mid(w->Tag(), 271 + 32, 16));
    const long s = VersionIn(Mid(w->Tag(), kArrWinGrpBase + 224, 16));
    if (a < 0 || s < 0)
      ++failed;
    else if (a != s)
      ++mixed;
    w->close();
    app.processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  ::kill(saver, SIGKILL);
  ::waitpid(saver, nullptr, 0);
  long saves = 0;
  (void)!::pread(done, &saves, sizeof saves, 0);

  std::printf("bench_opensave: %s, saver %s\n", dir.c_str(), other ? "another user" : "this user's other copy");
  std::printf("  opens %d, mixed pairs %d, failed or unreadable %d, boxes %d; saves completed meanwhile %ld\n", opens,
              mixed, failed, boxes, saves);
  return 0;
}
