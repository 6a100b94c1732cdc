#include "files/styfile.h"

#include <algorithm>

#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "files/filecommon.h"
#include "files/stygrp.h"
#include "platform/files.h"

std::string gStyData;
std::string gStyTemplate = Nuls(kStyTemplateLen);
std::string gStyFileDir;
std::string gStyFileName;

namespace {

// Set by a read that refused the file's content (no message shown).
bool gStyReadRefused = false;

// A style file error is reported once; the reader never retries.
constexpr bool kNoRetry = false;

// The template's shape: its header and the lengths of one bank of four empty
// styles.
bool IsTemplateImage(const std::string& image) {
  if (static_cast<int>(image.size()) != kStyTemplateLen || Left(image, 7) != kStyHeader) return false;
  for (int k = 0; k < kStySlotCount; ++k) {
    if (StyGrpSlotLen(k, image) != (k < 4 ? kStyTemplateSlotLen : 0)) return false;
  }
  return true;
}

// Whether the first record of a style file, of which n bytes were read,
// describes a group those bytes hold: the style header, all 224 header
// bytes, no slot length at or past the limit, and every slot's data there.
bool IsStyleGroup(const std::string& first, long long n) {
  if (n < kStyHeaderLen || Left(first, 7) != kStyHeader) return false;
  long long total = kStyHeaderLen;
  for (int k = 0; k < kStySlotCount; ++k) {
    const int len = StyGrpSlotLen(k, first);
    if (len >= kStySlotLenLimit) return false;
    total += len;
  }
  return total <= n;
}

// An empty file holds no style group: closed and left as it is, 2; 1 when
// the close failed.
int EmptyFile(RecordFile& file) {
  return FileStatement([&] { return file.Close(); }, kNoRetry) != 0 ? 1 : 2;
}

int ReadTemplate(const std::string& path) {
  RecordFile file;
  const int openErr = OpenForReading(file, path, kStyTemplateLen, kNoRetry);
  if (openErr == kErrFileNotFound) return 2;
  if (openErr != 0) return 1;
  const long long len = file.Lof();
  if (len == 0) return EmptyFile(file);
  std::string image;
  if (FileStatement([&] { return file.Get(1, image); }, kNoRetry) != 0) return 1;
  if (FileStatement([&] { return file.Close(); }, kNoRetry) != 0) return 1;
  if (len != kStyTemplateLen || !IsTemplateImage(image)) {
    gStyReadRefused = true;
    return 1;
  }

  for (int pos : {225, 1401, 2577, 3753}) MidAssign(image, pos, kStyEmptyName);
  gStyTemplate = image;
  gStyData = image;
  return 0;
}

int ReadStyleFile(const std::string& path) {
  RecordFile file;
  const int openErr = OpenForReading(file, path, kStyReadRecLen, kNoRetry);
  if (openErr == kErrFileNotFound) return 2;
  if (openErr != 0) return 1;
  const long long len = file.Lof();
  if (len == 0) return EmptyFile(file);

  const long long n = std::min<long long>(len, kStyReadMax);
  std::string rec;
  if (FileStatement([&] { return file.Get(1, rec); }, kNoRetry) != 0) return 1;
  if (!IsStyleGroup(rec, n)) {
    FileStatement([&] { return file.Close(); }, kNoRetry);
    gStyReadRefused = true;
    return 1;
  }
  std::string data = Left(rec, static_cast<int>(n));
  for (int r = 2; static_cast<long long>(data.size()) < n; ++r) {
    if (FileStatement([&] { return file.Get(r, rec); }, kNoRetry) != 0) return 1;
    data += Left(rec, static_cast<int>(n - static_cast<long long>(data.size())));
  }
  if (FileStatement([&] { return file.Close(); }, kNoRetry) != 0) return 1;
  gStyData = data;
  return 0;
}

}  // namespace

std::string StyFilePath(const std::string& tag) { return WithExtension(RTrim(Mid(tag, 21, 238)), ".sty"); }

std::string StyFileImage(std::string& tag) {
  StyGrpUsedPart(tag);
  // Whole 4-byte blocks; past the end of the tag the last one is padded with
  // blanks.
  const int size = (StyGrpTotalLen(tag) + 3) / 4 * 4;
  return PadRight(Mid(tag, StyGrpBase(tag), size), size);
}

int StyFileRead(const std::string& path) {
  const std::string title = PathFileName(path);
  gOpCaption = Res(111) + title;
  gStyFileName = Left(title, static_cast<int>(title.size()) - 4);
  gStyFileDir = PathDir(path);
  gFileNum = FreeFileNum();
  gStyReadRefused = false;
  if (Right(path, 6) == "r40Sty") return ReadTemplate(path);
  return ReadStyleFile(path);
}

bool StyFileReadRefused() { return gStyReadRefused; }

int StyFileWrite(std::string& tag) {
  gCurFilePath = StyFilePath(tag);
  gOpCaption = Res(111) + PathFileName(gCurFilePath);
  gFileNum = FreeFileNum();
  const std::string image = StyFileImage(tag);
  return FileStatement([&] { return WriteWholeFileAtomic(gCurFilePath, image); }) == 0 ? 0 : 1;
}

int StyFileKill(const std::string& tag) {
  gCurFilePath = StyFilePath(tag);
  const int err = FileStatement([&] {
    const int e = KillFile(gCurFilePath);
    return e == kErrFileNotFound ? 0 : e;
  });
  return err == 0 ? 0 : 1;
}

void StyFileReset() {
  gStyData.clear();
  gStyTemplate = Nuls(kStyTemplateLen);
  gStyFileDir.clear();
  gStyFileName.clear();
  gStyReadRefused = false;
}
