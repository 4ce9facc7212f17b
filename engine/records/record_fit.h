// How well records fit a table: the one measure by which freed and stray pages
// are given to the table whose rows they hold.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/records/record_values.h"
#include "engine/records/table_row.h"

namespace engine {

// Whether a value of `kind` is what a column of `affinity` usually holds: a NULL
// anywhere, text in a TEXT column, a number in a numeric one (a REAL column
// stores a whole number as an integer), anything in a column without type.
inline bool TypicalFor(Value::Kind kind, Affinity affinity) {
  switch (affinity) {
    case Affinity::Blob:
      return true;
    case Affinity::Text:
      return kind == Value::Kind::Null || kind == Value::Kind::Text;
    case Affinity::Integer:
    case Affinity::Real:
    case Affinity::Numeric:
      return kind == Value::Kind::Null || kind == Value::Kind::Integer || kind == Value::Kind::Real;
  }
  return true;
}

// How well a record of `count` values, value `i` of kind `kindAt(i)`, fits a table
// of `shape`: -1 not at all (more values than columns, a value where the rowid's
// column stands, a number in a TEXT column, a NULL in a NOT NULL column), else more
// the closer it fits (every column filled; every value of its column's usual kind;
// with `aliasBonus`, a NULL where the rowid's column stands counts for that table).
template <typename KindAt>
int FitKinds(size_t count, const KindAt& kindAt, const TableRowShape& shape, bool aliasBonus) {
  const size_t columns = shape.StoredCount();
  if (count == 0 || count > columns) return -1;
  const int alias = shape.AliasRecordIndex();
  bool typical = true;
  for (size_t i = 0; i < count; ++i) {
    const Value::Kind kind = kindAt(i);
    if (static_cast<int>(i) == alias) {
      if (kind != Value::Kind::Null) return -1;
      continue;
    }
    const Affinity affinity = shape.StoredAffinity(i);
    const bool number = kind == Value::Kind::Integer || kind == Value::Kind::Real;
    if (number && affinity == Affinity::Text) return -1;
    if (kind == Value::Kind::Null && shape.StoredNotNull(i)) return -1;
    typical = typical && TypicalFor(kind, affinity);
  }
  return (count == columns ? 4 : 2) + (aliasBonus && alias >= 0 ? 1 : 0) + (typical ? 1 : 0);
}

inline int Fit(const std::vector<RecordValue>& values, const TableRowShape& shape, bool aliasBonus = false) {
  return FitKinds(values.size(), [&](size_t i) { return values[i].value.kind; }, shape, aliasBonus);
}

// How well the records of one leaf page fit a table together: the cells of a leaf
// page all belong to one table, so one record that cannot be its row counts hard
// against it.
template <typename Record, typename FitOne>
int PageFitBy(const std::vector<Record>& records, const FitOne& fitOne) {
  int total = 0;
  for (const auto& record : records) {
    const int fit = fitOne(record);
    total += fit < 0 ? -8 : fit;
  }
  return total;
}

inline int PageFit(const std::vector<std::vector<RecordValue>>& records, const TableRowShape& shape,
                   bool aliasBonus) {
  return PageFitBy(records, [&](const std::vector<RecordValue>& r) { return Fit(r, shape, aliasBonus); });
}

}  // namespace engine
