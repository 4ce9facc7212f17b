// Deleted records carved out of freeblocks and unallocated gaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::multiset<std::vector<std::string>>;

Rows Carved(const std::string& path, const std::string& table) {
  EngineHarness h;
  h.port.plainCells = true;
  h.Repair(path);
  if (!h.Preview(table + "(deleted)")) return {{"no companion"}};
  auto grid = h.port.GridRows();
  return Rows(grid.begin(), grid.end());
}

TEST(DeletedRecordsTest, CarvedRows) {
  const std::string text200(200, 'w');
  struct Case {
    const char* name;
    std::string sql;  // builds table t and deletes from it
    Rows rows;
  } cases[] = {
      {"one row with a 1-byte rowid", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(1, 'first row', 10), (2, 'second row', 20), (3, 'third row', 30);"
       "DELETE FROM t WHERE id = 2;",
       {{"null", "second row", "20"}}},
      {"a 3-byte rowid and a 200-byte text", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(20000, 'a', 1), (20001, printf('%.200c', 'w'), 123456), (20002, 'c', 3);"
       "DELETE FROM t WHERE id = 20001;",
       {{"null", text200, "123456"}}},
      {"two adjacent rows, the lower one deleted first", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(1, 'one', 1), (2, 'two', 2), (3, 'three', 3), (4, 'four', 4);"
       "DELETE FROM t WHERE id = 3; DELETE FROM t WHERE id = 2;",
       {{"null", "three", "3"}, {"2", "two", "2"}}},
      {"two adjacent rows, the higher one deleted first", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(1, 'one', 1), (2, 'two', 2), (3, 'three', 3), (4, 'four', 4);"
       "DELETE FROM t WHERE id = 2; DELETE FROM t WHERE id = 3;",
       {{"null", "three", "3"}, {"null", "two", "2"}}},
      {"a row given back to the unallocated gap", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(1, 'one', 1), (2, 'two', 2), (300, 'last row', 3);"
       "DELETE FROM t WHERE id = 300;",
       {{"null", "last row", "3"}}},
      {"a table without a key", "CREATE TABLE t(a TEXT, b INT, c REAL);"
       "INSERT INTO t VALUES('alpha', 1, 1.5), ('bravo text', 2, 2.5), ('charlie', 3, 3.5);"
       "DELETE FROM t WHERE b = 2;",
       {{"bravo text", "2", "2.5"}}},
      {"a securely deleted row", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "INSERT INTO t VALUES(1, 'first row', 10), (2, 'second row', 20), (3, 'third row', 30);"
       "PRAGMA secure_delete = ON; DELETE FROM t WHERE id = 2;",
       {}},
      {"a row written before a column was added", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
       "INSERT INTO t VALUES(1, 'old one'), (2, 'old two'), (3, 'old three');"
       "ALTER TABLE t ADD COLUMN extra TEXT DEFAULT 'x';"
       "INSERT INTO t VALUES(4, 'new', 'own');"
       "DELETE FROM t WHERE id = 2;",
       {{"null", "old two", "null"}}},
      {"a run of rows with large rowids, deleted in order", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 8)"
       " INSERT INTO t SELECT 1099511627776 + i, printf('name %.*c', i * 7, 'q'), i * 1000 FROM k;"
       "DELETE FROM t WHERE id BETWEEN 1099511627779 AND 1099511627782;",
       {{"null", "name " + std::string(21, 'q'), "3000"}, {"null", "name " + std::string(28, 'q'), "4000"},
        {"null", "name " + std::string(35, 'q'), "5000"}, {"null", "name " + std::string(42, 'q'), "6000"}}},
      {"a row of NULLs among deleted rows", "CREATE TABLE t(a TEXT, b INT);"
       "INSERT INTO t VALUES('first', 1), ('second', 2), (NULL, NULL), ('fourth', 4), ('fifth', 5);"
       "DELETE FROM t WHERE rowid BETWEEN 2 AND 4;",
       {{"second", "2"}, {"fourth", "4"}}},
      // The new cell took the end of row 4: its head keeps the text's first bytes.
      {"a freeblock whose end was given out again", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
       "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 10)"
       " INSERT INTO t SELECT 1000 + i, printf('row %d with a name', i), i FROM k;"
       "DELETE FROM t WHERE id BETWEEN 1004 AND 1007;"
       "INSERT INTO t VALUES(2000, 'x', 0);",
       {{"null", "row 4 with", "null"}, {"null", "row 5 with a name", "5"}, {"null", "row 6 with a name", "6"},
        {"null", "row 7 with a name", "7"}}},
      // The real's last bytes and the integer's first read as a freeblock header
      // (next 0, size 5) that chains to the content start: no reason to cut the row.
      {"a row given back to the gap whose bytes pass for a freeblock header", "CREATE TABLE t(x TEXT, y REAL, z);"
       "INSERT INTO t VALUES('text 1304', 652.0, 1304), ('text 1305 xxxxx', 652.5, 1305);"
       "DELETE FROM t WHERE z = 1305;",
       {{"text 1305 xxxxx", "652.5", "1305"}}},
      {"blobs, reals and NULLs", "CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB, r REAL, z);"
       "INSERT INTO t VALUES(1, x'00', 1.0, 1), (2, x'00ff00ff', 0.1, NULL), (3, x'01', 2.0, 3);"
       "DELETE FROM t WHERE id = 2;",
       {{"null", "x'00ff00ff'", "0.1", "null"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("t.db");
    fixture::BuildDatabase(path, {}, c.sql);
    EXPECT_EQ(Carved(path, "t"), c.rows);
  }
}

TEST(DeletedRecordsTest, SavedIntoTheDeletedTableWithTypedValues) {
  TempDir dir;
  const std::string path = dir.File("shop.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT, price REAL, pic BLOB);"
                         "INSERT INTO items VALUES(1, 'pen', 1.5, x'00'), (2, 'ink', NULL, x'0102'),"
                         " (3, 'pad', 3.25, NULL), (4, 'cap', 4.0, x'04');"
                         "DELETE FROM items WHERE id IN (2, 4);");
  EngineHarness h;
  const std::string output = fixture::RepairAndSave(h, path, dir.path(), true);
  ASSERT_FALSE(output.empty());
  auto rows = fixture::Query(output,
                             "SELECT quote(id), quote(name), typeof(price) || ':' || quote(price),"
                             " quote(pic) FROM items_deleted ORDER BY name");
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                      {"NULL", "'cap'", "real:4.0", "X'04'"},
                      {"NULL", "'ink'", "null:NULL", "X'0102'"}}));
  EXPECT_EQ(fixture::DumpTable(output, "items"), fixture::DumpTable(path, "items"));
}

