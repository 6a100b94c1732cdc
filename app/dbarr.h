// The arrangement database "r40DBArr" in the Windows folder: every
// arrangement file (.arr) of one folder gets an ID from 3 to 999, so that an
// arrangement can be called up by a short number. IDs 1 and 2 stand for the
// instrument's banks A and B and are never stored.
//
// The file is one record of 27,221 bytes, read and written whole:
//   1-26         record 1: the magic "r40DBArr" and 18 zero bytes
//   27-52        record 2: always empty, never an entry
//   53-25974     records 3-999, 26 bytes each (record k at (k - 1) * 26 + 1):
//                a 24-character name (file name without folder and ".arr",
//                blank-padded; a first byte 0 marks an empty record), then
//                the ID, low byte first
//   25975-26971  the ID map: one byte per ID 3-999 (ID + 25972), 1 used, 0 free
//   26972-27221  the folder of the files, without a trailing separator,
//                blank-padded
//
// The used records are contiguous from record 3 and sorted by upper-cased
// name; an entry keeps its ID for life; a new entry takes the lowest free ID.
// Names are compared without regard to case, the folder exactly.
//
// A file of another length or without the magic is damaged: it is never
// written, and its image never replaces DBArrBuf. An empty file, or something
// that is not a file (a folder, a pipe), counts as no database; reading
// creates nothing and deletes nothing. Every write replaces the file whole (DBArrWrite), so a failed
// write leaves the old file as it was.
#pragma once

#include <string>
#include <vector>

inline const std::string kDBArrName = "r40DBArr";  // the file name, also its magic
constexpr int kDBArrLen = 27221;
constexpr int kDBArrRecLen = 26;
constexpr int kDBArrNameLen = 24;
constexpr int kDBArrFirstRec = 3;
constexpr int kDBArrLastRec = 999;
constexpr int kDBArrMapPos = 25975;  // map byte of ID 3
constexpr int kDBArrMapLen = 997;
constexpr int kDBArrDirPos = 26972;
constexpr int kDBArrDirLen = 250;
// The title of the database's own message boxes.
inline const std::string kDBArrEditTitle = "Edit r40DBArr";

// The database image of the operation in hand (27,221 bytes). While the
// database editor is open it holds the database as last read or written.
extern std::string DBArrBuf;
// The ID last looked up, assigned or chosen; 0 for none.
extern int gDBArrId;
// True while the database editor window is open.
extern bool gDBArrEditOpen;

// What the database procedures reach of the windows: the database editor's
// list and count, and the ID box of an arrangement-file window. The window
// side installs it; while none is installed the screen is skipped.
class DBArrWindows {
 public:
  virtual ~DBArrWindows() = default;
  // Fill the editor's List1 with lines and its Label3 with count.
  virtual void EditorShowList(const std::vector<std::string>& lines, const std::string& count) = 0;
  // Show id in Text1 of the arrangement-file window of slot (1-8).
  virtual void ArrWindowShowId(int slot, int id) = 0;
};
DBArrWindows* TheDBArrWindows();
void SetDBArrWindows(DBArrWindows* windows);  // not owned; nullptr removes it

std::string DBArrPath();  // WinPath("r40DBArr")

// --- The image ---------------------------------------------------------

// 1-based position of record k in the image.
int DBArrRecPos(int k);
// The name of record k without trailing blanks.
std::string DBArrRecName(const std::string& image, int k);
// The ID of record k: byte 25 * 256 + byte 24.
int DBArrRecId(const std::string& image, int k);
// True when record k's first byte is 0 (no entry).
bool DBArrRecEmpty(const std::string& image, int k);
// The stored folder without trailing blanks.
std::string DBArrFolder(const std::string& image);
// True for an image of the right length that begins with the magic.
bool DBArrImageValid(const std::string& image);
// A new database: header, records 2-999 empty (a 0 byte, 23 blanks, two 0
// bytes), the map all free, the folder field blank.
std::string DBArrNewImage();

// Lookup of a name (a file name without ".arr"), case ignored: over records
// 3-999, the record whose name matches, or else the first empty record.
enum class DBArrFind { Found, Absent, Full };
// rec: the record found (Found) or the first empty one (Absent); 0 (Full).
DBArrFind DBArrLookup(const std::string& image, const std::string& name, int& rec);

