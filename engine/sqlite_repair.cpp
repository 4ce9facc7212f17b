#include "engine/sqlite_repair.h"

#include "engine/reader/open_database.h"
#include "engine/reader/work.h"
#include <algorithm>
#include <map>
#include <set>

#include "engine/records/dropped_tables.h"
#include "engine/records/live_records.h"
#include "engine/records/page_attribution.h"
#include "engine/schema/create_table_parser.h"
#include "engine/records/table_preview.h"
#include "engine/schema/schema_scan.h"
#include "engine/writer/save_database.h"

CSqliteRepair::CSqliteRepair(job::RepairState& state, job::FrontEndPort& port)
    : state_(state), port_(port) {}

void CSqliteRepair::ClearObjectLists() { schema_ = engine::Schema(); }

void CSqliteRepair::ClearPropertyLists() {}

bool CSqliteRepair::OpenDatabaseFile(std::string* reason) {
  port_.ShowRecordCount(0);
  schema_ = engine::Schema();
  std::string why;
  if (!engine::OpenDatabase(state_.databasePath, db_, &why)) {
    state_.openFailed = 1;
    if (reason) *reason = why;
    return false;
  }
  engine::Work work(port_, state_.stopRequested);
  db_.masterLeafPages = engine::WalkMasterTable(db_, work);
  return true;
}

void CSqliteRepair::ScanTables() {
  if (!db_.IsOpen()) return;
  engine::Work work(port_, state_.stopRequested);
  schema_.tableList = engine::ScanTables(db_, work, schema_.tableCount, &schema_.refusedTableList);
}

void CSqliteRepair::ScanViews() {
  if (!db_.IsOpen()) return;
  engine::Work work(port_, state_.stopRequested);
  schema_.viewList = engine::ScanViews(db_, work, schema_.viewCount);
}

void CSqliteRepair::ScanTriggers() {
  if (!db_.IsOpen()) return;
  engine::Work work(port_, state_.stopRequested);
  schema_.triggerList = engine::ScanTriggers(db_, work, schema_.triggerCount);
}

void CSqliteRepair::FindStrayPages() {
  if (!db_.IsOpen()) return;
  engine::Work work(port_, state_.stopRequested);
  // Dropped tables first: freed pages may be theirs.
  const std::vector<engine::DroppedTable> dropped = engine::CarveDroppedTables(db_, work);
  engine::AddDroppedTables(dropped, schema_.tableList);
  engine::PageAttribution attribution(db_, schema_);
  attribution.Run(work);
  if (work.Stopped()) return;
  std::vector<engine::TableEntry>& list = schema_.tableList;
  for (size_t i = 0; i < list.size(); ++i) {
    engine::TableEntry& entry = list[i];
    if (entry.dropped) entry.strayFreedPages = attribution.Freed(i);
    if (!attribution.Decided(i)) continue;
    entry.leavesAttributed = true;
    entry.leafPages = attribution.Leaves(i);
    entry.outsidePages = attribution.Outside(i);
    entry.strayFreedPages = attribution.Freed(i);
  }
  // A table whose own tree held no freed space has no companion yet; pages it freed
  // that nothing links any more hold its deleted rows all the same.
  for (size_t i = 0; i < list.size(); ++i) {
    const engine::TableEntry& entry = list[i];
    if (entry.deletedCompanion || entry.strayFreedPages.empty()) continue;
    if (i + 1 < list.size() && list[i + 1].deletedCompanion) continue;
    engine::InsertCompanion(list, i);
  }
  engine::GiveDroppedTreesTheirPages(db_, dropped, attribution, work, list);
  AddLostAndFound(attribution.Lost());
}

void CSqliteRepair::AddLostAndFound(const std::vector<uint64_t>& pages) {
  if (pages.empty()) return;
  // The records of the pages, grouped by their number of values: a table each,
  // "lost_and_found_N" with columns c1 ... cN and no types, so every value keeps
  // its storage class.
  engine::Work work(port_, state_.stopRequested);
  std::map<size_t, std::vector<uint64_t>> byCount;
  engine::LiveBar noBar{false, false};
  for (uint64_t page : pages) {
    std::set<size_t> counts;
    engine::CallbackSink sink([&](std::vector<engine::RecordValue>& values, bool, int64_t) { counts.insert(values.size()); });
    engine::ReadLiveRecords(db_, {page}, work, noBar, sink);
    for (size_t count : counts) byCount[count].push_back(page);
  }
  for (const auto& [count, leaves] : byCount) {
    if (count == 0) continue;
    engine::TableEntry entry;
    entry.name = "lost_and_found_" + std::to_string(count);
    if (std::any_of(schema_.tableList.begin(), schema_.tableList.end(),
                    [&](const engine::TableEntry& t) { return engine::EqualIgnoringCase(t.name, entry.name); })) {
      continue;  // the database has a table of that name: its own rows are not mixed in
    }
    entry.sql = "CREATE TABLE " + entry.name + "(";
    for (size_t c = 1; c <= count; ++c) entry.sql += (c > 1 ? ", c" : "c") + std::to_string(c);
    entry.sql += ")";
    entry.columns = engine::ParseCreateTable(entry.sql);
    entry.leavesAttributed = true;
    entry.leafPages = leaves;
    entry.outsidePages = leaves;
    entry.lostValueCount = count;
    schema_.tableList.push_back(std::move(entry));
    ++schema_.tableCount;
  }
}

void CSqliteRepair::PreviewTable(const engine::TableEntry& entry) {
  engine::Work work(port_, state_.stopRequested);
  engine::PreviewRequest request;
  request.objectJob = !state_.saveRequested && state_.showObjectRequested;
  request.schemaShown = state_.schemaMarker == job::kSchemaMarkerFilled;
  engine::PreviewTable(db_, schema_, entry, request, work);
}

engine::writer::SaveReport CSqliteRepair::SaveRepairedDatabase(
    const std::function<void(const engine::writer::TableReport&)>& onTable) {
  engine::Work work(port_, state_.stopRequested);
  engine::writer::SaveRequest request;
  request.destinationFolder = state_.destinationFolder;
  request.databaseFileName = state_.databaseFileName;
  request.checkedTables = state_.checkedTables;
  request.checkedViews = state_.checkedViews;
  request.checkedTriggers = state_.checkedTriggers;
  request.schemaShown = state_.schemaMarker == job::kSchemaMarkerFilled;
  state_.saveFinished = 0;
  engine::writer::SaveReport report = engine::writer::SaveRepairedDatabase(db_, schema_, request, work, onTable);
  state_.outputPath = report.outputPath;
  if (report.opened) state_.outputOpened = 1;
  return report;
}
