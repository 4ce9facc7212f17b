#include "engine/writer/save_database.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

#include <sqlite3.h>

#include "engine/schema/deleted_table_ddl.h"
#include "engine/writer/output_connection.h"
#include "engine/writer/table_copy.h"
#include "platform/local_time.h"

namespace engine::writer {
namespace {

// "Repaired_03_07_09_" for 3:07:09 in the afternoon.
std::string OutputPrefix() {
  std::tm now = platform::LocalNow();
  char text[32];
  std::strftime(text, sizeof text, "Repaired_%I_%M_%S_", &now);
  return text;
}

const char* EncodingPragma(format::TextEncoding encoding) {
  switch (encoding) {
    case format::TextEncoding::Utf16le: return "PRAGMA encoding = 'UTF-16le'";
    case format::TextEncoding::Utf16be: return "PRAGMA encoding = 'UTF-16be'";
    case format::TextEncoding::Utf8: break;
  }
  return "PRAGMA encoding = 'UTF-8'";
}

bool OutputHasTable(sqlite3* db, const std::string& name) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1",
                         -1, &stmt, nullptr) != SQLITE_OK) {
    return false;
  }
  sqlite3_bind_text(stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  const bool found = sqlite3_step(stmt) == SQLITE_ROW;
  sqlite3_finalize(stmt);
  return found;
}

// The connection of one save; closed when the save ends, also on an exception.
class OutputDatabase {
 public:
  explicit OutputDatabase(sqlite3* db) : db_(db) {}
  ~OutputDatabase() { sqlite3_close(db_); }
  OutputDatabase(const OutputDatabase&) = delete;
  OutputDatabase& operator=(const OutputDatabase&) = delete;
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_;
};

// The output's page cache. Pages beyond it spill to the file within the table's
// transaction, so a table of any size costs this much memory at most.
constexpr const char* kCacheSizePragma = "PRAGMA cache_size = -16384";  // KiB: 16 MiB

// The entries the checked names stand for, in their order: for each name the first
// entry of that exact name not taken yet, else the first equal but for letter case.
// A damaged master may list names that differ only in case; each entry comes once.
std::vector<const TableEntry*> CheckedEntries(const std::vector<TableEntry>& list,
                                              const std::vector<std::string>& names) {
  std::vector<const TableEntry*> entries;
  std::set<const TableEntry*> taken;
  auto find = [&](const std::string& name) -> const TableEntry* {
    for (const TableEntry& e : list) {
      if (e.name == name && !taken.count(&e)) return &e;
    }
    for (const TableEntry& e : list) {
      if (EqualIgnoringCase(e.name, name) && !taken.count(&e)) return &e;
    }
    return nullptr;
  };
  for (const std::string& name : names) {
    if (const TableEntry* entry = find(name)) {
      taken.insert(entry);
      entries.push_back(entry);
    }
  }
  return entries;
}

// How the CREATE statement of each checked table went, and which tables this save
// created itself.
struct Creation {
  std::map<const TableEntry*, std::pair<bool, std::string>> byEntry;  // ran, why not
  std::set<std::string> createdHere;
};

Creation CreateCheckedTables(const std::vector<const TableEntry*>& checked, sqlite3* out, Work& work) {
  Creation creation;
  for (const TableEntry* entry : checked) {
    if (work.Stopped()) break;
    std::string why;
    bool created = true;
    if (OutputHasTable(out, entry->name)) {
      // A virtual table created before it made this one (its shadow table): the
      // recovered rows go into it, in place of the ones the virtual table made.
    } else if (IsCarvedCompanionName(entry->name)) {
      const std::string ddl = BuildDeletedTableDdl(*entry);
      created = RunCreateStatement(out, ddl, CreateKind::Table, &why);
      if (created) creation.createdHere.insert(entry->name);
    } else if (EndsWithDeletedSuffix(entry->name) || IsInternalTableName(entry->name)) {
      // "CalendarCache(deleted)" is read as a live table but gets no table of its
      // own, and SQLite creates and fills its internal tables (sqlite_sequence,
      // sqlite_stat1) itself: no statement runs, and their copy writes nothing.
    } else {
      created = RunCreateStatement(out, entry->sql, CreateKind::Table, &why);
      if (created) creation.createdHere.insert(entry->name);
    }
    creation.byEntry[entry] = {created, why};
  }
  return creation;
}

