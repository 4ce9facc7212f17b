// Recovered schema objects: the tables, views and triggers found in the master table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// Two names equal but for the letter case of ASCII letters.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// A name ending in "(deleted)" (letter case ignored).
inline bool EndsWithDeletedSuffix(std::string_view name) {
  const std::string_view suffix = kDeletedSuffix;
  return name.size() >= suffix.size() &&
         EqualIgnoringCase(name.substr(name.size() - suffix.size()), suffix);
}

// The name of a companion whose records are carved: "CalendarCache(deleted)" has
// always been treated as a live table.
inline bool IsCarvedCompanionName(std::string_view name) {
  return EndsWithDeletedSuffix(name) && name != "CalendarCache(deleted)";
}

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
