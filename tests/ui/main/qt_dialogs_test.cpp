#include "ui/main/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProcess>
#include <QScreen>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "platform/twips.h"
#include "services/strings.h"
#include "tests/fixtures/mainfixture.h"
#include "ui/main/qt_translations.h"

namespace {

std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// Runs act on the modal dialog as soon as it is up (the call that shows it
// blocks in its own event loop meanwhile). Gives up after a few seconds so a
// dialog that never appears fails the test instead of hanging it.
void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w && ++*tries < 500) return;
    timer->stop();
    timer->deleteLater();
    if (w) act(w);
  });
  timer->start(10);
}

void PressKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
}

void PressEsc(QWidget* w) {
  PressKey(w, Qt::Key_Escape);
}

// Lets the event loop run for ms milliseconds.
void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

TEST(QtNameFilters, PairsBecomeFiltersMatchingBothCases) {
  const QStringList open = QtNameFilters(
      "Arrangements (*.arr)|*.arr|Style (*.sty)|*.sty|Programs (*.prg/pgg)|*.prg;*.pgg|Global (*.gbl)|*.gbl| All "
      "files (*.*)|*.*|");
  const QStringList expected = {
      "Arrangements (*.arr) (*.arr *.ARR)",
      "Style (*.sty) (*.sty *.STY)",
      "Programs (*.prg/pgg) (*.prg *.pgg *.PRG *.PGG)",
      "Global (*.gbl) (*.gbl *.GBL)",
      " All files (*.*) (*.*)",
  };
  EXPECT_EQ(open, expected);

  // The Save As string has blanks around its patterns and descriptions
  // without a space before the bracket.
  const QStringList save = QtNameFilters("Programs(*.pgg)| *.pgg| Global(*.gbl)| *.gbl|");
  EXPECT_EQ(save, QStringList({"Programs(*.pgg) (*.pgg *.PGG)", " Global(*.gbl) (*.gbl *.GBL)"}));
  EXPECT_TRUE(QtNameFilters("").isEmpty());
  EXPECT_EQ(QtNameFilters("Texte \xe8|*.txt"), QStringList({QString::fromUtf8("Texte \u00e8 (*.txt *.TXT)")}));
}

TEST(QtDialogs, EscOrTheCloseBoxAnswersClosedWhateverTheButtons) {
  QtDialogs d;
  for (MsgButtons buttons : {MsgButtons::OK, MsgButtons::OKCancel, MsgButtons::YesNo, MsgButtons::YesNoCancel,
                             MsgButtons::RetryCancel}) {
    WhenModal(PressEsc);
    EXPECT_EQ(d.MessageBox("t", "x", MsgIcon::Exclamation, buttons), kMsgClosed) << int(buttons);
    WhenModal([](QWidget* w) { w->close(); });
    EXPECT_EQ(d.MessageBox("t", "x", MsgIcon::Question, buttons), kMsgClosed) << int(buttons);
  }
}

TEST(QtDialogs, MessageBoxShowsItsTextsAndAnswersTheButtonPressed) {
  QtDialogs d;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttonCount = 0;
  WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttonCount = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(d.MessageBox("Saving r\xe8", "Il file \xe8 stato modificato", MsgIcon::Exclamation,
                         MsgButtons::YesNoCancel),
            kMsgNo);
  EXPECT_EQ(title, QString::fromUtf8("Saving r\u00e8"));
  EXPECT_EQ(text, QString::fromUtf8("Il file \u00e8 stato modificato"));
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttonCount, 3);

  const std::pair<MsgButtons, int> firstIsDefault[] = {{MsgButtons::OK, kMsgOK},
                                                       {MsgButtons::OKCancel, kMsgOK},
                                                       {MsgButtons::YesNo, kMsgYes},
                                                       {MsgButtons::RetryCancel, kMsgRetry}};
  for (const auto& [buttons, answer] : firstIsDefault) {
    WhenModal([](QWidget* w) { PressKey(w, Qt::Key_Return); });
    EXPECT_EQ(d.MessageBox("t", "x", MsgIcon::None, buttons), answer) << int(buttons);
  }
  WhenModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Cancel)->click(); });
  EXPECT_EQ(d.MessageBox("t", "x", MsgIcon::None, MsgButtons::RetryCancel), kMsgCancel);
}

