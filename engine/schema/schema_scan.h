// The scans of the master table's leaf pages for tables, views and triggers. Each
// returns what it found, in page and cell order, and ends early on a stop request.
#pragma once

#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// Records of type "table" whose CREATE text gives at least one column, each name
// once; a table whose tree holds freed space is followed by its "(deleted)"
// companion. `tableCount` counts the tables, not the companions. Drives a bar of
// 20 steps per master leaf page.
std::vector<TableEntry> ScanTables(const Database& db, Work& work, int32_t& tableCount);

// Records of type "view", each name once.
std::vector<ViewEntry> ScanViews(const Database& db, Work& work, int32_t& viewCount);

// Records of type "trigger", each name once, with the table each belongs to.
std::vector<TriggerEntry> ScanTriggers(const Database& db, Work& work, int32_t& triggerCount);

}  // namespace engine
