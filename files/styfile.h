// The style file (.sty) and the new-style template r40Sty.
//
// A style file is a style group (files/stygrp.h) cut to its banks in use,
// its length a multiple of 4, the last 4-byte block padded with blanks. The
// template is a one-bank group of exactly 4,928 bytes: the header, then four
// empty styles of 1,176 bytes at offsets 224, 1,400, 2,576 and 3,752 (length
// entries 1,176 for slots 0-3 and 0 for slots 4-15). It is the source of
// every new style window and of the empty style that replaces a deleted one.
#pragma once

#include <string>

constexpr int kStyTemplateLen = 4928;
constexpr int kStyTemplateSlotLen = 1176;
constexpr int kStyReadRecLen = 32200;  // a style file is read in records of this length
constexpr int kStyReadMax = 289800;    // at most 9 records are read

// The bytes of the style file last read (the template's, after a template
// read).
extern std::string gStyData;
// The template, whole: 4,928 bytes, NULs until a template was read.
extern std::string gStyTemplate;
// Folder and name without extension of the style file being read or saved.
extern std::string gStyFileDir;
extern std::string gStyFileName;

// Reads a style file into gStyData, or the template when the path ends in
// "r40Sty". Sets gOpCaption ("Opening " and the file name), gStyFileDir,
// gStyFileName and gFileNum. A file error is reported once (never retried).
// 0 read; 1 a file error (reported) or a file that is not a style group
//   (no message): a wrong header, under 224 bytes, a slot length of 32,768
//   or more, or lengths that add up to more than the bytes read;
// 2 an empty file, no file at all or something that is not a file; it is
//   left as it is.
// The template must be exactly 4,928 bytes with the template's length
// entries; its four names then read "- empty -" (the first 9 characters are
// written over), and gStyTemplate and gStyData take it. A refused template
// leaves gStyTemplate as it was.
int StyFileRead(const std::string& path);
// True when the last StyFileRead answered 1 because the file is not a style
// group (nothing was shown), false after a file error it reported and after
// every other answer. It lets a caller report the refused file itself.
bool StyFileReadRefused();

// The style file of a window's tag: the path at tag positions 21-258,
// trailing blanks removed, and ".sty" in the case of the file that exists
// (WithExtension).
std::string StyFilePath(const std::string& tag);
// The style file's image of the group of a window's tag: the group is first
// cut to its banks in use (StyGrpUsedPart), so the tag changes; then whole
// 4-byte blocks, the last one padded with blanks.
std::string StyFileImage(std::string& tag);

// Writes the group of a window's tag to its style file: the path at tag
// positions 21-258, trailing blanks removed, and ".sty" in the case of the
// file that exists (WithExtension; kept in gCurFilePath). The group is first cut to its banks in use
// (StyGrpUsedPart), so the tag changes. Sets gOpCaption. Returns 0 written,
// 1 when the write failed (reported by FileErrMsg; a disk that is not ready
// is retried a bounded number of times).
int StyFileWrite(std::string& tag);

// Deletes the style file of a window's tag (path as for StyFileWrite, kept in
// gCurFilePath); a file that is not there is already deleted. Returns 0, or 1
// when the delete failed (reported by FileErrMsg, titled gOpCaption).
int StyFileKill(const std::string& tag);

void StyFileReset();  // gStyData empty, gStyTemplate 4,928 NULs, folder and name empty
