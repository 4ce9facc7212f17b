// The scans of the master table for tables, views and triggers.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/schema/schema_scan.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;

void Repair(EngineHarness& h, const std::string& path) {
  h.Open(path);
  h.engine.ScanTables();
  h.engine.ScanViews();
  h.engine.ScanTriggers();
}

std::vector<std::string> TableNames(const CSqliteRepair& engine) {
  std::vector<std::string> names;
  for (const auto& t : engine.RecoveredSchema().tableList) names.push_back(t.name);
  return names;
}

TEST(SchemaScanTest, TablesWithColumnsRootPagesAndCompanions) {
  TempDir dir;
  std::string path = dir.File("shop.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL);"
                         "CREATE TABLE notes(body TEXT);"
                         "CREATE INDEX items_name ON items(name);"
                         "CREATE VIEW v AS SELECT * FROM items;"
                         "INSERT INTO items(name) VALUES('a long name to leave a freeblock'),('b');"
                         "DELETE FROM items WHERE id = 1;");
  EngineHarness h;
  Repair(h, path);
  EXPECT_EQ(TableNames(h.engine), (std::vector<std::string>{"items", "items(deleted)", "notes"}));
  EXPECT_EQ(h.Schema().tableCount, 2) << "a companion is not counted";
  const auto& items = h.Schema().tableList[0];
  EXPECT_EQ(items.rootPage, std::stoll(fixture::Query(path, "SELECT rootpage FROM sqlite_schema"
                                                            " WHERE name='items'")[0][0]));
  EXPECT_EQ(items.sql, "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL)");
  ASSERT_EQ(items.columns.size(), 2u);
  EXPECT_EQ(items.columns[1].name, "name");
  EXPECT_EQ(items.columns[1].notNull, 1);
  const auto& companion = h.Schema().tableList[1];
  EXPECT_TRUE(companion.deletedCompanion);
  EXPECT_EQ(companion.rootPage, items.rootPage);
  EXPECT_EQ(companion.columns.size(), 2u);
  EXPECT_EQ(h.Schema().viewCount, 1);
  EXPECT_EQ(h.Schema().triggerCount, 0);
  // The scan's progress bar: started for one leaf page, finished once.
  EXPECT_EQ(h.port.Count(Notification::Progress, 1), 1);
  EXPECT_EQ(h.port.Count(Notification::Progress, 3), 1);
}

TEST(SchemaScanTest, DuplicateNamesKeepTheFirstRecord) {
  TempDir dir;
  std::string path = dir.File("dups.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE dupa(a);"
                         "CREATE TABLE dupb(b, c);"
                         "CREATE VIEW vv_a AS SELECT 1;"
                         "CREATE TRIGGER tr_a AFTER INSERT ON dupa BEGIN SELECT 1; END;"
                         "CREATE TRIGGER tr_b AFTER INSERT ON dupb BEGIN SELECT 2; END;");
  ASSERT_GT(fixture::ReplaceBytes(path, "dupb", "dupa"), 0);
  ASSERT_GT(fixture::ReplaceBytes(path, "tr_b", "tr_a"), 0);
  ASSERT_GT(fixture::ReplaceBytes(path, "vv_a", "dupa"), 0);  // a view named like a table
  EngineHarness h;
  Repair(h, path);
  ASSERT_EQ(TableNames(h.engine), std::vector<std::string>{"dupa"});
  EXPECT_EQ(h.Schema().tableList[0].columns.size(), 1u);
  EXPECT_EQ(h.Schema().tableCount, 1);
  ASSERT_EQ(h.Schema().viewList.size(), 1u);
  EXPECT_EQ(h.Schema().viewList[0].name, "dupa");
  ASSERT_EQ(h.Schema().triggerList.size(), 1u);
  EXPECT_EQ(h.Schema().triggerList[0].name, "tr_a");
  EXPECT_EQ(h.Schema().triggerList[0].tableName, "dupa");
  EXPECT_NE(h.Schema().triggerList[0].sql.find("SELECT 1"), std::string::npos);
  EXPECT_EQ(h.Schema().triggerCount, 1);
}

