#include "cli/object_listing.h"

namespace cli {

namespace {

void PrintSql(const std::string& sql, std::ostream& out) {
  out << "  " << (sql.empty() ? "(no SQL text)" : sql) << "\n";
}

}  // namespace

void PrintObjects(const job::ObjectListing& objects, std::ostream& out) {
  out << "Tables: " << objects.tableCount << "\n";
  for (const job::TableInfo& table : objects.tables) {
    out << "Table " << table.name << " (root page " << table.rootPage << ", "
        << table.columns.size() << " column(s))\n";
    for (const job::ColumnInfo& c : table.columns) {
      out << "  " << c.name << "\t" << (c.declaredType.empty() ? "-" : c.declaredType);
      if (c.notNull) out << "\tNOT";
      if (c.hasDefault) out << "\tDEFAULT";
      if (c.primaryKey) out << "\tPRIMARY KEY";
      out << "\n";
    }
  }
  out << "Views: " << objects.viewCount << "\n";
  for (const job::SqlObjectInfo& view : objects.views) {
    out << "View " << view.name << "\n";
    PrintSql(view.sql, out);
  }
  out << "Triggers: " << objects.triggerCount << "\n";
  for (const job::SqlObjectInfo& trigger : objects.triggers) {
    out << "Trigger " << trigger.name << " on " << trigger.tableName << "\n";
    PrintSql(trigger.sql, out);
  }
}

}  // namespace cli
