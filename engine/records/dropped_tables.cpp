#include "engine/records/dropped_tables.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "engine/reader/btree_page.h"
#include "engine/records/deleted_records.h"
#include "engine/records/record_carver.h"
#include "engine/schema/create_table_parser.h"
#include "engine/schema/names.h"

namespace engine {
namespace {

constexpr const char* kMasterTable =
    "CREATE TABLE sqlite_master(type text, name text, tbl_name text, rootpage integer, sql text)";
enum MasterColumn { kType = 0, kName = 1, kTableName = 2, kRootPage = 3, kSql = 4, kColumns = 5 };

// Whether `sql` begins (after blanks) with the words CREATE TABLE, any case.
bool IsCreateTable(std::string_view sql) {
  size_t i = 0;
  auto word = [&](std::string_view expected) {
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    if (sql.size() - i < expected.size() || !EqualIgnoringCase(sql.substr(i, expected.size()), expected)) return false;
    i += expected.size();
    return i == sql.size() || !(std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_');
  };
  return word("CREATE") && word("TABLE");
}

}  // namespace

std::vector<DroppedTable> CarveDroppedTables(const Database& db, Work& work) {
  std::vector<DroppedTable> dropped;
  if (!db.IsOpen()) return dropped;
  const std::vector<columndata> columns = ParseCreateTable(kMasterTable);
  RecordCarver carver(columns, kColumns, db.textEncoding, db.usableSize, db.pages, -1);
  std::vector<uint8_t> page;
  std::vector<CarvedRecord> found;
  for (uint64_t number : db.masterLeafPages) {
    if (work.Stopped()) break;
    if (!db.pages.ReadPage(number, page)) continue;
    const BtreePageHeader h = ParseBtreeHeader(page.data(), db.usableSize, number);
    found.clear();
    CarveFreeSpace(db, carver, page.data(), number, h, work, found);
    for (const CarvedRecord& record : found) {
      if (record.values.size() < kColumns) continue;
      const Value& type = record.values[kType];
      const Value& sql = record.values[kSql];
      // The type may be among the bytes a freeblock header took; the text tells.
      if (type.kind == Value::Kind::Text && type.bytes != "table") continue;
      if (sql.kind != Value::Kind::Text || !IsCreateTable(sql.bytes)) continue;
      DroppedTable table;
      const Value& name = record.values[kTableName].kind == Value::Kind::Text ? record.values[kTableName]
                                                                                 : record.values[kName];
      if (name.kind != Value::Kind::Text || name.bytes.empty()) continue;
      table.name = name.bytes;
      table.sql = sql.bytes;
      if (IsInternalTableName(table.name) || ParseCreateTable(table.sql).empty()) continue;
      const Value& root = record.values[kRootPage];
      if (root.kind == Value::Kind::Integer && root.integer > 1) table.rootPage = root.integer;
      const bool known = std::any_of(dropped.begin(), dropped.end(),
                                     [&](const DroppedTable& d) { return d.name == table.name; });
      if (!known) dropped.push_back(std::move(table));
    }
  }
  return dropped;
}

}  // namespace engine
