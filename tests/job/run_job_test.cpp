// The repair job on its worker thread, as a front end sees it through the port.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>

#include "job/recovery_thread.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;

void RunRepair(EngineHarness& h, const std::string& path) {
  h.state.databasePath = path;
  {
    auto worker = job::StartRepairJob(h.state, h.engine, h.port, path, true);
    ASSERT_TRUE(worker);
    worker->Join();
  }
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

TEST(RunJobTest, ValidFileIsRepairedWithTheSummaryLines) {
  TempDir dir;
  std::string path = dir.File("valid.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE a(x); CREATE TABLE b(y); CREATE TABLE c(z, w);"
                         "CREATE VIEW v AS SELECT * FROM a;");
  EngineHarness h;
  bool busyAtEnd = false;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == Notification::JobState && e.second == 1) busyAtEnd = h.state.workerBusy;
  };
  RunRepair(h, path);
  auto described = h.port.Described();
  // Times differ from run to run: cut them off after the fixed label.
  for (auto& line : described) {
    for (const char* label : {"started on ", "completed on "}) {
      size_t at = line.find(label);
      if (at != std::string::npos) line.resize(at + std::string(label).size());
    }
  }
  const std::vector<std::string> expected{
      "ResetWorkspace(0,0)", "CheckTopItem(0,0)", "JobState(0,0)", "LogLine:",
      "ShowRecordCount(0,0)", "Progress(20,1)", "Progress(0,2)",
      // one step per column of each table without freed space: a, b, c (two)
      "Progress(0,2)", "Progress(0,2)", "Progress(0,2)", "Progress(0,2)",
      "Progress(0,2)", "Progress(0,3)",
      "Progress(1,1)", "Progress(0,3)",  // the page census
      "RepairDone(1,0)",
      "LogLine:Repairing process started on ", "LogLine:", "LogLine:Database Name : " + path,
      "LogLine:", "LogLine:Database Details: ", "LogLine:",
      "LogLine:Total Table(s) present     : 3", "LogLine:Total View(s) present      : 1",
      "LogLine:Total Trigger(s) present  : 0", "LogLine:", "LogLine:Repairing process completed on ",
      std::string("Dialog:") + job::kRepairedText + "\n" + job::kRepairedHintText, "JobState(0,1)"};
  EXPECT_EQ(described, expected);
  // The time stamps themselves: "Wednesday, December 09, 2026  10:39:05  PM".
  auto log = h.port.LogLines();
  EXPECT_TRUE(std::regex_match(log[1], std::regex("Repairing process started on [A-Z][a-z]+day, "
                                                  "[A-Z][a-z]+ \\d\\d, \\d{4}  \\d\\d:\\d\\d:\\d\\d  [AP]M")))
      << log[1];
  EXPECT_TRUE(busyAtEnd) << "the job-end notification comes before workerBusy is cleared";
  EXPECT_EQ(h.state.repairCompleted, 1);
  EXPECT_EQ(h.state.repairRequested, 0);
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

// A recording front end that also keeps the paths InputChanged carried.
class ChangeRecordingFrontEnd : public fixture::RecordingFrontEnd {
 public:
  using RecordingFrontEnd::RecordingFrontEnd;
  void InputChanged(const std::string& path) override { changedPaths.push_back(path); }
  std::vector<std::string> changedPaths;
};

struct ChangeHarness {
  job::RepairState state;
  ChangeRecordingFrontEnd port{state};
  CSqliteRepair engine{state, port};
};