void CopyCheckedTables(const Database& db, const Schema& schema, const SaveRequest& request,
                       const std::vector<const TableEntry*>& checked, sqlite3* out,
                       const Creation& creation, Work& work, SaveReport& report,
                       const std::function<void(const TableReport&)>& onTable) {
  // Only the engine's own bound INSERTs run here (views and triggers come later), so
  // the defensive mode can let them fill a virtual table's shadow tables.
  sqlite3_db_config(out, SQLITE_DBCONFIG_DEFENSIVE, 0, nullptr);
  for (const TableEntry* entry : checked) {
    if (work.Stopped()) break;
    const std::string& name = entry->name;
    TableReport table;
    table.name = entry->name;
    table.target = IsCarvedCompanionName(entry->name) ? CompanionTableName(*entry) : entry->name;
    const auto created = creation.byEntry.find(entry);
    if (created != creation.byEntry.end()) {
      table.created = created->second.first;
      table.createError = created->second.second;
    }
    CopyTable(db, schema, *entry, out, creation.createdHere, request.schemaShown, work, table);
    report.tables.push_back(table);
    if (onTable) onTable(table);
    if (table.Saved()) work.Port().ObjectSaved(name);
  }
  sqlite3_db_config(out, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

}  // namespace

SaveReport SaveRepairedDatabase(const Database& db, const Schema& schema,
                                const SaveRequest& request, Work& work,
                                const std::function<void(const TableReport&)>& onTable) {
  SaveReport report;
  std::string error;
  report.outputPath = ClaimFreeOutputPath(request.destinationFolder,
                                          OutputPrefix() + request.databaseFileName, &error);
  if (report.outputPath.empty()) {
    report.openWhere = request.destinationFolder;
    report.openError = error;
    return report;
  }
  sqlite3* connection = OpenOutputDatabase(report.outputPath, &error);
  if (!connection) {
    // The name was claimed with an empty file; nothing else will use it.
    std::remove(report.outputPath.c_str());
    report.openWhere = report.outputPath;
    report.openError = error;
    report.outputPath.clear();
    return report;
  }
  OutputDatabase output(connection);
  sqlite3* out = output.get();
  report.opened = true;
  for (const char* pragma : {"PRAGMA temp_store=2", "PRAGMA synchronous=0", "PRAGMA count_changes=OFF",
                             "PRAGMA journal_mode = DELETE", "PRAGMA read_uncommitted = 1;",
                             "PRAGMA locking_mode = NORMAL;", kCacheSizePragma,
                             // The repaired file keeps the damaged file's text
                             // encoding (set before any table exists).
                             EncodingPragma(db.textEncoding)}) {
    if (!Exec(out, pragma, &error)) report.settingErrors.push_back(std::string(pragma) + ": " + error);
  }
  sqlite3_busy_timeout(out, 10000);

  // The tables first: every checked one is created, then every one is copied.
  const std::vector<const TableEntry*> checked = CheckedEntries(schema.tableList, request.checkedTables);
  const Creation creation = CreateCheckedTables(checked, out, work);
  CopyCheckedTables(db, schema, request, checked, out, creation, work, report, onTable);

  // Views and triggers come after the tables they read. One is reported saved only
  // when its text created it. Both are matched by name ignoring case, as SQLite
  // names them.
  auto saveObjects = [&](const std::vector<std::string>& checked, const auto& list, CreateKind kind,
                         const char* label) {
    for (const std::string& name : checked) {
      if (work.Stopped()) return;
      for (const auto& entry : list) {
        if (!EqualIgnoringCase(entry.name, name)) continue;
        ObjectReport object{label, entry.name, false, {}};
        object.saved = RunCreateStatement(out, entry.sql, kind, &object.error);
        if (object.saved) work.Port().ObjectSaved(name);
        report.objects.push_back(object);
      }
    }
  };
  saveObjects(request.checkedViews, schema.viewList, CreateKind::View, "View");
  saveObjects(request.checkedTriggers, schema.triggerList, CreateKind::Trigger, "Trigger");
  report.stopped = work.Stopped();
  return report;
}

}  // namespace engine::writer
