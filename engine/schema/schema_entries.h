// Recovered schema objects: the tables, views and triggers found in the master table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/schema/column_data.h"

namespace engine {

struct TableEntry {
  std::string name;
  int64_t rootPage = 0;
  std::string sql;
  std::vector<columndata> columns;
  bool deletedCompanion = false;  // the "(deleted)" entry of a table with freed space
};

// The suffix of a companion entry's name.
inline constexpr const char* kDeletedSuffix = "(deleted)";

struct ViewEntry {
  std::string name;
  std::string sql;
};

struct TriggerEntry {
  std::string name;
  std::string tableName;  // the table the trigger belongs to
  std::string sql;
};

}  // namespace engine