// A box is at least as wide as its whole title in a bold title font, which
// names the file: a window manager would otherwise cut it short.
TEST(QtDialogs, AMessageBoxShowsItsWholeTitle) {
  QtDialogs d;
  for (const std::string& title :
       {std::string("Opening bank.arr"), std::string("Apertura di ") + std::string(60, 'n') + ".arr"}) {
    SCOPED_TRACE(title);
    int width = 0, needed = 0;
    WhenModal([&](QWidget* w) {
      QFont bold = w->font();
      bold.setBold(true);
      needed = QFontMetrics(bold).horizontalAdvance(w->windowTitle());
      width = w->width();
      w->close();
    });
    d.MessageBox(title, "File not found", MsgIcon::Exclamation, MsgButtons::OK);
    EXPECT_GT(needed, 0);
    EXPECT_GE(width, needed + 4 * QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
  }
}

class QtFileDialogTest : public ::testing::Test {
 protected:
  // The dialogs in English: the program's own texts in them follow the language.
  void SetUp() override {
    gLangBase = 200;
    ASSERT_TRUE(tmp_.isValid());
    dir_ = tmp_.path();
    for (const char* name : {"a.arr", "b.STY", "c.prg"}) {
      QFile f(dir_ + "/" + name);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtDialogsReset();
  }
  void TearDown() override {
    StringsReset();
    ToolkitLanguageReset();
    QtDialogsReset();
  }
  FileDialogRequest OpenRequest() const {
    FileDialogRequest req;
    req.title = "Brenvolta - Open File";
    req.filter = "Arrangements (*.arr)|*.arr|Style (*.sty)|*.sty|Programs (*.prg/pgg)|*.prg;*.pgg|";
    req.filterIndex = 3;
    req.initDir = Bytes(dir_);
    req.readOnlyBox = true;
    req.readOnlyChecked = true;
    return req;
  }
  QTemporaryDir tmp_;
  QString dir_;
};

TEST_F(QtFileDialogTest, OpenStartsAsAskedAndReportsTheChoiceAtOK) {
  QtDialogs d;
  QString title, folder;
  int shownFilter = -1;
  bool readOnlyShown = false, readOnlyTicked = false;
  WhenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    title = dlg->windowTitle();
    folder = dlg->directory().absolutePath();
    auto* combo = dlg->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(combo, nullptr);
    shownFilter = combo->currentIndex();
    auto* box = dlg->findChild<QCheckBox*>("ReadOnly");
    readOnlyShown = box && box->isVisible() && box->text() == "Read only";
    readOnlyTicked = box && box->isChecked();
    if (box) box->setChecked(false);
    dlg->selectNameFilter(dlg->nameFilters().at(1));  // the user picks the style filter
    dlg->selectFile(dir_ + "/b.STY");
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept, as the OK button runs it
  });
  const FileDialogResult got = d.ShowOpen(OpenRequest());
  EXPECT_EQ(title, "Brenvolta - Open File");
  EXPECT_EQ(folder, QDir(dir_).absolutePath());
  EXPECT_EQ(shownFilter, 2);
  EXPECT_TRUE(readOnlyShown);
  EXPECT_TRUE(readOnlyTicked);
  EXPECT_TRUE(got.accepted);
  EXPECT_EQ(got.fileName, Bytes(dir_ + "/b.STY"));
  EXPECT_EQ(got.filterIndex, 2);
  EXPECT_FALSE(got.readOnly);
}

// The names the dialog's list offers for choosing: shown and enabled.
QStringList OfferedNames(QFileDialog* dlg) {
  QStringList names;
  auto* view = dlg->findChild<QAbstractItemView*>("listView");
  if (!view || !view->model()) return names;
  const QModelIndex root = view->rootIndex();
  for (int r = 0; r < view->model()->rowCount(root); ++r) {
    const QModelIndex index = view->model()->index(r, 0, root);
    if ((index.flags() & Qt::ItemIsEnabled) && !static_cast<QListView*>(view)->isRowHidden(r))
      names << index.data().toString();
  }
  names.sort();
  return names;
}

TEST_F(QtFileDialogTest, FiltersMatchUpperCaseNamesAndShowTheirDescriptions) {
  QtDialogs d;
  QStringList shown, offered;
  WhenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    auto* combo = dlg->findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    dlg->selectNameFilter(dlg->nameFilters().at(1));
    // The folder is read in the background: wait until its names are in.
    for (int i = 0; i < 300 && OfferedNames(dlg) != QStringList{"b.STY"}; ++i) Wait(10);
    offered = OfferedNames(dlg);
    dlg->reject();
  });
  EXPECT_FALSE(d.ShowOpen(OpenRequest()).accepted);
  EXPECT_EQ(shown, QStringList({"Arrangements (*.arr)", "Style (*.sty)", "Programs (*.prg/pgg)"}));
  EXPECT_EQ(offered, QStringList{"b.STY"});
}

