// The scans of the master table's leaf pages for tables, views and triggers.
#include <algorithm>

#include "engine/reader/btree_page.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/record.h"
#include "engine/reader/text_codec.h"
#include "engine/reader/sqlite_repair.h"
#include "engine/schema/create_table_parser.h"

using job::Notification;
using namespace engine;

// One record of the master table: type, name, tbl_name, rootpage, sql.
struct CSqliteRepair::SchemaRecord {
  std::string name;
  std::string tableName;
  int64_t rootPage = 0;
  std::string sql;
};

namespace {

enum SchemaColumn { kType = 0, kName = 1, kTableName = 2, kRootPage = 3, kSql = 4, kColumns = 5 };

std::string FieldText(const LeafCell& cell, const RecordField& field, format::TextEncoding e) {
  const uint64_t size = cell.payload.size();
  if (field.serialType < 12 || field.offset >= size) return {};
  const uint64_t length = std::min(field.size, size - field.offset);
  return DecodeTextToZero(cell.payload.data() + field.offset, length, e);
}

}  // namespace

bool CSqliteRepair::ForEachSchemaRecord(
    std::string_view type, bool progress,
    const std::function<void(const SchemaRecord&)>& onRecord) {
  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  const uint32_t pageSize = pages_.PageSize();
  for (int64_t offset : masterLeafPages) {
    if (progress && state_.progressActive) Notify(Notification::Progress, 0, job::kProgressStep);
    const uint64_t pageNumber = static_cast<uint64_t>(offset / pageSize) + 1;
    if (!pages_.ReadPage(pageNumber, page)) continue;
    // The cell count is clamped to what fits in the page, so an impossible count
    // costs only this page's garbage cells, not the pages after it.
    BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, pageNumber);
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint32_t cellOffset = CellOffset(page.data(), usableSize, h, i);
      if (cellOffset != 0 && ReadTableLeafCell(pages_, page.data(), usableSize, cellOffset, &cell) &&
          ParseRecordHeader(cell.payload.data(), cell.payload.size(), &fields) &&
          fields.size() >= kColumns && FieldText(cell, fields[kType], textEncoding) == type) {
        SchemaRecord record;
        record.name = FieldText(cell, fields[kName], textEncoding);
        record.tableName = FieldText(cell, fields[kTableName], textEncoding);
        record.rootPage = RecordInteger(fields[kRootPage], cell.payload.data(), cell.payload.size());
        record.sql = FieldText(cell, fields[kSql], textEncoding);
        onRecord(record);
      }
      if (StopRequested()) return false;
    }
    if (StopRequested()) return false;
    if (progress && state_.progressActive) Notify(Notification::Progress, 0, job::kProgressStep);
  }
  return true;
}

void CSqliteRepair::ParseCreateTable(const std::string& createSql) {
  parsedColumns = engine::ParseCreateTable(createSql);
}

void CSqliteRepair::ScanTables() {
  state_.progressActive = 0;
  if (!masterLeafPages.empty()) {
    Notify(Notification::Progress, 20 * static_cast<int64_t>(masterLeafPages.size()),
           job::kProgressStart);
    state_.progressActive = 1;
  }
  const bool finished = ForEachSchemaRecord("table", true, [&](const SchemaRecord& record) {
    ProbeFreedSpace(record.rootPage);
    parsedColumns.clear();
    if (!record.sql.empty()) ParseCreateTable(record.sql);
    const bool duplicate = std::any_of(tableList.begin(), tableList.end(), [&](const TableEntry& t) {
      return t.name == record.tableName;
    });
    if (!parsedColumns.empty() && !duplicate) {
      TableEntry entry;
      entry.name = record.tableName;
      entry.rootPage = record.rootPage;
      entry.sql = record.sql;
      entry.columns = parsedColumns;
      ++tableCount;
      if (freedSpaceSeen) {
        TableEntry companion = entry;
        companion.name += kDeletedSuffix;
        companion.deletedCompanion = true;
        tableList.push_back(std::move(entry));
        tableList.push_back(std::move(companion));
      } else {
        for (size_t i = 0; i < parsedColumns.size() && state_.progressActive; ++i) {
          Notify(Notification::Progress, 0, job::kProgressStep);
        }
        tableList.push_back(std::move(entry));
      }
    }
    // The probe's result belongs to this record only.
    freedSpaceSeen = 0;
  });
  if (finished && state_.progressActive) Notify(Notification::Progress, 0, job::kProgressFinish);
}

void CSqliteRepair::ScanViews() {
  ForEachSchemaRecord("view", false, [&](const SchemaRecord& record) {
    const bool known = std::any_of(viewList.begin(), viewList.end(),
                                   [&](const ViewEntry& v) { return v.name == record.tableName; });
    if (known) return;
    viewList.push_back({record.tableName, record.sql});
    ++viewCount;
  });
}

void CSqliteRepair::ScanTriggers() {
  ForEachSchemaRecord("trigger", false, [&](const SchemaRecord& record) {
    const bool known = std::any_of(triggerList.begin(), triggerList.end(),
                                   [&](const TriggerEntry& t) { return t.name == record.name; });
    if (known) return;
    triggerList.push_back({record.name, record.tableName, record.sql});
    ++triggerCount;
  });
}
