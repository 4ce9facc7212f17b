// Tables dropped from the database: DROP TABLE frees the table's pages and its
// master-table row, but the row's bytes usually stay in the free space of the
// master table's pages, and the freed pages keep their cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/records/page_attribution.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// A master-table row of type "table" carved out of free space.
struct DroppedTable {
  std::string name;
  int64_t rootPage = 0;  // 0 when it did not survive
  std::string sql;
};

// The table rows carved out of the free space of the master table's leaf pages
// whose CREATE TABLE text survived whole enough to give columns, each name once
// (the first found), in page order. Internal tables and virtual tables are left out.
std::vector<DroppedTable> CarveDroppedTables(const Database& db, Work& work);

// The "(deleted)" companion of entry `table` of `list`, inserted after it.
void InsertCompanion(std::vector<TableEntry>& list, size_t table);

// Adds to `list` a companion of its own for each dropped table ("NAME(deleted)",
// "NAME_dropped(deleted)" beside a live table of its name and other columns, saved
// as "NAME_dropped"). One of a live table's name and columns is that table's past,
// and an older text of a live table (ALTER TABLE left it) names its root: neither
// makes an entry.
void AddDroppedTables(const std::vector<DroppedTable>& dropped, std::vector<TableEntry>& list);

// Gives each dropped table the freed pages of its own tree (its stored root and
// the leaves below it that `attribution` says no table uses now): to its own
// companion, or to the companion of the live table of its name and columns (made
// for it when that table has none).
void GiveDroppedTreesTheirPages(const Database& db, const std::vector<DroppedTable>& dropped,
                                const PageAttribution& attribution, Work& work, std::vector<TableEntry>& list);

}  // namespace engine
