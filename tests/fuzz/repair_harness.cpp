#include "tests/fuzz/repair_harness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sqlite3.h>

#include "engine/reader/sqlite_repair.h"
#include "job/message_texts.h"

namespace fuzz {
namespace {

// Behaves like the main frame where the engine depends on it: marks the schema as
// shown, empties the saved object's name, and answers every dialog.
class QuietFrontEnd : public job::FrontEndPort {
 public:
  QuietFrontEnd(job::RepairState& state, CSqliteRepair*& engine) : state_(state), engine_(engine) {}
  int64_t Send(job::Notification number, int64_t, int64_t second) override {
    if (number == job::Notification::RepairDone) state_.schemaMarker = job::kSchemaMarkerFilled;
    if (number == job::Notification::GridData && second == 0) ++cells;
    if (number == job::Notification::ObjectSaved && engine_) engine_->savedObjectName.clear();
    return 0;
  }
  job::DialogAnswer ShowModal(job::Dialog dialog) override {
    return job::OpenDialog(state_, dialog).defaultAnswer;
  }
  int64_t cells = 0;

 private:
  job::RepairState& state_;
  CSqliteRepair*& engine_;
};

}  // namespace

int64_t RepairBytes(const uint8_t* data, size_t size, const std::string& workDir) {
  const std::string input = workDir + "/input.db";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  job::RepairState state;
  CSqliteRepair* enginePointer = nullptr;
  QuietFrontEnd port(state, enginePointer);
  CSqliteRepair engine(state, port);
  enginePointer = &engine;
  state.databasePath = input;
  state.databaseFileName = "input.db";

  engine.OpenDatabaseFile();
  engine.ScanTables();
  engine.ScanViews();
  engine.ScanTriggers();
  if (state.openFailed) return 0;
  state.schemaMarker = job::kSchemaMarkerFilled;
  state.showObjectRequested = 1;
  for (const auto& table : engine.tableList) engine.PreviewTable(table);

  for (const auto& table : engine.tableList) state.checkedTables.push_back(table.name);
  for (const auto& view : engine.viewList) state.checkedViews.push_back(view.name);
  for (const auto& trigger : engine.triggerList) state.checkedTriggers.push_back(trigger.name);
  state.destinationFolder = workDir + "/";
  state.saveRequested = 1;
  engine.SaveRepairedDatabase();
  if (state.outputDatabase) sqlite3_close(state.outputDatabase);
  if (!state.outputPath.empty()) {
    std::remove(state.outputPath.c_str());
    std::remove((state.outputPath + "-journal").c_str());
  }
  return port.cells;
}

}  // namespace fuzz