TEST(DeletedRecordsTest, RowsOnLeafPagesSqliteFreed) {
  TempDir dir;
  const std::string path = dir.File("shrunk.db");
  fixture::DbOptions options;
  options.pageSize = 1024;
  // Deleting a whole run of rows empties leaf pages, which go to the freelist with
  // their cells still on them.
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
                         "CREATE TABLE other(a BLOB, b BLOB);"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 400)"
                         " INSERT INTO t SELECT i, printf('row number %d with some text', i), i * 3 FROM k;"
                         "DELETE FROM t WHERE id BETWEEN 100 AND 300;");
  ASSERT_GT(std::stoi(fixture::Query(path, "PRAGMA freelist_count")[0][0]), 0);
  Rows carved = Carved(path, "t");
  size_t found = 0;
  for (int id = 100; id <= 300; ++id) {
    const std::string name = "row number " + std::to_string(id) + " with some text";
    const std::string n = std::to_string(id * 3);
    // Rows read whole from a freed page keep their rowid; carved ones may not.
    if (carved.count({std::to_string(id), name, n}) || carved.count({"null", name, n})) ++found;
  }
  // Six freed leaf pages keep 150 of the 201 rows whole; the rest were on the page
  // that became the freelist's trunk or on pages SQLite rebuilt.
  EXPECT_GE(found, 145u) << "of 201 deleted rows";
  for (const auto& row : carved) {
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[1].rfind("row number ", 0), 0u) << row[1];
  }
}

