// `CGridModel`: the records of the table shown in the record view, held compactly
// (one byte arena, one offset per row) for tables of millions of rows.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "job/contract/value.h"

namespace workspace {

// Each cell keeps its value's kind and the grid text the engine made for it, in
// UTF-8; display strings are made in data() and never kept. Cells arrive one by
// one (column 0 starts a row) and reach the views only with CommitRows, so a batch
// of thousands of rows is one insertion. Window thread only.
class CGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The whole text of a cell, also where the display shortens it.
  static constexpr int kFullTextRole = Qt::UserRole + 1;
  // A cell's value kind (job::Value::Kind as an int).
  static constexpr int kKindRole = Qt::UserRole + 2;
  // Texts longer than this many characters are shown shortened with "…".
  static constexpr int kDisplayLimit = 2000;

  explicit CGridModel(QObject* parent = nullptr);
  ~CGridModel() override;

  // Removes every row, then sets the columns.
  void SetColumns(const QStringList& names);
  // Removes every row; the columns stay.
  void ClearRows();
  // Adds a cell to the rows not yet committed. Column 0 starts a new row; any other
  // column continues the last row. Cells past the last column, and cells out of
  // order, are ignored. True when the cell completed a row.
  bool AppendCell(int column, job::Value::Kind kind, std::string_view text);
  // Makes the cells added since the last commit visible: one insertion for the new
  // rows, one change for a row that was partly committed. True when anything changed.
  bool CommitRows();
  // Rows complete in every column, committed or not.
  int64_t CompleteRows() const { return completeRows_; }
  // The text of a cell, for copying (empty outside the committed rows).
  QString CellText(int row, int column) const;
  // A committed row's texts as a copy takes them, one per column, decoded in one
  // pass over the row: a NULL cell and a cell not arrived yet give an empty text,
  // so a copied NULL is not read back as a stored text "null". Empty outside the
  // committed rows.
  QStringList RowTexts(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  struct Cell {
    job::Value::Kind kind = job::Value::Kind::Null;
    std::string_view text;
    bool present = false;
  };
  Cell CellAt(int row, int column) const;
  // Decodes the cell at `p`, in chunk `chunk`, into `cell`; returns where the next
  // cell of the row starts. A jump marker at `p` moves to the next chunk first.
  const char* ReadCell(const char* p, size_t& chunk, Cell& cell) const;
  // Room for `bytes` more in the current chunk, opening a new one if needed.
  char* Reserve(size_t bytes);
  void ClearStorage();

  QStringList columns_;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::vector<size_t> chunkSizes_;  // bytes written into each chunk
  std::vector<size_t> chunkCapacities_;
  // Where each row's first cell starts: (chunk << 32) | offset.
  std::vector<uint64_t> rowStarts_;
  // Cells stored per row: 32 bits, as a damaged CREATE text can declare more
  // columns than 16 bits count.
  std::vector<uint32_t> rowCells_;
  int committedRows_ = 0;
  uint32_t committedCellsOfLastRow_ = 0;
  int64_t completeRows_ = 0;
};

}  // namespace workspace
