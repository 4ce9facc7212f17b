// What a save did, object by object: the worker turns it into log lines and picks
// the closing dialog from it; the engine itself shows nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/records/deleted_records.h"

namespace engine::writer {

// One checked table or "(deleted)" companion.
struct TableReport {
  std::string name;
  bool companion = false;  // carved records into "<name>_deleted"; no summary lines
  std::string target;      // the output table its records went into
  bool created = true;     // its CREATE statement ran (or the output already had it)
  std::string createError;
  bool received = true;    // the output table could take records
  std::string receiveError;
  bool read = false;       // its records were read (false: no pages, an internal table, ...)
  uint64_t present = 0;    // cells read from the live table's leaf pages
  uint64_t outside = 0;    // of them, cells of pages outside the table's own tree
  uint64_t written = 0;    // records the output took
  uint64_t refused = 0;    // records SQLite refused (a constraint, a value it rejects)
  std::string firstRefusal;
  uint64_t extraValues = 0;  // records with more values than the table has columns
  uint64_t cutValues = 0;    // live values cut short where their overflow chain broke
  bool committed = true;     // its transaction began and committed
  std::string commitError;   // SQLite's reason when it did not, or a write failed
  bool cutShort = false;     // a stop request ended the reading before the last record
  CarveCounts carvedFrom{};  // a companion's records, by where they were carved from

  // The table's records are all in the output, or the only ones missing are
  // records SQLite refused one by one.
  bool Saved() const { return created && received && committed && !cutShort; }
};

// One checked view or trigger.
struct ObjectReport {
  std::string kind;  // "View" or "Trigger"
  std::string name;
  bool saved = false;
  std::string error;
};

struct SaveReport {
  std::string outputPath;   // the file the save created, or empty
  bool opened = false;      // the output database was opened
  std::string openWhere;    // where it could not be created: the folder or the file
  std::string openError;    // SQLite's or the system's reason
  std::vector<std::string> settingErrors;  // connection settings SQLite refused
  std::vector<TableReport> tables;
  std::vector<ObjectReport> objects;
  bool stopped = false;  // a stop request ended the save early
  std::string writeError;   // the file could not be flushed, closed or named
  bool discarded = false;   // the file failed to be written (here or in a table): it was removed
  bool incomplete = false;  // outputPath is the "... (incomplete)" file a stop or a failed object left

  // Every checked object was written.
  bool Complete() const {
    if (!opened || stopped || discarded || !settingErrors.empty() || !writeError.empty()) return false;
    for (const TableReport& t : tables) {
      if (!t.Saved()) return false;
    }
    for (const ObjectReport& o : objects) {
      if (!o.saved) return false;
    }
    return true;
  }
  // The first reason the save is not complete, for the closing message.
  std::string FirstFailure() const {
    if (!opened) return openError;
    if (!settingErrors.empty()) return settingErrors.front();
    for (const TableReport& t : tables) {
      if (!t.created) return "table " + t.name + ": " + t.createError;
      if (!t.received) return "table " + t.name + ": " + t.receiveError;
      if (!t.committed) return "table " + t.name + ": " + t.commitError;
    }
    for (const ObjectReport& o : objects) {
      if (!o.saved) return o.kind + " " + o.name + ": " + o.error;
    }
    return writeError;
  }
};

}  // namespace engine::writer