TEST(DeletedRecordsTest, RowsWithHeadersLongerThan127Bytes) {
  // 150 columns: the record header's size takes two bytes. With a two-byte payload
  // size and a one-byte rowid, the lost bytes end inside it.
  std::string columns, values;
  std::vector<std::string> expected;
  for (int i = 0; i < 150; ++i) {
    columns += (i ? ", c" : "c") + std::to_string(i);
    values += (i ? ", " : "") + std::to_string(i * 7);
    expected.push_back(std::to_string(i * 7));
  }
  TempDir dir;
  const std::string path = dir.File("wide.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(" + columns + ");"
                         "INSERT INTO t VALUES(" + values + "), (" + values + "), (" + values + ");"
                         "UPDATE t SET c0 = rowid * 1000;"
                         "DELETE FROM t WHERE rowid = 2;");
  expected[0] = "2000";
  EXPECT_EQ(Carved(path, "t"), Rows{expected});
}

TEST(DeletedRecordsTest, FreedPagesGoToTheTableTheyCameFrom) {
  // Two tables whose rows look alike: u's first column is mostly NULL, as t's rowid
  // column stores it. Each loses a run of rows, and with them whole leaf pages.
  TempDir dir;
  const std::string path = dir.File("alike.db");
  fixture::DbOptions options;
  options.pageSize = 1024;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
                         "CREATE TABLE u(code TEXT, name TEXT);"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 300)"
                         " INSERT INTO t SELECT i, printf('t row %d and some words to fill the page', i) FROM k;"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 300)"
                         " INSERT INTO u SELECT CASE WHEN i % 4 = 0 THEN 'c' END,"
                         " printf('u row %d and some words to fill the page', i) FROM k;"
                         "DELETE FROM t WHERE id BETWEEN 50 AND 250;"
                         "DELETE FROM u WHERE rowid BETWEEN 50 AND 250;");
  ASSERT_GT(std::stoi(fixture::Query(path, "PRAGMA freelist_count")[0][0]), 0);
  for (const char* table : {"t", "u"}) {
    SCOPED_TRACE(table);
    const Rows carved = Carved(path, table);
    const std::string own = std::string(table) + " row ";
    size_t found = 0;
    for (const auto& row : carved) {
      ASSERT_EQ(row.size(), 2u);
      EXPECT_EQ(row[1].rfind(own, 0), 0u) << row[1];
      found += row[1].rfind(own, 0) == 0;
    }
    EXPECT_GE(found, 140u) << "of 201 deleted rows";
  }
}

TEST(DeletedRecordsTest, EveryDeletedRowOutlastsADamagedFreeblockChain) {
  // One leaf page with five freeblocks; the chain is then broken in each way, and
  // the page's deleted rows still come back, the live ones untouched.
  constexpr uint32_t kPage = 4096;
  const std::string sql =
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 30)"
      " INSERT INTO t SELECT i, printf('row %d of the page', i), i * 7 FROM k;"
      "DELETE FROM t WHERE id % 5 = 0;";
  enum class Damage { FirstPointerOutside, FirstNextOutside, SizeClaimsThePage, Loop };
  const std::pair<const char*, Damage> cases[] = {
      {"the header's first freeblock outside the page", Damage::FirstPointerOutside},
      {"the first freeblock's next outside the page", Damage::FirstNextOutside},
      {"a size that claims the rest of the page", Damage::SizeClaimsThePage},
      {"a loop", Damage::Loop},
  };
  TempDir healthyDir;
  const std::string healthy = healthyDir.File("healthy.db");
  fixture::DbOptions options;
  options.pageSize = kPage;
  fixture::BuildDatabase(healthy, options, sql);
  const Rows expected = Carved(healthy, "t");
  ASSERT_EQ(expected.size(), 6u);  // ids 5 to 30
  const auto live = fixture::Query(healthy, "SELECT * FROM t");
  for (const auto& [name, damage] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string path = dir.File("chain.db");
    fixture::BuildDatabase(path, options, sql);
    const int64_t leaf = static_cast<int64_t>(kPage);  // page 2, the table's only page
    const auto at16 = [&](int64_t offset) { return static_cast<uint32_t>(fixture::GetBigEndian(path, offset, 2)); };
    const uint32_t first = at16(leaf + 1);
    ASSERT_NE(first, 0u);
    switch (damage) {
      case Damage::FirstPointerOutside: fixture::PutBigEndian(path, leaf + 1, 0xfff0, 2); break;
      case Damage::FirstNextOutside: fixture::PutBigEndian(path, leaf + first, 0xfff0, 2); break;
      case Damage::SizeClaimsThePage: fixture::PutBigEndian(path, leaf + first + 2, kPage - first, 2); break;
      case Damage::Loop: {
        uint32_t last = first;
        while (at16(leaf + last) != 0) last = at16(leaf + last);
        fixture::PutBigEndian(path, leaf + last, first, 2);
        break;
      }
    }
    EXPECT_EQ(Carved(path, "t"), expected);
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.path(), false);
    EXPECT_EQ(fixture::Query(output, "SELECT * FROM t"), live);
  }
}

