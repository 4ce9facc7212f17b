// The preview of a table's live records, through the recording front end.
#include <gtest/gtest.h>

#include <filesystem>

#include "job/recovery_thread.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;
using Rows = std::vector<std::vector<std::string>>;

// The rows SQLite itself gives, in the grid's text (NULL as "null").
Rows SqliteRows(const std::string& path, const std::string& select) {
  Rows rows;
  for (auto row : fixture::Query(path, "SELECT " + select)) rows.push_back(row);
  return rows;
}

TEST(TablePreviewTest, NotificationOrderOfAnObjectJob) {
  TempDir dir;
  std::string path = dir.File("two.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE t(a INTEGER, b TEXT); INSERT INTO t VALUES(1, 'x'), (2, NULL);");
  EngineHarness h;
  h.Repair(path);
  EngineHarness::Clear(h);
  h.state.showObjectRequested = 1;
  ASSERT_TRUE(h.Preview("t"));
  EXPECT_EQ(h.port.Described(),
            (std::vector<std::string>{
                "ShowRecordCount(0,0)", "GridData(0,1)", "ClearGridRows(0,0)", "Progress(100000,1)",
                "Progress(0,2)",  // the root leaf
                "GridData(0,0)", "GridData(0,0)", "Progress(0,2)",  // record 1
                "GridData(0,0)", "GridData(0,0)", "Progress(0,2)",  // record 2
                "Progress(0,2)", "Progress(0,3)"}));
  EXPECT_EQ(h.port.GridRows(), (Rows{{"1", "x"}, {"2", "null"}}));
  EXPECT_EQ(h.port.recordCounter, 2);
}

TEST(TablePreviewTest, NothingIsReadBeforeTheSchemaIsShown) {
  TempDir dir;
  std::string path = dir.File("one.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
  EngineHarness h;
  h.Repair(path);
  h.state.schemaMarker = 0;
  EngineHarness::Clear(h);
  ASSERT_TRUE(h.Preview("t"));
  EXPECT_TRUE(h.port.GridRows().empty());
  EXPECT_EQ(h.port.Count(Notification::Progress, 3), 1);
}

TEST(TablePreviewTest, PrimaryKeysMissingValuesAndTypes) {
  TempDir dir;
  std::string path = dir.File("keys.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE alias(id INTEGER PRIMARY KEY, v TEXT);"
                         "INSERT INTO alias VALUES(7, 'seven'), (70000, 'far');"
                         "CREATE TABLE pair(a INT, b INT, c TEXT, PRIMARY KEY(a, b));"
                         "INSERT INTO pair VALUES(NULL, 1, 'x');"
                         "CREATE TABLE single(a TEXT, PRIMARY KEY(a));"
                         "INSERT INTO single VALUES(NULL);"
                         "CREATE TABLE grown(a);"
                         "INSERT INTO grown VALUES(1);"
                         "ALTER TABLE grown ADD COLUMN b TEXT DEFAULT 'd';"
                         "ALTER TABLE grown ADD COLUMN c;"
                         "INSERT INTO grown VALUES(2, 'two', 3);"
                         "CREATE TABLE typed(r REAL, d DOUBLE, l LONGTEXT, n, bl BLOB);"
                         "INSERT INTO typed VALUES(25, 1e-7, 'kept', x'00ff', x'414243');");
  struct Case {
    const char* table;
    Rows rows;
  } cases[] = {
      {"alias", {{"7", "seven"}, {"70000", "far"}}},
      {"pair", {{"null", "1", "x"}}},
      // A sole key column that is not an INTEGER PRIMARY KEY keeps its own NULL, as
      // SQLite reads it and the save writes it.
      {"single", {{"null"}}},
      // A record written before a column was added shows the column's default.
      {"grown", {{"1", "d", "null"}, {"2", "two", "3"}}},
      {"typed", {{"25.0", "1e-07", "kept", "x'00ff'", "ABC"}}},
  };
  EngineHarness h;
  h.Repair(path);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    ASSERT_TRUE(h.Preview(c.table));
    EXPECT_EQ(h.port.GridRows(), c.rows);
  }
}

