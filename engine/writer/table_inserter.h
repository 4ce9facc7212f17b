// Writing records into one table of the output database with bound parameters.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/records/record_values.h"

struct sqlite3;
struct sqlite3_stmt;

namespace engine::writer {

// Prepared INSERTs for one output table, naming its real columns (read back from the
// output database). A record's values go to the first columns; the remaining columns
// take their declared defaults; values past the last column are dropped.
// Single-threaded; the connection must outlive the object.
class TableInserter {
 public:
  ~TableInserter();

  // Reads the columns of `table` from `db`. False with `error` when the output has
  // no such table. `replaceRows`: a row of the same rowid is replaced rather than
  // kept (for tables the output already held, such as a virtual table's shadows).
  bool Open(sqlite3* db, const std::string& table, bool replaceRows, std::string* error);

  // Writes one record with `rowid` kept when `withRowid`; when that rowid is taken,
  // the record is written with a new one. False when SQLite refuses the record.
  bool Insert(const std::vector<RecordValue>& values, bool withRowid, int64_t rowid,
              std::string* error);

  size_t ColumnCount() const { return columns_.size(); }
  // The column that is the rowid itself (INTEGER PRIMARY KEY), or -1.
  int RowidAliasColumn() const { return aliasColumn_; }

 private:
  sqlite3_stmt* Statement(size_t valueCount, bool withRowid);
  bool Step(sqlite3_stmt* stmt, const std::vector<RecordValue>& values, size_t count,
            bool withRowid, int64_t rowid, bool nullAlias, std::string* error);

  sqlite3* db_ = nullptr;
  std::string table_;
  bool replaceRows_ = false;
  std::vector<std::string> columns_;
  std::string rowidName_;  // "rowid", "_rowid_" or "oid", whichever no column hides; or none
  int aliasColumn_ = -1;
  std::map<std::pair<size_t, bool>, sqlite3_stmt*> statements_;
};

}  // namespace engine::writer
