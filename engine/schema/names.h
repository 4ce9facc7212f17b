// Comparing and forming object names: letter case as SQLite ignores it, and the
// "(deleted)" companions of tables with freed space.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// Two names equal but for the letter case of ASCII letters, as SQLite compares
// identifiers.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// The suffix of a companion entry's name.
inline constexpr std::string_view kDeletedSuffix = "(deleted)";

// A name ending in "(deleted)" (letter case ignored).
inline bool EndsWithDeletedSuffix(std::string_view name) {
  return name.size() >= kDeletedSuffix.size() &&
         EqualIgnoringCase(name.substr(name.size() - kDeletedSuffix.size()), kDeletedSuffix);
}

// `name` without its "(deleted)" suffix (letter case ignored); other names as they are.
inline std::string WithoutDeletedSuffix(std::string_view name) {
  if (!EndsWithDeletedSuffix(name)) return std::string(name);
  return std::string(name.substr(0, name.size() - kDeletedSuffix.size()));
}

// The companion name that has always been read as a live table rather than carved.
inline constexpr std::string_view kUncarvedCompanionName = "CalendarCache(deleted)";

// The name of a companion whose records are carved: "CalendarCache(deleted)" has
// always been treated as a live table.
inline bool IsCarvedCompanionName(std::string_view name) {
  return EndsWithDeletedSuffix(name) && name != kUncarvedCompanionName;
}

// A name SQLite keeps for itself ("sqlite_sequence", "sqlite_stat1", ...): no
// statement may create such a table, and SQLite fills it on its own.
inline bool IsInternalTableName(std::string_view name) {
  return name.size() >= 7 && EqualIgnoringCase(name.substr(0, 7), "sqlite_");
}

}  // namespace engine
