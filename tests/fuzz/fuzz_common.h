// Shared parts of the file-reader fuzz targets: a private temporary folder,
// the input written as a file, English texts, and the style-group
// operations run on what a reader accepted.
#pragma once

#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "services/strings.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "files/styfile.h"
#include "files/stygrp.h"

// The folder of this process's files, made on first use.
inline const std::string& FuzzDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : P_tmpdir) + "/brv_fuzz_XXXXXX";
    if (!::mkdtemp(templ.data())) std::abort();
    gLangBase = 200;
    return templ;
  }();
  // The folder goes at a normal exit; after a crash it stays with the input.
  static const bool cleanup = [] {
    return std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(FuzzDir(), ec);
    }) == 0;
  }();
  (void)cleanup;
  return dir;
}

inline std::string FuzzPath(const std::string& name) {
  return FuzzDir() + "/" + name;
}

// Writes bytes as the file `name` of the fuzz folder and returns its path.
inline std::string FuzzWriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = FuzzPath(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// The input, taken one byte at a time; past its end every byte is 0.
struct FuzzInput {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  int Byte() { return pos < size ? data[pos++] : 0; }
  std::string Rest() {
    std::string s(reinterpret_cast<const char*>(data) + (pos < size ? pos : size),
                  pos < size ? size - pos : 0);
    pos = size;
    return s;
  }
};

// A window tag holding a group: kind 23/24 at 670, any other kind at 42,623.
inline std::string FuzzTag(int kind, const std::string& group) {
  const int base = (kind == 23 || kind == 24) ? 670 : 42623;
  std::string tag = Nuls(base - 1);
  MidAssign(tag, 1, Chr(kind));
  MidAssign(tag, 21, PadRight("fuzzout", 238));
  return tag + group;
}

// True when the group's data are all there: 224 + the lengths fit.
inline bool GroupIsWhole(const std::string& group) {
  long long total = kStyHeaderLen;
  for (int k = 0; k < kStySlotCount; ++k) total += StyGrpSlotLen(k, group);
  return static_cast<long long>(group.size()) >= total;
}

// The read-only operations on a group inside the two kinds of window.
inline void FuzzQueryGroup(const std::string& group) {
  volatile size_t sink = 0;
  for (int kind : {23, 19}) {
    const std::string tag = FuzzTag(kind, group);
    for (int k = -1; k <= 16; ++k) {
      sink = sink + StyGrpSlotLen(k, group) + StyGrpSlotPos(k, group) + StyGrpSlotName(k, group).size();
      sink = sink + StySlotName(k, tag).size() + StyBankSizeInTag(k, tag) + StyGrpBankSize(k, group);
      sink = sink + ArrStySlotLen(k, tag) + ArrStySlotPos(k, tag) + StyIdxMap(k);
    }
    sink = sink + StyBankCount(tag) + StyGrpTotalLen(tag) + ArrHasStyles(tag);
    std::string cut = tag;
    StyGrpUsedPart(cut);
    FUZZ_CHECK(cut.size() <= tag.size());
  }
  (void)sink;
}

// Puts slots between the group, a copy of it and the template as the input
// says, checking that a whole group stays whole and a refusal changes nothing.
inline void FuzzPutSlots(FuzzInput& in, const std::string& group) {
  std::string dst = group;
  for (int step = 0; step < 4; ++step) {
    int slotOut = in.Byte() & 1;
    int srcSlot = in.Byte() % 20 - 2;
    int mode = in.Byte();
    mode = mode >= 128 ? 100 + (mode & 7) : mode % 20 - 2;
    const int which = in.Byte() % 3;
    std::string src = which == 0 ? group : which == 1 ? gStyTemplate : dst;
    const bool wasWhole = GroupIsWhole(dst);
    const std::string before = dst;
    const int result = StyGrpPutSlot(slotOut, srcSlot, src, mode, dst);
    FUZZ_CHECK(result >= 0 && result <= 3);
    if (result != 0) FUZZ_CHECK(dst == before);
    if (result == 0 && wasWhole) {
      FUZZ_CHECK(GroupIsWhole(dst));
      FUZZ_CHECK(slotOut >= 0 && slotOut < kStySlotCount);
    }
  }
  FuzzQueryGroup(dst);
}

// Writes the group as a style window's file and reads it back: a group the
// reader took in must come back whole.
inline void FuzzWriteAndReread(const std::string& group) {
  std::string tag = FuzzTag(24, group);
  MidAssign(tag, 21, PadRight(FuzzPath("rewrite"), 238));
  FUZZ_CHECK(StyFileWrite(tag) == 0);
  const int total = StyGrpTotalLen(tag);
  const std::string written = Mid(tag, kStyWinGrpBase, total);
  FUZZ_CHECK(StyFileRead(FuzzPath("rewrite.sty")) == 0);
  FUZZ_CHECK(gStyData.size() % 4 == 0);
  FUZZ_CHECK(Left(gStyData, total) == written);
}

// The template as the program holds it after reading r40Sty.
inline void FuzzLoadTemplate() {
  if (Left(gStyTemplate, 4) == "KORG") return;
  const std::string path = FuzzWriteFile("r40Sty", StyTemplateFileImage());
  FUZZ_CHECK(StyFileRead(path) == 0);
}
