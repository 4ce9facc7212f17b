// Rows back from broken trees: stray leaves go home, pages of another table's tree
// go to it, and no row is given twice or to the wrong table.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;
using fixture::DumpTable;
using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

constexpr uint32_t kPage = 1024;

// Two tables no record of one can pass for the other's: `a` has an INTEGER
// PRIMARY KEY (stored NULL) and four columns, `b` three and none.
const char* kTwoTables =
    "CREATE TABLE a(id INTEGER PRIMARY KEY, name TEXT, qty INT, note BLOB);"
    "CREATE TABLE b(x TEXT, y REAL, z);"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000)"
    " INSERT INTO a SELECT i * 3, printf('name %d', i), i % 100, CASE WHEN i % 50 = 0 THEN randomblob(2500)"
    " ELSE randomblob(20) END FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
    " INSERT INTO b SELECT printf('text %d', i), i * 0.5, i FROM n;";

struct Built {
  std::string path;
  Rows a, b;
};

Built Build(TempDir& dir, const std::string& sql = kTwoTables) {
  Built built{dir.File("damaged.db"), {}, {}};
  fixture::DbOptions options;
  options.pageSize = kPage;
  fixture::BuildDatabase(built.path, options, sql);
  built.a = DumpTable(built.path, "a");
  built.b = DumpTable(built.path, "b");
  return built;
}

uint32_t Root(const std::string& path, const std::string& table) {
  return static_cast<uint32_t>(
      std::stoul(fixture::Query(path, "SELECT rootpage FROM sqlite_schema WHERE name = '" + table + "'")[0][0]));
}

std::vector<uint32_t> Pages(const std::string& path, const std::string& table, const std::string& type) {
  std::vector<uint32_t> pages;
  for (const auto& p : fixture::BtreePages(path, table)) {
    if (p.type == type) pages.push_back(p.page);
  }
  return pages;
}

std::string Saved(TempDir& dir, EngineHarness& h, const std::string& path, bool deleted = false) {
  fs::create_directories(dir.File("out"));
  return fixture::RepairAndSave(h, path, dir.File("out"), deleted);
}

TEST(PageAttributionTest, RowsBelowABrokenInteriorPageComeBackInTheirTable) {
  struct Case {
    const char* name;
    bool deeper;  // an interior page below the root rather than the root
    bool zero;    // zeros rather than random bytes
  };
  for (const Case& c : {Case{"root zeroed", false, true}, Case{"root garbled", false, false},
                        Case{"deeper zeroed", true, true}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Built built = Build(dir);
    const uint32_t root = Root(built.path, "a");
    uint32_t target = root;
    if (c.deeper) {
      for (uint32_t p : Pages(built.path, "a", "internal")) {
        if (p != root) target = p;
      }
      ASSERT_NE(target, root) << "the tree has two levels only";
    }
    std::vector<uint8_t> bytes(kPage, 0);
    for (size_t i = 0; i < bytes.size() && !c.zero; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    fixture::PatchBytes(built.path, static_cast<int64_t>(target - 1) * kPage, bytes);

    EngineHarness h;
    const std::string output = Saved(dir, h, built.path);
    EXPECT_EQ(DumpTable(output, "a"), built.a);
    EXPECT_EQ(DumpTable(output, "b"), built.b);
    const auto lines = h.port.LogLines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("Record(s) from pages outside its tree : ", 0) == 0; }),
              lines.end());
  }
}

TEST(PageAttributionTest, SwappedRootsAndARedirectedChildGiveEachTableItsOwnRows) {
  for (const char* damage : {"swap", "redirect"}) {
    SCOPED_TRACE(damage);
    TempDir dir;
    Built built = Build(dir);
    const uint32_t a = Root(built.path, "a"), b = Root(built.path, "b");
    if (std::string(damage) == "swap") {
      sqlite3* db = nullptr;
      sqlite3_open(built.path.c_str(), &db);
      const std::string sql = "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET rootpage = CASE name WHEN 'a' THEN " +
                              std::to_string(b) + " ELSE " + std::to_string(a) + " END WHERE name IN ('a', 'b');";
      ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    } else {
      // The first child of a's root now leads to a leaf of b.
      const int64_t header = static_cast<int64_t>(a - 1) * kPage;
      const uint64_t firstCell = fixture::GetBigEndian(built.path, header + 12, 2);
      fixture::PutBigEndian(built.path, header + static_cast<int64_t>(firstCell), Pages(built.path, "b", "leaf").front(), 4);
    }
    EngineHarness h;
    const std::string output = Saved(dir, h, built.path);
    EXPECT_EQ(DumpTable(output, "a"), built.a);
    EXPECT_EQ(DumpTable(output, "b"), built.b);
  }
}

