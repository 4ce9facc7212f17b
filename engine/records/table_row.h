// How the values of a table's records stand to its declared columns, and the value
// each column shows: the one shared rule of the grid, the carving and the save.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/records/record_values.h"
#include "engine/records/type_class.h"
#include "engine/records/value.h"
#include "engine/schema/column_data.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// A record holds the values of the stored columns in declared order: STORED
// generated columns included, VIRTUAL ones left out. A table without rowid puts
// its primary-key columns first, in key order, then the others in declared order;
// it has no rowid and so no INTEGER PRIMARY KEY alias. Immutable once built.
class TableRowShape {
 public:
  explicit TableRowShape(const std::vector<columndata>& columns, bool withoutRowid = false);
  explicit TableRowShape(const TableEntry& entry) : TableRowShape(entry.columns, entry.withoutRowid) {}

  size_t ColumnCount() const { return columnCount_; }
  // Values a whole record holds (the columns that are not VIRTUAL).
  size_t StoredCount() const { return recordOfStored_.size(); }
  // The stored columns in record order (what a carved record is shaped after), of
  // `declared`, the columns the shape was built from. The shape keeps no copy of
  // them: a shape is built for every table at once, and their columns may number
  // millions.
  std::vector<columndata> StoredColumns(const std::vector<columndata>& declared) const;
  // Whether the column at record index `i` is NOT NULL.
  bool StoredNotNull(size_t i) const { return storedNotNull_[i]; }
  // SQLite's affinity of the column at record index `i`.
  Affinity StoredAffinity(size_t i) const { return storedAffinity_[i]; }
  // The record index of declared column `c`, or -1 for a VIRTUAL generated column.
  int RecordIndex(size_t c) const { return recordIndex_[c]; }
  // The record index of the INTEGER PRIMARY KEY column, or -1.
  int AliasRecordIndex() const { return aliasRecord_; }
  int16_t TypeClass(size_t c) const { return classes_[c]; }

  // The value declared column `c` has in a record of `values` with `rowid` (when
  // `rowidKnown`), as SQLite reads it: the INTEGER PRIMARY KEY column is the rowid
  // (what the record stores there is NULL, or damage); a whole number in a REAL column is a real; a value the record lacks
  // (a column added after it was written) is the column's default; a VIRTUAL
  // column holds nothing.
  void ColumnValue(size_t c, std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid,
                   Value& out, bool* storedInCell) const;

  // Puts the rowid (when known) in the INTEGER PRIMARY KEY and makes whole numbers of
  // REAL columns reals, in record order: the record as SQLite reads it.
  void Normalize(std::vector<Value>& values, bool rowidKnown, int64_t rowid) const;

  // Whether record order differs from the stored columns' declared order.
  bool KeyFirst() const { return keyFirst_; }
  // Values the primary key of a table without rowid takes at the record's start
  // (0 for a table with rowid).
  size_t KeyCount() const { return keyCount_; }
  // Puts a record's values in the declared order of the stored columns, the order
  // a table's columns are written in; `scratch` keeps its storage between calls.
  // A record that lacks values keeps those before the first one missing.
  void ToDeclaredOrder(std::vector<RecordValue>& values, std::vector<RecordValue>& scratch) const;

 private:
  size_t columnCount_ = 0;
  std::vector<int> recordIndex_;
  std::vector<int16_t> classes_;
  std::vector<bool> realStored_;  // by record index
  std::vector<bool> storedNotNull_;  // by record index
  std::vector<Affinity> storedAffinity_;  // by record index
  std::vector<std::pair<size_t, Value>> defaults_;  // declared column -> its non-NULL default, ascending
  int aliasRecord_ = -1;
  bool keyFirst_ = false;
  size_t keyCount_ = 0;
  std::vector<int> recordOfStored_;  // record index of each stored column, declared order
};

// SQLite's affinity of a column, from its whole type text.
Affinity ColumnAffinity(const columndata& column);

// The value of a column's DEFAULT literal with the column's affinity applied, as
// SQLite gives it for a record written before the column was added (only literals
// can be added that way); NULL for no default or one that is not a literal.
Value DefaultValue(const columndata& column);

}  // namespace engine
