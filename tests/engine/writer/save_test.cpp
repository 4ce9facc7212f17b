// The save: the repaired database equals what could be read, exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "engine/writer/output_connection.h"
#include "engine/writer/save_database.h"
#include "job/recovery_thread.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;
using fixture::DumpTable;
using fixture::EngineHarness;
using fixture::RepairAndSave;
using fixture::TempDir;

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

const char* kRoundTripSql =
    "CREATE TABLE kinds(id INTEGER PRIMARY KEY, t TEXT, r REAL, b BLOB, i INTEGER, n NUMERIC, any_);"
    "INSERT INTO kinds VALUES(1, 'quote \" and '' apostrophe', 0.1, x'0000ff00', 9223372036854775807, '12', NULL);"
    "INSERT INTO kinds VALUES(2, 'line\nbreak\r\nand tab\t', 1e-300, x'', -9223372036854775808, 1.5, x'00');"
    "INSERT INTO kinds VALUES(3, '\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80', -0.0, zeroblob(3), 0, 'abc', 2.0);"
    "INSERT INTO kinds VALUES(70000, printf('%.5000c', 'o'), 3.0, randomblob(3000), 1, NULL, '');"
    "CREATE TABLE plain(a, b);"
    "INSERT INTO plain VALUES(1, 'first'), (NULL, NULL), ('x', 2.5);"
    "INSERT INTO plain(rowid, a, b) VALUES(1099511627776, 'large rowid', 1);"
    "CREATE TABLE grown(a);"
    "INSERT INTO grown VALUES('old');"
    "ALTER TABLE grown ADD COLUMN b TEXT DEFAULT 'filled in';"
    "INSERT INTO grown VALUES('new', 'own');"
    "CREATE TABLE \"odd \"\"name\"\"\"(\"col one\" TEXT, [select] INT);"
    "INSERT INTO \"odd \"\"name\"\"\" VALUES('v', 1);"
    "CREATE TABLE keyed(k TEXT PRIMARY KEY, v) WITHOUT ROWID;"
    "CREATE VIEW kinds_view AS SELECT id, t FROM kinds;"
    "CREATE TRIGGER kinds_trigger AFTER DELETE ON kinds BEGIN DELETE FROM plain; END;";

TEST(SaveTest, HealthyDatabasesRoundTripExactly) {
  for (const char* encoding : {"UTF-8", "UTF-16le", "UTF-16be"}) {
    SCOPED_TRACE(encoding);
    TempDir dir;
    const std::string path = dir.File("healthy.db");
    fixture::DbOptions options;
    options.encoding = encoding;
    options.pageSize = 1024;
    fixture::BuildDatabase(path, options, kRoundTripSql);
    fs::create_directory(dir.File("out"));
    EngineHarness h;
    const std::string output = RepairAndSave(h, path, dir.File("out"));
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(fs::path(output).filename().string().rfind("Repaired_", 0), 0u);
    EXPECT_EQ(fixture::Query(output, "PRAGMA encoding")[0][0], encoding);
    EXPECT_EQ(fixture::Query(output, "PRAGMA integrity_check")[0][0], "ok");
    for (const char* table : {"kinds", "plain", "grown", "odd \"name\""}) {
      SCOPED_TRACE(table);
      EXPECT_EQ(DumpTable(output, table), DumpTable(path, table));
    }
    auto objects = fixture::Query(output, "SELECT type, name FROM sqlite_schema ORDER BY name");
    EXPECT_EQ(objects, fixture::Query(path, "SELECT type, name FROM sqlite_schema"
                                            " WHERE name NOT LIKE 'sqlite_autoindex%' ORDER BY name"));
    // The summary of each table, and the end of the run.
    auto log = h.port.LogLines();
    auto at = std::find(log.begin(), log.end(), "Table name   : kinds");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(*(at + 1), "Total record(s) present    : 4");
    EXPECT_EQ(*(at + 2), "Total record(s) repaired    : 4");
    EXPECT_EQ(log.back().rfind("Saving process completed successfully on ", 0), 0u);
    auto events = h.port.Events();
    EXPECT_EQ(events.back().Describe(), "JobState(0,1)");
    EXPECT_EQ(events[events.size() - 2].text, job::kSavingCompletedText);
    EXPECT_EQ(FilesIn(dir.File("out")).size(), 1u) << "no journal or other file is left behind";
  }
}

