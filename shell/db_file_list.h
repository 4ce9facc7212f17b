// `CDBFileList`: the result list of the drive search, sortable by a click on a column
// header, each column by its own kind of value.
#pragma once

#include <QStringList>
#include <QTableWidget>
#include <vector>

namespace shell {

// A read-only report list: single selection of whole rows, grid lines, odd rows on
// light blue, even rows on white, black text. Window thread only.
//
// Sorting: a column sorts only when its flags hold one of the three bits. A column
// whose direction toggles sorts ascending on its first click and reverses on every
// further click; each column remembers its own direction. The header shows the
// arrow of the sorted column only. Equal rows keep their order.
class CDBFileList : public QTableWidget {
  Q_OBJECT

 public:
  enum SortFlag : int { kSortAscending = 1, kSortDescending = 2, kSortToggles = 4 };
  // How two cells of a column compare:
  // - Integer: the leading decimal numbers (9 before 10); a text without one is 0.
  // - Text: character codes, letter case counting ("B..." before "a...").
  // - DateTime: dates as FileTimeText writes them (the locale's short format with a
  //   four-digit year), less than half a second apart counting as equal; a cell
  //   that does not read as a date sorts before every dated cell.
  // - None: every row is equal.
  enum class SortType : int { None = 0, Integer = 1, Text = 2, DateTime = 3 };

  explicit CDBFileList(QWidget* parent = nullptr);

  // Appends a column; it sorts as `type` and toggles its direction.
  void AddColumn(const QString& header, int width, SortType type);
  // A column without a setting of its own sorts as text and toggles.
  void SetColumnSortType(int column, SortType type);
  void SetColumnSortFlags(int column, int flags);
  SortType ColumnSortType(int column) const { return Descriptor(column).type; }
  int ColumnSortFlags(int column) const { return Descriptor(column).flags; }
  // The column the rows are sorted by; -1 until the first sort.
  int SortedColumn() const { return sortedColumn_; }

  // Appends a row; cells beyond the column count are dropped.
  void AddRow(const QStringList& cells);
  void DeleteAllRows();
  QString CellText(int row, int column) const;

  // What a click on the header of `column` does.
  void HeaderClicked(int column);

  // <0, 0 or >0 as `a` sorts before, with or after `b` in ascending order.
  static int CompareCells(SortType type, const QString& a, const QString& b);

 private:
  struct ColumnDescriptor {
    int flags = kSortToggles;
    SortType type = SortType::Text;
  };
  ColumnDescriptor Descriptor(int column) const;
  ColumnDescriptor& MutableDescriptor(int column);
  void SortRows(int column, bool ascending);

  std::vector<ColumnDescriptor> columns_;
  int sortedColumn_ = -1;
};

}  // namespace shell
