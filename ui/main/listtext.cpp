#include "ui/main/listtext.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

#include "core/bytes.h"

QString ToScreen(const std::string& bytes) { return QString::fromUtf8(ScreenUtf8(bytes)); }

namespace {
constexpr int kBytesRole = Qt::UserRole + 1;

QByteArray Raw(const std::string& bytes) { return QByteArray(bytes.data(), static_cast<int>(bytes.size())); }
std::string FromRaw(const QVariant& v) {
  const QByteArray a = v.toByteArray();
  return std::string(a.constData(), static_cast<size_t>(a.size()));
}
}  // namespace

void ListAddItem(QListWidget* list, const std::string& bytes) {
  const std::string text = CutAtNul(bytes);
  auto* item = new QListWidgetItem(ToScreen(text));
  item->setData(kBytesRole, Raw(text));
  list->addItem(item);
}

void ListSetItem(QListWidget* list, int index, const std::string& bytes) {
  QListWidgetItem* item = list->item(index);
  if (!item) return;
  const std::string text = CutAtNul(bytes);
  item->setText(ToScreen(text));
  item->setData(kBytesRole, Raw(text));
}

std::string ListItemText(const QListWidget* list, int index) {
  const QListWidgetItem* item = list->item(index);
  return item ? FromRaw(item->data(kBytesRole)) : std::string();
}

void ComboAddItem(QComboBox* combo, const std::string& bytes) {
  const std::string text = CutAtNul(bytes);
  if (combo->currentIndex() >= 0) {
    combo->addItem(ToScreen(text), Raw(text));
    return;
  }
  // Adding an item selects nothing: a box with no current item would
  // otherwise make its first item current. Nothing changes, so no handler
  // hears of it.
  const QSignalBlocker quiet(combo);
  const QString shown = combo->currentText();
  combo->addItem(ToScreen(text), Raw(text));
  combo->setCurrentIndex(-1);
  if (combo->isEditable()) combo->setEditText(shown);
}

std::string ComboItemText(const QComboBox* combo, int index) {
  if (index < 0 || index >= combo->count()) return std::string();
  return FromRaw(combo->itemData(index));
}

std::string ComboText(const QComboBox* combo) {
  if (combo->isEditable()) return Utf8ToLatin1(combo->currentText().toStdString());
  return ComboItemText(combo, combo->currentIndex());
}

void ComboSetText(QComboBox* combo, const std::string& bytes) {
  const std::string text = CutAtNul(bytes);
  if (combo->isEditable()) {
    combo->setEditText(ToScreen(text));
    return;
  }
  for (int i = 0; i < combo->count(); ++i) {
    if (ComboItemText(combo, i) == text) {
      combo->setCurrentIndex(i);
      return;
    }
  }
  combo->setCurrentIndex(-1);
}
