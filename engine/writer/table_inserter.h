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
// output database with pragma_table_xinfo). A record holds the values of the stored
// columns in order: generated STORED columns included, VIRTUAL ones left out. Each
// value goes to its stored column when that column is insertable (not generated);
// the remaining columns take their declared defaults; values past the last stored
// column are dropped. Single-threaded; the connection must outlive the object.
class TableInserter {
 public:
  ~TableInserter();

  // Reads the columns of `table` from `db`. False with `error` when the output has
  // no such table. `replaceRows`: a row of the same rowid is replaced rather than
  // kept (for tables the output already held, such as a virtual table's shadows).
  // `aliasRecordIndex`: the record index of the INTEGER PRIMARY KEY column (whose
  // NULL asks for a new rowid when the record's own is taken), or -1.
  bool Open(sqlite3* db, const std::string& table, bool replaceRows, int aliasRecordIndex,
            std::string* error);

  // Writes one record with `rowid` kept when `withRowid`; when that rowid is taken,
  // the record is written with a new one. False when SQLite refuses the record;
  // LastCode() then tells why.
  bool Insert(const std::vector<RecordValue>& values, bool withRowid, int64_t rowid,
              std::string* error);

  // Values a record can bring: the stored columns of the output table.
  size_t StoredCount() const { return stored_.size(); }
  // The SQLite result of the last failed Insert.
  int LastCode() const { return lastCode_; }

 private:
  sqlite3_stmt* Statement(size_t valueCount, bool withRowid);
  bool Step(sqlite3_stmt* stmt, const std::vector<RecordValue>& values, size_t count,
            bool withRowid, int64_t rowid, bool nullAlias, std::string* error);

  sqlite3* db_ = nullptr;
  std::string table_;
  bool replaceRows_ = false;
  struct StoredColumn {
    std::string name;
    bool insertable = true;  // false for a generated STORED column
  };
  std::vector<StoredColumn> stored_;
  std::vector<std::string> allNames_;
  std::string rowidName_;  // "rowid", "_rowid_" or "oid", whichever no column hides; or none
  int aliasColumn_ = -1;
  int lastCode_ = 0;
  std::map<std::pair<size_t, bool>, sqlite3_stmt*> statements_;
};

}  // namespace engine::writer
