#include "shell/db_file_list.h"

#include <QHeaderView>
#include <algorithm>
#include <limits>
#include <numeric>

#include "shell/file_property.h"

namespace shell {
namespace {

constexpr QColor kOddRowColour{220, 230, 244};
// Two time stamps closer than half a second are the same moment. The texts carry
// whole seconds at most, so the rule never makes a < b, b < c and a == c at once,
// and the sort keeps a consistent order.
constexpr qint64 kSameMomentMs = 500;

// What a cell sorts by, read once per sort rather than once per comparison: dates
// are parsed through the locale, which is slow.
struct SortKey {
  qint64 number = 0;   // Integer: the value; DateTime: milliseconds since the epoch
  bool dated = false;  // DateTime: the text reads as a date
  QString text;        // Text
};

// The leading decimal number, as the classic atoi reads it (blanks, a sign, digits),
// held at the 64-bit bounds instead of overflowing.
qint64 LeadingNumber(const QString& text) {
  int i = 0;
  while (i < text.size() && text.at(i).isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
    negative = text.at(i) == QLatin1Char('-');
    ++i;
  }
  constexpr qint64 kMax = std::numeric_limits<qint64>::max();
  qint64 value = 0;
  for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
    const int digit = text.at(i).unicode() - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

// Values outside the known ones compare as text, as a descriptor created for an
// unknown column does.
CDBFileList::SortType Known(CDBFileList::SortType type) {
  switch (type) {
    case CDBFileList::SortType::None:
    case CDBFileList::SortType::Integer:
    case CDBFileList::SortType::Text:
    case CDBFileList::SortType::DateTime:
      return type;
  }
  return CDBFileList::SortType::Text;
}

SortKey MakeKey(CDBFileList::SortType type, const QString& text) {
  SortKey key;
  switch (Known(type)) {
    case CDBFileList::SortType::None:
      break;
    case CDBFileList::SortType::Integer:
      key.number = LeadingNumber(text);
      break;
    case CDBFileList::SortType::Text:
      key.text = text;
      break;
    case CDBFileList::SortType::DateTime: {
      const QDateTime time = ParseFileTime(text);
      key.dated = time.isValid();
      if (key.dated) key.number = time.toMSecsSinceEpoch();
      break;
    }
  }
  return key;
}

int Sign(qint64 value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

int CompareKeys(CDBFileList::SortType type, const SortKey& a, const SortKey& b) {
  switch (Known(type)) {
    case CDBFileList::SortType::None:
      return 0;
    case CDBFileList::SortType::Integer:
      return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case CDBFileList::SortType::Text:
      return Sign(QString::compare(a.text, b.text, Qt::CaseSensitive));  // UTF-16 code units
    case CDBFileList::SortType::DateTime:
      if (a.dated != b.dated) return a.dated ? 1 : -1;
      if (!a.dated) return 0;
      if (a.number > b.number - kSameMomentMs && a.number < b.number + kSameMomentMs) return 0;
      return a.number < b.number ? -1 : 1;
  }
  return 0;
}

}  // namespace

CDBFileList::CDBFileList(QWidget* parent) : QTableWidget(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setAlternatingRowColors(true);
  // The row colours and the text colour are set together, so that a dark desktop
  // theme gives no light text on the white rows.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::AlternateBase, kOddRowColour);
  palette.setColor(QPalette::Text, Qt::black);
  setPalette(palette);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setSortIndicatorShown(false);
  horizontalHeader()->setHighlightSections(false);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CDBFileList::HeaderClicked);
}

void CDBFileList::AddColumn(const QString& header, int width, SortType type) {
  const int column = columnCount();
  insertColumn(column);
  setHorizontalHeaderItem(column, new QTableWidgetItem(header));
  setColumnWidth(column, width);
  SetColumnSortType(column, type);
}

CDBFileList::ColumnDescriptor CDBFileList::Descriptor(int column) const {
  return column >= 0 && column < static_cast<int>(columns_.size()) ? columns_[column] : ColumnDescriptor{};
}

CDBFileList::ColumnDescriptor& CDBFileList::MutableDescriptor(int column) {
  if (column >= static_cast<int>(columns_.size())) columns_.resize(column + 1);
  return columns_[column];
}

void CDBFileList::SetColumnSortType(int column, SortType type) {
  if (column >= 0) MutableDescriptor(column).type = type;
}

void CDBFileList::SetColumnSortFlags(int column, int flags) {
  if (column >= 0) MutableDescriptor(column).flags = flags;
}

void CDBFileList::AddRow(const QStringList& cells) {
  const int row = rowCount();
  insertRow(row);
  for (int column = 0; column < columnCount() && column < cells.size(); ++column) {
    auto* item = new QTableWidgetItem(cells.at(column));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(row, column, item);
  }
}

void CDBFileList::DeleteAllRows() { setRowCount(0); }

QString CDBFileList::CellText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell ? cell->text() : QString();
}

void CDBFileList::HeaderClicked(int column) {
  if (column < 0 || column >= columnCount()) return;
  constexpr int kAnyBit = kSortAscending | kSortDescending | kSortToggles;
  ColumnDescriptor& descriptor = MutableDescriptor(column);
  if ((descriptor.flags & kAnyBit) == 0) return;
  if (descriptor.flags & kSortToggles) {
    // An unsorted column counts as descending, so that its first click sorts
    // ascending.
    if ((descriptor.flags & (kSortAscending | kSortDescending)) == 0) descriptor.flags |= kSortDescending;
    descriptor.flags ^= kSortAscending | kSortDescending;
  }
  const bool ascending = (descriptor.flags & kSortAscending) != 0 || (descriptor.flags & kSortDescending) == 0;
  sortedColumn_ = column;
  SortRows(column, ascending);
  horizontalHeader()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  horizontalHeader()->setSortIndicatorShown(true);
}

int CDBFileList::CompareCells(SortType type, const QString& a, const QString& b) {
  return CompareKeys(type, MakeKey(type, a), MakeKey(type, b));
}

void CDBFileList::SortRows(int column, bool ascending) {
  const SortType type = Descriptor(column).type;
  const int rows = rowCount();
  const int columns = columnCount();
  std::vector<SortKey> keys;
  keys.reserve(rows);
  for (int row = 0; row < rows; ++row) keys.push_back(MakeKey(type, CellText(row, column)));
  std::vector<int> order(rows);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const int result = CompareKeys(type, keys[a], keys[b]);
    return ascending ? result < 0 : result > 0;
  });
  // The rows' items are taken out and put back in the new order: the items, not
  // their positions, are the rows' identity.
  const QTableWidgetItem* current = currentItem();
  const int currentRow = current ? current->row() : -1;
  std::vector<std::vector<QTableWidgetItem*>> items(rows, std::vector<QTableWidgetItem*>(columns));
  for (int row = 0; row < rows; ++row) {
    for (int c = 0; c < columns; ++c) items[row][c] = takeItem(row, c);
  }
  for (int row = 0; row < rows; ++row) {
    for (int c = 0; c < columns; ++c) setItem(row, c, items[order[row]][c]);
  }
  for (int row = 0; row < rows; ++row) {
    if (order[row] == currentRow) selectRow(row);
  }
}

}  // namespace shell
