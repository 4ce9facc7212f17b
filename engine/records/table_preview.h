// The preview of a table's records in the grid: the live ones read from its leaf
// pages, or, for a "(deleted)" companion, the ones carved out of its freed space.
#pragma once

#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/records/row_sink.h"
#include "engine/records/table_row.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// Sends each record to the grid as one row: one GridData per declared column, the
// values a record holds past them left out.
class GridRowSink : public RowSink {
 public:
  GridRowSink(job::FrontEndPort& port, const TableRowShape& shape) : port_(port), shape_(shape) {}
  void Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) override;

 private:
  job::FrontEndPort& port_;
  const TableRowShape& shape_;
  job::GridCell cell_;
};

// What the job wants of a preview.
struct PreviewRequest {
  bool objectJob = false;    // a show-object job: the grid is set up first
  bool schemaShown = false;  // the object tree shows this run's schema
};

// Shows every record of `entry` in the grid (Leaf pages in ascending page number;
// a companion's carved records), with the preview's notifications: the record
// count, the grid's columns, a progress bar.
void PreviewTable(const Database& db, const Schema& schema, const TableEntry& entry,
                  const PreviewRequest& request, Work& work);

}  // namespace engine
