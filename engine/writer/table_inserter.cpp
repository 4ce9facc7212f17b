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
                         int aliasRecordIndex, std::string* error) {
  db_ = db;
  table_ = table;
  replaceRows_ = replaceRows;
  sqlite3_stmt* info = nullptr;
  // hidden: 0 a plain column, 1 hidden (virtual tables), 2 generated VIRTUAL (not in
  // the record), 3 generated STORED (in the record, but not insertable).
  const std::string sql = "SELECT name, hidden FROM pragma_table_xinfo(?1)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &info, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  sqlite3_bind_text(info, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
  while (sqlite3_step(info) == SQLITE_ROW) {
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
    const int hidden = sqlite3_column_int(info, 1);
    allNames_.emplace_back(name ? name : "");
    if (hidden == 0 || hidden == 3) stored_.push_back({allNames_.back(), hidden == 0});
  }
  sqlite3_finalize(info);
  if (allNames_.empty()) {
    *error = "no such table in the repaired database";
    return false;
  }
  // A table without a rowid rejects the name; one whose columns hide all three
  // spellings is written without it.
  sqlite3_stmt* probe = nullptr;
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (std::any_of(allNames_.begin(), allNames_.end(),
                    [&](const std::string& c) { return EqualIgnoringCase(c, candidate); })) {
      continue;
    }
    const std::string test = std::string("SELECT ") + candidate + " FROM " + Quoted(table);
    if (sqlite3_prepare_v2(db, test.c_str(), -1, &probe, nullptr) == SQLITE_OK) rowidName_ = candidate;
    sqlite3_finalize(probe);
    break;
  }
  if (!rowidName_.empty() && aliasRecordIndex >= 0 &&
      static_cast<size_t>(aliasRecordIndex) < stored_.size()) {
    aliasColumn_ = aliasRecordIndex;
  }
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
  for (size_t i = 0; i < valueCount; ++i) {
    if (stored_[i].insertable) add(Quoted(stored_[i].name));
  }
  std::string sql = std::string(replaceRows_ ? "INSERT OR REPLACE INTO " : "INSERT INTO ") +
                    Quoted(table_) +
                    (names.empty() ? " DEFAULT VALUES" : "(" + names + ") VALUES(" + marks + ")");
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) stmt = nullptr;
  statements_[key] = stmt;
  return stmt;
}

bool TableInserter::Step(sqlite3_stmt* stmt, const std::vector<RecordValue>& values, size_t count,
                         bool withRowid, int64_t rowid, bool nullAlias, std::string* error) {
  int index = 1;
  int bound = withRowid ? sqlite3_bind_int64(stmt, index++, rowid) : SQLITE_OK;
  for (size_t i = 0; i < count && bound == SQLITE_OK; ++i) {
    if (!stored_[i].insertable) continue;  // SQLite computes a generated value itself
    const Value& v = values[i].value;
    // NULL in the rowid column asks for a new rowid.
    switch (nullAlias && static_cast<int>(i) == aliasColumn_ ? Value::Kind::Null : v.kind) {
      case Value::Kind::Null:
        bound = sqlite3_bind_null(stmt, index);
        break;
      case Value::Kind::Integer:
        bound = sqlite3_bind_int64(stmt, index, v.integer);
        break;
      case Value::Kind::Real:
        bound = sqlite3_bind_double(stmt, index, v.real);
        break;
      case Value::Kind::Text:
        bound = sqlite3_bind_text64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
      case Value::Kind::Blob:
        // An empty blob stays a blob: a null pointer would bind NULL.
        bound = v.bytes.empty() ? sqlite3_bind_zeroblob(stmt, index, 0)
                                : sqlite3_bind_blob64(stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
        break;
    }
    ++index;
  }
  if (bound != SQLITE_OK) {
    // A value SQLite will not take (one longer than its limit) refuses the record;
    // it must not be written with NULL in its place.
    lastCode_ = bound;
    if (error) *error = sqlite3_errstr(bound);
    sqlite3_clear_bindings(stmt);
    return false;
  }
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);
    return true;
  }
  lastCode_ = sqlite3_extended_errcode(db_);
  if (error) *error = sqlite3_errmsg(db_);
  sqlite3_reset(stmt);
  return false;
}

bool TableInserter::Insert(const std::vector<RecordValue>& values, bool withRowid, int64_t rowid,
                           std::string* error) {
  const size_t count = std::min(values.size(), stored_.size());
  withRowid = withRowid && !rowidName_.empty();
  sqlite3_stmt* stmt = Statement(count, withRowid);
  if (!stmt) {
    lastCode_ = SQLITE_ERROR;
    if (error) *error = "the INSERT statement cannot be prepared";
    return false;
  }
  if (Step(stmt, values, count, withRowid, rowid, false, error)) return true;
  // Only a taken rowid is worth a second try; a full disk or a refused value is not.
  if (!withRowid || (lastCode_ != SQLITE_CONSTRAINT_ROWID && lastCode_ != SQLITE_CONSTRAINT_PRIMARYKEY)) {
    return false;
  }
  // The rowid is taken (or the table refuses it): write the record with a new one
  // rather than lose it.
  sqlite3_stmt* fresh = Statement(count, false);
  return fresh && Step(fresh, values, count, false, 0, true, error);
}

}  // namespace engine::writer
