// The message dialogs: the text their selectors choose, and what Enter and Escape
// answer.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "shell/message_box.h"

namespace {

using job::Dialog;
using job::DialogAnswer;

// Opens `dialog` for `state` without blocking, presses `key` and returns the answer.
DialogAnswer Press(job::RepairState& state, Dialog dialog, Qt::Key key, QString* text = nullptr) {
  shell::CMessageBox box(dialog, job::OpenDialog(state, dialog));
  box.show();
  if (text) *text = box.findChild<QLabel*>("MessageText")->text();
  QTest::keyClick(&box, key);
  return box.Answer();
}

TEST(MessageBoxTest, EscapeNeverConfirmsAQuestionAndEnterPressesTheDefault) {
  struct Case {
    const char* name;
    Dialog dialog;
    std::function<void(job::RepairState&)> select;
    QString text;
    DialogAnswer enter;
    DialogAnswer escape;  // No where Yes and No are shown, the OK answer elsewhere
  } cases[] = {
      {"exit question", Dialog::CMessageDialog, [](job::RepairState& s) { s.exitRequested = 1; },
       job::kExitQuestionText, DialogAnswer::No, DialogAnswer::No},
      {"exit while busy", Dialog::CMessageDialog,
       [](job::RepairState& s) {
         s.exitRequested = 1;
         s.workerBusy = 1;
       },
       job::kFirstStopText, DialogAnswer::Yes, DialogAnswer::Yes},
      {"invalid file", Dialog::CMessageDialog, [](job::RepairState& s) { s.openFailed = 1; },
       job::kOpenFailedText, DialogAnswer::Yes, DialogAnswer::Yes},
      {"stop question", Dialog::CStopDialog, [](job::RepairState&) {}, job::kStopQuestionText,
       DialogAnswer::Yes, DialogAnswer::No},
      {"information", Dialog::CMessageOk, [](job::RepairState& s) { s.msgSavingCompleted = 1; },
       job::kSavingCompletedText, DialogAnswer::Yes, DialogAnswer::Yes},
      {"notice", Dialog::CUserDialog, [](job::RepairState& s) { s.noticeText = "A newer version."; },
       "A newer version.", DialogAnswer::No, DialogAnswer::No},
      {"repaired", Dialog::CRepairedSuccessfully, [](job::RepairState&) {}, job::kRepairedText,
       DialogAnswer::Yes, DialogAnswer::Yes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
      job::RepairState state;
      c.select(state);
      QString text;
      const DialogAnswer answer = Press(state, c.dialog, key, &text);
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(answer, key == Qt::Key_Escape ? c.escape : c.enter) << (key == Qt::Key_Escape ? "Escape" : "Enter");
    }
  }
}

TEST(MessageBoxTest, ButtonsAndTheSelectorOrder) {
  job::RepairState state;
  state.msgStoppedByUser = 1;
  state.msgSavingCompleted = 1;
  {
    shell::CMessageBox first(Dialog::CMessageOk, job::OpenDialog(state, Dialog::CMessageOk));
    EXPECT_EQ(first.findChild<QLabel*>("MessageText")->text(), job::kStoppedByUserText);
  }
  shell::CMessageBox second(Dialog::CMessageOk, job::OpenDialog(state, Dialog::CMessageOk));
  EXPECT_EQ(second.findChild<QLabel*>("MessageText")->text(), job::kSavingCompletedText);
  EXPECT_EQ(second.windowTitle(), job::kProductTitle);

  state.exitRequested = 1;
  shell::CMessageBox exit(Dialog::CMessageDialog, job::OpenDialog(state, Dialog::CMessageDialog));
  exit.show();
  EXPECT_NE(exit.findChild<QPushButton*>("ButtonYes"), nullptr);
  EXPECT_EQ(exit.findChild<QPushButton*>("ButtonOk"), nullptr) << "OK is hidden in the exit question";
  QTest::mouseClick(exit.findChild<QPushButton*>("ButtonYes"), Qt::LeftButton);
  EXPECT_EQ(exit.Answer(), DialogAnswer::Yes);

  shell::CMessageBox notice(Dialog::CUserDialog, job::OpenDialog(state, Dialog::CUserDialog));
  notice.show();
  QTest::mouseClick(notice.findChild<QPushButton*>("ButtonOk"), Qt::LeftButton);
  EXPECT_EQ(notice.Answer(), DialogAnswer::No) << "the notice's OK answers no";
}

}  // namespace
