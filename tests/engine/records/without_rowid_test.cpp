// Tables without rowid: their rows live in an index b-tree keyed by the primary
// key, interior pages included; preview, save and deleted rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "engine/reader/btree_page.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;
using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

// The key is (code, qty), in another order than the declared columns; a long note
// now and then overflows the cell.
const char* kCreate =
    "CREATE TABLE stock(note TEXT, qty INT, code TEXT NOT NULL, price REAL, PRIMARY KEY(code, qty))"
    " WITHOUT ROWID;";

std::string FillSql(int rows) {
  return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
         ") INSERT INTO stock SELECT CASE WHEN i % 97 = 0 THEN printf('%.3000c', 'n') WHEN i % 11 = 0 THEN NULL"
         " WHEN i % 13 = 0 THEN x'00ff10' ELSE 'note ' || i END, i % 7, printf('K%05d', i / 7),"
         " CASE WHEN i % 5 = 0 THEN i ELSE i * 0.25 END FROM n;";
}

// Every row with each value's storage class, in key order: equal dumps, equal tables.
Rows Dump(const std::string& db, const std::string& table) {
  std::string select;
  for (const char* c : {"note", "qty", "code", "price"}) {
    if (!select.empty()) select += ", ";
    select += std::string("typeof(") + c + ") || ':' || CASE typeof(" + c + ") WHEN 'real' THEN printf('%!.17g', " +
              c + ") ELSE quote(" + c + ") END";
  }
  return fixture::Query(db, "SELECT " + select + " FROM \"" + table + "\" ORDER BY code, qty, note, price");
}

// The note as the grid shows it.
const std::string kGridNote =
    "CASE WHEN note IS NULL THEN 'null' WHEN typeof(note) = 'blob' THEN 'x' || char(39) || lower(hex(note)) || char(39)"
    " ELSE note END";

size_t TreeDepth(const std::string& db, const std::string& table) {
  size_t depth = 0;
  for (const auto& page : fixture::BtreePages(db, table)) {
    if (page.type != "overflow") depth = std::max<size_t>(depth, std::count(page.path.begin(), page.path.end(), '/'));
  }
  return depth;
}

bool LogHas(const EngineHarness& h, const std::string& line) {
  const auto lines = h.port.LogLines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct TreeCase {
  uint32_t pageSize;
  const char* encoding;
  int rows;
  size_t depth;  // levels of the tree at least
};

TEST(WithoutRowidTest, EveryRowOfTheIndexTreeIsPreviewedAndSavedAsSqliteReadsIt) {
  const TreeCase cases[] = {
      {4096, "UTF-8", 1200, 2},     // a root over leaves: rows in the root's cells
      {512, "UTF-8", 3000, 3},      // three levels and more, many overflowing notes
      {65536, "UTF-16le", 5000, 2}, // the largest page, a UTF-16 database
  };
  for (const TreeCase& c : cases) {
    SCOPED_TRACE(c.pageSize);
    TempDir dir;
    const std::string path = dir.File("stock.db");
    fixture::DbOptions options;
    options.pageSize = c.pageSize;
    options.encoding = c.encoding;
    fixture::BuildDatabase(path, options, std::string(kCreate) + FillSql(c.rows));
    ASSERT_GE(TreeDepth(path, "stock"), c.depth);

    EngineHarness preview;
    preview.port.plainCells = true;
    preview.Repair(path);
    ASSERT_TRUE(preview.Preview("stock"));
    // The grid shows the declared columns, in key order as SQLite walks the tree.
    const Rows grid = preview.port.GridRows();
    EXPECT_EQ(grid, fixture::Query(path, "SELECT " + kGridNote + ", qty, code, price FROM stock"));

    fs::create_directory(dir.File("out"));
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.File("out"));
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(Dump(output, "stock"), Dump(path, "stock"));
    EXPECT_EQ(fixture::Query(output, "SELECT sql FROM sqlite_schema WHERE name = 'stock'"),
              fixture::Query(path, "SELECT sql FROM sqlite_schema WHERE name = 'stock'"));
    EXPECT_TRUE(LogHas(h, "Total record(s) present    : " + std::to_string(c.rows)));
    EXPECT_TRUE(LogHas(h, "Total record(s) repaired    : " + std::to_string(c.rows)));
  }
}

TEST(WithoutRowidTest, AColumnAddedLaterTakesItsDefaultInOldRows) {
  TempDir dir;
  const std::string path = dir.File("grown.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE g(b TEXT, a INT PRIMARY KEY) WITHOUT ROWID;"
                         "INSERT INTO g VALUES('one', 1), ('two', 2);"
                         "ALTER TABLE g ADD COLUMN c TEXT DEFAULT 'later';"
                         "INSERT INTO g VALUES('three', 3, 'own');");
  fs::create_directory(dir.File("out"));
  EngineHarness h;
  const std::string output = fixture::RepairAndSave(h, path, dir.File("out"));
  EXPECT_EQ(fixture::Query(output, "SELECT a, b, c FROM g ORDER BY a"),
            (Rows{{"1", "one", "later"}, {"2", "two", "later"}, {"3", "three", "own"}}));
}

