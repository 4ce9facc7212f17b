#include "tests/fuzz/repair_harness.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <filesystem>
#include <fstream>

#include <sqlite3.h>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"

namespace fuzz {
namespace {

// Behaves like the main frame where the engine depends on it: marks the schema as
// shown and answers every dialog; counts the grid's cells.
class QuietFrontEnd : public job::FrontEndPort {
 public:
  explicit QuietFrontEnd(job::RepairState& state) : state_(state) {}
  void RepairDone(const job::ObjectListing&) override { state_.schemaMarker = job::kSchemaMarkerFilled; }
  void GridColumns(const std::vector<std::string>& names) override {
    EndRow();
    columns_ = names.size();
  }
  // A row is sound when its cells are the columns 0, 1, ... of the grid, in order.
  void GridData(const job::GridCell& cell) override {
    if (cell.column == 0) {
      EndRow();
      ++rows;
    } else if (cell.column != next_) {
      ++crooked;
    }
    next_ = cell.column + 1;
  }
  job::DialogAnswer ShowModal(job::Dialog dialog) override {
    return job::OpenDialog(state_, dialog).defaultAnswer;
  }
  void EndRow() {
    if (next_ != 0 && static_cast<size_t>(next_) != columns_) ++crooked;
    next_ = 0;
  }
  int64_t rows = 0;
  int64_t crooked = 0;

 private:
  job::RepairState& state_;
  size_t columns_ = 0;
  int32_t next_ = 0;
};

// SQLite's own verdict on the output, and how many rows its tables hold.
void CheckOutput(const std::string& path, RepairOutcome& outcome) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    outcome.outputIntact = false;
    sqlite3_close(db);
    return;
  }
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
  outcome.outputIntact = sqlite3_step(stmt) == SQLITE_ROW &&
                         std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))) == "ok";
  sqlite3_finalize(stmt);
  std::vector<std::string> tables;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND rootpage > 0", -1, &stmt,
                     nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  }
  sqlite3_finalize(stmt);
  for (const std::string& table : tables) {
    std::string quoted = "\"";
    for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    quoted += "\"";
    if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + quoted).c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      outcome.outputRows += sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
}

}  // namespace

RepairOutcome RepairBytes(const uint8_t* data, size_t size, const std::string& workDir) {
  RepairOutcome outcome;
  const std::string input = workDir + "/input.db";
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t journalMarker = bytes.find(kJournalMarker);
  std::remove((input + "-journal").c_str());
  if (journalMarker != std::string_view::npos) {
    std::ofstream out(input + "-journal", std::ios::binary | std::ios::trunc);
    const std::string_view journal = bytes.substr(journalMarker + std::strlen(kJournalMarker));
    out.write(journal.data(), static_cast<std::streamsize>(journal.size()));
    bytes = bytes.substr(0, journalMarker);
  }
  const size_t marker = bytes.find(kWalMarker);
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    const std::string_view file = bytes.substr(0, marker);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  std::remove((input + "-wal").c_str());
  if (marker != std::string_view::npos) {
    std::ofstream out(input + "-wal", std::ios::binary | std::ios::trunc);
    const std::string_view wal = bytes.substr(marker + std::strlen(kWalMarker));
    out.write(wal.data(), static_cast<std::streamsize>(wal.size()));
  }
  job::RepairState state;
  QuietFrontEnd port(state);
  CSqliteRepair engine(state, port);
  state.databasePath = input;
  state.databaseFileName = "input.db";

  engine.OpenDatabaseFile();
  engine.ScanTables();
  engine.ScanViews();
  engine.ScanTriggers();
  engine.FindStrayPages();
  if (state.openFailed) return outcome;
  outcome.opened = true;
  const engine::Schema& schema = engine.RecoveredSchema();
  outcome.tables = static_cast<int64_t>(schema.tableList.size());
  state.schemaMarker = job::kSchemaMarkerFilled;
  state.showObjectRequested = 1;
  for (const auto& table : schema.tableList) engine.PreviewTable(table);
  port.EndRow();
  outcome.gridRows = port.rows;
  outcome.crookedRows = port.crooked;

  for (const auto& table : schema.tableList) state.checkedTables.push_back(table.name);
  for (const auto& view : schema.viewList) state.checkedViews.push_back(view.name);
  for (const auto& trigger : schema.triggerList) state.checkedTriggers.push_back(trigger.name);
  state.destinationFolder = workDir + "/";
  state.saveRequested = 1;
  const auto report = engine.SaveRepairedDatabase();
  outcome.saveOpened = report.opened;
  outcome.saveComplete = report.Complete();
  if (!state.outputPath.empty()) {
    CheckOutput(state.outputPath, outcome);
    std::remove(state.outputPath.c_str());
    std::remove((state.outputPath + "-journal").c_str());
  }
  return outcome;
}

}  // namespace fuzz
