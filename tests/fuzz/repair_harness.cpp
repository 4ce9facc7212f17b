#include "tests/fuzz/repair_harness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

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
  void GridData(const job::GridCell&) override { ++cells; }
  job::DialogAnswer ShowModal(job::Dialog dialog) override {
    return job::OpenDialog(state_, dialog).defaultAnswer;
  }
  int64_t cells = 0;

 private:
  job::RepairState& state_;
};

}  // namespace

int64_t RepairBytes(const uint8_t* data, size_t size, const std::string& workDir) {
  const std::string input = workDir + "/input.db";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
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
  if (state.openFailed) return 0;
  const engine::Schema& schema = engine.RecoveredSchema();
  state.schemaMarker = job::kSchemaMarkerFilled;
  state.showObjectRequested = 1;
  for (const auto& table : schema.tableList) engine.PreviewTable(table);

  for (const auto& table : schema.tableList) state.checkedTables.push_back(table.name);
  for (const auto& view : schema.viewList) state.checkedViews.push_back(view.name);
  for (const auto& trigger : schema.triggerList) state.checkedTriggers.push_back(trigger.name);
  state.destinationFolder = workDir + "/";
  state.saveRequested = 1;
  engine.SaveRepairedDatabase();
  if (!state.outputPath.empty()) {
    std::remove(state.outputPath.c_str());
    std::remove((state.outputPath + "-journal").c_str());
  }
  return port.cells;
}

}  // namespace fuzz
