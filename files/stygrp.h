// The style group: up to 16 instrument styles in 4 banks of 4 slots, as a
// byte string. Bytes 0-6 are the header "KORG" 4D 00 04; the length of slot
// k (0-15) is an unsigned 16-bit value, low byte first, at offset 24 + 4k
// (0 = slot not present); the slots' data follow the 224-byte header in slot
// order with no gaps, each beginning with its 16-character, blank-padded
// name. Bank b holds slots 4b to 4b+3.
//
// "Group" below is a bare group string, its header at position 1. "Tag" is a
// window's WinTag, which holds the group from position 670 in style windows
// (kinds 23 and 24) and from position 42,623 in any other (arrangement)
// window. Positions are 1-based. Every operation stays inside its strings,
// whatever lengths the group holds: a slot number outside 0-15 has length 0
// and an empty name, and a slot of length 0 has an empty name.
#pragma once

#include <string>

constexpr int kStySlotCount = 16;
constexpr int kStyHeaderLen = 224;
constexpr int kStyWinGrpBase = 670;    // group base in a style window's WinTag
constexpr int kArrWinGrpBase = 42623;  // group base in an arrangement window's WinTag
// A bank's four slots together stay below this many bytes.
constexpr int kStyBankLimit = 65496;
// A slot's length is handled as a signed 16-bit number: it stays below this.
constexpr int kStySlotLenLimit = 32768;
inline const std::string kStyHeader{"KORG\x4D\x00\x04", 7};
// The name of an empty style that still has data (copied from the template).
inline const std::string kStyEmptyName = "- empty -";

// The group base of a WinTag by its kind (character 1): 670 for a style
// window (23, 24), 42,623 for any other.
int StyGrpBase(const std::string& tag);

// Length of a slot (0 for a slot number outside 0-15).
int StyGrpSlotLen(int slot, const std::string& group);
int ArrStySlotLen(int slot, const std::string& tag);  // in an arrangement window's tag

// Position of a slot's data: 225 + the lengths of the slots before it, or 0
// as soon as one of them has length 0 (and for a slot outside 0-15).
int StyGrpSlotPos(int slot, const std::string& group);
int ArrStySlotPos(int slot, const std::string& tag);  // data from 42,847

// The slot's 16-character name, trailing blanks removed; empty for a slot of
// length 0 or outside 0-15.
std::string StyGrpSlotName(int slot, const std::string& group);
std::string StySlotName(int slot, const std::string& tag);  // base by kind

// Number of banks in use, 0-4: (the highest slot whose name is not
// "- empty -") \ 4 + 1, or 0 when all 16 read "- empty -". A slot of length
// 0 has an empty name and so counts as used.
int StyBankCount(const std::string& tag);

// Sum of the 4 lengths of the bank that holds the slot (0 outside 0-15).
int StyGrpBankSize(int slot, const std::string& group);
// 224 + that sum inside a tag: the size of a one-bank group.
int StyBankSizeInTag(int slot, const std::string& tag);
// 224 + the sum of all 16 lengths of the tag's group.
int StyGrpTotalLen(const std::string& tag);

// Cuts the tag's group to its banks in use, in place: the entries of the
// unused banks become 0 and the tag ends after the data of the used ones.
// Returns 1 (nothing changed) when no bank is in use, else 0.
int StyGrpUsedPart(std::string& tag);

// 1 when, among the slots of an arrangement window's group before its first
// slot of length 0, one has a name other than "- empty -"; else 0.
int ArrHasStyles(const std::string& tag);

// 1 when one of the 16 slots of a bare group has data and a name other than
// "- empty -", whatever the slots before it hold; else 0. Unlike
// ArrHasStyles it looks past a slot of length 0, so a group with a gap
// still counts its later styles.
int StyGrpHasStyle(const std::string& group);

// List line of a slot in a style window's list: v + v \ 4 for v = 0-15
// (lines 4, 9 and 14 separate the banks); 0 for any other value.
int StyIdxMap(int v);

// Puts a style into a slot of dstGroup. The arguments are changed in place.
// - slotOut not 0 on entry: the source is slot 0 of the template, the empty
//   style, and the target is slot mode: this deletes a style. When done,
//   srcGroup is gStyTemplate and srcSlot 0.
// - slotOut 0 and mode 100 or more: when dstGroup holds a style of the
//   source's name, slotOut becomes its slot and the result is 1, nothing
//   changed; otherwise mode becomes 0 and the target is the first free slot
//   (length 0, or named "- empty -" or blank), result 2 when there is none.
// - otherwise the target is slot mode of dstGroup, from slot srcSlot of
//   srcGroup.
// The target's data are replaced by the source slot's, the later data move
// with them, the target's length entry is set and slotOut is the target.
// Returns 0 done; 1 the name is already there; 2 no free slot, or nothing
// done because the source slot has length 0 (or 32,768 or more), a slot
// number is outside 0-15, or a group does not hold the data its lengths
// give; 3 the target's bank would reach 65,496 bytes. On 2 and 3 only mode
// may have changed (to 0, after a search by name).
int StyGrpPutSlot(int& slotOut, int& srcSlot, std::string& srcGroup, int& mode, std::string& dstGroup);
