#include "ui/main/qt_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStyle>

#include "core/bytes.h"
#include "services/strings.h"
#include "ui/main/qt_translations.h"

namespace {

std::function<int()> gLanguageDialog;

QString ScreenText(const std::string& bytes) {
  return QString::fromUtf8(ScreenUtf8(bytes));
}

QString PathText(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string PathBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// A message box whose close box and Esc close it without choosing a button,
// whatever buttons it has (Qt would otherwise press Cancel or No, or refuse
// to close a Yes/No box at all).
class Box : public QMessageBox {
 public:
  explicit Box(QWidget* parent) : QMessageBox(parent) { setWindowFlag(Qt::WindowCloseButtonHint, true); }
  bool closedWithoutChoice = false;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->matches(QKeySequence::Cancel)) {
      closedWithoutChoice = true;
      QDialog::reject();
      return;
    }
    QMessageBox::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    if (!clickedButton()) closedWithoutChoice = true;
    QDialog::closeEvent(e);
  }
};

// A message box is as wide as its text unless told otherwise, and a window
// manager then cuts its title, where the name of the file stands: the box
// is made at least as wide as its title. (A message box lays itself out
// anew when shown; a stretch in its grid is what it keeps.)
void FitTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  const QMargins margins = grid->contentsMargins();
  const int width = TitleBarWidth(box.windowTitle(), &box) - margins.left() - margins.right();
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                grid->columnCount());
}

QMessageBox::Icon BoxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// The buttons of a box, the first one being the default, as designed.
QList<QMessageBox::StandardButton> BoxButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OK:
      return {QMessageBox::Ok};
    case MsgButtons::OKCancel:
      return {QMessageBox::Ok, QMessageBox::Cancel};
    case MsgButtons::YesNo:
      return {QMessageBox::Yes, QMessageBox::No};
    case MsgButtons::YesNoCancel:
      return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MsgButtons::RetryCancel:
      return {QMessageBox::Retry, QMessageBox::Cancel};
  }
  return {QMessageBox::Ok};
}

int Answer(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok:
      return kMsgOK;
    case QMessageBox::Cancel:
      return kMsgCancel;
    case QMessageBox::Yes:
      return kMsgYes;
    case QMessageBox::No:
      return kMsgNo;
    case QMessageBox::Retry:
      return kMsgRetry;
    default:
      return kMsgClosed;
  }
}

FileDialogResult RunFileDialog(const FileDialogRequest& req, bool save) {
  FollowToolkitLanguage();
  QFileDialog dlg(QApplication::activeWindow(), ScreenText(req.title));
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setOption(QFileDialog::HideNameFilterDetails);  // the list shows the descriptions as designed
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);

  const QString initDir = PathText(req.initDir);
  dlg.setDirectory(!initDir.isEmpty() && QDir(initDir).exists() ? initDir : QDir::currentPath());
  const QStringList filters = QtNameFilters(req.filter);
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    if (req.filterIndex >= 1 && req.filterIndex <= filters.size()) dlg.selectNameFilter(filters[req.filterIndex - 1]);
  }
  if (!req.defaultExt.empty()) dlg.setDefaultSuffix(ScreenText(req.defaultExt));
  if (!req.fileName.empty()) dlg.selectFile(PathText(req.fileName));

  QCheckBox* readOnly = nullptr;
  if (req.readOnlyBox) {
    // The dialog's own check box, in the language of the rest of the dialog.
    readOnly = new QCheckBox(gLangBase == 0 ? QStringLiteral("Sola lettura") : QStringLiteral("Read only"), &dlg);
    readOnly->setObjectName(QStringLiteral("ReadOnly"));
    readOnly->setChecked(req.readOnlyChecked);
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
      grid->addWidget(readOnly, grid->rowCount(), 0, 1, grid->columnCount());
    else if (dlg.layout())
      dlg.layout()->addWidget(readOnly);
  }

  FileDialogResult result;
  result.filterIndex = req.filterIndex;
  result.readOnly = req.readOnlyChecked;
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return result;
  result.accepted = true;
  result.fileName = PathBytes(dlg.selectedFiles().first());
  // The list shows the descriptions only, and the dialog then answers the
  // description for the selected filter, which need not be unique: the
  // position in the dialog's own list tells the entry.
  const auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  const qsizetype selected = combo ? combo->currentIndex() : filters.indexOf(dlg.selectedNameFilter());
  if (selected >= 0 && selected < filters.size()) result.filterIndex = static_cast<int>(selected) + 1;
  if (readOnly) result.readOnly = readOnly->isChecked();
  return result;
}

// "*.prg" -> "*.prg" and "*.PRG"; letters outside ASCII are left alone.
QString AsciiCase(const QString& s, bool upper) {
  const std::string bytes = s.toStdString();
  return QString::fromStdString(upper ? UCase(bytes) : LCase(bytes));
}

}  // namespace

int TitleBarWidth(const QString& title, const QWidget* window) {
  QFont font = window->font();
  font.setBold(true);
  const int bar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
  return QFontMetrics(font).horizontalAdvance(title) + 4 * bar + 2 * bar;
}

QStringList QtNameFilters(const std::string& designedFilter) {
  const QStringList parts = ScreenText(designedFilter).split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList lower, upper;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed();
      if (pattern.isEmpty()) continue;
      lower << AsciiCase(pattern, false);
      upper << AsciiCase(pattern, true);
    }
    QStringList patterns = lower + upper;
    patterns.removeDuplicates();
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    result << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return result;
}

int QtDialogs::MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  FollowToolkitLanguage();  // the buttons in the language of the text
  Box box(QApplication::activeWindow());
  box.setIcon(BoxIcon(icon));
  box.setWindowTitle(ScreenText(title));
  box.setText(ScreenText(text));
  const QList<QMessageBox::StandardButton> list = BoxButtons(buttons);
  QMessageBox::StandardButtons set;
  for (QMessageBox::StandardButton b : list) set |= b;
  box.setStandardButtons(set);
  box.setDefaultButton(list.first());
  FitTitle(box);
  box.exec();
  if (box.closedWithoutChoice || !box.clickedButton()) return kMsgClosed;
  return Answer(box.standardButton(box.clickedButton()));
}

FileDialogResult QtDialogs::ShowOpen(const FileDialogRequest& req) {
  return RunFileDialog(req, false);
}

FileDialogResult QtDialogs::ShowSave(const FileDialogRequest& req) {
  return RunFileDialog(req, true);
}

std::string QtDialogs::ChooseFolder(const std::string& title, const std::string& initDir) {
  FollowToolkitLanguage();
  const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(), ScreenText(title),
                                                           PathText(initDir),
                                                           QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  return folder.isEmpty() ? std::string() : PathBytes(folder);
}

int QtDialogs::ChooseLanguage() {
  return gLanguageDialog ? gLanguageDialog() : 0;
}

void QtDialogs::SetLanguageDialog(std::function<int()> dialog) {
  gLanguageDialog = std::move(dialog);
}
