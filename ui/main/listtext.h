// Every list and combo box of the windows is filled through these helpers:
// an item's text ends at its first NUL byte (as the designed list controls
// do), the bytes are shown as screen text, and reading an item back gives
// exactly the bytes it shows (kept with the item), not a re-encoding.
#pragma once

#include <QString>
#include <string>

#include "core/bytes.h"

// The program's bytes as screen text (Latin-1, or UTF-8 for a path that is).
QString ToScreen(const std::string& bytes);

class QComboBox;
class QListWidget;

void ListAddItem(QListWidget* list, const std::string& bytes);
void ListSetItem(QListWidget* list, int index, const std::string& bytes);
std::string ListItemText(const QListWidget* list, int index);

// Adds an item and leaves the selection as it was: an item is current after
// a fill only when the filler selects one.
void ComboAddItem(QComboBox* combo, const std::string& bytes);
std::string ComboItemText(const QComboBox* combo, int index);
// The edit text of an editable combo, or the current item's text.
std::string ComboText(const QComboBox* combo);
void ComboSetText(QComboBox* combo, const std::string& bytes);