TEST(DeletedRecordsTest, FreedPagesPastADamagedTrunkAreStillCarved) {
  // 512-byte pages: a trunk lists 126 freed pages, so the freed pages of t take
  // two trunks. The first trunk's next pointer zeroed, or its count made 10,000.
  constexpr uint32_t kPage = 512;
  const std::string sql =
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 6000)"
      " INSERT INTO t SELECT i, printf('row %d', i), i * 7 FROM k;"
      "DELETE FROM t WHERE id > 20;";
  fixture::DbOptions options;
  options.pageSize = kPage;
  TempDir healthyDir;
  const std::string healthy = healthyDir.File("healthy.db");
  fixture::BuildDatabase(healthy, options, sql);
  ASSERT_GT(std::stoi(fixture::Query(healthy, "PRAGMA freelist_count")[0][0]), 130);
  const Rows expected = Carved(healthy, "t");
  ASSERT_GT(expected.size(), 4000u);
  for (bool zeroNext : {true, false}) {
    SCOPED_TRACE(zeroNext ? "next pointer zeroed" : "leaf count 10000");
    TempDir dir;
    const std::string path = dir.File("trunk.db");
    fixture::BuildDatabase(path, options, sql);
    const uint32_t trunk = static_cast<uint32_t>(fixture::GetBigEndian(path, 32, 4));
    const int64_t at = static_cast<int64_t>(trunk - 1) * kPage;
    ASSERT_NE(fixture::GetBigEndian(path, at, 4), 0u) << "a second trunk follows";
    fixture::PutBigEndian(path, at + (zeroNext ? 0 : 4), zeroNext ? 0 : 10000, 4);
    // All but the cells a trunk keeps past its list (the unlinked trunk's, or those
    // of the trunk whose count now claims the whole page): fewer than a page holds.
    const Rows carved = Carved(path, "t");
    EXPECT_TRUE(std::includes(expected.begin(), expected.end(), carved.begin(), carved.end()));
    EXPECT_GE(carved.size() + 30, expected.size());
  }
}

