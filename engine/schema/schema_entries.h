// Recovered schema objects: the tables, views and triggers found in the master table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct TableEntry {
  std::string name;
  int64_t rootPage = 0;
  std::string sql;
  bool deletedCompanion = false;  // the "(deleted)" entry of a table with freed space
};

struct ViewEntry {
  std::string name;
  std::string sql;
};

struct TriggerEntry {
  std::string name;
  std::string sql;
};

}  // namespace engine
