// The one interface through which the worker and the engine reach a front end (the
// desktop frame, the console, or a test recorder). They never touch a window and a
// front end never reads the engine: every notification carries its data by value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/contract/notifications.h"
#include "job/contract/value.h"

namespace job {

// The program's own message dialogs.
enum class Dialog {
  CMessageOk,             // information, text chosen by the selector flags
  CMessageDialog,         // invalid file, exit confirmation, "first stop"
  CStopDialog,            // "Do you want to stop the current process?"
  CUserDialog,            // a notice left in the application's notice text
  CRepairedSuccessfully,  // the end of a successful repair
};

// Every dialog closes with one of two results.
enum class DialogAnswer { Yes, No };

// What the Progress notification asks of the bar (its second parameter).
enum class ProgressAction : int64_t {
  Start = kProgressStart,    // a new bar of the given range replaces any other
  Step = kProgressStep,      // one step forward
  Finish = kProgressFinish,  // the bar ends and is removed; nothing when none is shown
};

// What a recovered column is, for the object tree's property lists.
struct ColumnInfo {
  std::string name;          // as written in the CREATE text, quotes included
  std::string declaredType;  // may be empty
  bool notNull = false;
  bool hasDefault = false;
  bool primaryKey = false;
};

// A recovered table (or "(deleted)" companion) as the front end shows it.
struct TableInfo {
  std::string name;
  bool deletedCompanion = false;
  int64_t rootPage = 0;
  std::vector<ColumnInfo> columns;
};

// A recovered view or trigger with its stored SQL text.
struct SqlObjectInfo {
  std::string name;
  std::string sql;
  std::string tableName;  // a trigger's table; empty for a view
};

// What a repair recovered, in the order found: the object tree's leaves.
struct ObjectListing {
  std::vector<TableInfo> tables;  // each companion right after its table
  std::vector<SqlObjectInfo> views;
  std::vector<SqlObjectInfo> triggers;
  int32_t tableCount = 0;  // companions not counted
  int32_t viewCount = 0;
  int32_t triggerCount = 0;
};

// One value for the grid: its column (0 starts a row; the row is complete after the
// last column the grid was set up with), the grid's text and the value itself.
struct GridCell {
  int32_t column = 0;
  std::string text;
  Value value;
};

// Thread: every call may come from the worker thread and returns only after the
// front end has handled it (or has staged it, for the high-volume GridData,
// Progress and ShowRecordCount, to be applied in order on its own thread); a dialog
// returns when the user has closed it. Arguments are valid only during the call.
// Each method's default does nothing, so a front end implements what it shows.
class FrontEndPort {
 public:
  virtual ~FrontEndPort() = default;

  // RepairDone (1, 0): fill the object tree with what the repair recovered.
  virtual void RepairDone(const ObjectListing&) {}
  // ResetWorkspace (0, 0): clear grid, tree and record view.
  virtual void ResetWorkspace() {}
  // CheckTopItem (0, 0): give the tree's top item its check mark.
  virtual void CheckTopItem() {}
  // GridData (0, 1): remove all rows and columns, then one column per name.
  virtual void GridColumns(const std::vector<std::string>&) {}
  // GridData (0, 0): the next cell of the grid.
  virtual void GridData(const GridCell&) {}
  // ClearGridRows (0, 0): remove all rows; the columns stay.
  virtual void ClearGridRows() {}
  // Progress (range, 1), (0, 2), (0, 3).
  virtual void Progress(ProgressAction, int64_t /*range*/) {}
  // LogLine (0, 0): append `text` as the log's new last line.
  virtual void LogLine(const std::string&) {}
  // TableLoaded (0, 0): the records of `table` have been shown; fill its column
  // properties.
  virtual void TableLoaded(const TableInfo&) {}
  // ShowViewSql (0, 0) and ShowTriggerSql (0, 1): the SQL text of the clicked object.
  virtual void ShowViewSql(const std::string&) {}
  virtual void ShowTriggerSql(const std::string&) {}
  // ShowRecordCount (0, 0): the grid's record count starts again from `count`.
  virtual void ShowRecordCount(int64_t /*count*/) {}
  // ObjectSaved (0, 0): the object `name` has been written; uncheck its leaf.
  virtual void ObjectSaved(const std::string& /*name*/) {}
  // SaveFinished (0, 0): the save has written everything; clear every check mark.
  virtual void SaveFinished() {}
  // JobState (0, 0) started, (0, 1) ended.
  virtual void JobState(int64_t /*state*/) {}
  // Not one of the numbered notifications: the file the job reads, `path`, changed
  // while the job read it (its size or modification time is not what it was when
  // the job started). The log line saying so comes first. At most once a job.
  virtual void InputChanged(const std::string& /*path*/) {}

  // Shows a modal dialog, which picks its text from RepairState's selector flags
  // (see message_texts.h) when it opens, and returns the user's answer.
  virtual DialogAnswer ShowModal(Dialog dialog) = 0;
};

}  // namespace job
