#include "engine/schema/create_table_parser.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

// One expected column: name, declared type, and flags as "N" (NOT), "D" (DEFAULT),
// "P" (primary key).
struct Col {
  std::string name;
  std::string type;
  std::string flags;
};

std::string Flags(const columndata& c) {
  return std::string(c.notNull ? "N" : "") + (c.hasDefault ? "D" : "") + (c.primaryKey ? "P" : "");
}

TEST(CreateTableParserTest, Columns) {
  struct Case {
    const char* name;
    std::string sql;
    std::vector<Col> columns;
  } cases[] = {
      // The classic results.
      {"integer primary key", "CREATE TABLE t(id INTEGER PRIMARY KEY, x)",
       {{"id", "INTEGER", "P"}, {"x", "", ""}}},
      {"varchar with length", "CREATE TABLE t(title VARCHAR(80) NOT NULL, y)",
       {{"title", "VARCHAR", "N"}, {"y", "", ""}}},
      {"unsigned big int", "CREATE TABLE t(price UNSIGNED BIG INT, y)",
       {{"price", "UNSIGNED BIG", ""}, {"y", "", ""}}},
      {"double precision at the end", "CREATE TABLE t(ratio DOUBLE PRECISION, y)",
       {{"ratio", "DOUBLE PRECISION", ""}, {"y", "", ""}}},
      {"double precision before constraints", "CREATE TABLE t(ratio DOUBLE PRECISION NOT NULL)",
       {{"ratio", "DOUBLE", "N"}}},
      {"boolean default", "CREATE TABLE t(flag BOOLEAN DEFAULT 0, y)",
       {{"flag", "BOOLEAN", "D"}, {"y", "", ""}}},
      {"no types", "CREATE TABLE t(a, b)", {{"a", "", ""}, {"b", "", ""}}},
      {"status_sns_id is an integer", "CREATE TABLE t(status_sns_id TEXT, b)",
       {{"status_sns_id", "INTEGER", ""}, {"b", "", ""}}},
      // Table constraints never become columns.
      {"table primary key", "CREATE TABLE t(a INTEGER, b TEXT, PRIMARY KEY(a, b))",
       {{"a", "INTEGER", "P"}, {"b", "TEXT", "P"}}},
      {"constraint, unique, check, foreign key",
       "CREATE TABLE t(a INT, b INT, CONSTRAINT pk PRIMARY KEY (b), UNIQUE(a),"
       " CHECK (a > 0 AND (b < 5)), FOREIGN KEY(a) REFERENCES u(x))",
       {{"a", "INT", ""}, {"b", "INT", "P"}}},
      {"constraint after the last column without a comma",
       "CREATE TABLE 'users' ('id' INTEGER, 'zip' INTEGER,\n CONSTRAINT c PRIMARY KEY (id) UNIQUE(zip))",
       {{"'id'", "INTEGER", "P"}, {"'zip'", "INTEGER", ""}}},
      // Quotes protect commas, parentheses and spaces, and names keep their quotes.
      {"default with a comma in quotes", "CREATE TABLE t(a TEXT DEFAULT 'a,b', b)",
       {{"a", "TEXT", "D"}, {"b", "", ""}}},
      {"two-word quoted name", "CREATE TABLE t(\"first name\" TEXT NOT NULL, `x y` INT, [p q])",
       {{"\"first name\"", "TEXT", "N"}, {"`x y`", "INT", ""}, {"[p q]", "", ""}}},
      {"brackets holding quotes and commas", "CREATE TABLE 'users' (\n\t[\"name\" NOT NULL,] TEXT,\n\t'surname' TEXT\n)",
       {{"[\"name\" NOT NULL,]", "TEXT", ""}, {"'surname'", "TEXT", ""}}},
      {"double quotes holding brackets", "CREATE TABLE t(\"] name TEXT, 'abc' TEXT [,\" TEXT, s TEXT)",
       {{"\"] name TEXT, 'abc' TEXT [,\"", "TEXT", ""}, {"s", "TEXT", ""}}},
      {"quotes against words", "CREATE TABLE 'users' (\"name\"TEXT,surname'TEXT')",
       {{"\"name\"", "TEXT", ""}, {"surname", "'TEXT'", ""}}},
      {"quoted type with parentheses", "CREATE TABLE t(n \"INTEGER(11,0)\", m)",
       {{"n", "\"INTEGER(11,0)\"", ""}, {"m", "", ""}}},
      {"doubled quote inside a name", "CREATE TABLE t(\"a\"\"b\" INT)", {{"\"a\"\"b\"", "INT", ""}}},
      {"table name holding a parenthesis", "CREATE TABLE \"(\" (a INT, b)",
       {{"a", "INT", ""}, {"b", "", ""}}},
      // Parentheses nest to any depth.
      {"three-deep default", "CREATE TABLE t(a INT DEFAULT (((1) + 2) * 3), b TEXT)",
       {{"a", "INT", "D"}, {"b", "TEXT", ""}}},
      {"decimal with two arguments", "CREATE TABLE t(a DECIMAL(10, 2), b)",
       {{"a", "DECIMAL", ""}, {"b", "", ""}}},
      // Keywords in any case, at any position.
      {"lower-case default late", "CREATE TABLE t(x INTEGER NOT NULL default 0)",
       {{"x", "INTEGER", "ND"}}},
      {"lower-case keywords", "create table t(x integer not null primary key default 1)",
       {{"x", "integer", "NDP"}}},
      {"constraint instead of a type", "CREATE TABLE t(id PRIMARY KEY, n NOT NULL, d DEFAULT 3)",
       {{"id", "", "P"}, {"n", "", "N"}, {"d", "", "D"}}},
      // Damaged or odd texts.
      {"comments", "CREATE TABLE t( -- the key\n a INT /* x, y */, b)", {{"a", "INT", ""}, {"b", "", ""}}},
      {"no column list", "CREATE TABLE t", {}},
      {"empty", "", {}},
      {"cut short", "CREATE TABLE t(a INT, b TEXT, c VARCH", {{"a", "INT", ""}, {"b", "TEXT", ""}}},
      {"virtual table arguments", "CREATE VIRTUAL TABLE v USING fts5(title, body, tokenize='porter')",
       {{"title", "", ""}, {"body", "", ""}}},
      {"without rowid", "CREATE TABLE t(a TEXT PRIMARY KEY, b) WITHOUT ROWID",
       {{"a", "TEXT", "P"}, {"b", "", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<columndata> got = ParseCreateTable(c.sql);
    ASSERT_EQ(got.size(), c.columns.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.columns[i].name);
      EXPECT_EQ(got[i].declaredType, c.columns[i].type) << got[i].name;
      EXPECT_EQ(Flags(got[i]), c.columns[i].flags) << got[i].name;
    }
  }
}

TEST(CreateTableParserTest, TypeTextDefaultsGeneratedColumnsAndTableOptions) {
  struct Case {
    const char* name;
    std::string sql;
    std::string sqliteType;  // of the first column
    std::string defaultText;
    Generated generated;
    bool keyDescending;
    bool withoutRowid;
  } cases[] = {
      {"type with its size", "CREATE TABLE t(a UNSIGNED BIG INT(10) NOT NULL)", "UNSIGNED BIG INT(10)", "",
       Generated::None, false, false},
      {"signed default", "CREATE TABLE t(a INT DEFAULT - 5)", "INT", "-5", Generated::None, false, false},
      {"blob default", "CREATE TABLE t(a DEFAULT x'00ff' NOT NULL)", "", "x'00ff'", Generated::None, false, false},
      {"the last default counts", "CREATE TABLE t(a DEFAULT 1 DEFAULT 'two')", "", "'two'", Generated::None,
       false, false},
      {"stored generated", "CREATE TABLE t(a INT GENERATED ALWAYS AS (b * 2) STORED, b)", "INT", "",
       Generated::Stored, false, false},
      {"virtual generated", "CREATE TABLE t(a AS (b + 1), b)", "", "", Generated::Virtual, false, false},
      {"descending key", "CREATE TABLE t(a INTEGER PRIMARY KEY DESC)", "INTEGER", "", Generated::None, true, false},
      {"options apart by a comma", "CREATE TABLE t(a TEXT PRIMARY KEY) STRICT,WITHOUT ROWID", "TEXT", "",
       Generated::None, false, true},
      {"WITHOUT ROWID inside the list only", "CREATE TABLE t(a DEFAULT 'WITHOUT ROWID') WITHOUT", "", "'WITHOUT ROWID'",
       Generated::None, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<columndata> got = ParseCreateTable(c.sql);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].sqliteType, c.sqliteType);
    EXPECT_EQ(got[0].defaultText, c.defaultText);
    EXPECT_EQ(got[0].generated, c.generated);
    EXPECT_EQ(got[0].keyDescending, c.keyDescending);
    EXPECT_EQ(IsWithoutRowid(c.sql), c.withoutRowid);
  }
}

TEST(CreateTableParserTest, PrimaryKeyNames) {
  struct Case {
    const char* name;
    std::string sql;
    std::vector<std::string> names;
  } cases[] = {
      {"upper case", "CREATE TABLE t(a, b, PRIMARY KEY(a, b))", {"a", "b"}},
      {"space before the list", "CREATE TABLE t(a, b, PRIMARY KEY (b))", {"b"}},
      {"mixed case and spaces", "CREATE TABLE t(a, b, Primary   Key  ( a ))", {"a"}},
      {"named constraint", "CREATE TABLE t(a, CONSTRAINT pk PRIMARY KEY(a))", {"a"}},
      {"quoted names, order and collation", "CREATE TABLE t(\"x y\", b, primary key(\"x y\" DESC, b COLLATE nocase))",
       {"\"x y\"", "b"}},
      {"column-level key only", "CREATE TABLE t(a INTEGER PRIMARY KEY, b)", {}},
      {"none", "CREATE TABLE t(a, b)", {}},
      {"text after the clause is not taken", "CREATE TABLE t(a, b, PRIMARY KEY(a), UNIQUE(b))", {"a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> names{"kept"};
    ExtractPrimaryKeyNames(c.sql, names);
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.names.begin(), c.names.end());
    EXPECT_EQ(names, expected);
  }
}

// "CREATE TABLE t(c0, c1, ...)" of `count` columns, followed by `rest` inside the list.
std::string WideTable(size_t count, const std::string& rest = "") {
  std::string sql = "CREATE TABLE t(";
  for (size_t i = 0; i < count; ++i) sql += (i ? ", c" : "c") + std::to_string(i);
  return sql + rest + ")";
}

TEST(CreateTableParserTest, TextsPastSQLitesColumnLimitAreRefused) {
  std::string longKey = ", PRIMARY KEY(c0";
  for (size_t i = 1; i <= kMaxColumns; ++i) longKey += ", c" + std::to_string(i % 3);
  longKey += ")";
  const std::string manyColumns = "its CREATE text lists more than 32767 columns";
  struct Case {
    const char* name;
    std::string sql;
    size_t columns;
    std::string refused;
  } cases[] = {
      {"as many columns as SQLite allows", WideTable(kMaxColumns), kMaxColumns, ""},
      {"table constraints are no columns", WideTable(kMaxColumns, ", PRIMARY KEY(c1), CHECK(c0 > 0), UNIQUE(c2)"),
       kMaxColumns, ""},
      {"one column too many", WideTable(kMaxColumns + 1), 0, manyColumns},
      {"40,000 columns", WideTable(40000), 0, manyColumns},
      {"a key of more columns than SQLite allows", WideTable(3, longKey), 0,
       "its PRIMARY KEY names more than 32767 columns"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string refused;
    const std::vector<columndata> got = ParseCreateTable(c.sql, &refused);
    EXPECT_EQ(got.size(), c.columns);
    EXPECT_EQ(refused, c.refused);
  }
  // The key of a table at the limit still marks its columns, each at its first place.
  const std::vector<columndata> keyed = ParseCreateTable(WideTable(kMaxColumns, ", PRIMARY KEY(c32766, c5, c32766)"));
  ASSERT_EQ(keyed.size(), kMaxColumns);
  EXPECT_EQ(keyed[kMaxColumns - 1].keyPosition, 0);
  EXPECT_EQ(keyed[5].keyPosition, 1);
  EXPECT_EQ(keyed[4].primaryKey, 0);
}

TEST(CreateTableParserTest, IdentifierHelpers) {
  EXPECT_EQ(UnquoteIdentifier("\"a\"\"b\""), "a\"b");
  EXPECT_EQ(UnquoteIdentifier("[x]"), "x");
  EXPECT_EQ(UnquoteIdentifier("`y`"), "y");
  EXPECT_EQ(UnquoteIdentifier("'z'"), "z");
  EXPECT_EQ(UnquoteIdentifier("plain"), "plain");
  EXPECT_EQ(UnquoteIdentifier("\"open"), "\"open");
  EXPECT_TRUE(SameIdentifier("'ID'", "id"));
  EXPECT_FALSE(SameIdentifier("ida", "id"));
}

}  // namespace
}  // namespace engine
