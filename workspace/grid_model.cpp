#include "workspace/grid_model.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <cstring>

namespace workspace {
namespace {

// A cell in the arena: one kind byte, the text's length as a varint, the text.
// A kind byte of kJump says the rest of the chunk is unused: go on at the next.
constexpr uint8_t kJump = 0xFF;
// Chunks double from 64 KiB to 64 MiB: a small table takes little, a big one few
// large blocks, which the allocator maps from the system and gives back whole
// when the table goes, instead of leaving holes in the heap.
constexpr size_t kFirstChunkBytes = size_t{64} << 10;
constexpr size_t kLastChunkBytes = size_t{64} << 20;
constexpr size_t kMaxVarintBytes = 10;

uint64_t Position(size_t chunk, size_t offset) { return (uint64_t{chunk} << 32) | offset; }

size_t PutVarint(char* out, uint64_t value) {
  size_t n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<char>(value);
  return n;
}

// The arena is written only by AppendCell, so every varint in it is whole.
uint64_t GetVarint(const char*& p) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<uint8_t>(*p++);
    value |= uint64_t{byte & 0x7Fu} << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

CGridModel::~CGridModel() = default;

void CGridModel::ClearStorage() {
  chunks_.clear();
  chunkSizes_.clear();
  chunkCapacities_.clear();
  rowStarts_.clear();
  rowStarts_.shrink_to_fit();
  rowCells_.clear();
  rowCells_.shrink_to_fit();
  committedRows_ = 0;
  committedCellsOfLastRow_ = 0;
  completeRows_ = 0;
}

void CGridModel::SetColumns(const QStringList& names) {
  beginResetModel();
  ClearStorage();
  columns_ = names;
  endResetModel();
}

void CGridModel::ClearRows() {
  beginResetModel();
  ClearStorage();
  endResetModel();
}

char* CGridModel::Reserve(size_t bytes) {
  // One byte of every chunk stays free for the jump marker.
  if (!chunks_.empty() && chunkSizes_.back() + bytes + 1 <= chunkCapacities_.back()) {
    return chunks_.back().get() + chunkSizes_.back();
  }
  if (!chunks_.empty()) chunks_.back()[chunkSizes_.back()] = static_cast<char>(kJump);
  const size_t grown = kFirstChunkBytes << std::min<size_t>(chunks_.size(), 10);
  const size_t capacity = std::max(std::min(grown, kLastChunkBytes), bytes + 1);
  chunks_.push_back(std::unique_ptr<char[]>(new char[capacity]));
  chunkSizes_.push_back(0);
  chunkCapacities_.push_back(capacity);
  return chunks_.back().get();
}

bool CGridModel::AppendCell(int column, job::Value::Kind kind, std::string_view text) {
  if (columns_.isEmpty() || column < 0 || column >= columns_.size()) return false;
  if (column == 0) {
    const size_t chunk = chunks_.empty() ? 0 : chunks_.size() - 1;
    const size_t offset = chunks_.empty() ? 0 : chunkSizes_.back();
    rowStarts_.push_back(Position(chunk, offset));
    rowCells_.push_back(0);
  } else if (rowCells_.empty() || rowCells_.back() != static_cast<uint32_t>(column)) {
    return false;  // a cell out of order has no place in a row
  }
  char* out = Reserve(1 + kMaxVarintBytes + text.size());
  size_t n = 0;
  out[n++] = static_cast<char>(kind);
  n += PutVarint(out + n, text.size());
  if (!text.empty()) std::memcpy(out + n, text.data(), text.size());
  chunkSizes_.back() += n + text.size();
  if (++rowCells_.back() != static_cast<uint32_t>(columns_.size())) return false;
  ++completeRows_;
  return true;
}

bool CGridModel::CommitRows() {
  const int stored = static_cast<int>(rowStarts_.size());
  bool changed = false;
  if (committedRows_ > 0 && rowCells_[committedRows_ - 1] != committedCellsOfLastRow_) {
    const QModelIndex first = index(committedRows_ - 1, 0);
    emit dataChanged(first, index(committedRows_ - 1, static_cast<int>(columns_.size()) - 1));
    changed = true;
  }
  if (stored > committedRows_) {
    beginInsertRows(QModelIndex(), committedRows_, stored - 1);
    committedRows_ = stored;
    endInsertRows();
    changed = true;
  }
  committedCellsOfLastRow_ = committedRows_ > 0 ? rowCells_[committedRows_ - 1] : 0;
  return changed;
}

const char* CGridModel::ReadCell(const char* p, size_t& chunk, Cell& cell) const {
  if (static_cast<uint8_t>(*p) == kJump) p = chunks_[++chunk].get();
  cell.kind = static_cast<job::Value::Kind>(*p++);
  const uint64_t length = GetVarint(p);
  cell.text = std::string_view(p, length);
  cell.present = true;
  return p + length;
}

CGridModel::Cell CGridModel::CellAt(int row, int column) const {
  Cell cell;
  if (row < 0 || row >= committedRows_ || column < 0 || static_cast<uint32_t>(column) >= rowCells_[row]) {
    return cell;
  }
  size_t chunk = rowStarts_[row] >> 32;
  const char* p = chunks_[chunk].get() + (rowStarts_[row] & 0xFFFFFFFFu);
  for (int c = 0;; ++c) {
    p = ReadCell(p, chunk, cell);
    if (c == column) return cell;
  }
}

QString CGridModel::CellText(int row, int column) const {
  const Cell cell = CellAt(row, column);
  return QString::fromUtf8(cell.text.data(), static_cast<qsizetype>(cell.text.size()));
}

QStringList CGridModel::RowTexts(int row) const {
  QStringList texts;
  if (row < 0 || row >= committedRows_) return texts;
  texts.reserve(columns_.size());
  size_t chunk = rowStarts_[row] >> 32;
  const char* p = chunks_[chunk].get() + (rowStarts_[row] & 0xFFFFFFFFu);
  Cell cell;
  for (uint32_t c = 0; c < rowCells_[row]; ++c) {
    p = ReadCell(p, chunk, cell);
    texts.append(cell.kind == job::Value::Kind::Null
                     ? QString()
                     : QString::fromUtf8(cell.text.data(), static_cast<qsizetype>(cell.text.size())));
  }
  while (texts.size() < columns_.size()) texts.append(QString());
  return texts;
}

int CGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : committedRows_; }

int CGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant CGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole: {
      const Cell cell = CellAt(index.row(), index.column());
      // A long text cannot be read in a cell anyway; decoding only its start keeps
      // painting fast. UTF-8 takes at most four bytes a character.
      const size_t take = std::min(cell.text.size(), size_t{kDisplayLimit} * 4 + 4);
      QString text = QString::fromUtf8(cell.text.data(), static_cast<qsizetype>(take));
      if (text.size() > kDisplayLimit || take < cell.text.size()) {
        // A character outside the BMP takes two units: it is kept whole or not at all.
        const bool splitsPair = text.size() >= kDisplayLimit && text[kDisplayLimit - 1].isHighSurrogate();
        text.truncate(splitsPair ? kDisplayLimit - 1 : kDisplayLimit);
        text.append(QChar(0x2026));
      }
      return text;
    }
    case kFullTextRole:
      return CellText(index.row(), index.column());
    case kKindRole:
      return static_cast<int>(CellAt(index.row(), index.column()).kind);
    case Qt::ForegroundRole:
    case Qt::FontRole: {
      const Cell cell = CellAt(index.row(), index.column());
      // NULL is drawn apart from a stored text "null": grey and italic.
      if (!cell.present || cell.kind != job::Value::Kind::Null) return {};
      if (role == Qt::ForegroundRole) return QColor(128, 128, 128);
      QFont font;
      font.setItalic(true);
      return font;
    }
    default:
      return {};
  }
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columns_.size()) {
    return {};
  }
  return columns_[section];
}

}  // namespace workspace