TEST_F(QtFileDialogTest, SaveAddsTheDefaultExtensionAndFallsBackToTheCurrentFolder) {
  QtDialogs d;
  FileDialogRequest req;
  req.title = "Save file as";
  req.filter = "Arrangements (*.arr)|*.arr|";
  req.defaultExt = "arr";
  req.initDir = Bytes(dir_ + "/missing");
  req.fileName = "Untitled.arr";
  QString folder, proposed;
  bool hasReadOnlyBox = true;
  WhenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    folder = dlg->directory().absolutePath();
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    proposed = edit->text();
    hasReadOnlyBox = dlg->findChild<QCheckBox*>("ReadOnly") != nullptr;
    edit->setText("saved");  // typed without its extension
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept, as the OK button runs it
  });
  const FileDialogResult got = d.ShowSave(req);
  EXPECT_EQ(folder, QDir::current().absolutePath());
  EXPECT_EQ(proposed, "Untitled.arr");
  EXPECT_FALSE(hasReadOnlyBox);
  EXPECT_TRUE(got.accepted);
  EXPECT_EQ(got.fileName, Bytes(QDir::current().absoluteFilePath("saved.arr")));
  EXPECT_EQ(got.filterIndex, 1);
}

// The width a line of a list needs for its text in one column, as the
// list's delegate draws it.
int ItemWidth(const QTreeView* tree, const QModelIndex& index) {
  QStyleOptionViewItem option;
  option.initFrom(tree);
  option.font = tree->font();
  option.fontMetrics = tree->fontMetrics();
  const int icon = tree->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree);
  option.decorationSize = tree->iconSize().isValid() ? tree->iconSize() : QSize(icon, icon);
  return tree->itemDelegate()->sizeHint(option, index).width();
}

// The Open and Save As dialogs first show the name, size, type and date of
// each file whole, in English and in Italian, within the screen, and the box
// that asks whether to replace a file shows its whole title. (Run again at
// twice the scale by the test below.)
TEST_F(QtFileDialogTest, TheDialogsFirstShowEachColumnWhole) {
  {
    QFile band(dir_ + "/band.arr");
    ASSERT_TRUE(band.open(QIODevice::WriteOnly));
    band.write(QByteArray(10700, 'x'));
    band.close();
    ASSERT_TRUE(band.open(QIODevice::ReadWrite));
    band.setFileTime(QDateTime(QDate(2023, 12, 11), QTime(14, 41, 13)), QFileDevice::FileModificationTime);
  }
  ASSERT_TRUE(QDir(dir_).mkdir("Canzoni"));
  QtDialogs d;
  for (int lang : {200, 0}) {
    if (lang == 0 && !QFile::exists(ToolkitItalianFile())) {
      ADD_FAILURE() << "the toolkit's Italian translation is missing: " << ToolkitItalianFile().toStdString();
      continue;
    }
    for (bool save : {false, true}) {
      SCOPED_TRACE(std::string(lang == 0 ? "Italian" : "English") + (save ? ", Save As" : ", Open"));
      gLangBase = lang;
      FileDialogRequest req = OpenRequest();
      req.title = lang == 0 ? "Salva file come" : "Save file as";
      req.filterIndex = 1;
      std::vector<std::string> cut;
      int rows = 0, boxWidth = 0, titleWidth = 0;
      WhenModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        auto* tree = dlg->findChild<QTreeView*>("treeView");
        ASSERT_NE(tree, nullptr);
        // The folder is read in the background: wait until its lines are in.
        for (int i = 0; i < 300 && tree->model()->rowCount(tree->rootIndex()) < 2; ++i) Wait(10);
        Wait(10);
        rows = tree->model()->rowCount(tree->rootIndex());
        QHeaderView* header = tree->header();
        for (int c = 0; c < 4; ++c) {
          const std::string name = header->model()->headerData(c, Qt::Horizontal).toString().toStdString();
          int needed = header->sectionSizeHint(c);
          for (int r = 0; r < rows; ++r)
            needed = std::max(needed, ItemWidth(tree, tree->model()->index(r, c, tree->rootIndex())));
          if (header->isSectionHidden(c) || header->sectionSize(c) < needed)
            cut.push_back(name + " " + std::to_string(header->sectionSize(c)) + " < " + std::to_string(needed));
        }
        if (header->length() > tree->viewport()->width())
          cut.push_back("the columns " + std::to_string(header->length()) + " > the list " +
                        std::to_string(tree->viewport()->width()));
        if (dlg->width() > dlg->screen()->availableGeometry().width()) cut.push_back("wider than the screen");
        if (save) {
          WhenModal([&](QWidget* box) {
            boxWidth = box->width();
            titleWidth = TitleBarWidth(box->windowTitle(), box);
            if (auto* b = qobject_cast<QMessageBox*>(box)) b->button(QMessageBox::No)->click();
          });
          dlg->findChild<QLineEdit*>("fileNameEdit")->setText("band.arr");
          static_cast<QDialog*>(dlg)->accept();  // an existing file: asks whether to replace it
        }
        dlg->reject();
      });
      if (save) d.ShowSave(req);
      else d.ShowOpen(req);
      EXPECT_GE(rows, 2);
      EXPECT_EQ(cut, std::vector<std::string>{});
      if (save) {
        EXPECT_GT(titleWidth, 0);
        EXPECT_GE(boxWidth, titleWidth);
      }
    }
  }
}

