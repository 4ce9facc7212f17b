#include "engine/writer/save_database.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <set>

#include <sqlite3.h>

#include "engine/schema/deleted_table_ddl.h"
#include "engine/writer/output_connection.h"
#include "engine/writer/table_copy.h"
#include "platform/local_time.h"
#include "platform/output_file.h"
#include "platform/safe_text.h"

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

Creation CreateCheckedTables(const std::vector<const TableEntry*>& checked, OutputConnection& out, Work& work) {
  Creation creation;
  // Virtual tables first: their modules create their shadow tables, whose stored
  // texts would otherwise take those names before them (the master's leaves need
  // not list a virtual table before its shadows).
  std::vector<const TableEntry*> ordered;
  for (bool virtualPass : {true, false}) {
    for (const TableEntry* entry : checked) {
      const bool isVirtual = !IsCarvedCompanionName(entry->name) && IsVirtualTableText(entry->sql);
      if (isVirtual == virtualPass) ordered.push_back(entry);
    }
  }
  for (const TableEntry* entry : ordered) {
    if (work.Stopped()) break;
    std::string why;
    bool created = true;
    if (OutputHasTable(out.get(), entry->name)) {
      // A virtual table created before it made this one (its shadow table): the
      // recovered rows go into it, in place of the ones the virtual table made.
    } else if (IsCarvedCompanionName(entry->name)) {
      const std::string target = CompanionTableName(*entry);
      created = out.RunStoredCreate(BuildDeletedTableDdl(*entry), CreateKind::Table, target, &why);
      if (created) creation.createdHere.insert(entry->name);
    } else if (EndsWithDeletedSuffix(entry->name) || IsInternalTableName(entry->name)) {
      // "CalendarCache(deleted)" is read as a live table but gets no table of its
      // own, and SQLite creates and fills its internal tables (sqlite_sequence,
      // sqlite_stat1) itself: no statement runs, and their copy writes nothing.
    } else {
      created = out.RunStoredCreate(entry->sql, CreateKind::Table, entry->name, &why);
      if (created) creation.createdHere.insert(entry->name);
    }
    creation.byEntry[entry] = {created, why};
  }
  return creation;
}

void CopyCheckedTables(const Database& db, const Schema& schema, const SaveRequest& request,
                       const std::vector<const TableEntry*>& checked, OutputConnection& out,
                       const Creation& creation, Work& work, SaveReport& report,
                       const std::function<void(const TableReport&)>& onTable) {
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
    // Defensive mode refuses writes into the shadow tables a virtual table's module
    // made (tables this save did not create itself); only the engine's own bound
    // INSERTs run while it is off.
    const bool shadow = !creation.createdHere.count(entry->name);
    if (shadow) out.AllowShadowTableWrites(true);
    CopyTable(db, schema, *entry, out.get(), creation.createdHere, request.schemaShown, work, table);
    if (shadow) out.AllowShadowTableWrites(false);
    report.tables.push_back(table);
    if (onTable) onTable(table);
    if (table.Saved()) work.Port().ObjectSaved(name);
  }
}

// The first name of the form `folder` + `stem` + `mark` + `extension` (then with
// "(2)", "(3)", ... before the extension) that `take` can claim; empty with `error`
// set when none can be.
template <typename Take>
std::string FirstFreeName(const std::string& folder, const std::string& fileName, const std::string& mark,
                          Take take, std::string* error) {
  const size_t dot = fileName.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = (hasExtension ? fileName.substr(0, dot) : fileName) + mark;
  const std::string extension = hasExtension ? fileName.substr(dot) : "";
  for (int n = 1; n < 10000; ++n) {
    const std::string path = folder + stem + (n == 1 ? "" : "(" + std::to_string(n) + ")") + extension;
    bool exists = false;
    if (take(path, &exists, error)) return path;
    if (!exists) return {};
  }
  if (error) *error = "no free file name";
  return {};
}

// Where the save writes until it is complete: a name no output can have, as every
// output's name begins with "Repaired_".
std::string ClaimTemporaryPath(const std::string& folder, const std::string& fileName, std::string* error) {
  return FirstFreeName(folder, "~" + fileName + ".partial", "", platform::CreateExclusive, error);
}

