#include "cli/object_listing.h"

#include "engine/reader/sqlite_repair.h"

namespace cli {

namespace {

void PrintSql(const std::string& sql, std::ostream& out) {
  out << "  " << (sql.empty() ? "(no SQL text)" : sql) << "\n";
}

}  // namespace

void PrintObjects(const CSqliteRepair& engine, std::ostream& out) {
  out << "Tables: " << engine.tableCount << "\n";
  for (const engine::TableEntry& table : engine.tableList) {
    out << "Table " << table.name << " (root page " << table.rootPage << ", "
        << table.columns.size() << " column(s))\n";
    for (const engine::columndata& c : table.columns) {
      out << "  " << c.name << "\t" << (c.declaredType.empty() ? "-" : c.declaredType);
      if (c.notNull) out << "\tNOT";
      if (c.hasDefault) out << "\tDEFAULT";
      if (c.primaryKey) out << "\tPRIMARY KEY";
      out << "\n";
    }
  }
  out << "Views: " << engine.viewCount << "\n";
  for (const engine::ViewEntry& view : engine.viewList) {
    out << "View " << view.name << "\n";
    PrintSql(view.sql, out);
  }
  out << "Triggers: " << engine.triggerCount << "\n";
  for (const engine::TriggerEntry& trigger : engine.triggerList) {
    out << "Trigger " << trigger.name << " on " << trigger.tableName << "\n";
    PrintSql(trigger.sql, out);
  }
}

}  // namespace cli
