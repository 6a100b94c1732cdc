// The instrument's 448-byte global block as the global-parameters window
// edits it: which byte (or bits) each control shows and changes, how a byte
// is shown (a byte outside its field's range shows a fixed entry and stays
// in the block until that field is changed), the texts of the lists, and the
// global dump that carries the block to the instrument.
//
// The block lives in the window's document (WinTag): block offset k is
// document character 271 + k. Every byte no control names is carried
// unchanged. The program's MIDI channel table (Combo3 4-14) is not part of
// the block.
#pragma once

#include <string>
#include <vector>

#include "files/gblfile.h"

// The editing controls of the window, each a control array.
enum class GblCtl {
  Combo1,    // GblCombo1(0-3, 5-19): lists of the block
  Check1,    // GblCheck1(0-2)
  Option1,   // GblOption1(0) "+", (1) "-": Damper Polarity
  HScroll1,  // GblHScroll1(0) Master Tune, (1) Velocity
  VScroll2,  // VScroll2(0-47): the four user scales
  HScroll3,  // HScroll3(0) Range L(Arr), (1) Range H(Arr)
  Check3,    // Check3 (index 0): TG (Song Play)
  Combo3,    // Combo3(0-3): harmony lists; (4-14): the MIDI channel table
};

// Document layout of a global window.
constexpr int kGblDocLen = 718;
constexpr int kGblBlockPos = 271;  // block offset 0; the block is kGblFileLen bytes
constexpr int kGblPayloadOffset = 32;  // the dump carries offsets 32-446
constexpr int kGblPayloadLen = 415;
constexpr int kUserScaleNotes = 48;   // VScroll2(0-47): 4 scales of 12 notes

// The value the control shows for the document's block: a list position,
// a check state (0 or 1), a slider value, or for Option1 whether that
// button is the selected one (1) or not (0). Combo3 4-14 give the program's
// channel of the part.
int GblShown(const std::string& doc, GblCtl ctl, int index);

// Writes the value the control now holds into the document's block (only
// the field's own bits of a shared byte); for Option1 the value is 1 when
// "+" is selected. Combo3 4-14 set the program's channel of the part and
// leave the document alone. A list position of -1 writes nothing.
void GblStore(std::string& doc, GblCtl ctl, int index, int value);

// The items of a list control, in order, as the window shows them.
std::vector<std::string> GblListItems(GblCtl ctl, int index);

// Builds the global dump of the document's block in gOutMsg: the System
// Exclusive header (global channel of the moment), 51h, the 415 payload
// bytes packed 8-to-7 (475 bytes), F7h: 481 bytes.
void GblDumpMsg(const std::string& doc);