// Syncs and closes the output, then gives it its name: the final one when every
// checked object was written, "... (incomplete)" when a stop or a refused object
// left it short; a file that failed to be written is removed.
void FinishOutput(std::unique_ptr<OutputConnection> output, const std::string& temporary,
                  const SaveRequest& request, const std::string& fileName, SaveReport& report) {
  std::string error;
  const bool outputFailed = output->WriteFailed();
  // A file cut short by a stop is not flushed first: a stop must end the save at
  // once, and its name says what it is whatever a power cut leaves of it.
  if ((!report.stopped && !output->Sync(&error)) || !output->Close(&error)) report.writeError = error;
  output.reset();
  bool writeFailed = !report.writeError.empty() || outputFailed;
  for (const TableReport& t : report.tables) writeFailed = writeFailed || !t.committed;
  if (writeFailed) {
    // What SQLite wrote before the failure is not a database to trust.
    std::remove(temporary.c_str());
    report.discarded = true;
    if (report.writeError.empty() && outputFailed) report.writeError = "a statement could not be written";
    return;
  }
  const bool complete = report.Complete();
  const std::string name = PublishOutput(temporary, request.destinationFolder, fileName, !complete, &error);
  if (name.empty()) {
    std::remove(temporary.c_str());
    report.discarded = true;
    report.writeError = "the repaired database cannot be named (" + error + ")";
    return;
  }
  platform::SyncFolder(request.destinationFolder);
  report.outputPath = name;
  report.incomplete = !complete;
}

}  // namespace

std::string PublishOutput(const std::string& temporary, const std::string& folder, const std::string& fileName,
                          bool incomplete, std::string* error) {
  return FirstFreeName(
      folder, fileName, incomplete ? " (incomplete)" : "",
      [&](const std::string& path, bool* exists, std::string* why) {
        return platform::RenameNoReplace(temporary, path, exists, why);
      },
      error);
}

SaveReport SaveRepairedDatabase(const Database& db, const Schema& schema,
                                const SaveRequest& request, Work& work,
                                const std::function<void(const TableReport&)>& onTable) {
  SaveReport report;
  std::string error;
  const std::string fileName = OutputPrefix() + platform::SafeFileName(request.databaseFileName);
  const std::string temporary = ClaimTemporaryPath(request.destinationFolder, fileName, &error);
  if (temporary.empty()) {
    report.openWhere = request.destinationFolder;
    report.openError = error;
    return report;
  }
  // The repaired file keeps the damaged file's text encoding (set before any table
  // exists).
  std::unique_ptr<OutputConnection> output =
      OutputConnection::Open(temporary, EncodingPragma(db.textEncoding), work.StopFlag(), &error);
  if (!output) {
    std::remove(temporary.c_str());
    report.openWhere = request.destinationFolder;
    report.openError = error;
    return report;
  }
  OutputConnection& out = *output;
  report.opened = true;
  for (const char* pragma : {"PRAGMA temp_store=2", "PRAGMA synchronous=0", "PRAGMA count_changes=OFF",
                             "PRAGMA read_uncommitted = 1;", "PRAGMA locking_mode = NORMAL;", kCacheSizePragma}) {
    if (!out.Exec(pragma, &error)) report.settingErrors.push_back(std::string(pragma) + ": " + error);
  }
  sqlite3_busy_timeout(out.get(), 10000);

  // The tables first: every checked one is created, then every one is copied.
  const std::vector<const TableEntry*> checked = CheckedEntries(schema.tableList, request.checkedTables);
  const Creation creation = CreateCheckedTables(checked, out, work);
  CopyCheckedTables(db, schema, request, checked, out, creation, work, report, onTable);

  // Views and triggers come after the tables they read, and are created, never run.
  // One is reported saved only when its text created it. Both are matched by name
  // ignoring case, as SQLite names them.
  auto saveObjects = [&](const std::vector<std::string>& checked, const auto& list, CreateKind kind,
                         const char* label) {
    for (const std::string& name : checked) {
      if (work.Stopped()) return;
      for (const auto& entry : list) {
        if (!EqualIgnoringCase(entry.name, name)) continue;
        ObjectReport object{label, entry.name, false, {}};
        object.saved = out.RunStoredCreate(entry.sql, kind, entry.name, &object.error);
        if (object.saved) work.Port().ObjectSaved(name);
        report.objects.push_back(object);
      }
    }
  };
  saveObjects(request.checkedViews, schema.viewList, CreateKind::View, "View");
  saveObjects(request.checkedTriggers, schema.triggerList, CreateKind::Trigger, "Trigger");
  report.stopped = work.Stopped();
  FinishOutput(std::move(output), temporary, request, fileName, report);
  return report;
}

}  // namespace engine::writer