TEST(PageAttributionTest, AStrayCopyOfLiveRowsIsNotLiveAgain) {
  // A copy of one of a's leaves past the end of the file: with the tree intact it
  // is a page a freed; with the tree broken its rowids are taken already.
  for (bool broken : {false, true}) {
    SCOPED_TRACE(broken ? "broken tree" : "intact tree");
    TempDir dir;
    Built built = Build(dir);
    const uint32_t leaf = Pages(built.path, "a", "leaf").front();
    std::vector<uint8_t> file = fixture::ReadFile(built.path);
    file.insert(file.end(), file.begin() + (leaf - 1) * kPage, file.begin() + leaf * kPage);
    fixture::WriteFile(built.path, file);
    if (broken) {
      const uint32_t root = Root(built.path, "a");
      fixture::PatchBytes(built.path, static_cast<int64_t>(root - 1) * kPage, std::vector<uint8_t>(kPage, 0));
    }
    EngineHarness h;
    const std::string output = Saved(dir, h, built.path, true);
    EXPECT_EQ(DumpTable(output, "a"), built.a);
    // The copy's rows are live rows: the companion does not repeat them.
    if (fixture::Query(output, "SELECT 1 FROM sqlite_schema WHERE name = 'a_deleted'").size() == 1) {
      EXPECT_TRUE(fixture::Query(output, "SELECT * FROM a_deleted").empty());
    }
  }
}

TEST(PageAttributionTest, AStrayPageThatFitsTwoTablesAlikeGoesToLostAndFound) {
  TempDir dir;
  const std::string twins =
      "CREATE TABLE a(t TEXT, n INT);"
      "CREATE TABLE b(t TEXT, n INT);"
      "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 400)"
      " INSERT INTO a SELECT printf('a %d', i), i FROM s;"
      "INSERT INTO b VALUES('only b', 1);";
  Built built = Build(dir, twins);
  fixture::PatchBytes(built.path, static_cast<int64_t>(Root(built.path, "a") - 1) * kPage,
                      std::vector<uint8_t>(kPage, 0));
  EngineHarness h;
  const std::string output = Saved(dir, h, built.path);
  EXPECT_EQ(DumpTable(output, "b"), built.b);  // none of a's rows
  EXPECT_TRUE(DumpTable(output, "a").empty());
  // a's rows are kept, each value with its storage class, in a table of their own.
  const Rows lost = fixture::Query(output, "SELECT typeof(c1), c1, typeof(c2), c2 FROM lost_and_found_2 ORDER BY c2");
  ASSERT_EQ(lost.size(), 400u);
  EXPECT_EQ(lost.front(), (std::vector<std::string>{"text", "a 1", "integer", "1"}));
  const auto lines = h.port.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Table name   : lost_and_found_2"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Total record(s) present    : 400"), lines.end());
  // In the tree with the tables.
  EngineHarness shown;
  shown.Repair(built.path);
  EXPECT_TRUE(shown.Preview("lost_and_found_2"));
}

TEST(PageAttributionTest, StrayCellsClaimingEachOthersSpaceEnd) {
  TempDir dir;
  Built built = Build(dir);
  // A stray leaf whose cell pointers all point into one another's bytes, with a
  // payload size claiming the whole file.
  std::vector<uint8_t> page(kPage, 0xff);
  page[0] = 13;
  page[3] = 0x01;
  page[4] = 0xf0;  // 496 cells
  page[5] = 0x00;
  page[6] = 0x10;
  for (int i = 0; i < 496; ++i) {
    page[8 + 2 * i] = 0x03;
    page[9 + 2 * i] = static_cast<uint8_t>(0xe0 + i % 16);
  }
  std::vector<uint8_t> file = fixture::ReadFile(built.path);
  file.insert(file.end(), page.begin(), page.end());
  fixture::WriteFile(built.path, file);
  EngineHarness h;
  const std::string output = Saved(dir, h, built.path);
  EXPECT_EQ(DumpTable(output, "a"), built.a);
  EXPECT_EQ(DumpTable(output, "b"), built.b);
}

}  // namespace

