#include "engine/writer/table_inserter.h"

#include <algorithm>
#include <cctype>

#include <sqlite3.h>

#include "engine/schema/schema_entries.h"
#include "engine/schema/sql_identifier.h"

namespace engine::writer {

namespace {

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

TableInserter::~TableInserter() {
  for (auto& [key, stmt] : statements_) sqlite3_finalize(stmt);
}

bool TableInserter::Open(sqlite3* db, const std::string& table, bool replaceRows,
                         std::string* error) {
  db_ = db;
  table_ = table;
  replaceRows_ = replaceRows;
  sqlite3_stmt* info = nullptr;
  const std::string sql = "SELECT name, type, pk FROM pragma_table_info(?1)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &info, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  sqlite3_bind_text(info, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
  int keyColumns = 0;
  int keyIndex = -1;
  bool keyIsInteger = false;
  while (sqlite3_step(info) == SQLITE_ROW) {
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
    const char* type = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
    if (sqlite3_column_int(info, 2) > 0) {
      ++keyColumns;
      keyIndex = static_cast<int>(columns_.size());
      keyIsInteger = type && EqualIgnoringCase(type, "INTEGER");
    }
    columns_.emplace_back(name ? name : "");
  }
  sqlite3_finalize(info);
  if (columns_.empty()) {
    *error = "no such table in the repaired database";
    return false;
  }
  // A table without a rowid rejects the name; one whose columns hide all three
  // spellings is written without it.
  sqlite3_stmt* probe = nullptr;
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (std::any_of(columns_.begin(), columns_.end(),
                    [&](const std::string& c) { return EqualIgnoringCase(c, candidate); })) {
      continue;
    }
    const std::string test = std::string("SELECT ") + candidate + " FROM " + Quoted(table);
    if (sqlite3_prepare_v2(db, test.c_str(), -1, &probe, nullptr) == SQLITE_OK) rowidName_ = candidate;
    sqlite3_finalize(probe);
    break;
  }
  if (!rowidName_.empty() && keyColumns == 1 && keyIsInteger) aliasColumn_ = keyIndex;
  return true;
}

sqlite3_stmt* TableInserter::Statement(size_t valueCount, bool withRowid) {
  const auto key = std::make_pair(valueCount, withRowid);
  auto it = statements_.find(key);
  if (it != statements_.end()) return it->second;
  std::string names;
  std::string marks;
  auto add = [&](const std::string& name) {
    names += (names.empty() ? "" : ", ") + name;
    marks += marks.empty() ? "?" : ", ?";
  };
  if (withRowid) add(rowidName_);
  for (size_t i = 0; i < valueCount; ++i) add(Quoted(columns_[i]));
  std::string sql = std::string(replaceRows_ ? "INSERT OR REPLACE INTO " : "INSERT INTO ") +
                    Quoted(table_) + (names.empty() ? " DEFAULT VALUES" : "(" + names + ") VALUES(" + marks + ")");
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) stmt = nullptr;
  statements_[key] = stmt;
  return stmt;
}

bool TableInserter::Step(sqlite3_stmt* stmt, const std::vector<RecordValue>& values, size_t count,
                         bool withRowid, int64_t rowid, bool nullAlias, std::string* error) {
  int index = 1;
  if (withRowid) sqlite3_bind_int64(stmt, index++, rowid);
  for (size_t i = 0; i < count; ++i, ++index) {
    const Value& v = values[i].value;
    // NULL in the rowid column asks for a new rowid.
    switch (nullAlias && static_cast<int>(i) == aliasColumn_ ? Value::Kind::Null : v.kind) {
      case Value::Kind::Null:
        sqlite3_bind_null(stmt, index);
        break;
      case Value::Kind::Integer:
        sqlite3_bind_int64(stmt, index, v.integer);
        break;
      case Value::Kind::Real:
        sqlite3_bind_double(stmt, index, v.real);
        break;
      case Value::Kind::Text:
        sqlite3_bind_text64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
      case Value::Kind::Blob:
        // An empty blob stays a blob: a null pointer would bind NULL.
        if (v.bytes.empty()) sqlite3_bind_zeroblob(stmt, index, 0);
        else sqlite3_bind_blob64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
        break;
    }
  }
  const int rc = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (rc == SQLITE_DONE) return true;
  if (error) *error = sqlite3_errmsg(db_);
  return false;
}

bool TableInserter::Insert(const std::vector<RecordValue>& values, bool withRowid, int64_t rowid,
                           std::string* error) {
  const size_t count = std::min(values.size(), columns_.size());
  withRowid = withRowid && !rowidName_.empty();
  sqlite3_stmt* stmt = Statement(count, withRowid);
  if (!stmt) {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }
  if (Step(stmt, values, count, withRowid, rowid, false, error)) return true;
  if (!withRowid) return false;
  // The rowid is taken (or the table refuses it): write the record with a new one
  // rather than lose it.
  sqlite3_stmt* fresh = Statement(count, false);
  return fresh && Step(fresh, values, count, false, 0, true, error);
}

}  // namespace engine::writer
