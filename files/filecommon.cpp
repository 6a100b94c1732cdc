#include "files/filecommon.h"

#include "services/messages.h"
#include "platform/files.h"

int gFileNum = 0;
std::string gCurFilePath;

int FreeFileNum() {
  return 1;
}

int FileStatement(const std::function<int()>& statement, bool mayRetry) {
  int err = 0;
  for (int attempt = 1; attempt <= kFileTries; ++attempt) {
    err = statement();
    if (err == 0) return 0;
    const int answer = FileErrMsg(gOpCaption, err);
    if (answer != 2 || !mayRetry) break;
  }
  return err;
}

int OpenForReading(RecordFile& file, const std::string& path, int recLen, bool mayRetry) {
  bool missing = false;
  const int err = FileStatement(
      [&] {
        // A save of this file that was killed is finished or rolled back
        // first, so that what is read holds one save's files whole.
        if (const int e = ResolveKilledSave(path)) return e;
        const int e = file.Open(path, recLen, OpenMode::ReadOnly);
        if (e == kErrFileNotFound) missing = true;
        return missing ? 0 : e;
      },
      mayRetry);
  return missing ? kErrFileNotFound : err;
}

void FileCommonReset() {
  gFileNum = 0;
  gCurFilePath.clear();
}

int ReadImageFile(const std::string& path, int recLen, std::string& image, int msgCode, bool readFirst) {
  gFileNum = FreeFileNum();
  RecordFile file;
  const int openErr = OpenForReading(file, path, recLen);
  if (openErr == kErrFileNotFound) return 3;
  if (openErr != 0) return 1;

  const auto readRecord = [&] {
    std::string rec;
    const int err = FileStatement([&] { return file.Get(1, rec); });
    if (err == 0) image = rec;
    return err;
  };
  if (readFirst && readRecord() != 0) return 1;

  const long long len = file.Lof();
  if (len == 0) {
    if (FileStatement([&] { return file.Close(); }) != 0) return 1;
    return 3;
  }
  if (len != recLen) {
    if (FileStatement([&] { return file.Close(); }) != 0) return 1;
    ShowMsg(msgCode, gOpCaption, "");
    return 2;
  }
  if (!readFirst && readRecord() != 0) return 1;
  if (FileStatement([&] { return file.Close(); }) != 0) return 1;
  return 0;
}
