// How well records fit a table: the one measure by which freed and stray pages
// are given to the table whose rows they hold.
#pragma once

#include <vector>

#include "engine/records/record_values.h"
#include "engine/records/table_row.h"

namespace engine {

// How well a record fits a table of `shape`: -1 not at all, else more the closer
// it fits (every column filled; with `aliasBonus`, a NULL where the rowid's column
// stands counts for that table).
inline int Fit(const std::vector<RecordValue>& values, const TableRowShape& shape, bool aliasBonus = false) {
  const std::vector<columndata>& columns = shape.StoredColumns();
  if (values.empty() || values.size() > columns.size()) return -1;
  const int alias = shape.AliasRecordIndex();
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i].value;
    if (static_cast<int>(i) == alias && v.kind != Value::Kind::Null) return -1;
    const bool number = v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real;
    if (number && ColumnAffinity(columns[i]) == Affinity::Text) return -1;
  }
  return (values.size() == columns.size() ? 4 : 2) + (aliasBonus && alias >= 0 ? 1 : 0);
}

// How well the records of one leaf page fit a table together: the cells of a leaf
// page all belong to one table, so one record that cannot be its row counts hard
// against it.
inline int PageFit(const std::vector<std::vector<RecordValue>>& records, const TableRowShape& shape,
                   bool aliasBonus) {
  int total = 0;
  for (const auto& record : records) {
    const int fit = Fit(record, shape, aliasBonus);
    total += fit < 0 ? -8 : fit;
  }
  return total;
}

}  // namespace engine
