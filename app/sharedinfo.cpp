#include "app/sharedinfo.h"

#include "app/settings.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "core/bytes.h"
#include "platform/files.h"
#include "platform/winfolder.h"

const std::string kSharedInfoName = "TessaroInfo";
std::string gSharedInfoBuf(kSharedInfoLen, ' ');
std::string gSentArrName;
std::string gSentPrgName;

std::string SharedInfoPath() { return WinPath(kSharedInfoName); }

int SharedInfoInit() {
  // Something that is not a file (a folder, a pipe) standing at the path is
  // left alone: the info file is then missing.
  const std::string path = SharedInfoPath();
  if (KindOfFile(path) == FileKind::Other) return 0;
  long long len = 0;
  if (FileExists(path)) {
    const int err = FileLength(path, len);
    if (err != 0) return err;
    if (len == kSharedInfoLen) return 0;
  }
  gSentArrName.clear();
  gSentPrgName.clear();
  gSharedInfoBuf = Space(kSharedInfoLen);
  MidAssign(gSharedInfoBuf, 1, kSharedInfoName);
  return WriteWholeFileAtomic(path, gSharedInfoBuf);
}

namespace {

// Runs the body, retrying it (a few times) while FileErrMsg asks for it.
// Returns the body's result, or giveUp when a file error ended it.
template <typename Body, typename Result>
Result WithFileErrors(Body body, Result giveUp) {
  for (int attempt = 1;; ++attempt) {
    int err = 0;
    Result r = body(err);
    if (err == 0) return r;
    if (FileErrMsg(gOpCaption, err) != 2 || attempt >= 3) return giveUp;
  }
}

int PutField(const std::string& tag, int pos, const std::string& label, const std::string& labelText) {
  if (gSettingsFolderLocked) return 1;
  const std::string name = Left(PathFileName(Mid(tag, 21, 238)), 24);
  return WithFileErrors(
      [&](int& err) -> int {
        // A missing file is not made again; an empty one, or something
        // that is not a file, is no info file and is left as it is.
        if (KindOfFile(SharedInfoPath()) != FileKind::Regular) return 1;
        RecordFile f;
        err = f.Open(SharedInfoPath(), kSharedInfoLen);
        if (err == kErrFileNotFound) {
          err = 0;
          return 1;
        }
        if (err != 0) return 0;
        if (f.Lof() == 0) {
          f.Close();
          return 1;
        }
        std::string rec;
        err = f.Get(1, rec, ' ');
        if (err != 0) return 0;
        gSharedInfoBuf = rec;
        MidAssign(gSharedInfoBuf, pos, Space(50));
        MidAssign(gSharedInfoBuf, pos, name);
        err = f.Put(1, gSharedInfoBuf);
        if (err != 0) return 0;
        err = f.Close();
        if (err != 0) return 0;
        if (MainView* view = TheMainView()) view->SetLabelCaption(label, name + labelText);
        return 0;
      },
      1);
}

}  // namespace

std::string SharedInfoRead() {
  gOpCaption = Res(111) + kSharedInfoName;
  return WithFileErrors(
      [](int& err) -> std::string {
        // Read only: nothing is created. No file (nor a folder to hold
        // one), an empty one or something that is not a file names no files.
        RecordFile f;
        err = f.Open(SharedInfoPath(), kSharedInfoLen, OpenMode::ReadOnly);
        if (err == kErrFileNotFound || err == kErrPathNotFound) err = 0;
        if (err != 0 || !f.IsOpen()) return std::string();
        if (f.Lof() == 0) {
          f.Close();
          return std::string();
        }
        std::string rec;
        // A file shorter than its record reads as padded with blanks.
        err = f.Get(1, rec, ' ');
        if (err != 0) return std::string();
        gSharedInfoBuf = rec;
        gSentArrName = RTrim(Mid(rec, 51, 50));
        gSentPrgName = RTrim(Mid(rec, 151, 50));
        f.Close();
        return RTrim(Mid(rec, 101, 50));
      },
      std::string());
}

int SharedInfoPutArr(const std::string& tag) {
  gOpCaption = "Brenvolta - " + Res(111) + kSharedInfoName;
  return PutField(tag, 51, "LabelArr", ".arr");
}

int SharedInfoPutSty(const std::string& tag) {
  gOpCaption = Res(111) + kSharedInfoName;
  return PutField(tag, 101, "LabelSty", ".sty");
}

int SharedInfoPutPrg(const std::string& tag, const std::string& ext) {
  gOpCaption = "Brenvolta - " + Res(111) + kSharedInfoName;
  return PutField(tag, 151, "LabelPrg", "." + ext);
}

void SharedInfoReset() {
  gSharedInfoBuf = Space(kSharedInfoLen);
  gSentArrName.clear();
  gSentPrgName.clear();
}
