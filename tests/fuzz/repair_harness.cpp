#include "tests/fuzz/repair_harness.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <unistd.h>

#include <sqlite3.h>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

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

// The folders of one run inside the caller's work folder.
struct RunFolders {
  fs::path input;   // the damaged file and its companions, nothing else
  fs::path output;  // the save's destination
  fs::path cwd;     // the current directory while the engine runs
};

// An empty folder `path` (its old contents removed).
void MakeEmptyFolder(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  fs::create_directories(path);
}

// The names of the entries of `folder`, sorted.
std::set<std::string> FolderEntries(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.insert(entry.path().filename().string());
  return names;
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The current directory moved to `folder` for the guard's lifetime.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
  ~CurrentDirectory() {
    std::error_code ec;
    fs::current_path(previous_, ec);
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  fs::path previous_;
};

// SQLite names compare ignoring ASCII case.
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string Quoted(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Text(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// A table of the output as its master table lists it.
struct OutputTable {
  std::string name;
  bool isVirtual = false;  // created by CREATE VIRTUAL TABLE: its rows live elsewhere
  bool isShadow = false;   // named after a virtual table of the output and '_'
};

std::vector<OutputTable> ListOutputTables(sqlite3* db) {
  std::vector<OutputTable> tables;
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT name, rootpage = 0 AND sql LIKE 'CREATE VIRTUAL TABLE%' FROM sqlite_schema"
                     " WHERE type = 'table'",
                     -1, &stmt, nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) tables.push_back({Text(stmt, 0), sqlite3_column_int(stmt, 1) != 0});
  sqlite3_finalize(stmt);
  for (OutputTable& table : tables) {
    const std::string name = Folded(table.name);
    for (const OutputTable& other : tables) {
      const std::string prefix = Folded(other.name) + "_";
      if (other.isVirtual && name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        table.isShadow = true;
      }
    }
  }
  return tables;
}

// SQLite's own verdict on the output, how many rows its tables hold, and whether
// they are the rows, the tables, the views and the triggers the save reported.
void CheckOutput(const std::string& path, const engine::Schema& schema, const engine::writer::SaveReport& report,
                 RepairOutcome& outcome) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    outcome.outputIntact = false;
    outcome.faults.push_back("the output cannot be opened: " + std::string(sqlite3_errmsg(db)));
    sqlite3_close(db);
    return;
  }
  // The output holds texts from the damaged file; none of them may reach past it
  // from this connection either.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
  outcome.outputIntact = sqlite3_step(stmt) == SQLITE_ROW && Text(stmt, 0) == "ok";
  if (!outcome.outputIntact) outcome.faults.push_back("the output fails the integrity check: " + Text(stmt, 0));
  sqlite3_finalize(stmt);

  const std::vector<OutputTable> tables = ListOutputTables(db);
  std::set<std::pair<std::string, std::string>> objects;  // type, folded name of each view and trigger
  sqlite3_prepare_v2(db, "SELECT type, name FROM sqlite_schema WHERE type IN ('view', 'trigger')", -1, &stmt,
                     nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) objects.insert({Text(stmt, 0), Folded(Text(stmt, 1))});
  sqlite3_finalize(stmt);
  std::map<std::string, int64_t> rowsByName;  // folded name: count(*) of a table with its own b-tree
  for (const OutputTable& table : tables) {
    if (table.isVirtual) continue;
    if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM main." + Quoted(table.name)).c_str(), -1, &stmt,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      rowsByName[Folded(table.name)] = sqlite3_column_int64(stmt, 0);
      outcome.outputRows += sqlite3_column_int64(stmt, 0);
    } else {
      outcome.faults.push_back("output table " + table.name + " cannot be counted: " + sqlite3_errmsg(db));
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);

  // The rows the save reported written into each output table (several checked
  // entries may name one table) are the rows it holds.
  std::map<std::string, std::pair<std::string, uint64_t>> writtenByTarget;
  for (const engine::writer::TableReport& t : report.tables) {
    auto& [name, written] = writtenByTarget[Folded(t.target)];
    name = t.target;
    written += t.written;
  }
  for (const auto& byTarget : writtenByTarget) {
    const std::string& folded = byTarget.first;
    const auto& [name, written] = byTarget.second;
    const auto table = std::find_if(tables.begin(), tables.end(),
                                    [&](const OutputTable& t) { return Folded(t.name) == folded; });
    if (table == tables.end()) {
      if (written != 0) {
        outcome.faults.push_back("table " + name + ": " + std::to_string(written) +
                                 " rows reported written, but the output has no such table");
      }
      continue;
    }
    // A virtual table's rows live in its shadow tables, and a shadow table's rows
    // are replaced by the recovered ones (INSERT OR REPLACE over what the virtual
    // table wrote into it as its own rows were inserted): neither count can be
    // set against the records written.
    if (table->isVirtual || table->isShadow) continue;
    const int64_t rows = rowsByName.count(folded) ? rowsByName[folded] : -1;
    if (rows != static_cast<int64_t>(written)) {
      outcome.faults.push_back("table " + name + ": " + std::to_string(written) + " rows reported written, " +
                               std::to_string(rows) + " in the output");
    }
  }

  // A view or trigger reported saved is in the output.
  for (const engine::writer::ObjectReport& object : report.objects) {
    if (object.saved && !objects.count({Folded(object.kind), Folded(object.name)})) {
      outcome.faults.push_back(object.kind + " " + object.name + ": reported saved, but the output has no such " +
                               Folded(object.kind));
    }
  }

  // Every table of the output is one the damaged file's schema names, a companion's
  // or lost-and-found table (both entries of the recovered schema, and each a
  // report's target), a shadow table its virtual table created, or sqlite_sequence,
  // which SQLite creates itself for a table declared AUTOINCREMENT.
  std::set<std::string> named;
  for (const engine::TableEntry& entry : schema.tableList) named.insert(Folded(entry.name));
  for (const auto& [folded, target] : writtenByTarget) named.insert(folded);
  named.insert("sqlite_sequence");
  for (const OutputTable& table : tables) {
    if (!named.count(Folded(table.name)) && !table.isShadow) {
      outcome.faults.push_back("output table " + table.name + ": no schema entry names it");
    }
  }
}