TEST(RunJobTest, AFileThatChangesDuringAJobIsReportedAndNotCalledASuccess) {
  enum class Job { Repair, Show, Save };
  enum class Change { None, CutShort, RewrittenAMicrosecondLater };
  const std::string kChangedLine = "The selected file changed while it was read; the results may be incomplete.";
  struct Case {
    const char* name;
    Job job;
    Change change;
  } cases[] = {
      {"repair, untouched", Job::Repair, Change::None},
      {"repair, cut short", Job::Repair, Change::CutShort},
      {"repair, same size, modified a microsecond later", Job::Repair, Change::RewrittenAMicrosecondLater},
      {"show, untouched", Job::Show, Change::None},
      {"show, cut short", Job::Show, Change::CutShort},
      {"show, same size, modified a microsecond later", Job::Show, Change::RewrittenAMicrosecondLater},
      {"save, untouched", Job::Save, Change::None},
      {"save, cut short", Job::Save, Change::CutShort},
      {"save, same size, modified a microsecond later", Job::Save, Change::RewrittenAMicrosecondLater},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("changing.db");
    fixture::BuildDatabase(path, {},
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)"
                           " INSERT INTO t SELECT i, printf('row %d %.80c', i, 'v') FROM n;");
    ChangeHarness h;
    h.state.databasePath = path;
    h.state.databaseFileName = "changing.db";
    auto change = [&] {
      namespace fs = std::filesystem;
      const auto size = static_cast<int64_t>(fs::file_size(path));
      if (c.change == Change::CutShort) fixture::Truncate(path, size / 2);
      if (c.change == Change::RewrittenAMicrosecondLater) {
        // Same size, and a modification time only a fraction of a second on: what a
        // writer leaves that changes a page within the second the job started in.
        const fs::file_time_type before = fs::last_write_time(path);
        fixture::PatchBytes(path, size - 1, {0x5a});
        fs::last_write_time(path, before + std::chrono::microseconds(1));
      }
    };
    // The file changes from the port, at a notification sent while the job reads:
    // the open (repair), the grid's columns (show), the first object written (save).
    // The handler keeps its own flag: it runs on the job's thread after changeAt
    // has returned.
    auto changeAt = [&](std::function<bool(const fixture::Event&)> moment) {
      h.port.onEvent = [&, moment, done = false](const fixture::Event& e) mutable {
        if (!done && moment(e)) {
          done = true;
          change();
        }
      };
    };
    if (c.job == Job::Repair) {
      changeAt([](const fixture::Event& e) { return e.number == Notification::ShowRecordCount; });
    }
    job::StartRepairJob(h.state, h.engine, h.port, path, false)->Join();
    ASSERT_EQ(h.state.repairCompleted, 1);
    h.port.onEvent = nullptr;
    if (c.job == Job::Show) {
      h.port.ClearEvents();
      changeAt([](const fixture::Event& e) { return e.number == Notification::GridData && e.second == 1; });
      job::StartShowObjectJob(h.state, h.engine, h.port, "t", job::ObjectCategory::Table)->Join();
    }
    if (c.job == Job::Save) {
      h.port.ClearEvents();
      h.state.checkedTables = {"t"};
      h.state.destinationFolder = dir.path() + "/";
      changeAt([](const fixture::Event& e) { return e.number == Notification::ObjectSaved; });
      job::StartSaveJob(h.state, h.engine, h.port)->Join();
    }
    h.port.onEvent = nullptr;

    const bool changed = c.change != Change::None;
    const std::vector<std::string> log = h.port.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), kChangedLine), changed ? 1 : 0);
    EXPECT_EQ(h.port.changedPaths, changed ? std::vector<std::string>{path} : std::vector<std::string>{});
    const std::vector<std::string> described = h.port.Described();
    auto shown = [&](const std::string& text) {
      return std::find(described.begin(), described.end(), "Dialog:" + text) != described.end();
    };
    auto logged = [&](const std::string& prefix) {
      return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    if (c.job == Job::Repair) {
      // The repair lists what it found, and the warning stands before its last line.
      EXPECT_TRUE(logged("Repairing process completed on "));
      EXPECT_EQ(shown(std::string(job::kRepairedText) + "\n" + job::kRepairedHintText), !changed);
      EXPECT_EQ(shown("The selected database was repaired, but the file changed while it was read; the results "
                      "may be incomplete."),
                changed);
      if (changed) {
        const auto warning = std::find(log.begin(), log.end(), kChangedLine);
        ASSERT_GT(log.end() - warning, 2);
        EXPECT_EQ(warning[2].rfind("Repairing process completed on ", 0), 0u) << warning[2];
      }
    }
    if (c.job == Job::Save) {
      // Everything checked was written; from a file that changed, that is no clean success.
      EXPECT_EQ(h.state.saveFinished, 1);
      EXPECT_EQ(h.port.Count(Notification::SaveFinished, 0), 1);
      EXPECT_EQ(logged("Saving process completed successfully on "), !changed);
      EXPECT_EQ(std::any_of(log.begin(), log.end(),
                            [](const std::string& l) {
                              return l.rfind("Saving process completed on ", 0) == 0 &&
                                     l.find(", but the selected file changed while it was read.") != std::string::npos;
                            }),
                changed);
      EXPECT_EQ(shown(job::kSavingCompletedText), !changed);
      EXPECT_EQ(shown("The repaired database was saved, but the selected file changed while it was read; the "
                      "results may be incomplete."),
                changed);
    }
    EXPECT_EQ(h.state.workerBusy, 0);
  }
}

TEST(RunJobTest, NoSecondJobWhileOneRunsAndNothingIsTouched) {
  EngineHarness h;
  h.state.workerBusy = 1;
  h.state.includeDeletedRecords = 1;
  h.state.runPath = "first.db";
  EXPECT_EQ(job::StartRepairJob(h.state, h.engine, h.port, "x.db", false), nullptr);
  EXPECT_EQ(job::StartShowObjectJob(h.state, h.engine, h.port, "t", job::ObjectCategory::Table), nullptr);
  EXPECT_EQ(job::StartSaveJob(h.state, h.engine, h.port), nullptr);
  EXPECT_TRUE(h.port.Described().empty()) << "nothing is sent while a job runs";
  EXPECT_EQ(h.state.includeDeletedRecords, 1);
  EXPECT_EQ(h.state.runPath, "first.db");
  EXPECT_EQ(h.state.repairRequested, 0);
  EXPECT_EQ(h.state.showObjectRequested, 0);
  EXPECT_EQ(h.state.saveRequested, 0);
}

}  // namespace