TEST(SaveTest, EveryRowOnAnIntactLeafPageComesBack) {
  TempDir dir;
  const std::string path = dir.File("damaged.db");
  fixture::DbOptions options;
  options.pageSize = 1024;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT, w REAL);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                         " INSERT INTO t SELECT i, printf('value %d', i), i / 4.0 FROM n;");
  const auto before = DumpTable(path, "t");
  std::vector<uint32_t> leaves;
  for (const auto& p : fixture::BtreePages(path, "t")) {
    if (p.type == "leaf") leaves.push_back(p.page);
  }
  ASSERT_GT(leaves.size(), 10u);
  size_t lost = 0;
  for (uint32_t page : {leaves[2], leaves[leaves.size() / 2]}) {
    lost += fixture::GetBigEndian(path, fixture::HeaderAt(page, 1024) + 3, 2);
    fixture::ZeroPage(path, page, 1024);
  }
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  const auto after = DumpTable(output, "t");
  EXPECT_EQ(after.size(), before.size() - lost);
  std::set<std::vector<std::string>> original(before.begin(), before.end());
  for (const auto& row : after) EXPECT_TRUE(original.count(row)) << row[0];
}

// A stored text reaches the output only as the object it claims to be. Each case
// replaces the text of one object of a small database (table t, view v, trigger r)
// and the save must survive it, refuse it (unless `created`), log why, and create
// nothing beyond the objects of the schema.
TEST(SaveTest, CraftedCreateTextsReachNothingOutsideTheOutput) {
  struct Case {
    const char* name;
    std::string sql;
    const char* object;
    bool created = false;
  } cases[] = {
      {"table followed by ATTACH", "CREATE TABLE t(a); ATTACH 'EVIL' AS evil", "t"},
      {"table followed by VACUUM INTO", "CREATE TABLE t(a); VACUUM INTO 'EVIL'", "t"},
      {"table followed by a second table", "CREATE TABLE t(a); CREATE TABLE second(b)", "t"},
      {"a temporary table", "CREATE TEMP TABLE t(a)", "t"},
      {"a table in the temp schema", "CREATE TABLE temp.t(a)", "t"},
      {"a table in an attached schema", "CREATE TABLE \"aux\".t(a)", "t"},
      {"a table in the main schema", "CREATE TABLE main.t(a)", "t", true},
      {"a table made by a query", "CREATE TABLE t AS SELECT 1 AS a", "t"},
      {"a table without end",
       "CREATE TABLE t AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x AS a FROM c", "t"},
      {"a code address from fts3_tokenizer", "CREATE TABLE t AS SELECT fts3_tokenizer('simple') AS a", "t"},
      {"a tokenizer the file chose",
       "CREATE TABLE t AS SELECT fts3_tokenizer('simple', x'4141414141414141') AS a", "t"},
      {"fts3_tokenizer in a CHECK", "CREATE TABLE t(a CHECK (fts3_tokenizer('simple') IS NOT NULL))", "t"},
      {"load_extension in a generated column", "CREATE TABLE t(a, b AS (load_extension('EVIL')))", "t"},
      {"a table of another name", "CREATE TABLE second(a)", "t"},
      {"a virtual table of a module that stores nothing", "CREATE VIRTUAL TABLE t USING dbstat", "t"},
      {"an index instead of a table", "CREATE INDEX t ON other(x)", "t"},
      {"a view followed by ATTACH", "CREATE VIEW v AS SELECT 1; ATTACH 'EVIL' AS evil", "v"},
      {"a temporary view", "CREATE VIEW temp.v AS SELECT 1", "v"},
      {"a trigger written to attach", "CREATE TRIGGER r AFTER INSERT ON other BEGIN SELECT 1; END; ATTACH 'EVIL' AS e", "r"},
      {"a temporary trigger", "CREATE TEMP TRIGGER r AFTER INSERT ON other BEGIN SELECT 1; END", "r"},
      {"a view that is a table", "CREATE TABLE v(x)", "v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string evil = dir.File("evil.db");
    std::string sql = c.sql;
    for (size_t at = sql.find("EVIL"); at != std::string::npos; at = sql.find("EVIL")) sql.replace(at, 4, evil);
    std::string escaped;
    for (char ch : sql) escaped += ch == '\'' ? std::string("''") : std::string(1, ch);
    const std::string path = dir.File("crafted.db");
    // The full-text table uses the tokenizer a crafted text would replace first.
    fixture::BuildDatabase(path, {},
                           "CREATE TABLE t(a); INSERT INTO t VALUES(1);"
                           "CREATE TABLE other(x);"
                           "CREATE VIRTUAL TABLE b USING fts3(c, tokenize=simple);"
                           "INSERT INTO b VALUES('some words');"
                           "CREATE VIEW v AS SELECT * FROM other;"
                           "CREATE TRIGGER r AFTER INSERT ON other BEGIN SELECT 1; END;"
                           "PRAGMA writable_schema=ON;"
                           "UPDATE sqlite_schema SET sql = '" + escaped + "' WHERE name = '" + c.object + "';");
    const std::string folder = dir.File("out");
    fs::create_directory(folder);
    EngineHarness h;
    const std::string output = RepairAndSave(h, path, folder);
    ASSERT_FALSE(output.empty());
    EXPECT_FALSE(fs::exists(evil));
    EXPECT_EQ(FilesIn(folder).size(), 1u);
    EXPECT_EQ(fixture::Query(output, "SELECT c FROM b"), (std::vector<std::vector<std::string>>{{"some words"}}));
    std::set<std::string> objects;
    for (const auto& row : fixture::Query(output, "SELECT name FROM sqlite_schema")) objects.insert(row[0]);
    EXPECT_EQ(objects.count(c.object), c.created ? 1u : 0u);
    EXPECT_EQ(objects.count("second"), 0u);
    if (c.created) {
      EXPECT_EQ(fixture::Query(output, "SELECT a FROM t"), (std::vector<std::vector<std::string>>{{"1"}}));
      continue;
    }
    // A text without a column list gives the repair no table to list: nothing of
    // it is checked, so nothing is refused.
    const auto& tables = h.Schema().tableList;
    if (std::none_of(tables.begin(), tables.end(), [](const engine::TableEntry& e) { return e.name == "t"; })) {
      continue;
    }
    auto log = h.port.LogLines();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line.find(std::string(" ") + c.object + " was not ") != std::string::npos;
    })) << "the refusal is logged";
    EXPECT_NE(output.find(" (incomplete)"), std::string::npos) << "a save short of an object has no final name";
  }
}

