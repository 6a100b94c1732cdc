// Save and Save As of the document windows. Each window keeps its whole file
// image in its document string (WinTag); these routines write it back:
// - FileSave: File > Save of a document with a name, and the save step of
//   the close prompts (the arrangement-file window's excepted);
// - ArrFileSaveClose: the save step of the arrangement-file window's close
//   prompt, which also deletes or writes its companion style file;
// - FileSaveAs: File > Save As, and Save of an untitled document.
//
// `document` is the window's own WinTag: a routine that succeeds leaves the
// cleared flags (and, for Save As, the new path) in it; one that fails or is
// cancelled leaves it as it was, so the close prompt can ask again. The
// files of one save (an arrangement file and its style file, a program file
// and the namesake it removes) are written together: all of them, or, on a
// failure, none, every old file left whole (WriteWholeFiles). A link the
// user made stays a link and its target is saved (a link another user made
// refuses the save: "Cannot write", the file, "The file is a link another
// user made"); the old file's mode, owner, group, access list and extended
// attributes are kept. The extension added to the path takes the case of a
// file that exists already (WithExtension).
//
// Each returns 0 when it saved or had nothing to do, 1 when it was cancelled
// or failed (the reason shown).
#pragma once

#include <string>

class ChildView;

// The filter list of the Save As dialog; its entries give the indexes 1
// arrangements, 2 styles, 3 ".prg" programs, 4 ".pgg" programs, 5 global,
// 6 all files.
extern const std::string kSaveAsFilter;

// Writes the document in place by its kind: 19 and 20 ".arr" (with the
// companion style file by character 9; kind 19 as ArrFileSaveClose does),
// 21 and 22 ".prg" or ".pgg" by character 19 (the namesake of the other
// extension is deleted), 23 and 24 ".sty", 25 ".gbl"; any other kind writes
// nothing. A read-only document (character 2 Chr(1)) is refused with "Read
// only file" titled with its caption, and nothing is written. A failed write
// shows one box per attempt titled gOpCaption ("Saving " and the name of the
// file that failed), naming what could not be written and why; a full disk
// or a disk that is not ready offers Retry and Cancel, and only Retry tries
// again.
int FileSave(std::string& document, ChildView* owner = nullptr);

// Writes an arrangement document's ".arr" file, then deletes (character 9 =
// 1) or writes (9 = 2, styles modified) its style file. Read-only documents
// are refused as in FileSave; failures as in FileSave, the boxes titled with
// the program's title.
int ArrFileSaveClose(std::string& document, ChildView* owner = nullptr);

// Asks for a name and writes the document's own format by its kind (2, 3,
// 19, 20 arrangement; 23, 24 style; 21, 22 program; 25 and 14 global). The
// banks (2, 3) and the instrument's global parameters (14) only export a
// copy: the window keeps its document and caption. Any other document is
// taken over: its path becomes the chosen one, its flags are cleared, it is
// no longer untitled, and owner's caption is set anew; an arrangement file
// takes the database ID of its new path (0 when it has none) into its slot
// record and ID box, and the database is left as it is. A name that another
// window shows, or that does not fit the document's path field, is refused
// with a message. Errors as in ArrFileSaveClose; Cancel returns 1 quietly.
int FileSaveAs(std::string& document, ChildView* owner = nullptr);

// The save step of a document window's close prompt: asks "The file has
// changed" / "Save changes ?" titled title; Yes saves the document in place,
// or through Save As when it is untitled (character 18 Chr(1)). 0 when the
// window may close (No, or saved); 1 when it stays open (Cancel, or the
// document was not saved).
int SaveBeforeClose(std::string& document, const std::string& title, ChildView* owner);
