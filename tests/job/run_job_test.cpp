// The repair job on its worker thread, as a front end sees it through the port.
#include <gtest/gtest.h>

#include "job/recovery_thread.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;

void RunRepair(EngineHarness& h, const std::string& path) {
  h.state.databasePath = path;
  ASSERT_TRUE(job::StartRepairJob(h.state, h.engine, h.port, path, true));
  h.state.currentWorker->Join();
}

TEST(RunJobTest, InvalidFileShowsTheOpenMessageAndLogsOnlyAnEmptyLine) {
  TempDir dir;
  std::string path = dir.File("notes.txt");
  const std::string text = "these are notes, not a database";
  fixture::WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
  EngineHarness h;
  RunRepair(h, path);
  EXPECT_EQ(h.port.Described(),
            (std::vector<std::string>{"ResetWorkspace(0,0)", "CheckTopItem(0,0)", "JobState(0,0)",
                                      "LogLine:", "ShowRecordCount(0,0)",
                                      std::string("Dialog:") + job::kOpenFailedText,
                                      "JobState(0,1)"}));
  EXPECT_EQ(h.state.openFailed, 0) << "cleared once the job has seen it";
  EXPECT_EQ(h.state.repairRequested, 1);
  EXPECT_EQ(h.state.repairCompleted, 0);
  EXPECT_EQ(h.state.workerBusy, 0);
  EXPECT_EQ(h.state.includeDeletedRecords, 1);
}

TEST(RunJobTest, ValidFileIsOpenedAndWalked) {
  TempDir dir;
  std::string path = dir.File("valid.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE a(x); CREATE TABLE b(y);");
  EngineHarness h;
  bool busyAtEnd = false;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == Notification::JobState && e.second == 1) busyAtEnd = h.state.workerBusy;
  };
  RunRepair(h, path);
  auto described = h.port.Described();
  ASSERT_GE(described.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(described.begin(), described.begin() + 5),
            (std::vector<std::string>{"ResetWorkspace(0,0)", "CheckTopItem(0,0)", "JobState(0,0)",
                                      "LogLine:", "ShowRecordCount(0,0)"}));
  EXPECT_EQ(described.back(), "JobState(0,1)");
  EXPECT_TRUE(busyAtEnd) << "the job-end notification comes before workerBusy is cleared";
  EXPECT_EQ(h.engine.masterLeafPages, std::vector<int64_t>{0});
  EXPECT_EQ(h.state.workerBusy, 0);
}

TEST(RunJobTest, StopDuringTheRepairRunsTheStopHandling) {
  TempDir dir;
  std::string path = dir.File("many.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  std::string sql = "BEGIN;";
  for (int i = 0; i < 300; ++i) {
    sql += "CREATE TABLE t" + std::to_string(i) + "(a_long_column_name_to_fill_pages TEXT,"
           " another_long_column_name INTEGER);";
  }
  fixture::BuildDatabase(path, options, sql + "COMMIT;");
  EngineHarness h;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == Notification::Progress && e.second == 2) h.state.stopRequested = 1;
  };
  RunRepair(h, path);
  auto described = h.port.Described();
  ASSERT_GE(described.size(), 4u);
  std::vector<std::string> tail(described.end() - 4, described.end());
  EXPECT_EQ(tail[0], "Progress(0,3)");
  EXPECT_EQ(tail[1].rfind("LogLine:Process stopped by user on ", 0), 0u) << tail[1];
  EXPECT_EQ(tail[2], std::string("Dialog:") + job::kStoppedByUserText);
  EXPECT_EQ(tail[3], "JobState(0,1)");
  auto log = h.port.LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "");
  EXPECT_EQ(h.state.stopRequested, 0);
  EXPECT_EQ(h.state.workerBusy, 0);
}

TEST(RunJobTest, NoSecondJobWhileOneRuns) {
  EngineHarness h;
  h.state.workerBusy = 1;
  EXPECT_FALSE(job::StartRepairJob(h.state, h.engine, h.port, "x.db", false));
  EXPECT_EQ(h.port.Described(),
            (std::vector<std::string>{"ResetWorkspace(0,0)", "CheckTopItem(0,0)"}));
  EXPECT_EQ(h.state.currentWorker, nullptr);
}

}  // namespace
