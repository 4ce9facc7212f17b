#include "engine/records/dropped_tables.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "engine/reader/btree_page.h"
#include "engine/reader/btree_walks.h"
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

void InsertCompanion(std::vector<TableEntry>& list, size_t table) {
  TableEntry companion = list[table];
  companion.name += kDeletedSuffix;
  companion.deletedCompanion = true;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(table) + 1, std::move(companion));
}

namespace {

// The live table (no companion, no lost and found) named `name` in any case, or null.
TableEntry* LiveTableNamed(std::vector<TableEntry>& list, const std::string& name) {
  const auto live = std::find_if(list.begin(), list.end(), [&](const TableEntry& t) {
    return !t.deletedCompanion && t.lostValueCount == 0 && EqualIgnoringCase(t.name, name);
  });
  return live == list.end() ? nullptr : &*live;
}

bool SameColumns(const std::vector<columndata>& a, const std::vector<columndata>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return SameIdentifier(x.name, y.name);
         });
}

// Whether `old` can be what ALTER TABLE made `now` of: columns added after them, or
// one renamed.
bool OlderColumns(const std::vector<columndata>& old, const std::vector<columndata>& now) {
  if (old.size() > now.size()) return false;
  size_t differ = 0;
  for (size_t i = 0; i < old.size(); ++i) differ += SameIdentifier(old[i].name, now[i].name) ? 0 : 1;
  return differ == 0 || (differ == 1 && old.size() == now.size());
}

}  // namespace

void AddDroppedTables(const std::vector<DroppedTable>& dropped, std::vector<TableEntry>& list) {
  for (const DroppedTable& table : dropped) {
    const TableEntry* live = LiveTableNamed(list, table.name);
    const std::vector<columndata> columns = ParseCreateTable(table.sql);
    // An older text of a live table (ALTER TABLE rewrote it: columns added or
    // renamed) names the live root; a dropped table of a live table's name and
    // columns is that table's past. A table of other columns made anew may have
    // taken the old root page number.
    if (live && ((live->rootPage == table.rootPage && OlderColumns(columns, live->columns)) ||
                 SameColumns(live->columns, columns))) {
      continue;
    }
    TableEntry entry;
    entry.name = table.name;
    if (live) {
      entry.name += "_dropped";
      entry.outputName = entry.name;
    }
    entry.name += kDeletedSuffix;
    if (std::any_of(list.begin(), list.end(),
                    [&](const TableEntry& t) { return EqualIgnoringCase(t.name, entry.name); })) {
      continue;
    }
    entry.sql = table.sql;
    entry.columns = columns;
    entry.withoutRowid = IsWithoutRowid(table.sql);
    entry.deletedCompanion = true;
    entry.dropped = true;
    list.push_back(std::move(entry));
  }
}

void GiveDroppedTreesTheirPages(const Database& db, const std::vector<DroppedTable>& dropped,
                                const PageAttribution& attribution, Work& work, std::vector<TableEntry>& list) {
  for (const DroppedTable& table : dropped) {
    if (work.Stopped()) return;
    // The stored root and the leaves below it, as far as no table took them since.
    const uint64_t root = table.rootPage > 1 ? static_cast<uint64_t>(table.rootPage) : 0;
    if (root == 0 || !attribution.Free(root) || IsWithoutRowid(table.sql)) continue;
    std::vector<uint64_t> pages;
    for (uint64_t leaf : CollectTableLeaves(db, root, &work)) {
      if (attribution.Free(leaf)) pages.push_back(leaf);
    }
    if (pages.empty()) continue;
    // Its own companion, or the live table's of its name and columns (made for it
    // when the table has none).
    TableEntry* live = LiveTableNamed(list, table.name);
    auto own = std::find_if(list.begin(), list.end(), [&](const TableEntry& t) {
      return t.dropped && EqualIgnoringCase(WithoutDeletedSuffix(t.name),
                                                     live ? table.name + "_dropped" : table.name);
    });
    if (own == list.end() && live && live->rootPage != table.rootPage) {
      const size_t at = static_cast<size_t>(live - list.data());
      if (at + 1 >= list.size() || !list[at + 1].deletedCompanion) InsertCompanion(list, at);
      own = list.begin() + static_cast<std::ptrdiff_t>(at) + 1;
    }
    if (own != list.end()) own->droppedPages.insert(own->droppedPages.end(), pages.begin(), pages.end());
  }
}

}  // namespace engine