// The same at twice the scale, in a copy of this suite on a screen of
// 1280 x 1024 pixels (640 x 512 at that scale).
TEST_F(QtFileDialogTest, TheDialogsFirstShowEachColumnWholeAtTwiceTheScale) {
  const QString config = dir_ + "/screen.json";
  QFile screen(config);
  ASSERT_TRUE(screen.open(QIODevice::WriteOnly));
  screen.write(R"({"screens": [{"name": "big", "x": 0, "y": 0, "width": 1280, "height": 1024,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  screen.close();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_SCALE_FACTOR", "2");
  env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
  QProcess suite;
  suite.setProcessEnvironment(env);
  suite.setProcessChannelMode(QProcess::MergedChannels);
  suite.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=QtFileDialogTest.TheDialogsFirstShowEachColumnWhole"});
  ASSERT_TRUE(suite.waitForFinished(60000));
  const std::string out = suite.readAll().toStdString();
  EXPECT_EQ(suite.exitCode(), 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// A size the user gives a dialog is kept for the rest of the session; the
// other dialog keeps its own first size.
TEST_F(QtFileDialogTest, TheSizeTheUserGivesADialogIsKept) {
  QtDialogs d;
  QSize first, again, saveFirst;
  WhenModal([&](QWidget* w) {
    first = w->size();
    w->resize(first - QSize(80, 40));  // the user drags its corner in
    qobject_cast<QDialog*>(w)->reject();
  });
  d.ShowOpen(OpenRequest());
  WhenModal([&](QWidget* w) {
    again = w->size();
    qobject_cast<QDialog*>(w)->reject();
  });
  d.ShowOpen(OpenRequest());
  EXPECT_EQ(again, first - QSize(80, 40));
  WhenModal([&](QWidget* w) {
    saveFirst = w->size();
    qobject_cast<QDialog*>(w)->reject();
  });
  d.ShowSave(OpenRequest());
  EXPECT_NE(saveFirst, again);
}

TEST_F(QtFileDialogTest, CancelledDialogsAnswerNothing) {
  QtDialogs d;
  WhenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  const FileDialogResult open = d.ShowOpen(OpenRequest());
  EXPECT_FALSE(open.accepted);
  EXPECT_TRUE(open.fileName.empty());

  WhenModal(PressEsc);
  EXPECT_EQ(d.ChooseFolder("Folder", Bytes(dir_)), "");

  WhenModal([this](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->setDirectory(dir_);
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept, as the OK button runs it
  });
  EXPECT_EQ(d.ChooseFolder("Folder", Bytes(dir_)), Bytes(QDir(dir_).absolutePath()));
}

// The toolkit's own texts in a dialog: the labels and buttons of the file
// dialog, the buttons of the message boxes.
struct ToolkitTexts {
  std::string title, lookIn, fileName, open, cancel, readOnly;
  std::vector<std::string> yesNoCancel, retryCancel;
};

class ToolkitLanguageTest : public MainFixture {
 protected:
  void TearDown() override {
    SetDialogs(&dialogs_);
    MainFixture::TearDown();
  }
  // File > Open Arr on the real dialogs, in the language of the settings,
  // then the two kinds of question box.
  ToolkitTexts Shown(int language) {
    WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(language).bytes());
    Start();
    QtDialogs qt;
    SetDialogs(&qt);
    ToolkitTexts t;
    WhenModal([&t](QWidget* w) {
      auto* dlg = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(dlg, nullptr);
      t.title = dlg->windowTitle().toStdString();
      t.lookIn = dlg->findChild<QLabel*>("lookInLabel")->text().toStdString();
      t.fileName = dlg->findChild<QLabel*>("fileNameLabel")->text().toStdString();
      auto* buttons = dlg->findChild<QDialogButtonBox*>("buttonBox");
      t.open = buttons->button(QDialogButtonBox::Open)->text().toStdString();
      t.cancel = buttons->button(QDialogButtonBox::Cancel)->text().toStdString();
      t.readOnly = dlg->findChild<QCheckBox*>("ReadOnly")->text().toStdString();
      dlg->reject();
    });
    main_->Item("mnuApriArr")->trigger();
    auto texts = [](std::vector<std::string>* out) {
      WhenModal([out](QWidget* w) {
        for (QAbstractButton* b : qobject_cast<QMessageBox*>(w)->buttons()) out->push_back(b->text().toStdString());
        std::sort(out->begin(), out->end());
        w->close();
      });
    };
    texts(&t.yesNoCancel);
    TheDialogs().MessageBox("t", "x", MsgIcon::Question, MsgButtons::YesNoCancel);
    texts(&t.retryCancel);
    TheDialogs().MessageBox("t", "x", MsgIcon::Exclamation, MsgButtons::RetryCancel);
    return t;
  }
};

// The Open and Save As dialogs and the standard buttons are in the
// program's language: Italian takes the toolkit's translation, English
// stays as the toolkit is.
TEST_F(ToolkitLanguageTest, TheToolkitsDialogsFollowTheProgramsLanguage) {
  const ToolkitTexts english = Shown(2);
  EXPECT_EQ(english.title, "Brenvolta - Brenvolta v 2.0 - Open File");
  EXPECT_EQ(english.lookIn, "Look in:");
  EXPECT_EQ(english.fileName, "File &name:");
  EXPECT_EQ(english.open, "&Open");
  EXPECT_EQ(english.cancel, "Cancel");
  EXPECT_EQ(english.readOnly, "Read only");
  EXPECT_EQ(english.yesNoCancel, (std::vector<std::string>{"&No", "&Yes", "Cancel"}));
  EXPECT_EQ(english.retryCancel, (std::vector<std::string>{"Cancel", "Retry"}));
  main_->Item("mnuExit")->trigger();
  delete main_;
  main_ = nullptr;
  ResetProgramState();
  SetTwipsPerPixel(15);

  if (!QFile::exists(ToolkitItalianFile()))
    GTEST_SKIP() << "the toolkit's Italian translation is missing: " << ToolkitItalianFile().toStdString();
  const ToolkitTexts italian = Shown(1);
  // The program's own texts.
  EXPECT_EQ(italian.title, "Brenvolta - Brenvolta v 2.0 - Apri File");
  EXPECT_EQ(italian.readOnly, "Sola lettura");
  // The toolkit's are its translation's, whatever words a release of it
  // chooses: what the loaded translation gives for the English text, and
  // not the English text itself (as it would be had the translation not
  // been loaded; "No" is the one word Italian shares with English).
  const auto translated = [](const char* context, const char* english, bool sameWord = false) {
    const QString text = QCoreApplication::translate(context, english);
    if (!sameWord) {
      EXPECT_NE(text, QString::fromLatin1(english)) << context << " " << english << ": not translated";
    }
    return text.toStdString();
  };
  EXPECT_EQ(italian.lookIn, translated("QFileDialog", "Look in:"));
  EXPECT_EQ(italian.fileName, translated("QFileDialog", "File &name:"));
  EXPECT_EQ(italian.open, translated("QFileDialog", "&Open"));
  const std::string cancel = translated("QPlatformTheme", "Cancel");
  EXPECT_EQ(italian.cancel, cancel);
  std::vector<std::string> yesNoCancel{translated("QPlatformTheme", "&Yes"), translated("QPlatformTheme", "&No", true),
                                       cancel};
  std::vector<std::string> retryCancel{translated("QPlatformTheme", "Retry"), cancel};
  std::sort(yesNoCancel.begin(), yesNoCancel.end());
  std::sort(retryCancel.begin(), retryCancel.end());
  EXPECT_EQ(italian.yesNoCancel, yesNoCancel);
  EXPECT_EQ(italian.retryCancel, retryCancel);
}

TEST(QtDialogs, LanguageDialogIsTheInstalledOne) {
  QtDialogs d;
  EXPECT_EQ(d.ChooseLanguage(), 0);
  int calls = 0;
  QtDialogs::SetLanguageDialog([&calls] {
    ++calls;
    return 2;
  });
  EXPECT_EQ(d.ChooseLanguage(), 2);
  EXPECT_EQ(calls, 1);
  QtDialogs::SetLanguageDialog(nullptr);
  EXPECT_EQ(d.ChooseLanguage(), 0);
}

}  // namespace