TEST(DeletedRecordsTest, ADeletedRowsOverflowChainIsRebuiltOrItsValueCutWhereItBroke) {
  // A 2,500-byte blob on 1024-byte pages: its cell and two overflow pages, freed as
  // leaves of the trunk a dropped table left.
  constexpr uint32_t kPage = 1024;
  for (bool broken : {false, true}) {
    SCOPED_TRACE(broken ? "the chain's last page given out again" : "the chain intact");
    TempDir dir;
    const std::string path = dir.File("overflow.db");
    fixture::DbOptions options;
    options.pageSize = kPage;
    fixture::BuildDatabase(path, options,
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, data BLOB);"
                           "INSERT INTO t VALUES(1, 'small', x'01'), (2, 'big', randomblob(2500)), (3, 'after', x'03');"
                           "CREATE TABLE scratch(x); DROP TABLE scratch;");
    const std::string blob = fixture::Query(path, "SELECT hex(data) FROM t WHERE id = 2")[0][0];
    std::vector<uint32_t> chain;
    for (const auto& p : fixture::BtreePages(path, "t")) {
      if (p.type == "overflow") chain.push_back(p.page);
    }
    ASSERT_EQ(chain.size(), 2u);
    fixture::BuildDatabase(path, options, "DELETE FROM t WHERE id = 2");
    if (broken) fixture::PatchBytes(path, static_cast<int64_t>(chain.back() - 1) * kPage, {13, 0, 0, 0, 0});
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.path(), true);
    const auto rows = fixture::Query(output, "SELECT name, hex(data) FROM t_deleted");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "big");
    const auto lines = h.port.LogLines();
    const bool cutLine = std::find(lines.begin(), lines.end(),
                                   "Value(s) cut short where their overflow pages were lost : 1") != lines.end();
    if (broken) {
      // The bytes of the cell and of the first page, none made up.
      EXPECT_LT(rows[0][1].size(), blob.size());
      EXPECT_GT(rows[0][1].size(), 0u);
      EXPECT_EQ(blob.compare(0, rows[0][1].size(), rows[0][1]), 0);
      EXPECT_TRUE(cutLine);
    } else {
      EXPECT_EQ(rows[0][1], blob);
      EXPECT_FALSE(cutLine);
    }
  }
}

TEST(DeletedRecordsTest, AnOlderVersionARowWasUpdatedOverKeepsItsValuesBeforeTheNewerCell) {
  // SQLite frees the older cell and gives the shorter newer one that freeblock's end:
  // the older record's head survives, up to the newer cell.
  struct Case {
    const char* name;
    const char* encoding;
    std::string update;
    Rows rows;
    bool logged;
  } cases[] = {
      {"a text made shorter: the values before it, and its bytes up to the newer cell", "UTF-8",
       "UPDATE t SET note = 'short' WHERE id = 300",
       {{"null", "700", "a note of the third row, a long one that ", "null"}}, true},
      {"the same in UTF-16", "UTF-16le", "UPDATE t SET note = 'short' WHERE id = 300",
       {{"null", "700", "a note of the third row, a long one that the u", "null"}}, true},
      {"the last column made shorter: nothing the newer version does not hold", "UTF-8",
       "UPDATE t SET tail = 'z' WHERE id = 300", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("t.db");
    fixture::DbOptions options;
    options.encoding = c.encoding;
    fixture::BuildDatabase(path, options,
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, n INT, note TEXT, tail TEXT);"
                           "INSERT INTO t VALUES(100, 500, 'a note of the first row', 'tail one'),"
                           " (200, 600, 'a note of the second row', 'tail two'),"
                           " (300, 700, 'a note of the third row, a long one that the update cuts', 'tail three');" +
                               c.update);
    EXPECT_EQ(Carved(path, "t"), c.rows);
    EngineHarness h;
    fixture::RepairAndSave(h, path, dir.path(), true);
    const auto lines = h.port.LogLines();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Deleted record(s) from overwritten cells : 1") != lines.end(),
              c.logged);
  }
}

TEST(DeletedRecordsTest, AnInteriorPageKeepsTheCellsItHeldAsALeaf) {
  // The root was the only leaf until the table outgrew it; the interior cells SQLite
  // wrote from the page's end left the lower old cells alone. The older version of a
  // row updated since is one of them, whole: it comes back once, not also as the head
  // the leaf's freeblock kept of it.
  TempDir dir;
  const std::string path = dir.File("t.db");
  fixture::DbOptions options;
  options.pageSize = 1024;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 400)"
                         " INSERT INTO t SELECT i, printf('name of row %d', i), i * 7 FROM k;"
                         "UPDATE t SET name = 'r' WHERE id = 30;");
  const auto pages = fixture::BtreePages(path, "t");
  ASSERT_FALSE(pages.empty());
  ASSERT_EQ(pages[0].type, "internal");
  EXPECT_EQ(Carved(path, "t"), (Rows{{"30", "name of row 30", "210"}}));
}

}  // namespace
