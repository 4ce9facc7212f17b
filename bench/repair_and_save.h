// The engine's whole repair and save of one damaged file, as the benchmarks of
// recovered rows run it: open, scans, page attribution, then a save into a fresh
// folder. Not a test helper: the benches only.
#pragma once

#include <filesystem>
#include <string>

#include "engine/sqlite_repair.h"

namespace bench {

class QuietPort : public job::FrontEndPort {
 public:
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
};

// Repairs `path` and saves it into `out` (emptied first): every table, and the
// "(deleted)" companions when `companions`. The output's path, empty when the save
// made none.
inline std::string RepairAndSave(const std::string& path, const std::filesystem::path& out, bool companions) {
  job::RepairState state;
  QuietPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  state.databaseFileName = std::filesystem::path(path).filename().string();
  engine.OpenDatabaseFile();
  engine.ScanTables();
  engine.FindStrayPages();
  state.schemaMarker = job::kSchemaMarkerFilled;
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  for (const auto& t : engine.RecoveredSchema().tableList) {
    if (companions || !t.deletedCompanion) state.checkedTables.push_back(t.name);
  }
  state.destinationFolder = out.string() + "/";
  engine.SaveRepairedDatabase();
  return state.outputPath;
}

}  // namespace bench
