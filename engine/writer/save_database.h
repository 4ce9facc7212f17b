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

// Writes the checked objects into a new database and names it
// "Repaired_HH_MM_SS_<name>" (12-hour clock; a free variant when taken) once every
// one was written. Until then the file has a name no output can have
// ("~Repaired_..." + ".partial"), so no final name ever holds a partial save: a stop,
// or an object SQLite refused, leaves "Repaired_..._<stem> (incomplete).<ext>"; a
// file that failed to be written (a full disk, an I/O error) is removed. The
// damaged file's name has its control characters replaced in the output's. Sends ObjectSaved for each object written and
// the progress of each table; `onTable` hears of each checked table as soon as it
// is done. The connection is closed when this returns, whatever happened.
SaveReport SaveRepairedDatabase(const Database& db, const Schema& schema,
                                const SaveRequest& request, Work& work,
                                const std::function<void(const TableReport&)>& onTable);

// Renames `temporary` to the first free name of `folder` + `fileName` (then with
// "(2)", "(3)", ... before the extension; " (incomplete)" before those when
// `incomplete`), never replacing a file. The name taken, or empty with `error` set.
std::string PublishOutput(const std::string& temporary, const std::string& folder, const std::string& fileName,
                          bool incomplete, std::string* error);

}  // namespace engine::writer
