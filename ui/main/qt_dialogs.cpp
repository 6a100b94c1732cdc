#include "ui/main/qt_dialogs.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStyle>
#include <QTreeView>

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

// The size the user last gave the Open dialog and the Save As dialog, kept
// for the session (empty while the user has given none).
QSize gUserSize[2];

// The width a column of the dialog's file list needs for the widest of
// texts, with the margins the list's items keep.
int ColumnWidth(const QTreeView* tree, const QStringList& texts) {
  const QFontMetrics fm(tree->font());
  int width = 0;
  for (const QString& t : texts) width = std::max(width, fm.horizontalAdvance(t));
  const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
  return width + 4 * margin;
}

// The toolkit sizes the size, type and date columns for short samples of
// its own ("128.88 GB", "10/29/81 02:02PM"), and cuts what the list shows:
// each gets the width of its header and of the widest text it can show in
// the language in use (sizes up to 1023.99 of a unit, the types of a
// folder, of the program's files and of files told by their content, a late
// time of every month).
void FitColumns(QFileDialog& dlg, QTreeView* tree) {
  QHeaderView* header = tree->header();
  if (header->count() < 4) return;
  const QLocale locale = QLocale::system();
  QStringList sizes, types, dates;
  for (qint64 bytes : {999LL, 1048575LL, 1073741823LL, 1099511627775LL, 1125899906842623LL})
    sizes << locale.formattedDataSize(bytes);
  QFileIconProvider fallback;
  const QAbstractFileIconProvider* icons = dlg.iconProvider() ? dlg.iconProvider() : &fallback;
  types << icons->type(QFileInfo(QDir::homePath()));
  for (const char* ext : {"arr", "sty", "prg", "pgg", "gbl"})
    types << icons->type(QFileInfo(QDir::home(), QStringLiteral("x.") + QLatin1String(ext)));
  // A file's type follows its content where its name tells none: a binary
  // file, an empty one, one that reads as text.
  const QMimeDatabase mime;
  for (const char* name : {"application/octet-stream", "application/x-zerosize", "text/plain"})
    types << mime.mimeTypeForName(QLatin1String(name)).comment();
  for (int month = 1; month <= 12; ++month)
    dates << locale.toString(QDateTime(QDate(2028, month, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
  // The name column starts as wide as the toolkit makes it first, though
  // the toolkit's settings may bring back a narrower one from another run.
  const int nameWidth = tree->fontMetrics().horizontalAdvance(QString(26, QLatin1Char('w')));
  header->resizeSection(0, std::max(header->sectionSize(0), nameWidth));
  const QStringList* contents[] = {nullptr, &sizes, &types, &dates};
  for (int i = 1; i <= 3; ++i)
    header->resizeSection(i, std::max(header->sectionSizeHint(i), ColumnWidth(tree, *contents[i])));
}

// Sizes the Open and Save As dialogs and the box that asks whether to
// replace a file:
// - shown, the dialog takes the size the user gave it last in this session,
//   or else is made wide enough for the whole of each column of its list
//   (within the screen);
// - a size the user gives it is kept when it closes;
// - the replace box, which the toolkit titles with the dialog's title, is
//   made as wide as that title.
class FileDialogSizer : public QObject {
 public:
  FileDialogSizer(QFileDialog& dlg, bool save) : QObject(&dlg), dlg_(dlg), save_(save) {
    dlg.installEventFilter(this);
  }
  // The dialog has closed: a size other than the one it was shown at is
  // the user's.
  void Keep() {
    if (shownAt_.isValid() && dlg_.size() != shownAt_) gUserSize[save_] = dlg_.size();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dlg_ && event->type() == QEvent::ChildPolished) {
      auto* box = qobject_cast<QMessageBox*>(static_cast<QChildEvent*>(event)->child());
      if (box && !boxes_.contains(box)) {
        boxes_ << box;
        box->installEventFilter(this);
      }
    } else if (watched == &dlg_ && event->type() == QEvent::Show && !shownAt_.isValid()) {
      FirstSize();
    } else if (event->type() == QEvent::Show && watched != &dlg_) {
      if (auto* box = qobject_cast<QMessageBox*>(watched); box && !fitted_.contains(box)) {
        fitted_ << box;
        FitTitle(*box);
      }
    }
    return false;
  }

 private:
  // Called as the dialog is shown, its children laid out, before it is on
  // the screen.
  void FirstSize() {
    auto* tree = dlg_.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (tree) FitColumns(dlg_, tree);
    QSize size = gUserSize[save_];
    if (!size.isValid() && tree) {
      QHeaderView* header = tree->header();
      int columns = 0;
      for (int i = 0; i < header->count(); ++i)
        if (!header->isSectionHidden(i)) columns += header->sectionSize(i);
      const int needed = columns + tree->verticalScrollBar()->sizeHint().width() + 2 * tree->frameWidth();
      size = dlg_.size() + QSize(std::max(0, needed - tree->width()), 0);
      // Where the screen is too narrow for that, the name column gives up
      // what is missing, down to a width that still shows a name.
      if (const QScreen* screen = dlg_.screen()) {
        const int lack = size.width() - screen->availableGeometry().width();
        const int least = std::max(header->sectionSizeHint(0),
                                   tree->fontMetrics().horizontalAdvance(QStringLiteral("wwwwwwwwwwww")));
        if (lack > 0) header->resizeSection(0, std::max(least, header->sectionSize(0) - lack));
      }
    }
    if (size.isValid()) {
      if (const QScreen* screen = dlg_.screen()) size = size.boundedTo(screen->availableGeometry().size());
      dlg_.resize(size);
    }
    shownAt_ = dlg_.size();
  }

  QFileDialog& dlg_;
  const bool save_;
  QSize shownAt_;
  QList<QObject*> boxes_, fitted_;
};

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

  auto* sizer = new FileDialogSizer(dlg, save);
  FileDialogResult result;
  result.filterIndex = req.filterIndex;
  result.readOnly = req.readOnlyChecked;
  const int done = dlg.exec();
  sizer->Keep();
  if (done != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return result;
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

void QtDialogsReset() {
  gUserSize[0] = QSize();
  gUserSize[1] = QSize();
}

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
