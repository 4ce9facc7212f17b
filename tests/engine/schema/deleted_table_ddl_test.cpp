#include <gtest/gtest.h>

#include <sqlite3.h>

#include "engine/schema/create_table_parser.h"
#include "engine/schema/deleted_table_ddl.h"

namespace {

// The statement is accepted by SQLite and makes a table with the wanted columns.
std::vector<std::string> ColumnsCreatedBy(const std::string& ddl, std::string* error) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::vector<std::string> names;
  char* message = nullptr;
  if (sqlite3_exec(db, ddl.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    *error = message ? message : "?";
    sqlite3_free(message);
  } else {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info((SELECT name FROM sqlite_schema))",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return names;
}

TEST(DeletedTableDdlTest, Statements) {
  struct Case {
    const char* name;
    std::string table;
    std::string createSql;
    std::string ddl;
    std::vector<std::string> columns;
  } cases[] = {
      {"plain", "items(deleted)", "CREATE TABLE items(id INTEGER, name TEXT)",
       "CREATE TABLE items_deleted (id INTEGER,name TEXT)", {"id", "name"}},
      {"no type and stat type", "t(deleted)", "CREATE TABLE t(a, b STAT, c Stat)",
       "CREATE TABLE t_deleted (a,b,c)", {"a", "b", "c"}},
      {"quoted names are not quoted twice", "t(deleted)",
       "CREATE TABLE t(\"two words\" TEXT, 'id' INT, [x] REAL)",
       "CREATE TABLE t_deleted (\"two words\" TEXT,id INT,x REAL)", {"two words", "id", "x"}},
      {"names needing quotes", "my table(deleted)",
       "CREATE TABLE \"my table\"(\"a\"\"b\" TEXT, [select] INT, \"1st\")",
       "CREATE TABLE \"my table_deleted\" (\"a\"\"b\" TEXT,\"select\" INT,\"1st\")",
       {"a\"b", "select", "1st"}},
      {"table name of quotes", "\"\"(deleted)", "CREATE TABLE '\"\"' (id INT)",
       "CREATE TABLE \"\"\"\"\"_deleted\" (id INT)", {"id"}},
      {"quoted types kept, odd ones dropped", "t(deleted)",
       "CREATE TABLE t(n \"INTEGER(11,0)\", s 'TEXT', x [a;b])",
       "CREATE TABLE t_deleted (n \"INTEGER(11,0)\",s 'TEXT',x [a;b])", {"n", "s", "x"}},
      {"no columns: no table", "t(deleted)", "CREATE TABLE t", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine::TableEntry entry;
    entry.name = c.table;
    entry.columns = engine::ParseCreateTable(c.createSql);
    std::string ddl = engine::BuildDeletedTableDdl(entry);
    EXPECT_EQ(ddl, c.ddl);
    if (!c.columns.empty()) {
      std::string error;
      EXPECT_EQ(ColumnsCreatedBy(ddl, &error), c.columns) << error;
    }
  }
}

}  // namespace