namespace {

TEST(CellScanTest, CellsWhosePointersWereOverwrittenAreFoundInTheContentArea) {
  struct Case {
    const char* name;
    bool pageOne;  // page 1's header and pointers rather than a leaf's pointers
  };
  for (const Case& c : {Case{"leaf pointers", false}, Case{"page 1 header", true}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Built built = Build(dir);
    // A row deleted from the leaf leaves a freeblock whose cell must not come back live.
    const uint32_t leaf = Pages(built.path, "b", "leaf").front();
    std::vector<uint8_t> noise(c.pageOne ? 200 : 2 * fixture::GetBigEndian(built.path, (leaf - 1) * kPage + 3, 2));
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 97 + 31);
    fixture::PatchBytes(built.path, c.pageOne ? 100 : static_cast<int64_t>(leaf - 1) * kPage + 8, noise);
    EngineHarness h;
    const std::string output = Saved(dir, h, built.path);
    EXPECT_EQ(DumpTable(output, "a"), built.a);
    EXPECT_EQ(DumpTable(output, "b"), built.b);
  }
}

TEST(CellScanTest, AFreeblockOfAScannedLeafStaysDeleted) {
  TempDir dir;
  Built built = Build(dir, std::string(kTwoTables) + "DELETE FROM b WHERE rowid = 5;");
  const uint32_t leaf = Pages(built.path, "b", "leaf").front();
  ASSERT_NE(fixture::GetBigEndian(built.path, (leaf - 1) * kPage + 1, 2), 0u) << "no freeblock";
  const uint64_t cells = fixture::GetBigEndian(built.path, (leaf - 1) * kPage + 3, 2);
  fixture::PatchBytes(built.path, static_cast<int64_t>(leaf - 1) * kPage + 8, std::vector<uint8_t>(2 * cells, 0xee));
  EngineHarness h;
  const std::string output = Saved(dir, h, built.path);
  EXPECT_EQ(DumpTable(output, "b"), built.b);
}

}  // namespace

namespace {

TEST(PageAttributionTest, ThePointerMapTellsTwinTablesApart) {
  TempDir dir;
  const std::string path = dir.File("twins.db");
  fixture::DbOptions options;
  options.pageSize = kPage;
  options.autoVacuum = 1;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE a(t TEXT, n INT);"
                         "CREATE TABLE b(t TEXT, n INT);"
                         "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 400)"
                         " INSERT INTO a SELECT printf('a %d', i), i FROM s;"
                         "INSERT INTO b VALUES('only b', 1);");
  const Rows a = DumpTable(path, "a"), b = DumpTable(path, "b");
  fixture::PatchBytes(path, static_cast<int64_t>(Root(path, "a") - 1) * kPage, std::vector<uint8_t>(kPage, 0));
  EngineHarness h;
  const std::string output = Saved(dir, h, path);
  EXPECT_EQ(DumpTable(output, "a"), a);
  EXPECT_EQ(DumpTable(output, "b"), b);
}