// Repairs `path` and saves the tables, views and triggers named, as the tree would
// have them checked; returns the output path.
std::string SaveChecked(EngineHarness& h, const std::string& path, const std::string& folder,
                        std::vector<std::string> tables, std::vector<std::string> triggers = {}) {
  h.state.databasePath = path;
  h.state.databaseFileName = fs::path(path).filename().string();
  job::StartRepairJob(h.state, h.engine, h.port, path, true)->Join();
  h.state.checkedTables = std::move(tables);
  h.state.checkedTriggers = std::move(triggers);
  h.state.destinationFolder = folder + "/";
  h.port.ClearEvents();
  job::StartSaveJob(h.state, h.engine, h.port)->Join();
  return h.state.outputPath;
}

bool Logged(const EngineHarness& h, const std::string& text) {
  auto log = h.port.LogLines();
  return std::any_of(log.begin(), log.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// A value a crafted DEFAULT would compute is never a code address: the function
// refuses, so the records that needed it are refused and counted.
TEST(SaveTest, ADefaultCallingFts3TokenizerWritesNoAddress) {
  TempDir dir;
  const std::string path = dir.File("crafted.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a); INSERT INTO t VALUES(1), (2);"
                         "PRAGMA writable_schema=ON;"
                         "UPDATE sqlite_schema SET sql = 'CREATE TABLE t(a, b DEFAULT (fts3_tokenizer(''simple'')))'"
                         " WHERE name = 't';");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT count(*) FROM t WHERE typeof(b) = 'blob'"),
            (std::vector<std::vector<std::string>>{{"0"}}));
  EXPECT_TRUE(Logged(h, "2 record(s) could not be written"));
}

// The master lists the full-text table after its shadow tables (its row moved past
// theirs, as a split of the master's leaves also orders them).
TEST(SaveTest, AVirtualTableIsCreatedBeforeTheShadowTablesItsModuleMakes) {
  TempDir dir;
  const std::string path = dir.File("fts.db");
  fixture::BuildDatabase(path, {},
                         "CREATE VIRTUAL TABLE f5 USING fts5(body);"
                         "INSERT INTO f5 VALUES('needle in a haystack'), ('other words');"
                         "PRAGMA writable_schema=ON;"
                         "CREATE TEMP TABLE keep AS SELECT * FROM sqlite_schema WHERE name = 'f5';"
                         "DELETE FROM sqlite_schema WHERE name = 'f5';"
                         "INSERT INTO sqlite_schema SELECT * FROM keep;");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_TRUE(Logged(h, "Saving process completed successfully")) << output;
  EXPECT_EQ(fixture::Query(output, "SELECT body FROM f5 WHERE f5 MATCH 'needle'"),
            (std::vector<std::vector<std::string>>{{"needle in a haystack"}}));
  EXPECT_EQ(fixture::Query(output, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
}

TEST(SaveTest, GeneratedColumnsKeepEveryValueInItsColumn) {
  TempDir dir;
  const std::string path = dir.File("generated.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a, b AS (a*2) STORED, c, d AS (a+100) VIRTUAL, e);"
                         "INSERT INTO t(a, c, e) VALUES(1, 'x', 'y'), (2, 'p', NULL);");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  const char* select = "SELECT a, b, c, d, e FROM t ORDER BY rowid";
  EXPECT_EQ(fixture::Query(output, select), fixture::Query(path, select));
  EXPECT_TRUE(Logged(h, "Total record(s) repaired    : 2"));
  EXPECT_FALSE(Logged(h, "could not be written"));
  // The grid shows the stored values where they stand; a VIRTUAL column has none.
  ASSERT_TRUE(h.Preview("t"));
  EXPECT_EQ(h.port.GridRows(), (std::vector<std::vector<std::string>>{
                                   {"1", "2", "x", "null", "y"}, {"2", "4", "p", "null", "null"}}));
}

TEST(SaveTest, RecordsWithMoreValuesThanTheCreateTextKeepTheirRows) {
  TempDir dir;
  const std::string path = dir.File("cut.db");
  // The stored CREATE text lost its last column: the records hold one value more.
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a, b, c);"
                         "INSERT INTO t VALUES(1, 'one', 'extra 1'), (2, 'two', 'extra 2'), (3, 'three', 'extra 3');"
                         "PRAGMA writable_schema=ON;"
                         "UPDATE sqlite_schema SET sql = 'CREATE TABLE t(a, b)' WHERE name = 't';");
  EngineHarness h;
  h.Repair(path);
  ASSERT_TRUE(h.Preview("t"));
  EXPECT_EQ(h.port.GridRows(), (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}, {"3", "three"}}));
  EngineHarness saving;
  const std::string output = RepairAndSave(saving, path, dir.path());
  EXPECT_EQ(fixture::Query(output, "SELECT a, b FROM t ORDER BY a"),
            (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}, {"3", "three"}}));
  EXPECT_TRUE(Logged(saving, "Table t: 3 record(s) had more values than the table has columns"));
}

