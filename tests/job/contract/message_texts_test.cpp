#include "job/contract/message_texts.h"

#include <gtest/gtest.h>

#include <ctime>

#include "job/contract/format_now.h"

namespace job {
namespace {

TEST(MessageTextsTest, MessageOkTakesTheFirstSelectorAndClearsOnlyIt) {
  RepairState state;
  state.msgStoppedByUser = 1;
  state.msgSavingCompleted = 1;
  EXPECT_EQ(OpenDialog(state, Dialog::CMessageOk).lines,
            std::vector<std::string>{kStoppedByUserText});
  EXPECT_EQ(state.msgSavingCompleted, 1);
  EXPECT_EQ(OpenDialog(state, Dialog::CMessageOk).lines,
            std::vector<std::string>{kSavingCompletedText});

  state.msgCustomText = 1;
  state.msgSelectTables = 1;
  state.messageBuffer = "Search completed.";
  EXPECT_EQ(OpenDialog(state, Dialog::CMessageOk).lines,
            std::vector<std::string>{"Search completed."});
  EXPECT_TRUE(state.messageBuffer.empty());
  EXPECT_EQ(state.msgSelectTables, 1);
}

TEST(MessageTextsTest, MessageDialogSelectors) {
  struct Case {
    const char* name;
    int openFailed, exitRequested, msgFirstStop, workerBusy;
    const char* text;
    bool yesNo;
  } cases[] = {
      {"open failed wins", 1, 1, 1, 0, kOpenFailedText, false},
      {"exit while idle asks", 0, 1, 0, 0, kExitQuestionText, true},
      {"exit while busy", 0, 1, 0, 1, kFirstStopText, false},
      {"first stop", 0, 0, 1, 0, kFirstStopText, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RepairState state;
    state.openFailed = c.openFailed;
    state.exitRequested = c.exitRequested;
    state.msgFirstStop = c.msgFirstStop;
    state.workerBusy = c.workerBusy;
    DialogContent content = OpenDialog(state, Dialog::CMessageDialog);
    EXPECT_EQ(content.lines, std::vector<std::string>{c.text});
    EXPECT_EQ(content.yesButton && content.noButton, c.yesNo);
    EXPECT_EQ(content.okButton, !c.yesNo);
    EXPECT_EQ(state.openFailed, c.openFailed) << "left for its owner";
    EXPECT_EQ(state.exitRequested, c.exitRequested) << "left for its owner";
  }
}

TEST(MessageTextsTest, StopQuestionAddsThatTheProcessCannotBeResumedOnce) {
  RepairState state;
  state.msgNotResumable = 1;
  DialogContent content = OpenDialog(state, Dialog::CStopDialog);
  EXPECT_EQ(content.lines, (std::vector<std::string>{kStopQuestionText, kNotResumableText}));
  EXPECT_TRUE(content.yesButton && content.noButton);
  EXPECT_EQ(state.msgNotResumable, 0);
  EXPECT_EQ(OpenDialog(state, Dialog::CStopDialog).lines, std::vector<std::string>{kStopQuestionText});
}

TEST(FormatNowTest, EnglishNamesAndTwelveHourClock) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* text;
  } cases[] = {
      {2026, 12, 9, 22, 39, 5, "Wednesday, December 09, 2026  10:39:05  PM"},
      {2024, 2, 29, 0, 0, 0, "Thursday, February 29, 2024  12:00:00  AM"},
      {2025, 6, 1, 12, 30, 59, "Sunday, June 01, 2025  12:30:59  PM"},
  };
  for (const auto& c : cases) {
    std::tm t{};
    t.tm_year = c.year - 1900;
    t.tm_mon = c.month - 1;
    t.tm_mday = c.day;
    t.tm_hour = c.hour;
    t.tm_min = c.minute;
    t.tm_sec = c.second;
    t.tm_isdst = -1;
    std::mktime(&t);  // fills in the weekday
    t.tm_hour = c.hour;
    EXPECT_EQ(FormatTime(t), c.text);
  }
  std::tm bad{};
  bad.tm_mon = 12;
  EXPECT_EQ(FormatTime(bad), "");
  EXPECT_FALSE(FormatNow().empty());
}

}  // namespace
}  // namespace job
