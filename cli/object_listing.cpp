#include "cli/object_listing.h"

#include <string_view>

#include "platform/safe_text.h"

namespace cli {

namespace {

// Names come from the damaged file: one that holds a line end or a control sequence
// must not break the listing's lines or reach the terminal.
std::string Safe(const std::string& name) { return platform::SafeLineText(name); }

// The SQL text indented under its object, each of its lines on a line of its own (a
// line of the listing that starts without indent is always an object's).
void PrintSql(const std::string& sql, std::ostream& out) {
  if (sql.empty()) {
    out << "  (no SQL text)\n";
    return;
  }
  std::string_view rest = sql;
  while (true) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out << "  " << platform::SafeLineText(line, platform::Tabs::Keep) << "\n";
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

}  // namespace

void PrintObjects(const job::ObjectListing& objects, std::ostream& out) {
  out << "Tables: " << objects.tableCount << "\n";
  for (const job::TableInfo& table : objects.tables) {
    out << "Table " << Safe(table.name) << " (root page " << table.rootPage << ", "
        << table.columns.size() << " column(s))\n";
    for (const job::ColumnInfo& c : table.columns) {
      out << "  " << Safe(c.name) << "\t" << (c.declaredType.empty() ? "-" : Safe(c.declaredType));
      if (c.notNull) out << "\tNOT";
      if (c.hasDefault) out << "\tDEFAULT";
      if (c.primaryKey) out << "\tPRIMARY KEY";
      out << "\n";
    }
  }
  out << "Views: " << objects.viewCount << "\n";
  for (const job::SqlObjectInfo& view : objects.views) {
    out << "View " << Safe(view.name) << "\n";
    PrintSql(view.sql, out);
  }
  out << "Triggers: " << objects.triggerCount << "\n";
  for (const job::SqlObjectInfo& trigger : objects.triggers) {
    out << "Trigger " << Safe(trigger.name) << " on " << Safe(trigger.tableName) << "\n";
    PrintSql(trigger.sql, out);
  }
}

}  // namespace cli
