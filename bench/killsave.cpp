// Kill loop over saves: a child process saves, over and over, a program file
// alone and an arrangement file together with its style file, each save a new
// version; the parent ends it with SIGKILL at a random moment, then opens the
// files as the program does (every open first resolves what a killed save
// left, ResolveKilledSave) and checks that each file holds one version whole
// and that the arrangement file and its style file hold the same one. The
// next trial's child starts with a save over whatever the last one left.
//
//   bench_killsave <folder> [trials] [longest delay before the kill, in us] [way]
//
// way is how the files are saved:
//   rename     each file replaced by a rename (the start value);
//   twonames   the program file and the arrangement file each have a second
//              name in a folder beside, so they are written in place; each
//              open goes through one of the two names, chosen at random;
//   locked     the folder is made read-only (mode 555) after the first save,
//              so every file is written in place, its old bytes kept in the
//              settings folder; run it as an ordinary user (permission bits
//              do not stop root), e.g. under
//              setpriv --reuid=65534 --regid=65534 --clear-groups;
//   moved      after each kill the folder is renamed (to "<folder>-moved"
//              and back, by turns) before the files are opened where it now
//              is, as a folder moved or a stick mounted elsewhere is reached
//              another way; the settings folder stays where it is.
//
// The folder is made and emptied first. Prints the trials, the saves
// completed, and the faults found: files holding no whole version,
// arrangement files beside a style file of another version, second names
// that no longer name the file, and whole records left after the open (a
// save it did not resolve); and the trials that left leftovers for the next
// save (side files, or a record the kill cut short).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/winfolder.h"

