// The value a column shows for a record written before the column was added: its
// DEFAULT literal as SQLite reads it, with the column's affinity.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/records/table_row.h"
#include "engine/schema/create_table_parser.h"
#include "tests/fixture/fixture_db.h"

namespace engine {
namespace {

// What SQLite itself gives for the added column `definition` of an old row.
std::string SqliteReads(const fixture::TempDir& dir, const std::string& definition) {
  const std::string path = dir.File("default.db");
  std::remove(path.c_str());
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a); INSERT INTO t VALUES(1);"
                         "ALTER TABLE t ADD COLUMN " + definition + ";");
  auto rows = fixture::Query(path,
                             "SELECT typeof(c) || ':' || CASE typeof(c) WHEN 'null' THEN ''"
                             " WHEN 'blob' THEN hex(c) WHEN 'real' THEN printf('%.17g', c) ELSE c END FROM t");
  return rows.empty() ? "?" : rows[0][0];
}

// The same form for our value.
std::string Describe(const Value& v) {
  static const char kHex[] = "0123456789ABCDEF";
  char real[40];
  std::string hex;
  switch (v.kind) {
    case Value::Kind::Null: return "null:";
    case Value::Kind::Integer: return "integer:" + std::to_string(v.integer);
    case Value::Kind::Real:
      std::snprintf(real, sizeof real, "%.17g", v.real);
      return std::string("real:") + real;
    case Value::Kind::Text: return "text:" + v.bytes;
    case Value::Kind::Blob:
      for (unsigned char c : v.bytes) hex += std::string{kHex[c >> 4], kHex[c & 15]};
      return "blob:" + hex;
  }
  return "?";
}

TEST(TableRowTest, DefaultsReadAsSqliteReadsThem) {
  fixture::TempDir dir;
  const char* definitions[] = {
      "c INTEGER DEFAULT '5'", "c TEXT DEFAULT 5",       "c INTEGER DEFAULT 1.0",
      "c DEFAULT -0x10",       "c BLOB DEFAULT x'00ff'", "c TEXT DEFAULT 1.50",
      "c TEXT DEFAULT 1e3",    "c DEFAULT 1.0",          "c INTEGER DEFAULT '0x10'",
      "c INTEGER DEFAULT ' 5 '", "c DEFAULT \"abc\"",    "c LONG TEXT DEFAULT 5",
      "c REAL DEFAULT 5",      "c INTEGER DEFAULT 1e300", "c NUMERIC DEFAULT 99999999999999999999",
      "c DEFAULT NULL",        "c TEXT DEFAULT 'it''s'", "c INT DEFAULT -7",
      "c DEFAULT TRUE",        "c",
  };
  for (const char* definition : definitions) {
    SCOPED_TRACE(definition);
    const auto columns = ParseCreateTable(std::string("CREATE TABLE t(a, ") + definition + ")");
    ASSERT_EQ(columns.size(), 2u);
    const std::string expected = SqliteReads(dir, definition);
    const std::string got = Describe(DefaultValue(columns[1]));
    if (got.rfind("real:", 0) == 0 && expected.rfind("real:", 0) == 0) {
      // SQLite prints at most 16 significant digits: compare the numbers.
      EXPECT_DOUBLE_EQ(std::stod(got.substr(5)), std::stod(expected.substr(5)));
    } else {
      EXPECT_EQ(got, expected);
    }
  }
}

TEST(TableRowTest, RowidAliasIsExactlyAnIntegerPrimaryKey) {
  struct Case {
    const char* sql;
    int alias;
  } cases[] = {
      {"CREATE TABLE t(id INTEGER PRIMARY KEY, v)", 0},
      {"CREATE TABLE t(v, id integer primary key asc)", 1},
      {"CREATE TABLE t(id INTEGER, v, PRIMARY KEY(id DESC))", 0},
      {"CREATE TABLE t(id INTEGER PRIMARY KEY DESC, v)", -1},
      {"CREATE TABLE t(id INTEGER(10) PRIMARY KEY, v)", -1},
      {"CREATE TABLE t(id INT PRIMARY KEY, v)", -1},
      {"CREATE TABLE t(id INTEGER, v, PRIMARY KEY(id, v))", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(RowidAliasColumn(ParseCreateTable(c.sql)), c.alias);
  }
}

}  // namespace
}  // namespace engine