TEST(SaveTest, TheCompanionCalendarCacheDeletedGetsNoTable) {
  TempDir dir;
  const std::string path = dir.File("calendar.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE CalendarCache(id INTEGER PRIMARY KEY, v TEXT);"
                         "INSERT INTO CalendarCache VALUES(1, 'a long value to leave a freeblock'), (2, 'kept');"
                         "DELETE FROM CalendarCache WHERE id = 1;");
  struct Case {
    const char* name;
    std::vector<std::string> checked;
    std::vector<std::string> tables;  // in the output
  } cases[] = {
      {"both checked", {"CalendarCache", "CalendarCache(deleted)"}, {"CalendarCache"}},
      {"only the companion", {"CalendarCache(deleted)"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir out;
    EngineHarness h;
    const std::string output = SaveChecked(h, path, out.path(), c.checked);
    ASSERT_FALSE(output.empty());
    std::vector<std::string> tables;
    for (const auto& row : fixture::Query(output, "SELECT name FROM sqlite_schema WHERE type = 'table'")) {
      tables.push_back(row[0]);
    }
    EXPECT_EQ(tables, c.tables);
    EXPECT_FALSE(Logged(h, "was not created"));
    EXPECT_TRUE(Logged(h, "Saving process completed successfully on "));
    EXPECT_EQ(h.port.SavedObjects(), c.checked) << "each checked table is reported saved";
  }
}

TEST(SaveTest, TriggersAreMatchedWithoutLetterCaseLikeViews) {
  TempDir dir;
  const std::string path = dir.File("trigger.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a); CREATE TABLE log(x);"
                         "CREATE TRIGGER Audit AFTER INSERT ON t BEGIN INSERT INTO log VALUES(new.a); END;");
  EngineHarness h;
  const std::string output = SaveChecked(h, path, dir.path(), {"t", "log"}, {"AUDIT"});
  EXPECT_EQ(fixture::Query(output, "SELECT name FROM sqlite_schema WHERE type = 'trigger'"),
            (std::vector<std::vector<std::string>>{{"Audit"}}));
}

TEST(SaveTest, AnObjectThatCannotBeSavedMakesAFailedSave) {
  TempDir dir;
  const std::string path = dir.File("fine.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a); INSERT INTO t VALUES(1);"
                         "CREATE VIEW broken AS SELECT 1;"
                         "PRAGMA writable_schema=ON;"
                         "UPDATE sqlite_schema SET sql = '' WHERE name = 'broken';");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_TRUE(Logged(h, "View broken was not saved: empty CREATE text"));
  EXPECT_TRUE(Logged(h, "Saving process failed on "));
  EXPECT_FALSE(Logged(h, "completed successfully"));
  EXPECT_EQ(h.state.saveFinished, 0);
  EXPECT_EQ(h.port.Count(job::Notification::SaveFinished, 0), 0) << "the tree keeps its check marks";
  auto saved = h.port.SavedObjects();
  EXPECT_EQ(std::count(saved.begin(), saved.end(), "broken"), 0) << "the view's leaf stays checked";
  EXPECT_EQ(fixture::Query(output, "SELECT a FROM t"), (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(SaveTest, SqliteInternalTablesNeedNoStatement) {
  TempDir dir;
  const std::string path = dir.File("analyzed.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE counter(id INTEGER PRIMARY KEY AUTOINCREMENT, v);"
                         "INSERT INTO counter(v) VALUES('a'), ('b');"
                         "CREATE INDEX by_v ON counter(v); ANALYZE;");
  ASSERT_EQ(fixture::Query(path, "SELECT count(*) FROM sqlite_stat1")[0][0], "1");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_TRUE(Logged(h, "Saving process completed successfully on "));
  EXPECT_FALSE(Logged(h, "was not created"));
  EXPECT_EQ(DumpTable(output, "counter"), DumpTable(path, "counter"));
  // SQLite keeps the sequence of the AUTOINCREMENT table itself.
  EXPECT_EQ(fixture::Query(output, "SELECT seq FROM sqlite_sequence WHERE name = 'counter'"),
            (std::vector<std::vector<std::string>>{{"2"}}));
}

TEST(SaveTest, KeysAreTheRowidOnlyForAnExactIntegerPrimaryKey) {
  TempDir dir;
  const std::string path = dir.File("keys.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE sized(id INTEGER(10) PRIMARY KEY, v);"
                         "INSERT INTO sized VALUES(NULL, 'n'), (5, 'five');"
                         "CREATE TABLE descending(id INTEGER PRIMARY KEY DESC, v);"
                         "INSERT INTO descending VALUES(NULL, 'n');");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  for (const char* table : {"sized", "descending"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(DumpTable(output, table), DumpTable(path, table));
    ASSERT_TRUE(h.Preview(table));
    EXPECT_EQ(h.port.GridRows()[0][0], "null") << "the key keeps its NULL, as SQLite reads it";
  }
}

TEST(SaveTest, DeletedRecordsOfATableWithAVirtualColumnKeepTheirColumns) {
  TempDir dir;
  const std::string path = dir.File("virtual.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE g(id INTEGER PRIMARY KEY, a, v AS (a * 2) VIRTUAL, b);"
                         "INSERT INTO g(a, b) VALUES(1, 'B1 with some length'), (2, 'B2 with some length'), (3, 'B3');"
                         "DELETE FROM g WHERE a = 2;");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path(), true);
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT name FROM pragma_table_info('g_deleted')"),
            (std::vector<std::vector<std::string>>{{"id"}, {"a"}, {"b"}}));
  EXPECT_EQ(fixture::Query(output, "SELECT a, b FROM g_deleted"),
            (std::vector<std::vector<std::string>>{{"2", "B2 with some length"}}));
}

TEST(SaveTest, TablesWhoseNamesDifferOnlyInCaseAreEachWrittenOnce) {
  TempDir dir;
  const std::string path = dir.File("cases.db");
  // A damaged master can hold names SQLite itself would not allow side by side.
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE upper_one(x); INSERT INTO upper_one VALUES(1), (2);"
                         "CREATE TABLE lower_one(y); INSERT INTO lower_one VALUES(3);"
                         "PRAGMA writable_schema=ON;"
                         "UPDATE sqlite_schema SET name = 'T', tbl_name = 'T', sql = 'CREATE TABLE T(x)'"
                         " WHERE name = 'upper_one';"
                         "UPDATE sqlite_schema SET name = 't', tbl_name = 't', sql = 'CREATE TABLE t(y)'"
                         " WHERE name = 'lower_one';");
  EngineHarness h;
  const std::string output = RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT x FROM T ORDER BY x"),
            (std::vector<std::vector<std::string>>{{"1"}, {"2"}}))
      << "no row of T is written twice";
  EXPECT_TRUE(Logged(h, "Table t was not created: "));
  EXPECT_TRUE(Logged(h, "Saving process failed on "));
}

TEST(SaveTest, AStopDuringACopyKeepsAnIncompleteFileThatSaysWhatItHolds) {
  TempDir dir;
  const std::string path = dir.File("long.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE first(x); INSERT INTO first VALUES(1), (2);"
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
                         " INSERT INTO t SELECT i, printf('row %d', i) FROM n;"
                         "CREATE TABLE never(y); INSERT INTO never VALUES(1);");
  EngineHarness h;
  h.state.databasePath = path;
  h.state.databaseFileName = "long.db";
  job::StartRepairJob(h.state, h.engine, h.port, path, false)->Join();
  h.state.checkedTables = {"first", "t", "never"};
  h.state.destinationFolder = dir.path() + "/";
  h.port.ClearEvents();
  int steps = 0;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == job::Notification::Progress && e.second == 2 && ++steps == 100) h.state.stopRequested = 1;
  };
  job::StartSaveJob(h.state, h.engine, h.port)->Join();
  auto saved = h.port.SavedObjects();
  EXPECT_EQ(std::count(saved.begin(), saved.end(), "t"), 0) << "a table cut short keeps its check mark";
  EXPECT_TRUE(Logged(h, "Process stopped by user on "));
  EXPECT_FALSE(Logged(h, "completed successfully"));
  EXPECT_FALSE(Logged(h, "Saving process failed"));
  EXPECT_EQ(h.state.saveFinished, 0);
  const std::string output = h.state.outputPath;
  ASSERT_NE(output.find(" (incomplete).db"), std::string::npos) << output;
  for (const std::string& name : FilesIn(dir.path())) {
    EXPECT_EQ(name.find("Repaired_") == 0 && name.find(" (incomplete)") == std::string::npos, false) << name;
  }
  const int rows = std::stoi(fixture::Query(output, "SELECT count(*) FROM t")[0][0]);
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 3000);
  EXPECT_TRUE(Logged(h, "The repaired database is incomplete; it was kept as " + output + "."));
  EXPECT_TRUE(Logged(h, "Table(s) saved whole: first"));
  EXPECT_TRUE(Logged(h, "Table t was cut short: " + std::to_string(rows) + " record(s) written."));
  EXPECT_EQ(fixture::Query(output, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
}

TEST(SaveTest, OutputNamesAreNeverReused) {
  TempDir dir;
  std::string error;
  const std::string folder = dir.path() + "/";
  auto write = [](const std::string& file, const std::string& text) {
    fixture::WriteFile(file, std::vector<uint8_t>(text.begin(), text.end()));
  };
  auto publish = [&](const std::string& name, bool incomplete) {
    const std::string temporary = folder + "~partial";
    write(temporary, "written");
    return engine::writer::PublishOutput(temporary, folder, name, incomplete, &error);
  };
  write(folder + "Repaired_01_02_03_a.db", "older");
  EXPECT_EQ(publish("Repaired_01_02_03_a.db", false), folder + "Repaired_01_02_03_a(2).db");
  EXPECT_EQ(publish("Repaired_01_02_03_a.db", false), folder + "Repaired_01_02_03_a(3).db");
  EXPECT_EQ(publish("Repaired_01_02_03_a.db", true), folder + "Repaired_01_02_03_a (incomplete).db");
  EXPECT_EQ(publish("Repaired_01_02_03_a.db", true), folder + "Repaired_01_02_03_a (incomplete)(2).db");
  EXPECT_EQ(publish("noext", false), folder + "noext");
  EXPECT_EQ(publish("noext", false), folder + "noext(2)");
  const std::vector<uint8_t> older = fixture::ReadFile(folder + "Repaired_01_02_03_a.db");
  EXPECT_EQ(std::string(older.begin(), older.end()), "older") << "an older file is never replaced";
  write(folder + "~partial", "x");
  EXPECT_EQ(engine::writer::PublishOutput(folder + "~partial", folder + "missing/", "a.db", false, &error), "");
  EXPECT_FALSE(error.empty());
}

TEST(SaveTest, AnUnwritableDestinationIsReportedNotCalledSuccess) {
  TempDir dir;
  const std::string path = dir.File("fine.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
  EngineHarness h;
  EXPECT_EQ(RepairAndSave(h, path, dir.File("no/such/folder")), "");
  auto log = h.port.LogLines();
  EXPECT_EQ(log.back().rfind("Saving process failed: the repaired database cannot be created in ", 0), 0u)
      << log.back();
  for (const auto& line : log) EXPECT_EQ(line.find("completed successfully"), std::string::npos);
  auto events = h.port.Events();
  EXPECT_TRUE(events[events.size() - 2].isDialog);
  EXPECT_EQ(events[events.size() - 2].text.rfind("The repaired database cannot be created", 0), 0u);
  EXPECT_EQ(h.state.saveRequested, 0);
}

}  // namespace
