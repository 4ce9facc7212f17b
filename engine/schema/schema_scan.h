// The scans of the master table's leaf pages for tables, views and triggers. Each
// returns what it found, in page and cell order, and ends early on a stop request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// Records of type "table" whose CREATE text gives at least one column, each name
// once; a table whose tree holds freed space is followed by its "(deleted)"
// companion. `tableCount` counts the tables, not the companions. Drives a bar of
// 20 steps per master leaf page. A table whose CREATE text no table SQLite creates
// could have is left out and, when `refused` is given, named there with the reason.
std::vector<TableEntry> ScanTables(const Database& db, Work& work, int32_t& tableCount,
                                   std::vector<RefusedTable>* refused = nullptr);

// Records of type "view", each name once.
std::vector<ViewEntry> ScanViews(const Database& db, Work& work, int32_t& viewCount);

// Records of type "trigger", each name once, with the table each belongs to.
std::vector<TriggerEntry> ScanTriggers(const Database& db, Work& work, int32_t& triggerCount);

// An index of the master table: its tree's root and the number of values an entry
// of it holds (its columns and the rowid); 0 when the CREATE text is missing (an
// index SQLite made for a UNIQUE or PRIMARY KEY constraint).
struct IndexRoot {
  uint64_t root = 0;
  size_t values = 0;
};

// Records of type "index" with a root page.
std::vector<IndexRoot> ScanIndexRoots(const Database& db, Work& work);

// The number of indexed columns a CREATE INDEX text lists in its parentheses
// after ON, or 0 when it lists none.
size_t IndexColumnCount(std::string_view createSql);

}  // namespace engine
