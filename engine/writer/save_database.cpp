// The save: the output database, its tables, views and triggers, and the closing report.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include <sqlite3.h>

#include "engine/reader/sqlite_repair.h"
#include "engine/writer/output_connection.h"
#include "job/format_now.h"
#include "job/log_line.h"
#include "platform/local_time.h"

using job::Notification;
using namespace engine;
using namespace engine::writer;

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
  sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                     -1, &stmt, nullptr);
  sqlite3_bind_text(stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  const bool found = sqlite3_step(stmt) == SQLITE_ROW;
  sqlite3_finalize(stmt);
  return found;
}

}  // namespace

void CSqliteRepair::Log(const std::string& text) { job::WriteLogLine(state_, notifyWindow_, text); }

void CSqliteRepair::FailSave(const std::string& logLine, const std::string& message) {
  Log(logLine);
  state_.saveRequested = 0;
  state_.messageBuffer = message;
  state_.msgCustomText = 1;
  notifyWindow_.ShowModal(job::Dialog::CMessageOk);
}

void CSqliteRepair::SaveRepairedDatabase() {
  state_.outputDatabase = nullptr;
  createdTables_.clear();
  std::string error;
  state_.outputPath = ClaimFreeOutputPath(state_.destinationFolder,
                                          OutputPrefix() + state_.databaseFileName, &error);
  sqlite3* db = state_.outputPath.empty() ? nullptr : OpenOutputDatabase(state_.outputPath, &error);
  if (!db) {
    const std::string where = state_.outputPath.empty() ? state_.destinationFolder : state_.outputPath;
    FailSave("Saving process failed: the repaired database cannot be created in " + where + " (" +
                 error + ")",
             "The repaired database cannot be created: " + error + ".");
    return;
  }
  state_.outputDatabase = db;
  for (const char* pragma : {"PRAGMA temp_store=2", "PRAGMA synchronous=0", "PRAGMA count_changes=OFF",
                             "PRAGMA journal_mode = DELETE", "PRAGMA read_uncommitted = 1;",
                             "PRAGMA locking_mode = NORMAL;", "pragma cache_size = 500000"}) {
    Exec(db, pragma);
  }
  // The repaired file keeps the damaged file's text encoding (before any table exists).
  Exec(db, EncodingPragma(textEncoding));
  sqlite3_busy_timeout(db, 10000);
  state_.outputOpened = 1;
  if (!state_.checkedTables.empty()) {
    CreateCheckedTables();
    CopyCheckedTables();
  }

  // Views and triggers come after the tables they read. One is reported saved only
  // when its text created it.
  auto saveObjects = [&](const std::vector<std::string>& checked, const auto& list, CreateKind kind,
                         const char* label, bool ignoreCase) {
    for (const std::string& name : checked) {
      if (StopRequested()) return;
      state_.msgSavingCompleted = 0;
      savedObjectName = name;
      for (const auto& entry : list) {
        if (ignoreCase ? !EqualIgnoringCase(entry.name, name) : entry.name != name) continue;
        std::string why;
        if (RunCreateStatement(db, entry.sql, kind, &why)) {
          Notify(Notification::ObjectSaved, 0, 0);
        } else {
          Log(std::string(label) + " " + entry.name + " was not saved: " + why);
        }
      }
    }
  };
  saveObjects(state_.checkedViews, viewList, CreateKind::View, "View", true);
  saveObjects(state_.checkedTriggers, triggerList, CreateKind::Trigger, "Trigger", false);

  if (StopRequested()) return;
  state_.saveFinished = 1;
  Notify(Notification::ObjectSaved, 0, 0);
  Log("");
  Log("Saving process completed successfully on " + job::FormatNow());
  Notify(Notification::SaveFinished, 0, 0);
  state_.saveRequested = 0;
  state_.msgSavingCompleted = 1;
  notifyWindow_.ShowModal(job::Dialog::CMessageOk);
}

void CSqliteRepair::CreateCheckedTables() {
  state_.saveFinished = 0;
  sqlite3* db = state_.outputDatabase;
  if (!db) return;
  for (const std::string& name : state_.checkedTables) {
    state_.msgSavingCompleted = 0;
    if (StopRequested()) return;
    savedObjectName = name;
    for (const TableEntry& entry : tableList) {
      if (StopRequested()) break;
      if (!EqualIgnoringCase(entry.name, name)) continue;
      std::string error;
      bool created;
      if (OutputHasTable(db, entry.name)) {
        // A virtual table created before it made this one (its shadow table): the
        // recovered rows go into it.
        break;
      } else if (IsCarvedCompanionName(entry.name)) {
        created = RunCreateStatement(db, BuildDeletedTableDdl(entry), CreateKind::Table, &error);
      } else {
        created = RunCreateStatement(db, entry.sql, CreateKind::Table, &error);
      }
      if (created) {
        createdTables_.insert(entry.name);
      } else {
        Log("Table " + entry.name + " was not created: " + error);
      }
      break;
    }
  }
}

void CSqliteRepair::CopyCheckedTables() {
  state_.saveFinished = 0;
  if (!state_.outputDatabase) return;
  // Only the engine's own bound INSERTs run here (views and triggers come later), so
  // the defensive mode can let them fill a virtual table's shadow tables.
  sqlite3_db_config(state_.outputDatabase, SQLITE_DBCONFIG_DEFENSIVE, 0, nullptr);
  for (const std::string& name : state_.checkedTables) {
    state_.msgSavingCompleted = 0;
    if (StopRequested()) break;
    savedObjectName = name;
    auto entry = std::find_if(tableList.begin(), tableList.end(),
                              [&](const TableEntry& e) { return EqualIgnoringCase(e.name, name); });
    if (entry == tableList.end()) continue;
    CopyTable(*entry);
    Notify(Notification::ObjectSaved, 0, 0);
  }
  sqlite3_db_config(state_.outputDatabase, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}
