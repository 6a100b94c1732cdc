// What the file readers and writers share: the file number in use, the path
// being written, and the open / statement helpers that route a failed file
// statement through the file-error reporter.
#pragma once

#include <functional>
#include <string>
#include <vector>

class RecordFile;

// The file number of the file in hand. Files here are objects, not numbered
// channels, so a reader or writer sets it to the one number it takes.
extern int gFileNum;
// The path of the file being written or deleted (set by the style writers).
extern std::string gCurFilePath;

// A failed file statement is tried at most this many times in all, even when
// the reporter keeps asking for a retry (a disk that stays not ready).
constexpr int kFileTries = 3;

// The number a reader or writer takes for its file.
int FreeFileNum();

// Runs a file statement. When it fails, FileErrMsg(gOpCaption, error) shows
// the reason; when that answers 2 (retry) and mayRetry is set, the statement
// runs again, at most kFileTries times in all. Returns 0, or the error number
// of the last failed attempt (already reported).
int FileStatement(const std::function<int()>& statement, bool mayRetry = true);

// The files of one document are read together, as one save left them,
// while a command opens it: the command holds a DocumentReadScope for as
// long as it opens the document's windows, and ReadDocumentTogether reads
// the files (the first is the one the user opened) under the scope; until
// the outermost scope ends, OpenForReading gives the readers those bytes.
// Outside a scope ReadDocumentTogether does nothing, and each reader reads
// its file as it stands.
class DocumentReadScope {
 public:
  DocumentReadScope();
  ~DocumentReadScope();
  DocumentReadScope(const DocumentReadScope&) = delete;
  DocumentReadScope& operator=(const DocumentReadScope&) = delete;
};
// What killed saves of the files left is resolved first, in their order (a
// save that can be neither finished nor rolled back is said in one box, as
// OpenForReading says it); then the files are read together
// (ReadFilesTogether). Where another copy of the program keeps one of their
// folders locked past the wait, one box, titled "Opening " and the first
// file's name, says so with Retry and Cancel: Retry waits again, Cancel
// reads the files as they stand. Files read already in this scope are not
// read again; one that could not be read is left to its reader.
void ReadDocumentTogether(const std::vector<std::string>& paths);

// Opens path for reading only with record length recLen; nothing is created.
// What a killed save of the file left is resolved first (ResolveKilledSave);
// one that can be neither finished nor rolled back is said in one box
// (ReportUnresolvedSave, titled gOpCaption) and the file is read as it
// stands. A file read together with its document (ReadDocumentTogether)
// is opened from what was read, and resolved already.
// 0 open; kErrFileNotFound when there is no such file (nothing is shown);
// any other error number after it was reported as FileStatement does.
int OpenForReading(RecordFile& file, const std::string& path, int recLen, bool mayRetry = true);

// The common part of the readers of one-record image files (arrangement,
// program and global files): opens path for reading with record length
// recLen and reads record 1 into image. readFirst
// reads the record before the length is tested, so that image also takes the
// start of a file of the wrong length. The file is closed on every path.
// 0 the file is recLen bytes long and image holds it (its header is the
//   caller's to test);
// 1 a file error, already reported;
// 2 a wrong length, reported with message code msgCode;
// 3 an empty file, no file at all or something that is not a regular file
//   (a folder, a pipe, a device); nothing is shown and nothing is deleted:
//   the readers create nothing, so an empty file is the user's.
int ReadImageFile(const std::string& path, int recLen, std::string& image, int msgCode, bool readFirst);

// The reason line of a failed save or resolve: the program's own text of
// its error number ("Disk full", "Read only file", ..., "Disk writing error"
// for the others), and for a folder another program keeps locked, an old
// copy that is gone, a side file someone else changed and a link another
// user made, texts of their own.
std::string SaveFailureReason(int err);
// One box, titled title: the interrupted save of file could not be finished
// or undone, and why (err, as SaveFailureReason); or, by err, that it could
// not be checked (kErrUnchecked) or looked for (kErrNotLookedFor), or that
// the file was left damaged and its old content is kept at oldCopy
// (kErrDamaged). The same file and error as the last one said are not said
// again until ForgetReportedSaves (each File > Open and each save command
// start afresh).
void ReportUnresolvedSave(const std::string& title, const std::string& file, int err,
                          const std::string& oldCopy = std::string());
void ForgetReportedSaves();

void FileCommonReset();  // gFileNum 0, gCurFilePath empty, no save reported, nothing read together