namespace {

// The content of version v of a file: "<tag> <v>\n" and then bytes that
// depend on both, to a length that depends on the version too, so that a
// file made of two versions never reads as one.
std::string Content(char tag, long v, size_t base) {
  std::string s = std::string(1, tag) + " " + std::to_string(v) + "\n";
  const size_t len = base + static_cast<size_t>(v % 13) * 97;
  for (size_t i = s.size(); i < len; ++i) s += static_cast<char>('a' + (i * 7 + static_cast<size_t>(v)) % 26);
  return s;
}

// The version a file holds whole, or -1.
long VersionOf(const std::string& path, char tag, size_t base) {
  std::string data;
  if (ReadWholeFile(path, data) != 0 || data.size() < 3 || data[0] != tag) return -1;
  const long v = std::strtol(data.c_str() + 2, nullptr, 10);
  return data == Content(tag, v, base) ? v : -1;
}

constexpr size_t kPrgLen = 30600, kArrLen = 10528, kStyLen = 40000;

[[noreturn]] void SaveForever(const std::string& dir, long from) {
  const std::string prg = dir + "/doc.prg", arr = dir + "/song.arr", sty = dir + "/song.sty";
  for (long v = from;; ++v) {
    WriteWholeFileAtomic(prg, Content('p', v, kPrgLen));
    WriteWholeFiles({{arr, Content('a', v, kArrLen)}, {sty, Content('s', v, kStyLen)}});
  }
}

enum class Way { Rename, TwoNames, Locked, Moved };

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The side files of saves in a folder: every one, or only the records
// written whole (ending with their mac line, as a record ends), which an
// open must have resolved; a record cut short is a leftover for the next
// save.
enum class Side { Any, WholeRecord };
int CountSideFiles(const std::string& dir, Side which) {
  std::vector<std::string> names;
  ListFolderFiles(dir, names);
  int n = 0;
  for (const std::string& name : names) {
    if (name[0] != '.' || name.find("~brv") == std::string::npos) continue;
    if (which == Side::WholeRecord) {
      std::string data;
      const bool record = name.size() > 5 && name.compare(name.size() - 5, 5, ".save") == 0;
      if (!record || ReadWholeFile(dir + "/" + name, data) != 0 || data.size() < 70 ||
          data.compare(data.size() - 69, 4, "mac ") != 0)
        continue;
    }
    ++n;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [trials] [longest delay in us] [rename|twonames|locked|moved]\n",
                 argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const int trials = argc > 2 ? std::atoi(argv[2]) : 200;
  const int maxDelay = argc > 3 ? std::atoi(argv[3]) : 20000;
  const std::string wayName = argc > 4 ? argv[4] : "rename";
  const Way way = wayName == "twonames" ? Way::TwoNames
                  : wayName == "locked"  ? Way::Locked
                  : wayName == "moved"   ? Way::Moved
                                         : Way::Rename;
  if (way == Way::Locked && ::geteuid() == 0) {
    std::fprintf(stderr, "locked: run as an ordinary user; permission bits do not stop root\n");
    return 2;
  }
  const std::string other = dir + "/../" + "killsave-second-names";
  // A moved folder leaves the settings folder where it is.
  const std::string moved = dir + "-moved";
  const std::string settings = way == Way::Moved ? dir + "-settings" : dir + "/settings";
  if (way == Way::Moved && !DirExists(dir) && DirExists(moved)) ::rename(moved.c_str(), dir.c_str());
  MakeDirs(dir);
  ::chmod(dir.c_str(), 0755);
  MakeDirs(settings);
  SetWinFolder(settings);
  for (const std::string& folder : {dir, settings, other}) {
    std::vector<std::string> names;
    ListFolderFiles(folder, names);
    for (const std::string& n : names) ::unlink((folder + "/" + n).c_str());
  }
  WriteWholeFileAtomic(dir + "/doc.prg", Content('p', 0, kPrgLen));
  WriteWholeFiles({{dir + "/song.arr", Content('a', 0, kArrLen)}, {dir + "/song.sty", Content('s', 0, kStyLen)}});
  // The second names, when there are any, stand in a folder beside.
  const std::string prg2 = other + "/doc.prg", arr2 = other + "/song.arr";
  if (way == Way::TwoNames) {
    MakeDirs(other);
    ::link((dir + "/doc.prg").c_str(), prg2.c_str());
    ::link((dir + "/song.arr").c_str(), arr2.c_str());
  }
  if (way == Way::Locked) ::chmod(dir.c_str(), 0555);

  std::mt19937 rng{std::random_device{}()};
  std::uniform_int_distribution<int> delay(0, maxDelay);
  std::bernoulli_distribution coin(0.5);
  long version = 0, saves = 0;
  int tornPrg = 0, tornArr = 0, tornSty = 0, apart = 0, recordsLeft = 0, tempsLeft = 0, namesLost = 0;
  std::string here = dir;  // where the folder is now
  for (int t = 0; t < trials; ++t) {
    const pid_t pid = ::fork();
    if (pid == 0) SaveForever(here, version + 1);
    ::usleep(static_cast<useconds_t>(delay(rng)));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    if (way == Way::Moved) {
      const std::string there = here == dir ? moved : dir;
      ::rename(here.c_str(), there.c_str());
      here = there;
    }

    // The open of each document, through one of its names.
    const bool second = way == Way::TwoNames && coin(rng);
    ResolveKilledSave(second ? prg2 : here + "/doc.prg");
    ResolveKilledSave(second ? arr2 : here + "/song.arr");
    ResolveKilledSave(here + "/song.sty");
    const long p = VersionOf(here + "/doc.prg", 'p', kPrgLen);
    const long a = VersionOf(here + "/song.arr", 'a', kArrLen);
    const long s = VersionOf(here + "/song.sty", 's', kStyLen);
    tornPrg += p < 0;
    tornArr += a < 0;
    tornSty += s < 0;
    apart += a >= 0 && s >= 0 && a != s;
    if (way == Way::TwoNames)
      namesLost += (InodeOf(prg2) != InodeOf(here + "/doc.prg")) + (InodeOf(arr2) != InodeOf(here + "/song.arr"));
    recordsLeft += CountSideFiles(here, Side::WholeRecord) + CountSideFiles(settings, Side::WholeRecord);
    tempsLeft += CountSideFiles(here, Side::Any) + CountSideFiles(settings, Side::Any) > 0;
    const long newest = std::max({p, a, s});
    if (newest > version) {
      saves += newest - version;
      version = newest;
    }
    // A torn file is put back whole, so that the next trial starts clean.
    if (p < 0) WriteWholeFileAtomic(here + "/doc.prg", Content('p', version, kPrgLen));
    if (a < 0 || s < 0 || a != s)
      WriteWholeFiles({{here + "/song.arr", Content('a', version, kArrLen)},
                       {here + "/song.sty", Content('s', version, kStyLen)}});
  }
  if (here != dir) ::rename(here.c_str(), dir.c_str());
  if (way == Way::Locked) ::chmod(dir.c_str(), 0755);
  std::printf(
      "%s: trials %d, versions saved %ld; torn: doc.prg %d, song.arr %d, song.sty %d; song.arr beside a song.sty of "
      "another version %d; second names lost %d; whole records left after the open %d; trials with leftovers (side "
      "files, records cut short) for the next save %d\n",
      wayName.c_str(), trials, saves, tornPrg, tornArr, tornSty, apart, namesLost, recordsLeft, tempsLeft);
  return tornPrg + tornArr + tornSty + apart + namesLost + recordsLeft == 0 ? 0 : 1;
}
