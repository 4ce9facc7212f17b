#include "engine/sqlite_repair.h"

#include "engine/reader/open_database.h"
#include "engine/reader/work.h"
#include <algorithm>
#include <map>
#include <set>

#include "engine/reader/btree_walks.h"
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
  schema_.tableList = engine::ScanTables(db_, work, schema_.tableCount);
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
  AddDroppedTables(dropped);
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
    InsertCompanion(i);
  }
  GiveDroppedTreesTheirPages(dropped, attribution, work);
  AddLostAndFound(attribution.Lost());
}

void CSqliteRepair::InsertCompanion(size_t table) {
  std::vector<engine::TableEntry>& list = schema_.tableList;
  engine::TableEntry companion = list[table];
  companion.name += engine::kDeletedSuffix;
  companion.deletedCompanion = true;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(table) + 1, std::move(companion));
}

namespace {

// The live table (no companion, no lost and found) named `name` in any case, or null.
engine::TableEntry* LiveTableNamed(std::vector<engine::TableEntry>& list, const std::string& name) {
  const auto live = std::find_if(list.begin(), list.end(), [&](const engine::TableEntry& t) {
    return !t.deletedCompanion && t.lostValueCount == 0 && engine::EqualIgnoringCase(t.name, name);
  });
  return live == list.end() ? nullptr : &*live;
}

bool SameColumns(const std::vector<engine::columndata>& a, const std::vector<engine::columndata>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return engine::SameIdentifier(x.name, y.name);
         });
}

// Whether `old` can be what ALTER TABLE made `now` of: columns added after them, or
// one renamed.
bool OlderColumns(const std::vector<engine::columndata>& old, const std::vector<engine::columndata>& now) {
  if (old.size() > now.size()) return false;
  size_t differ = 0;
  for (size_t i = 0; i < old.size(); ++i) differ += engine::SameIdentifier(old[i].name, now[i].name) ? 0 : 1;
  return differ == 0 || (differ == 1 && old.size() == now.size());
}

}  // namespace

void CSqliteRepair::AddDroppedTables(const std::vector<engine::DroppedTable>& dropped) {
  std::vector<engine::TableEntry>& list = schema_.tableList;
  for (const engine::DroppedTable& table : dropped) {
    const engine::TableEntry* live = LiveTableNamed(list, table.name);
    const std::vector<engine::columndata> columns = engine::ParseCreateTable(table.sql);
    // An older text of a live table (ALTER TABLE rewrote it: columns added or
    // renamed) names the live root; a dropped table of a live table's name and
    // columns is that table's past. A table of other columns made anew may have
    // taken the old root page number.
    if (live && ((live->rootPage == table.rootPage && OlderColumns(columns, live->columns)) ||
                 SameColumns(live->columns, columns))) {
      continue;
    }
    engine::TableEntry entry;
    entry.name = table.name;
    if (live) {
      entry.name += "_dropped";
      entry.outputName = entry.name;
    }
    entry.name += engine::kDeletedSuffix;
    if (std::any_of(list.begin(), list.end(),
                    [&](const engine::TableEntry& t) { return engine::EqualIgnoringCase(t.name, entry.name); })) {
      continue;
    }
    entry.sql = table.sql;
    entry.columns = columns;
    entry.withoutRowid = engine::IsWithoutRowid(table.sql);
    entry.deletedCompanion = true;
    entry.dropped = true;
    list.push_back(std::move(entry));
  }
}

void CSqliteRepair::GiveDroppedTreesTheirPages(const std::vector<engine::DroppedTable>& dropped,
                                               const engine::PageAttribution& attribution, engine::Work& work) {
  std::vector<engine::TableEntry>& list = schema_.tableList;
  for (const engine::DroppedTable& table : dropped) {
    if (work.Stopped()) return;
    // The stored root and the leaves below it, as far as no table took them since.
    const uint64_t root = table.rootPage > 1 ? static_cast<uint64_t>(table.rootPage) : 0;
    if (root == 0 || !attribution.Free(root) || engine::IsWithoutRowid(table.sql)) continue;
    std::vector<uint64_t> pages;
    for (uint64_t leaf : engine::CollectTableLeaves(db_, root, &work)) {
      if (attribution.Free(leaf)) pages.push_back(leaf);
    }
    if (pages.empty()) continue;
    // Its own companion, or the live table's of its name and columns (made for it
    // when the table has none).
    engine::TableEntry* live = LiveTableNamed(list, table.name);
    auto own = std::find_if(list.begin(), list.end(), [&](const engine::TableEntry& t) {
      return t.dropped && engine::EqualIgnoringCase(engine::WithoutDeletedSuffix(t.name),
                                                     live ? table.name + "_dropped" : table.name);
    });
    if (own == list.end() && live && live->rootPage != table.rootPage) {
      const size_t at = static_cast<size_t>(live - list.data());
      if (at + 1 >= list.size() || !list[at + 1].deletedCompanion) InsertCompanion(at);
      own = list.begin() + static_cast<std::ptrdiff_t>(at) + 1;
    }
    if (own != list.end()) own->droppedPages.insert(own->droppedPages.end(), pages.begin(), pages.end());
  }
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
