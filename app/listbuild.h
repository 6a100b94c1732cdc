// Texts that the windows show of the instrument's data: the style box of an
// arrangement window, note names and arrangement slot names.
#pragma once

#include <string>

// Fills the style box (Combo1) of the active window from the arrangement
// window WinTag tag: first the file's own styles, slot 0 up to the first
// empty slot, as "name (U11)" to "name (U18)" and "name (U21)" to
// "name (U28)"; then each factory style that an arrangement of the file
// uses, once, in the order of first use. Then, when exactly one line of
// List1 (0-63) is selected, selects the style of that arrangement; with none
// or more than one, or an empty slot, the box's text is empty. Style numbers
// out of range (own above 15, factory above 127) name no style. Without a
// main window or an active window nothing happens.
void StyListFill(const std::string& tag);

// The note name and octave of a MIDI key 0-127 ("C-1" for 0, "C4" for 60,
// "G9" for 127); empty for a key outside 0-127.
std::string NoteName(int key);

// A split point (36-96) as the arrangement editor and the keyboard show it:
// the letter, the octave, then "#" for a black key ("C2" for 36, "C4#" for
// 61).
std::string SplitPointName(int note);

// The instrument's name of arrangement slot 0-127: "A" or "B" and the
// two-digit number 11-18, 21-28, ... 81-88 ("A11" for 0, "B88" for 127). A
// slot of 64 or more is reduced by 64 in the caller's variable.
std::string ArrSlotName(int& slot);

// The two-character label of entry i (0-63) of an arrangement bank: the
// bank digit i \ 8 + 1, then the number digit i Mod 8 + 1 ("11" ... "88").
std::string ArrSlotNum(int index);
