// The save: a new database under a free name in the destination folder, the
// checked tables, companions, views and triggers written into it, and a report of
// how each went.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/schema/schema_entries.h"
#include "engine/writer/save_report.h"

namespace engine::writer {

struct SaveRequest {
  std::string destinationFolder;  // ends with a separator
  std::string databaseFileName;   // the damaged file's name
  std::vector<std::string> checkedTables;
  std::vector<std::string> checkedViews;
  std::vector<std::string> checkedTriggers;
  bool schemaShown = false;  // the object tree shows this run's schema
};

// Creates "Repaired_HH_MM_SS_<name>" (12-hour clock; a free variant when taken) and
// writes the checked objects into it. Sends ObjectSaved for each object written and
// the progress of each table; `onTable` hears of each checked table as soon as it
// is done. The connection is closed when this returns, whatever happened.
SaveReport SaveRepairedDatabase(const Database& db, const Schema& schema,
                                const SaveRequest& request, Work& work,
                                const std::function<void(const TableReport&)>& onTable);

}  // namespace engine::writer