TEST(PageAttributionTest, TwinTablesArePartedByNotNullColumnsAndRowidRanges) {
  // Two tables of the same columns: a stray page of a's goes to a when b's NOT NULL
  // column cannot hold its NULLs, or when a's other leaves span its rowids.
  struct Case {
    const char* name;
    const char* sql;
    bool cutOneChild;  // else the whole root is zeroed
  };
  const Case cases[] = {
      {"NOT NULL", "CREATE TABLE a(t TEXT, n INT); CREATE TABLE b(t TEXT NOT NULL, n INT);"
                   "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 400)"
                   " INSERT INTO a SELECT CASE WHEN i % 5 = 0 THEN NULL ELSE printf('a %d', i) END, i FROM s;"
                   "INSERT INTO b VALUES('only b', 1);",
       false},
      {"rowid range", "CREATE TABLE a(t TEXT, n INT); CREATE TABLE b(t TEXT, n INT);"
                      "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 400)"
                      " INSERT INTO a SELECT printf('a %d', i), i FROM s;"
                      "INSERT INTO b VALUES('only b', 1);",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Built built = Build(dir, c.sql);
    const int64_t root = static_cast<int64_t>(Root(built.path, "a") - 1) * kPage;
    if (c.cutOneChild) {
      // The left child of the root's second cell now leads to page 0.
      const std::vector<uint8_t> file = fixture::ReadFile(built.path);
      const int64_t cell = (file[root + 14] << 8) | file[root + 15];
      fixture::PatchBytes(built.path, root + cell, {0, 0, 0, 0});
    } else {
      fixture::PatchBytes(built.path, root, std::vector<uint8_t>(kPage, 0));
    }
    EngineHarness h;
    const std::string output = Saved(dir, h, built.path);
    EXPECT_EQ(DumpTable(output, "a"), built.a);
    EXPECT_EQ(DumpTable(output, "b"), built.b);
    EXPECT_TRUE(fixture::Query(output, "SELECT 1 FROM sqlite_schema WHERE name LIKE 'lost_and_found%'").empty());
  }
}

TEST(PageAttributionTest, LeavesOfATableWithoutRowidComeBackButAnIndexsDoNot) {
  // Both roots zeroed: w's lost leaves are its rows; the index's lost leaves hold
  // entries (text, integer, rowid) that w's columns would take, and stay out.
  TempDir dir;
  const std::string path = dir.File("w.db");
  fixture::DbOptions options;
  options.pageSize = kPage;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE w(k TEXT PRIMARY KEY, v INT, extra) WITHOUT ROWID;"
                         "CREATE TABLE r(name TEXT, qty INT);"
                         "CREATE INDEX r_name ON r(name, qty);"
                         "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 600)"
                         " INSERT INTO w SELECT printf('key %04d', i), i, printf('extra %d', i) FROM s;"
                         "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 600)"
                         " INSERT INTO r SELECT printf('name %d', i), i FROM s;");
  const Rows w = fixture::Query(path, "SELECT * FROM w ORDER BY k");
  // The root of a table without rowid holds entries of its own, lost with it.
  const std::vector<uint8_t> file = fixture::ReadFile(path);
  const int64_t root = static_cast<int64_t>(Root(path, "w") - 1) * kPage;
  const size_t inRoot = static_cast<size_t>((file[root + 3] << 8) | file[root + 4]);
  ASSERT_EQ(file[root], 2) << "w's root is an interior page";
  for (const char* tree : {"w", "r_name"}) {
    fixture::PatchBytes(path, static_cast<int64_t>(Root(path, tree) - 1) * kPage, std::vector<uint8_t>(kPage, 0));
  }
  EngineHarness h;
  const std::string output = Saved(dir, h, path);
  const Rows back = fixture::Query(output, "SELECT * FROM w ORDER BY k");
  EXPECT_EQ(back.size(), w.size() - inRoot);
  // Each of them one of w's rows: none of the index's entries.
  EXPECT_TRUE(std::includes(w.begin(), w.end(), back.begin(), back.end()));
  const auto lines = h.port.LogLines();
  const std::string outside = "Record(s) from pages outside its tree : " + std::to_string(w.size() - inRoot);
  EXPECT_NE(std::find(lines.begin(), lines.end(), outside), lines.end());
}

TEST(PageAttributionTest, AFreedStrayPageOfATableWithoutFreedSpaceGivesItACompanion) {
  // b's rows rewritten in place (no freeblock left in its tree), and an old copy of
  // its first leaf past the end of the file: the copy's rows are b's deleted rows.
  TempDir dir;
  Built built = Build(dir);
  const uint32_t leaf = Pages(built.path, "b", "leaf").front();
  const std::vector<uint8_t> before = fixture::ReadFile(built.path);
  const std::vector<uint8_t> copy(before.begin() + (leaf - 1) * kPage, before.begin() + leaf * kPage);
  fixture::BuildDatabase(built.path, {}, "UPDATE b SET x = replace(x, 'text', 'TEXT')");
  std::vector<uint8_t> file = fixture::ReadFile(built.path);
  file.insert(file.end(), copy.begin(), copy.end());
  fixture::WriteFile(built.path, file);
  EngineHarness h;
  const std::string output = Saved(dir, h, built.path, true);
  EXPECT_EQ(fixture::Query(output, "SELECT count(*) FROM b WHERE x GLOB 'text*'")[0][0], "0");
  const Rows old = fixture::Query(output, "SELECT x FROM b_deleted ORDER BY z LIMIT 2");
  EXPECT_EQ(old, (Rows{{"text 1"}, {"text 2"}}));
  const auto lines = h.port.LogLines();
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("Deleted record(s) from freed pages : ", 0) == 0; }),
            lines.end());
}

}  // namespace