TEST(SchemaScanTest, TableWithoutColumnsLeavesNothingBehind) {
  TempDir dir;
  std::string path = dir.File("nocols.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE broken(a TEXT);"
                         "CREATE TABLE fine(x, y, z);"
                         "INSERT INTO broken VALUES('a row long enough for a freeblock'),('b');"
                         "DELETE FROM broken WHERE rowid = 1;");
  // The first table's text loses its column list; its tree still has freed space.
  ASSERT_EQ(fixture::ReplaceBytes(path, "broken(a TEXT)", "broken a TEXT "), 1);
  EngineHarness h;
  Repair(h, path);
  ASSERT_EQ(TableNames(h.engine), std::vector<std::string>{"fine"});
  EXPECT_EQ(h.Schema().tableList[0].columns.size(), 3u);
  EXPECT_EQ(h.Schema().tableCount, 1);
}

TEST(SchemaScanTest, LongCreateTextsComeFromOverflowPages) {
  TempDir dir;
  std::string path = dir.File("long.db");
  fixture::DbOptions options;
  options.pageSize = 1024;
  std::string columns;
  for (int i = 0; i < 100; ++i) columns += (i ? ", column_" : "column_") + std::to_string(i) + " TEXT";
  const std::string table = "CREATE TABLE wide(" + columns + ")";
  const std::string view = "CREATE VIEW wide_view AS SELECT " + std::string(1500, ' ') + "1 AS one";
  ASSERT_GT(table.size(), 1500u);
  fixture::BuildDatabase(path, options, table + ";" + view + ";");
  EngineHarness h;
  Repair(h, path);
  ASSERT_EQ(h.Schema().tableList.size(), 1u);
  EXPECT_EQ(h.Schema().tableList[0].sql, table);
  EXPECT_EQ(h.Schema().tableList[0].columns.size(), 100u);
  ASSERT_EQ(h.Schema().viewList.size(), 1u);
  EXPECT_EQ(h.Schema().viewList[0].sql, view);
}

TEST(SchemaScanTest, NamesAndTextsInEveryEncoding) {
  TempDir dir;
  const std::string name = "Caf\xC3\xA9 \xE2\x80\x99quoted\xE2\x80\x99 \xF0\x9D\x84\x9E";  // é ’ 𝄞
  const std::string sql = "CREATE TABLE \"" + name + "\"(\"n\xC3\xA4me\" TEXT, b)";
  for (const char* encoding : {"UTF-8", "UTF-16le", "UTF-16be"}) {
    SCOPED_TRACE(encoding);
    std::string path = dir.File(std::string(encoding) + ".db");
    fixture::DbOptions options;
    options.encoding = encoding;
    fixture::BuildDatabase(path, options,
                           sql + "; CREATE TRIGGER \"tr\xC3\xA9\" AFTER INSERT ON \"" + name +
                               "\" BEGIN SELECT 1; END;");
    EngineHarness h;
    Repair(h, path);
    ASSERT_EQ(TableNames(h.engine), std::vector<std::string>{name});
    EXPECT_EQ(h.Schema().tableList[0].sql, sql) << "stored SQL is never altered";
    EXPECT_EQ(h.Schema().tableList[0].columns[0].name, "\"n\xC3\xA4me\"");
    ASSERT_EQ(h.Schema().triggerList.size(), 1u);
    EXPECT_EQ(h.Schema().triggerList[0].name, "tr\xC3\xA9");
  }
}