TEST(TablePreviewTest, LeafPagesInFileOrderAndAnEmptyLeafInTheMiddle) {
  TempDir dir;
  std::string path = dir.File("pages.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
                         " INSERT INTO t SELECT i, printf('%.60c', 'x') FROM n;");
  std::vector<uint32_t> leaves;
  for (const auto& p : fixture::BtreePages(path, "t")) {
    if (p.type == "leaf") leaves.push_back(p.page);
  }
  std::sort(leaves.begin(), leaves.end());
  ASSERT_GE(leaves.size(), 4u);
  const uint32_t emptied = leaves[leaves.size() / 2];
  const int64_t lost = static_cast<int64_t>(fixture::GetBigEndian(path, fixture::HeaderAt(emptied, 512) + 3, 2));
  fixture::PutBigEndian(path, fixture::HeaderAt(emptied, 512) + 3, 0, 2);

  EngineHarness h;
  h.Repair(path);
  EngineHarness::Clear(h);
  ASSERT_TRUE(h.Preview("t"));
  auto rows = h.port.GridRows();
  EXPECT_EQ(static_cast<int64_t>(rows.size()), 200 - lost) << "later pages are still read";
  // The progress bar ends at the empty page and is not touched after it.
  auto events = h.port.Described();
  auto finish = std::find(events.begin(), events.end(), "Progress(0,3)");
  ASSERT_NE(finish, events.end());
  EXPECT_EQ(std::count(finish + 1, events.end(), "Progress(0,2)"), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), "Progress(0,3)"), 1);
  // Rows come page by page in file order: ascending ids on this freshly built table.
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(std::stoi(rows[i - 1][0]), std::stoi(rows[i][0]));
}

