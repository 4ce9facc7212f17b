// Inputs that once broke the engine, and damage of every byte of a small database:
// a whole repair and save of each must end normally, with every grid row one record
// of its table, no more rows than the file could hold, a well-formed output, and
// the harness's other checks (see RepairOutcome::faults) passed. The suite's time
// limit (CTest's) stands for "ends".
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fixture/fixture_db.h"
#include "tests/fuzz/repair_harness.h"

namespace {

namespace fs = std::filesystem;

std::string Joined(const std::vector<std::string>& faults) {
  std::string text;
  for (const std::string& fault : faults) text += "\n  " + fault;
  return text;
}

TEST(FuzzRegressionTest, SavedCrashInputsRepairCleanly) {
  const fs::path folder = fs::path(KESTRUN_SOURCE_DIR) / "tests/fuzz/regressions";
  fixture::TempDir dir;
  int inputs = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().string());
    auto bytes = fixture::ReadFile(entry.path().string());
    const fuzz::RepairOutcome outcome = fuzz::RepairBytes(bytes.data(), bytes.size(), dir.path());
    EXPECT_EQ(outcome.crookedRows, 0);
    EXPECT_TRUE(outcome.outputIntact);
    EXPECT_TRUE(outcome.faults.empty()) << Joined(outcome.faults);
    if (outcome.opened) {
      EXPECT_TRUE(outcome.saveOpened);
    }
    ++inputs;
  }
  EXPECT_GE(inputs, 2) << "the saved inputs are there";
}

TEST(FuzzRegressionTest, EveryByteOfAPageOneDamaged) {
  fixture::TempDir dir;
  const std::string path = dir.File("small.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b BLOB);"
                         "CREATE VIEW v AS SELECT * FROM t;"
                         "INSERT INTO t VALUES(1, printf('%.600c', 'x'), x'00'), (300, 'b', NULL);"
                         "DELETE FROM t WHERE id = 1;");
  const auto original = fixture::ReadFile(path);
  ASSERT_GE(original.size(), 1024u);
  const fuzz::RepairOutcome intact = fuzz::RepairBytes(original.data(), original.size(), dir.path());
  ASSERT_TRUE(intact.opened);
  EXPECT_EQ(intact.tables, 2) << "t and its companion";
  // The deleted row's text ran onto an overflow page that SQLite freed with it.
  EXPECT_EQ(intact.gridRows, 1) << "the live row";
  EXPECT_TRUE(intact.saveComplete);
  EXPECT_EQ(intact.outputRows, 1);
  EXPECT_TRUE(intact.faults.empty()) << Joined(intact.faults);
  // Each byte of the first two pages (the master table and t's only page) set to
  // 0xFF and to 0x00 in turn. Page 2 holds two cells, the live one and the freed
  // one: damage can garble them or hide them, but no third row can come out of it.
  int opened = 0;
  for (size_t at = 0; at < 1024; ++at) {
    for (uint8_t value : {uint8_t{0xFF}, uint8_t{0x00}}) {
      SCOPED_TRACE("byte " + std::to_string(at) + " = " + std::to_string(value));
      auto damaged = original;
      damaged[at] = value;
      const fuzz::RepairOutcome outcome = fuzz::RepairBytes(damaged.data(), damaged.size(), dir.path());
      EXPECT_EQ(outcome.crookedRows, 0);
      EXPECT_TRUE(outcome.outputIntact);
      EXPECT_TRUE(outcome.faults.empty()) << Joined(outcome.faults);
      EXPECT_LE(outcome.gridRows, 2);
      EXPECT_LE(outcome.outputRows, outcome.gridRows);
      if (!outcome.opened) continue;
      ++opened;
      EXPECT_TRUE(outcome.saveOpened);
      EXPECT_LE(outcome.tables, 4);
    }
  }
  EXPECT_GT(opened, 1900) << "most single-byte damage leaves a database to repair";
}

}  // namespace
