#include "ui/main/frmlingua.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "services/strings.h"
#include "tests/fixtures/appfixture.h"

class FrmLinguaTest : public AppFixture {};

TEST_F(FrmLinguaTest, OpensWithNoChoiceAndOkDoesNothingUntilOne) {
  frmLingua dialog;
  dialog.show();
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Brenvolta - Brenvolta v 2.0 ");
  EXPECT_FALSE(dialog.Option1(0)->isChecked());
  EXPECT_FALSE(dialog.Option1(1)->isChecked());
  QTest::mouseClick(dialog.CommOK(), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.OKPressed(), 0);

  dialog.Option1(1)->click();
  EXPECT_EQ(gLangSel, 2);
  dialog.Option1(0)->click();
  EXPECT_EQ(gLangSel, 1);
  QTest::mouseClick(dialog.CommOK(), Qt::LeftButton);
  EXPECT_EQ(dialog.OKPressed(), 1);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(gStartCancelled);
}

TEST_F(FrmLinguaTest, EscOrTheCloseBoxCancelsTheStart) {
  {
    frmLingua dialog;
    dialog.show();
    dialog.Option1(1)->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(gStartCancelled);
  }
  gStartCancelled = false;
  {
    frmLingua dialog;
    dialog.show();
    dialog.close();
    EXPECT_TRUE(gStartCancelled);
  }
}

TEST_F(FrmLinguaTest, RunModalAnswersTheChoice) {
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = qobject_cast<frmLingua*>(w)) {
        d->Option1(1)->click();
        d->CommOK()->click();
      }
    }
  });
  EXPECT_EQ(frmLingua::RunModal(), 2);
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<frmLingua*>(w)) d->close();
  });
  EXPECT_EQ(frmLingua::RunModal(), 0);
}

// The window is at least as wide as its title in a bold title font: a
// window manager would otherwise cut the program's name short.
TEST_F(FrmLinguaTest, ShowsItsWholeTitle) {
  frmLingua dialog;
  dialog.show();
  QFont bold = dialog.font();
  bold.setBold(true);
  const int needed = QFontMetrics(bold).horizontalAdvance(dialog.windowTitle());
  EXPECT_GT(needed, 0);
  EXPECT_GE(dialog.width(), needed + 4 * QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
}
