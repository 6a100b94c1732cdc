// Copy, Cut and Paste of the Edit menu, on the program's own clipboard
// (gClipText, gClipKind: files/clipboard.h), never the system's.
//
// Copy keeps the active window's whole document string (WinTag) with the
// lines selected in its list marked in the item-entry table, one entry of
// 21 characters per list line (character 1 the mark, 2-21 the line's text):
// from 10,799 in arrangement windows (kinds 2, 3, 19, 20), from 30 in
// program-bank windows (4-8), from 30,751 in program-file windows (21, 22),
// from 271 in style windows (23, 24; 19 lines). The window keeps the marked
// copy too, which Cut reads.
//
// Paste fills empty lines of the active window from the lines marked in the
// clipboard: arrangements with the styles of their source's own group,
// programs (a reference to an internal program when the source is a program
// bank), styles into slots. Cut copies, then empties the selected lines:
// arrangements with the group styles no other arrangement uses, programs,
// styles. A style window opened from an arrangement window and that window
// share their group: a change of one reaches the other.
//
// The routines act on the main window's active child window, reached only
// through ChildView; they write no file and send nothing. The document is
// marked modified and Save writes it.
#pragma once

#include <string>

class ChildView;

// The kind of the window the last Paste or Cut acted on.
extern int gCutKind;

// Edit > Copy on the active window. A kind without an entry table changes
// nothing; the database editor (kind 12) only takes its document into the
// clipboard.
void CopyLines();

// A document of kinds 19-24 that is read-only, or any of them while the
// read-only preference is ticked, refuses Cut and Paste with "Read only
// file" titled with its caption: true then, and nothing changed.
bool RefusedReadOnly(const ChildView& child);
// True when a line of the window's list (lines 0-63) is selected.
bool AnyLineSelected(const ChildView& child);

// Paste on the active window, by its kind: arrangement windows (19, 20),
// program windows (21, 22), style windows (23, 24). Each does nothing unless
// the clipboard holds lines of a kind that fits and a line is selected.
void PasteArr();
void PastePrg();
void PasteSty();

// Cut on the active window, after CopyLines: the lines just marked are
// emptied.
void CutArr();
void CutPrg();
void CutSty();

void ClipEditReset();