TEST(TablePreviewTest, OverflowingValues) {
  TempDir dir;
  struct Case {
    const char* name;
    uint32_t pageSize;
    int reserved;
    std::string sql;  // creates and fills table t
    std::function<void(const std::string&)> damage;
    size_t overflowPages;  // expected in the intact file (0: not checked)
  } cases[] = {
      {"text over two full overflow pages", 1024, 0,
       "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT); INSERT INTO t VALUES(1, printf('%.2240c', 'a') || 'END');",
       nullptr, 2},
      {"last part fills only the start of a page", 1024, 0,
       "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT); INSERT INTO t VALUES(1, printf('%.1300c', 'b') || 'END');",
       nullptr, 1},
      {"a middle value overflows, later ones on the overflow page", 1024, 0,
       "CREATE TABLE t(a TEXT, b INTEGER, c TEXT, d BLOB);"
       " INSERT INTO t VALUES(printf('%.1500c', 'c'), 42, 'tail', x'0102');",
       nullptr, 0},
      {"integer column holding a long text", 1024, 0,
       "CREATE TABLE t(a INTEGER, b INT); INSERT INTO t VALUES(printf('%.3000c', 'x'), 5);", nullptr, 0},
      {"65536-byte pages", 65536, 0,
       "CREATE TABLE t(v TEXT, w); INSERT INTO t VALUES(printf('%.150000c', 'd'), 'after');", nullptr, 0},
      {"reserved bytes", 1024, 40,
       "CREATE TABLE t(v TEXT, w); INSERT INTO t VALUES(printf('%.5000c', 'e') || 'END', 'after');",
       nullptr, 0},
      {"UTF-16 text", 1024, 0,
       "CREATE TABLE t(v TEXT); INSERT INTO t VALUES(printf('%.1800c', 'f') || '\xC3\xA9');", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    fixture::DbOptions options;
    options.pageSize = c.pageSize;
    options.reservedBytes = c.reserved;
    if (std::string(c.name) == "UTF-16 text") options.encoding = "UTF-16le";
    fixture::BuildDatabase(path, options, c.sql);
    if (c.overflowPages) {
      size_t overflow = 0;
      for (const auto& p : fixture::BtreePages(path, "t")) overflow += p.type == "overflow";
      ASSERT_EQ(overflow, c.overflowPages);
    }
    // Blobs in the grid's hexadecimal form.
    std::string select;
    for (const auto& row : fixture::Query(path, "SELECT name, type FROM pragma_table_info('t')")) {
      select += (select.empty() ? "" : ", ") +
                (row[1] == "BLOB" ? "'x''' || lower(hex(" + row[0] + ")) || ''''" : row[0]);
    }
    Rows expected = SqliteRows(path, select + " FROM t");
    EngineHarness h;
    h.Repair(path);
    ASSERT_TRUE(h.Preview("t"));
    EXPECT_EQ(h.port.GridRows(), expected);
  }
}

TEST(TablePreviewTest, BrokenOverflowChainsKeepWhatIsThere) {
  TempDir dir;
  fixture::DbOptions options;
  options.pageSize = 1024;
  const std::string sql =
      "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT, w TEXT);"
      " INSERT INTO t VALUES(1, printf('%.4000c', 'a'), 'after');"
      " INSERT INTO t VALUES(2, 'short', 'row');";
  struct Case {
    const char* name;
    std::function<void(const std::string&, const std::vector<uint32_t>&)> damage;
    size_t expectedA;  // how many 'a' survive before the zeros
  } cases[] = {
      {"chain points past the end of the file",
       [](const std::string& p, const std::vector<uint32_t>& chain) {
         fixture::PutBigEndian(p, static_cast<int64_t>(chain[1] - 1) * 1024, 0x7FFFFFF0, 4);
       },
       0},
      {"chain loops back to its first page",
       [](const std::string& p, const std::vector<uint32_t>& chain) {
         fixture::PutBigEndian(p, static_cast<int64_t>(chain[1] - 1) * 1024, chain[0], 4);
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    fixture::BuildDatabase(path, options, sql);
    std::vector<uint32_t> chain;  // dbstat lists a cell's overflow pages in chain order
    for (const auto& p : fixture::BtreePages(path, "t")) {
      if (p.type == "overflow") chain.push_back(p.page);
    }
    ASSERT_GE(chain.size(), 3u);
    c.damage(path, chain);
    EngineHarness h;
    h.Repair(path);
    ASSERT_TRUE(h.Preview("t"));
    Rows rows = h.port.GridRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "short", "row"}));
    // The value keeps the bytes of the cell and of the pages before the break and
    // nothing invented after them; the record's later value is lost with it.
    const std::string& v = rows[0][1];
    EXPECT_EQ(v.find_first_not_of('a'), std::string::npos);
    EXPECT_GT(v.size(), 1000u);
    EXPECT_LT(v.size(), 4000u);
  }
}

TEST(TablePreviewTest, ShowObjectJobs) {
  TempDir dir;
  std::string path = dir.File("objects.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a); INSERT INTO t VALUES('v');"
                         "CREATE INDEX ti ON t(a);"
                         "CREATE VIEW v AS SELECT a FROM t;");
  EngineHarness h;
  h.Repair(path);
  struct Case {
    const char* name;
    job::ObjectCategory category;
    std::string leaf;
    std::vector<std::string> body;  // between JobState (0,0) and (0,1)
  } cases[] = {
      {"index", job::ObjectCategory::Index, "ti", {}},
      {"view", job::ObjectCategory::View, "v", {"ShowViewSql(0,0)"}},
      {"unknown view", job::ObjectCategory::View, "nope", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineHarness::Clear(h);
    {
      auto worker = job::StartShowObjectJob(h.state, h.engine, h.port, c.leaf, c.category);
      ASSERT_TRUE(worker);
      worker->Join();
    }
    std::vector<std::string> expected{"JobState(0,0)"};
    expected.insert(expected.end(), c.body.begin(), c.body.end());
    expected.push_back("JobState(0,1)");
    EXPECT_EQ(h.port.Described(), expected);
  }
  EngineHarness::Clear(h);
  {
    auto worker = job::StartShowObjectJob(h.state, h.engine, h.port, "t", job::ObjectCategory::Table);
    ASSERT_TRUE(worker);
    worker->Join();
  }
  EXPECT_EQ(h.port.GridRows(), (Rows{{"v"}}));
  auto described = h.port.Described();
  EXPECT_EQ(described[described.size() - 2], "TableLoaded(0,0)");
}

}  // namespace