// Inserts name in its sorted place, after a lookup that gave Absent with
// firstEmpty: the records from its place on move one towards the end and the
// new record takes the lowest free ID of the map. Returns that ID, or 0 with
// the image unchanged when the name is longer than 24 characters or begins
// with a 0 byte (it would read as an empty record), or no ID is free.
int DBArrInsert(std::string& image, const std::string& name, int firstEmpty);

// Removes the entry of record k (3-999): its ID is freed in the map (only an
// ID of 3-999 has a map byte), the record is emptied and the later records
// move up one place.
void DBArrRemove(std::string& image, int k);

// The lines of the database editor's list: " 1" Tab "ArrA", " 2" Tab
// "ArrB", then one line per entry, from record 3 up to the first record whose
// first byte is 0 or whose ID is 0: the ID with its leading blank, Tab, the
// name and ".arr". Line j (from 2) is record j + 1.
std::vector<std::string> DBArrListLines(const std::string& image);
// The record of the entry with ID id, among the entries the list shows; 0
// when there is none.
int DBArrRecOfId(const std::string& image, int id);
// The editor's count: the number of lines with its leading blank and "/999".
std::string DBArrCountText(int lineCount);

// --- The four procedures ------------------------------------------------

// The ID of the arrangement file path (folder, separator, name without
// extension); 0 when the database is missing or damaged, the folder is not
// the database's, or the name is not entered. Reads the file unless the
// editor is open (then DBArrBuf is used). No message.
int DBArrFindID(const std::string& path);

// Enters the file gArrFileDir / gArrFileName and leaves its ID in gDBArrId.
// kind is the calling window's kind (19 for an arrangement file; 2 and 3,
// the banks, enter nothing). While the settings folder cannot be written it
// only says so (DBArrWriteRefused) and returns 0. With no database it asks
// whether the file's folder becomes the database's and creates it. Returns
// 1 when the file has an ID afterwards (new or found), else 0. A new or
// found ID also goes into the slot record DbId and the ID box of a window
// open on that file.
int DBArrAdd(int kind);

// Removes the entries whose files are gone: missing, empty or not an
// arrangement file. While the settings folder cannot be written it only
// says so (DBArrWriteRefused). A missing or unreadable folder, or a file
// that cannot be read, ends it with message 25 and nothing written.
void DBArrUpdate();

// The start-up check, also made before the database editor opens: 0
// usable, 1 no database (missing or empty), 2 damaged or unreadable, with
// message 6, 7 or 25 titled "Edit r40DBArr". While the program starts a
// missing or damaged database gives no message, and a damaged one gives 0.
int DBArrCheck();

// Reads the database for reading only; creates, changes and deletes
// nothing. 0: usable, and image holds it; 1: missing or empty; 2: damaged;
// otherwise the error number of a file that cannot be read. Only a usable
// image replaces image.
int DBArrRead(std::string& image);

// Writes image as the database file, whole: beside the old file, then
// renamed over it. 0, or the error number (the old file is left whole).
// While the settings folder cannot be written nothing is written (75).
int DBArrWrite(const std::string& image);

// The database lives in the settings folder: while that folder cannot be
// written (gSettingsFolderLocked) it is read but never written. A command
// that would write it asks this first: true, after one box titled title
// that names the folder and the reason, while the folder cannot be written;
// the command then does nothing more. False otherwise, without a box.
bool DBArrWriteRefused(const std::string& title);

// The automatic add of an opened arrangement file (Update Automatically
// ticked): DBArrAdd(19), skipped without a box while the settings folder
// cannot be written, since the start has said that the folder takes nothing.
void DBArrAutoAdd();

// The database editor's Add All: reads the database and enters every
// arrangement file of its folder that it lacks (plain, not hidden, ".arr"
// in any case, a name of at most 24 characters; in the database's order),
// then writes it, refreshes the editor's list and the IDs of the open
// arrangement-file windows. Files that cannot be read are passed over; a
// full database ends the scan and what was entered is written. Messages
// titled "Opening r40DBArr": 6 no database, 7 damaged, 25 a database or
// folder that cannot be read or a failed write (nothing written, DBArrBuf
// as before). While the settings folder cannot be written it only says so
// (DBArrWriteRefused).
void DBArrAddAll();

// Every open arrangement-file window takes its file's ID again (DbId of its
// slot and its ID box), after the database changed under it.
void DBArrShowWindowIds();

void DBArrReset();  // DBArrBuf zeros, gDBArrId 0, editor closed, no windows hook
