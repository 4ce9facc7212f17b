// Inputs that once broke the engine, and damage of every byte of a small database:
// a whole repair and save of each must end normally.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fixture/fixture_db.h"
#include "tests/fuzz/repair_harness.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressionTest, SavedCrashInputsRepairCleanly) {
  const fs::path folder = fs::path(KESTRUN_SOURCE_DIR) / "tests/fuzz/regressions";
  fixture::TempDir dir;
  int inputs = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().string());
    auto bytes = fixture::ReadFile(entry.path().string());
    fuzz::RepairBytes(bytes.data(), bytes.size(), dir.path());
    ++inputs;
  }
  SUCCEED() << inputs << " inputs";
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
  const int64_t intactCells = fuzz::RepairBytes(original.data(), original.size(), dir.path());
  EXPECT_GT(intactCells, 0);
  // Each byte of the first two pages set to 0xFF and to 0x00 in turn.
  for (size_t at = 0; at < 1024; ++at) {
    for (uint8_t value : {uint8_t{0xFF}, uint8_t{0x00}}) {
      auto damaged = original;
      damaged[at] = value;
      fuzz::RepairBytes(damaged.data(), damaged.size(), dir.path());
    }
  }
}

}  // namespace