TEST(SchemaScanTest, LargeRowidsAndDamagedLeafPages) {
  TempDir dir;
  std::string path = dir.File("rowids.db");
  // A schema record with rowid 70000 (a 3-byte varint), written through SQLite itself.
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE first(a);"
                         "PRAGMA writable_schema=ON;"
                         "INSERT INTO sqlite_schema(rowid, type, name, tbl_name, rootpage, sql)"
                         " VALUES(70000, 'view', 'far', 'far', 0, 'CREATE VIEW far AS SELECT 2');");
  EngineHarness h;
  Repair(h, path);
  EXPECT_EQ(TableNames(h.engine), std::vector<std::string>{"first"});
  ASSERT_EQ(h.Schema().viewList.size(), 1u);
  EXPECT_EQ(h.Schema().viewList[0].name, "far");

  // A master leaf page whose cell count cannot fit is clamped; later pages still count.
  fixture::PutBigEndian(path, 103, 0xFFFF, 2);
  EngineHarness damaged;
  Repair(damaged, path);
  EXPECT_EQ(TableNames(damaged.engine), std::vector<std::string>{"first"});
  EXPECT_EQ(damaged.Schema().viewList.size(), 1u);
}

TEST(SchemaScanTest, ACreateTextOfMoreColumnsThanSQLiteAllowsIsRefusedAndLogged) {
  // A table's stored text made to list 40,000 columns: no table SQLite creates has
  // them. Its rows are still read, as records no table takes.
  TempDir dir;
  const std::string path = dir.File("wide.db");
  std::string wide = "CREATE TABLE t(";
  for (int i = 0; i < 40000; ++i) wide += (i ? ", c" : "c") + std::to_string(i);
  wide += ")";
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a, b); CREATE TABLE kept(x);"
                         "INSERT INTO t VALUES(1, 'one'), (2, 'two'), (3, 'three');"
                         "INSERT INTO kept VALUES('stays');"
                         // The record's old text is wiped, so that no dropped table is found in its place.
                         "PRAGMA secure_delete=ON; PRAGMA writable_schema=ON;"
                         "UPDATE sqlite_schema SET sql = '" + wide + "' WHERE name = 't';");
  EngineHarness h;
  const std::string output = fixture::RepairAndSave(h, path, dir.path());
  EXPECT_EQ(TableNames(h.engine), (std::vector<std::string>{"kept", "lost_and_found_2"}));
  EXPECT_EQ(h.Schema().tableCount, 2);
  ASSERT_EQ(h.Schema().refusedTableList.size(), 1u);
  EXPECT_EQ(h.Schema().refusedTableList[0].name, "t");
  const auto lines = h.port.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Table t was not recovered: its CREATE text lists more than 32767 columns."),
            lines.end());
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT c1, c2 FROM lost_and_found_2 ORDER BY c1"),
            (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}, {"3", "three"}}));
  EXPECT_EQ(fixture::Query(output, "SELECT x FROM kept"), std::vector<std::vector<std::string>>{{"stays"}});
}

TEST(SchemaScanTest, StopEndsTheTableScan) {
  TempDir dir;
  std::string path = dir.File("many.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  std::string sql = "BEGIN;";
  for (int i = 0; i < 100; ++i) sql += "CREATE TABLE t" + std::to_string(i) + "(a_long_column_name TEXT, b);";
  fixture::BuildDatabase(path, options, sql + "COMMIT;");
  EngineHarness h;
  h.Open(path);
  int steps = 0;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == Notification::Progress && e.second == 2 && ++steps == 5) h.state.stopRequested = 1;
  };
  h.engine.ScanTables();
  EXPECT_GT(h.Schema().tableCount, 0);
  EXPECT_LT(h.Schema().tableCount, 100);
  EXPECT_EQ(h.port.Count(Notification::Progress, 3), 1) << "only the open's bar was finished";
}

TEST(SchemaScanTest, IndexColumnCounts) {
  const std::pair<const char*, size_t> cases[] = {
      {"CREATE INDEX i ON t(a)", 1},
      {"CREATE UNIQUE INDEX \"on(x, y)\" ON [t(1,2)] (a COLLATE NOCASE, b DESC)", 2},
      {"create index i on t(substr(a, 1, 2), 'x,y', b) where c > 0", 3},
      {"CREATE INDEX onion ON t(a, b, c)", 3},
      {"CREATE INDEX i ON t", 0},
      {"", 0},
  };
  for (const auto& [sql, count] : cases) EXPECT_EQ(engine::IndexColumnCount(sql), count) << sql;
}

}  // namespace

