#include "files/filecommon.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"

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

namespace {

// The last killed save said to be stuck (its file and error), so that the
// readers of one document (an arrangement file, its style and program
// files) say it once.
std::string gReportedSave;

// The scopes of the commands opening a document, and what they read
// together: each file's bytes, or nullptr for no file there.
int gReadScopes = 0;
std::map<std::string, std::shared_ptr<const std::string>> gReadTogether;

}  // namespace

std::string SaveFailureReason(int err) {
  switch (err) {
    case kErrSaveInUse: return Res(143);
    case kErrOldCopyGone: return Res(142);
    case kErrSideChanged: return Res(153);
    case kErrForeignLink: return Res(154);
    case kErrDiskFull: return MsgText(19, "");
    case kErrDiskNotReady: return MsgText(28, "");
    case kErrPathFileAccess: return MsgText(17, "");
    case kErrPathNotFound: return MsgText(30, "");
    case kErrDeviceIO: return MsgText(31, "");
    default: return MsgText(29, "");  // "Disk writing error"
  }
}

void ReportUnresolvedSave(const std::string& title, const std::string& file, int err, const std::string& oldCopy) {
  const std::string key = file + '\n' + std::to_string(err);
  if (key == gReportedSave) return;
  gReportedSave = key;
  std::string text;
  switch (err) {
    case kErrDamaged: {
      // Two places: the file, then where its old content is.
      const std::string t = Res(152);
      const size_t mark = t.find('_');
      text = mark == std::string::npos ? t : t.substr(0, mark) + file + ReplaceFirstUnderscore(t.substr(mark + 1), oldCopy);
      break;
    }
    case kErrUnchecked: text = ReplaceFirstUnderscore(Res(150), file); break;
    case kErrNotLookedFor: text = ReplaceFirstUnderscore(Res(151), file); break;
    default: text = ReplaceFirstUnderscore(Res(141), file) + "\r\n" + SaveFailureReason(err); break;
  }
  TheDialogs().MessageBox(title, text, MsgIcon::Exclamation, MsgButtons::OK);
}

void ForgetReportedSaves() { gReportedSave.clear(); }

DocumentReadScope::DocumentReadScope() { ++gReadScopes; }

DocumentReadScope::~DocumentReadScope() {
  if (gReadScopes > 1) {
    --gReadScopes;
    return;
  }
  gReadScopes = 0;
  gReadTogether.clear();
}

void ReadDocumentTogether(const std::vector<std::string>& paths) {
  if (gReadScopes == 0 || paths.empty()) return;
  std::vector<FileReadTogether> files;
  for (const std::string& p : paths) {
    if (gReadTogether.count(p) ||
        std::any_of(files.begin(), files.end(), [&](const FileReadTogether& f) { return f.path == p; }))
      continue;
    FileReadTogether f;
    f.path = p;
    files.push_back(std::move(f));
  }
  if (files.empty()) return;
  const std::string title = Res(111) + PathFileName(paths.front());
  for (;;) {
    // Killed saves first, each said once (a folder another copy keeps
    // locked is the box below); then the reading, under the save lock.
    bool busy = false;
    for (const FileReadTogether& f : files) {
      std::string failed, oldCopy;
      const int e = ResolveKilledSave(f.path, &failed, &oldCopy);
      if (e == kErrSaveInUse) {
        busy = true;
        break;
      }
      if (e != 0) ReportUnresolvedSave(title, failed.empty() ? f.path : failed, e, oldCopy);
    }
    if (!busy && ReadFilesTogether(files) == 0) break;
    if (TheDialogs().MessageBox(title, Res(143), MsgIcon::Exclamation, MsgButtons::RetryCancel) != kMsgRetry) {
      ReadFilesTogether(files, false);
      break;
    }
  }
  for (FileReadTogether& f : files) {
    if (f.state == FileReadTogether::Read)
      gReadTogether[f.path] = std::make_shared<const std::string>(std::move(f.data));
    else if (f.state == FileReadTogether::Missing)
      gReadTogether[f.path] = nullptr;
  }
}

int OpenForReading(RecordFile& file, const std::string& path, int recLen, bool mayRetry) {
  // A file read together with its document is opened from those bytes, its
  // killed save resolved already. Any other is resolved first: a save of it
  // that was killed is finished or rolled back, so that what is read holds
  // one save's files whole. One that can be neither is said once, and the
  // file is read as it stands: a record never stops an open.
  const auto together = gReadTogether.find(path);
  const bool readAlready = together != gReadTogether.end();
  if (!readAlready) {
    std::string failed, oldCopy;
    if (const int e = ResolveKilledSave(path, &failed, &oldCopy))
      ReportUnresolvedSave(gOpCaption, failed.empty() ? path : failed, e, oldCopy);
  }
  bool missing = false;
  const int err = FileStatement(
      [&] {
        const int e = readAlready ? file.OpenRead(path, recLen, together->second)
                                  : file.Open(path, recLen, OpenMode::ReadOnly);
        if (e == kErrFileNotFound) missing = true;
        return missing ? 0 : e;
      },
      mayRetry);
  return missing ? kErrFileNotFound : err;
}

void FileCommonReset() {
  gFileNum = 0;
  gCurFilePath.clear();
  gReportedSave.clear();
  gReadScopes = 0;
  gReadTogether.clear();
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