TEST(WithoutRowidTest, ATableWhoseOptionsWereLostIsKnownByItsRootPage) {
  TempDir dir;
  const std::string path = dir.File("options.db");
  fixture::BuildDatabase(path, {}, std::string(kCreate) + FillSql(300));
  const Rows truth = fixture::Query(path, "SELECT " + kGridNote + ", qty, code, price FROM stock");
  ASSERT_EQ(fixture::ReplaceBytes(path, " WITHOUT ROWID", "              "), 1);
  EngineHarness h;
  h.port.plainCells = true;
  h.Repair(path);
  ASSERT_TRUE(h.Preview("stock"));
  EXPECT_EQ(h.port.GridRows(), truth);
}

TEST(WithoutRowidTest, DeletedRowsComeBackFromTheFreeblocksOfIndexPages) {
  // A note long enough for a two-byte payload size keeps every serial type but the
  // first under the freeblock header; a short one loses the first two, whose split
  // the live rows' key lengths tell. The row the update replaced comes back too.
  struct DeleteCase {
    const char* name;
    const char* note;
    Rows expected;  // the carved rows, as their table's columns (note, qty, code, price)
  };
  const DeleteCase cases[] = {
      {"long", "printf('%.150c', 'z')",
       {{std::string(150, 'z'), "3", "K00042", "10.5"}, {"", "3", "K00042", "74.25"}}},
      {"short", "'gone'", {{"gone", "3", "K00042", "10.5"}, {"", "3", "K00042", "74.25"}}},
  };
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("deleted.db");
    fixture::BuildDatabase(path, {},
                           std::string(kCreate) + FillSql(400) +
                               "UPDATE stock SET note = " + c.note + ", price = 10.5 WHERE code = 'K00042' AND qty = 3;"
                               "DELETE FROM stock WHERE code = 'K00042' AND qty = 3;");
    fs::create_directory(dir.File("out"));
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.File("out"), true);
    ASSERT_FALSE(output.empty());
    const Rows carved = fixture::Query(output, "SELECT note, qty, code, price FROM stock_deleted");
    for (const auto& row : c.expected) {
      EXPECT_NE(std::find(carved.begin(), carved.end(), row), carved.end()) << "missing " << row[0].substr(0, 8);
    }
    // No live row comes back as deleted.
    for (const auto& row : carved) {
      EXPECT_TRUE(fixture::Query(path, "SELECT 1 FROM stock WHERE code IS '" + row[2] + "' AND qty IS " +
                                           (row[1].empty() ? "NULL" : row[1]) + " AND note IS '" + row[0] + "'")
                      .empty());
    }
    EXPECT_TRUE(LogHas(h, "Table name   : stock_deleted"));
    EXPECT_TRUE(LogHas(h, "Total record(s) repaired    : " + std::to_string(carved.size())));
  }
}

TEST(WithoutRowidTest, ACycleBetweenInteriorPagesEndsAndGivesEachRowOnce) {
  TempDir dir;
  const std::string path = dir.File("cycle.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  fixture::BuildDatabase(path, options, std::string(kCreate) + FillSql(3000));
  // Point the right child of an interior page below the root back at the root.
  uint32_t root = 0, inner = 0;
  for (const auto& page : fixture::BtreePages(path, "stock")) {
    if (page.path == "/") root = page.page;
    if (page.type == "internal" && page.path != "/" && inner == 0) inner = page.page;
  }
  ASSERT_NE(inner, 0u);
  const Rows truth = fixture::Query(path, "SELECT " + kGridNote + ", qty, code, price FROM stock");
  fixture::PutBigEndian(path, fixture::HeaderAt(inner, 512) + 8, root, 4);

  EngineHarness h;
  h.port.plainCells = true;
  h.Repair(path);
  ASSERT_TRUE(h.Preview("stock"));
  const Rows grid = h.port.GridRows();
  const std::set<std::vector<std::string>> unique(grid.begin(), grid.end());
  EXPECT_EQ(unique.size(), grid.size());
  const std::set<std::vector<std::string>> real(truth.begin(), truth.end());
  for (const auto& row : grid) EXPECT_TRUE(real.count(row)) << row[2];
  // The leaves below the pointer that now leads back are found outside the tree.
  EXPECT_EQ(grid.size(), truth.size());
}

TEST(WithoutRowidTest, PointersCraftedOntoOneCellGiveItsRowOnce) {
  // Every cell pointer of the one leaf names the first cell: each record once, not
  // once a pointer (crafted pages would make every cell's bytes be read again).
  TempDir dir;
  const std::string path = dir.File("pointers.db");
  fixture::BuildDatabase(path, {}, std::string(kCreate) + FillSql(40));
  const auto pages = fixture::BtreePages(path, "stock");
  ASSERT_EQ(pages.size(), 1u);
  const int64_t header = fixture::HeaderAt(pages[0].page, 4096);
  const uint64_t cells = fixture::GetBigEndian(path, header + 3, 2);
  const uint64_t first = fixture::GetBigEndian(path, header + 8, 2);
  for (uint64_t i = 1; i < cells; ++i) fixture::PutBigEndian(path, header + 8 + 2 * i, first, 2);

  EngineHarness h;
  h.Repair(path);
  ASSERT_TRUE(h.Preview("stock"));
  EXPECT_EQ(h.port.GridRows().size(), 1u);
}

}  // namespace
