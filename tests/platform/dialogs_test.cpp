#include "platform/dialogs.h"

#include <gtest/gtest.h>

namespace {

class DialogsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetDialogs(nullptr); }
};

TEST_F(DialogsTest, EmptyQueuesAnswerAsWhenClosed) {
  ScriptedDialogs d;
  const std::pair<MsgButtons, int> table[] = {
      {MsgButtons::OK, kMsgOK},          {MsgButtons::OKCancel, kMsgClosed}, {MsgButtons::YesNo, kMsgClosed},
      {MsgButtons::YesNoCancel, kMsgClosed}, {MsgButtons::RetryCancel, kMsgClosed},
  };
  for (const auto& [buttons, answer] : table) EXPECT_EQ(d.MessageBox("t", "x", MsgIcon::None, buttons), answer);
  EXPECT_FALSE(d.ShowOpen({}).accepted);
  EXPECT_FALSE(d.ShowSave({}).accepted);
  EXPECT_EQ(d.ChooseFolder("t", "/"), "");
  EXPECT_EQ(d.ChooseLanguage(), 0);
}

TEST_F(DialogsTest, AnswersComeFromTheirOwnQueuesAndEveryCallIsRecorded) {
  ScriptedDialogs d;
  d.boxAnswers = {kMsgNo, kMsgYes};
  FileDialogResult chosen;
  chosen.accepted = true;
  chosen.fileName = "dir/a.prg";
  chosen.filterIndex = 3;
  chosen.readOnly = true;
  d.fileAnswers = {chosen};
  d.folderAnswers = {"dir"};
  d.languageAnswers = {2};

  EXPECT_EQ(d.MessageBox("Saving a", "The file has changed", MsgIcon::Exclamation, MsgButtons::YesNoCancel), kMsgNo);
  FileDialogRequest req;
  req.title = "Open File";
  req.filterIndex = 3;
  req.readOnlyBox = true;
  const FileDialogResult got = d.ShowOpen(req);
  EXPECT_TRUE(got.accepted);
  EXPECT_EQ(got.fileName, "dir/a.prg");
  EXPECT_TRUE(got.readOnly);
  EXPECT_FALSE(d.ShowSave(req).accepted);  // the one file answer is used up
  EXPECT_EQ(d.MessageBox("b", "y", MsgIcon::Question, MsgButtons::YesNo), kMsgYes);
  EXPECT_EQ(d.ChooseFolder("Folder", "start"), "dir");
  EXPECT_EQ(d.ChooseLanguage(), 2);
  EXPECT_EQ(d.ChooseLanguage(), 0);

  ASSERT_EQ(d.boxes.size(), 2u);
  EXPECT_EQ(d.boxes[0].title, "Saving a");
  EXPECT_EQ(d.boxes[0].text, "The file has changed");
  EXPECT_EQ(d.boxes[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(d.boxes[0].buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(d.boxes[0].answer, kMsgNo);
  EXPECT_EQ(d.boxes[1].answer, kMsgYes);
  ASSERT_EQ(d.fileCalls.size(), 2u);
  EXPECT_FALSE(d.fileCalls[0].save);
  EXPECT_EQ(d.fileCalls[0].request.title, "Open File");
  EXPECT_EQ(d.fileCalls[0].result.fileName, "dir/a.prg");
  EXPECT_TRUE(d.fileCalls[1].save);
  EXPECT_FALSE(d.fileCalls[1].result.accepted);
  EXPECT_EQ(d.folderCalls, std::vector<std::string>{"Folder"});
  EXPECT_EQ(d.languageCalls, 2);

  d.Clear();
  EXPECT_TRUE(d.boxes.empty());
  EXPECT_TRUE(d.fileCalls.empty());
  EXPECT_EQ(d.languageCalls, 0);
}

TEST_F(DialogsTest, InstalledDialogsAnswerUntilTheDefaultIsRestored) {
  // Without an installed implementation a built-in scripted one answers, so
  // nothing blocks.
  EXPECT_EQ(TheDialogs().MessageBox("t", "x", MsgIcon::None, MsgButtons::YesNo), kMsgClosed);
  ScriptedDialogs mine;
  mine.boxAnswers = {kMsgRetry};
  SetDialogs(&mine);
  EXPECT_EQ(&TheDialogs(), &mine);
  EXPECT_EQ(TheDialogs().MessageBox("t", "x", MsgIcon::None, MsgButtons::RetryCancel), kMsgRetry);
  SetDialogs(nullptr);
  EXPECT_NE(&TheDialogs(), &mine);
  EXPECT_EQ(TheDialogs().MessageBox("t", "x", MsgIcon::None, MsgButtons::OK), kMsgOK);
  EXPECT_EQ(mine.boxes.size(), 1u);
}

}  // namespace