// Writes the input's parts into `folder`: the file, and its log and journal when the
// input holds their markers. Returns each part's name and bytes.
std::map<std::string, std::string_view> WriteInput(std::string_view bytes, const fs::path& folder) {
  std::map<std::string, std::string_view> parts;
  const size_t journalMarker = bytes.find(kJournalMarker);
  if (journalMarker != std::string_view::npos) {
    parts["input.db-journal"] = bytes.substr(journalMarker + std::strlen(kJournalMarker));
    bytes = bytes.substr(0, journalMarker);
  }
  const size_t walMarker = bytes.find(kWalMarker);
  if (walMarker != std::string_view::npos) parts["input.db-wal"] = bytes.substr(walMarker + std::strlen(kWalMarker));
  parts["input.db"] = bytes.substr(0, walMarker);
  for (const auto& [name, part] : parts) WriteBytes(folder / name, part);
  return parts;
}

// The input's folder holds exactly its parts, each with the bytes it was given; the
// current directory is as empty as it was; the output folder holds the output alone.
void CheckFolders(const RunFolders& folders, const std::map<std::string, std::string_view>& parts,
                  const std::string& outputPath, RepairOutcome& outcome) {
  for (const std::string& name : FolderEntries(folders.input)) {
    const auto part = parts.find(name);
    if (part == parts.end()) {
      outcome.faults.push_back("a file appeared beside the input: " + name);
    } else if (ReadBytes(folders.input / name) != part->second) {
      outcome.faults.push_back("the input's " + name + " changed");
    }
  }
  for (const auto& [name, part] : parts) {
    if (!fs::exists(folders.input / name)) outcome.faults.push_back("the input's " + name + " is gone");
  }
  for (const std::string& name : FolderEntries(folders.cwd)) {
    outcome.faults.push_back("a file appeared in the current directory: " + name);
  }
  const std::string outputName = fs::path(outputPath).filename().string();
  for (const std::string& name : FolderEntries(folders.output)) {
    if (outputPath.empty() || name != outputName) {
      outcome.faults.push_back("a file other than the output appeared beside it: " + name);
    }
  }
}

}  // namespace

RepairOutcome RepairBytes(const uint8_t* data, size_t size, const std::string& workDir) {
  RepairOutcome outcome;
  const fs::path work = fs::absolute(workDir);
  const RunFolders folders{work / "input", work / "output", work / "cwd"};
  for (const fs::path& folder : {folders.input, folders.output, folders.cwd}) MakeEmptyFolder(folder);
  const auto parts = WriteInput(std::string_view(reinterpret_cast<const char*>(data), size), folders.input);

  job::RepairState state;
  QuietFrontEnd port(state);
  CSqliteRepair engine(state, port);
  state.databasePath = (folders.input / "input.db").string();
  state.databaseFileName = "input.db";
  engine::writer::SaveReport report;
  {
    const CurrentDirectory scratch(folders.cwd);
    engine.OpenDatabaseFile();
    engine.ScanTables();
    engine.ScanViews();
    engine.ScanTriggers();
    engine.FindStrayPages();
    if (!state.openFailed) {
      outcome.opened = true;
      const engine::Schema& schema = engine.RecoveredSchema();
      outcome.tables = static_cast<int64_t>(schema.tableList.size());
      state.schemaMarker = job::kSchemaMarkerFilled;
      state.showObjectRequested = 1;
      for (const auto& table : schema.tableList) engine.PreviewTable(table);
      port.EndRow();
      outcome.gridRows = port.rows;
      outcome.crookedRows = port.crooked;
      if (outcome.crookedRows != 0) {
        outcome.faults.push_back(std::to_string(outcome.crookedRows) + " grid rows are not one record of their table");
      }

      for (const auto& table : schema.tableList) state.checkedTables.push_back(table.name);
      for (const auto& view : schema.viewList) state.checkedViews.push_back(view.name);
      for (const auto& trigger : schema.triggerList) state.checkedTriggers.push_back(trigger.name);
      state.destinationFolder = folders.output.string() + "/";
      state.saveRequested = 1;
      report = engine.SaveRepairedDatabase();
      outcome.saveOpened = report.opened;
      outcome.saveComplete = report.Complete();
    }
  }
  // The output is published under its final name only when complete, under the
  // "(incomplete)" one otherwise, and removed after a failed write.
  if (!report.outputPath.empty()) {
    const std::string name = fs::path(report.outputPath).filename().string();
    if (!fs::exists(report.outputPath)) {
      outcome.faults.push_back("the reported output " + name + " is missing");
    } else {
      CheckOutput(report.outputPath, engine.RecoveredSchema(), report, outcome);
    }
    if (report.incomplete != (name.find(" (incomplete)") != std::string::npos)) {
      outcome.faults.push_back("the output's name " + name + " does not say whether the save was complete");
    }
  } else if (outcome.saveComplete) {
    outcome.faults.push_back("the save reported every object written but left no output");
  }
  CheckFolders(folders, parts, report.outputPath, outcome);
  MakeEmptyFolder(folders.output);
  return outcome;
}

}  // namespace fuzz
