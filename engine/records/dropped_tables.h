// Tables dropped from the database: DROP TABLE frees the table's pages and its
// master-table row, but the row's bytes usually stay in the free space of the
// master table's pages, and the freed pages keep their cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"

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

}  // namespace engine
