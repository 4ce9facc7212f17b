// Dropped tables: their master-table rows carved out of free space, their rows out
// of the pages DROP TABLE freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

// `gone` first: its row in the master table is not the last, so the DROP leaves it
// in a freeblock rather than giving it back to the gap new rows are written into.
// CREATE TABLE writes a short placeholder row first, into the first freeblock that
// takes it, and that would be the end of gone's freed row: scratch's freed row,
// lower in the page and apart from gone's, takes it instead.
constexpr const char* kFill =
    "CREATE TABLE gone(id INTEGER PRIMARY KEY, name TEXT, qty INT);"
    "CREATE TABLE keep(a TEXT);"
    "CREATE TABLE scratch(s);"
    "CREATE TABLE keep2(b TEXT);"
    "DROP TABLE scratch;"
    "INSERT INTO keep VALUES('kept');"
    "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 300)"
    " INSERT INTO gone SELECT i, printf('gone row %d', i), i * 11 FROM s;";

TEST(DroppedTablesTest, ADroppedTablesRowsComeBackUnderItsName) {
  struct Case {
    const char* name;
    const char* after;         // what ran after the DROP
    const char* savedAs;       // the table of the dropped rows in the output
    const char* liveRows;      // the live table `gone`'s rows afterwards, counted
  };
  // A new table's row in the master table goes into the freed row's space when it
  // fits there, over the dropped table's CREATE text: the new texts are longer.
  const Case cases[] = {
      {"dropped", "", "gone_deleted", nullptr},
      {"a new table over its pages",
       "CREATE TABLE fresh(x TEXT, y TEXT, note TEXT DEFAULT 'a longer text than the dropped one');"
       "INSERT INTO fresh(x, y) VALUES('new', 'row');",
       "gone_deleted", nullptr},
      {"a new table of its name, other columns",
       "CREATE TABLE gone(k TEXT, v REAL, note TEXT DEFAULT 'a longer text than the dropped one');"
       "INSERT INTO gone(k, v) VALUES('other', 1.5);",
       "gone_dropped", "1"},
      {"a new table of its name and columns",
       "CREATE TABLE gone(id INTEGER PRIMARY KEY, name TEXT, qty INT); INSERT INTO gone VALUES(1000, 'new', 1);",
       "gone_deleted", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("dropped.db");
    fixture::DbOptions options;
    options.pageSize = 1024;
    fixture::BuildDatabase(path, options, kFill);
    const Rows truth = fixture::Query(path, "SELECT id, name, qty FROM gone");
    fixture::BuildDatabase(path, options, std::string("DROP TABLE gone;") + c.after);
    const Rows fresh = c.liveRows ? fixture::Query(path, "SELECT * FROM gone") : Rows{};

    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.path(), true);
    const Rows back = fixture::Query(output, std::string("SELECT id, name, qty FROM ") + c.savedAs + " ORDER BY id");
    // Every row but those of the page the freelist made its trunk, each exact.
    EXPECT_GE(back.size(), 250u);
    const std::set<std::vector<std::string>> real(truth.begin(), truth.end());
    for (const auto& row : back) EXPECT_TRUE(real.count(row)) << row[1];
    EXPECT_EQ(fixture::Query(output, "SELECT a FROM keep"), (Rows{{"kept"}}));
    if (c.liveRows) {
      EXPECT_EQ(fixture::Query(output, "SELECT * FROM gone"), fresh);
    }
    const auto lines = h.port.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("Table name   : ") + c.savedAs), lines.end());
    // Listed with the tables.
    EngineHarness shown;
    shown.Repair(path);
    const std::string saved = c.savedAs;
    const std::string suffix = "_deleted";
    const std::string item = (saved.size() > suffix.size() && saved.compare(saved.size() - suffix.size(), suffix.size(), suffix) == 0
                                  ? saved.substr(0, saved.size() - suffix.size())
                                  : saved) +
                             "(deleted)";
    EXPECT_TRUE(shown.Preview(item)) << item;
  }
}

}  // namespace
