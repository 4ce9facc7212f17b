#include "engine/schema/schema_scan.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>

#include "engine/reader/btree_page.h"
#include "engine/reader/btree_walks.h"
#include "engine/reader/cell_scan.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/record.h"
#include "engine/reader/text_codec.h"
#include "engine/schema/create_table_parser.h"

namespace engine {
namespace {

// One record of the master table: type, name, tbl_name, rootpage, sql.
struct SchemaRecord {
  std::string name;
  std::string tableName;
  int64_t rootPage = 0;
  std::string sql;
};

enum SchemaColumn { kType = 0, kName = 1, kTableName = 2, kRootPage = 3, kSql = 4, kColumns = 5 };

std::string FieldText(const LeafCell& cell, const RecordField& field, format::TextEncoding e) {
  const uint64_t size = cell.payload.size();
  if (field.serialType < 12 || field.offset >= size) return {};
  const uint64_t length = std::min(field.size, size - field.offset);
  return DecodeTextToZero(cell.payload.data() + field.offset, length, e);
}

// Calls `onRecord` for each master record of type `type`, in page and cell order;
// Progress steps per page when `bar`. False on a stop.
bool ForEachSchemaRecord(const Database& db, Work& work, std::string_view type, bool bar,
                         const std::function<void(const SchemaRecord&)>& onRecord) {
  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  // An overflow page serves one chain: master cells sharing one cannot make the
  // scan cost cells x chain.
  OverflowClaims claims(db.pages);
  for (uint64_t pageNumber : db.masterLeafPages) {
    if (bar) work.Step();
    if (!db.pages.ReadPage(pageNumber, page)) continue;
    // The cell count is clamped to what fits in the page, so an impossible count
    // costs only this page's garbage cells, not the pages after it.
    BtreePageHeader h = ParseBtreeHeader(page.data(), db.usableSize, pageNumber);
    // A page 1 whose b-tree header was overwritten still holds the schema's cells at
    // its end; a damaged pointer array is passed over the same way.
    const std::vector<uint32_t> offsets =
        pageNumber == 1 && h.type != format::kTableLeafPage
            ? ScanTableLeafCells(page.data(), db.usableSize, format::kFileHeaderSize + format::kLeafHeaderSize,
                                 db.usableSize)
            : LeafCellOffsets(page.data(), db.usableSize, h);
    for (uint32_t i = 0; i < offsets.size(); ++i) {
      const uint32_t cellOffset = offsets[i];
      if (cellOffset != 0 && ReadTableLeafCell(db.pages, page.data(), db.usableSize, cellOffset, &cell, &claims) &&
          ParseRecordHeader(cell.payload.data(), cell.payload.size(), &fields) &&
          fields.size() >= kColumns && FieldText(cell, fields[kType], db.textEncoding) == type) {
        SchemaRecord record;
        record.name = FieldText(cell, fields[kName], db.textEncoding);
        record.tableName = FieldText(cell, fields[kTableName], db.textEncoding);
        record.rootPage = RecordInteger(fields[kRootPage], cell.payload.data(), cell.payload.size());
        record.sql = FieldText(cell, fields[kSql], db.textEncoding);
        onRecord(record);
      }
      if (work.Stopped()) return false;
    }
    if (work.Stopped()) return false;
    if (bar) work.Step();
  }
  return true;
}

}  // namespace

std::vector<TableEntry> ScanTables(const Database& db, Work& work, int32_t& tableCount,
                                   std::vector<RefusedTable>* refused) {
  std::vector<TableEntry> tables;
  const bool bar = !db.masterLeafPages.empty();
  if (bar) work.StartBar(20 * static_cast<int64_t>(db.masterLeafPages.size()));
  const bool finished = ForEachSchemaRecord(db, work, "table", bar, [&](const SchemaRecord& record) {
    const bool freedSpace = record.rootPage > 0 && ProbeFreedSpace(db, static_cast<uint64_t>(record.rootPage), work);
    std::vector<columndata> columns;
    std::string refusal;
    if (!record.sql.empty()) columns = ParseCreateTable(record.sql, &refusal);
    const bool duplicate = std::any_of(tables.begin(), tables.end(), [&](const TableEntry& t) {
      return t.name == record.tableName;
    });
    const bool named = refused && std::any_of(refused->begin(), refused->end(),
                                              [&](const RefusedTable& t) { return t.name == record.tableName; });
    if (!refusal.empty() && !duplicate && refused && !named) refused->push_back({record.tableName, refusal});
    // A table of no columns can neither be shown nor given a companion to save.
    if (columns.empty() || duplicate) return;
    TableEntry entry;
    entry.name = record.tableName;
    entry.rootPage = record.rootPage;
    entry.sql = record.sql;
    entry.columns = std::move(columns);
    // A text cut short loses its table options; the root page's type still tells.
    uint8_t rootType = 0;
    if (record.rootPage > 1) db.pages.ReadPagePrefix(static_cast<uint64_t>(record.rootPage), 1, &rootType);
    entry.withoutRowid = IsWithoutRowid(record.sql) || rootType == format::kIndexLeafPage ||
                         rootType == format::kIndexInteriorPage;
    ++tableCount;
    if (freedSpace) {
      TableEntry companion = entry;
      companion.name += kDeletedSuffix;
      companion.deletedCompanion = true;
      tables.push_back(std::move(entry));
      tables.push_back(std::move(companion));
    } else {
      for (size_t i = 0; i < entry.columns.size() && bar; ++i) work.Step();
      tables.push_back(std::move(entry));
    }
  });
  if (finished && bar) work.FinishBar();
  return tables;
}

std::vector<ViewEntry> ScanViews(const Database& db, Work& work, int32_t& viewCount) {
  std::vector<ViewEntry> views;
  ForEachSchemaRecord(db, work, "view", false, [&](const SchemaRecord& record) {
    const bool known = std::any_of(views.begin(), views.end(),
                                   [&](const ViewEntry& v) { return v.name == record.tableName; });
    if (known) return;
    views.push_back({record.tableName, record.sql});
    ++viewCount;
  });
  return views;
}

std::vector<TriggerEntry> ScanTriggers(const Database& db, Work& work, int32_t& triggerCount) {
  std::vector<TriggerEntry> triggers;
  ForEachSchemaRecord(db, work, "trigger", false, [&](const SchemaRecord& record) {
    const bool known = std::any_of(triggers.begin(), triggers.end(),
                                   [&](const TriggerEntry& t) { return t.name == record.name; });
    if (known) return;
    triggers.push_back({record.name, record.tableName, record.sql});
    ++triggerCount;
  });
  return triggers;
}

std::vector<IndexRoot> ScanIndexRoots(const Database& db, Work& work) {
  std::vector<IndexRoot> indexes;
  ForEachSchemaRecord(db, work, "index", false, [&](const SchemaRecord& record) {
    if (record.rootPage <= 1) return;
    const size_t columns = IndexColumnCount(record.sql);
    indexes.push_back({static_cast<uint64_t>(record.rootPage), columns == 0 ? 0 : columns + 1});
  });
  return indexes;
}

size_t IndexColumnCount(std::string_view sql) {
  // The keyword ON outside quotes, then the parenthesised list after the table name.
  size_t i = 0;
  char quote = 0;
  bool afterOn = false;
  int depth = 0;
  size_t columns = 0;
  auto word = [&](size_t at) { return at == 0 || !(std::isalnum(static_cast<unsigned char>(sql[at - 1])) || sql[at - 1] == '_'); };
  for (; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (!afterOn) {
      if ((c == 'o' || c == 'O') && i + 2 <= sql.size() && (sql[i + 1] == 'n' || sql[i + 1] == 'N') && word(i) &&
          (i + 2 == sql.size() || !(std::isalnum(static_cast<unsigned char>(sql[i + 2])) || sql[i + 2] == '_'))) {
        afterOn = true;
        ++i;
      }
    } else if (c == '(') {
      if (depth++ == 0) columns = 1;
    } else if (c == ')') {
      if (--depth == 0) return columns;
    } else if (c == ',' && depth == 1) {
      ++columns;
    }
  }
  return 0;
}

}  // namespace engine
