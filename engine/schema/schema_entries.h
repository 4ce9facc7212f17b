// Recovered schema objects: the tables, views and triggers found in the master table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/column_data.h"
#include "engine/schema/names.h"

namespace engine {

struct TableEntry {
  std::string name;
  int64_t rootPage = 0;
  std::string sql;
  std::vector<columndata> columns;
  bool deletedCompanion = false;  // the "(deleted)" entry of a table with freed space
  bool withoutRowid = false;      // its rows live in an index b-tree keyed by the primary key
  // Set once the file's pages were attributed (tables with rowid): the leaf pages
  // whose rows are the table's, ascending; those of them outside its own tree; and
  // stray pages it freed, whose rows are deleted ones.
  bool leavesAttributed = false;
  std::vector<uint64_t> leafPages;
  std::vector<uint64_t> outsidePages;
  std::vector<uint64_t> strayFreedPages;
  // A table of records no table took ("lost_and_found_N"): only its records of
  // this many values are its rows; 0 for every other table.
  size_t lostValueCount = 0;
  // A table dropped from the database, found by its master-table row in free space
  // (a companion whose live table is gone): the freed pages of its own tree, and,
  // when a live table of its name has other columns, the name its rows are saved
  // under ("NAME_dropped"; empty: the companion's usual "NAME_deleted"). A live
  // table's companion lists here the freed pages of a dropped table of its name
  // and columns.
  bool dropped = false;
  std::vector<uint64_t> droppedPages;
  std::string outputName;
};

struct ViewEntry {
  std::string name;
  std::string sql;
};

struct TriggerEntry {
  std::string name;
  std::string tableName;  // the table the trigger belongs to
  std::string sql;
};

// A master-table record of type "table" left out because no table SQLite creates
// could have its CREATE text; `reason` says why ("its CREATE text lists more than
// 32767 columns"), for the log.
struct RefusedTable {
  std::string name;
  std::string reason;
};

// What the scans of the master table recovered, in the order found. The counts
// leave the "(deleted)" companions out.
struct Schema {
  std::vector<TableEntry> tableList;
  std::vector<ViewEntry> viewList;
  std::vector<TriggerEntry> triggerList;
  std::vector<RefusedTable> refusedTableList;
  int32_t tableCount = 0;
  int32_t viewCount = 0;
  int32_t triggerCount = 0;
};

}  // namespace engine
