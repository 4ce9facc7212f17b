#include "workspace/my_list_ctrl.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>
#include <utility>
#include <vector>

#include "workspace/grid_model.h"

namespace workspace {
namespace {

// A field holding a tab, a line break or a double quote goes in double quotes with
// its own quotes doubled, as spreadsheets read tab-separated text; any other field
// goes as it is.
void AppendField(QString& out, const QString& field) {
  const bool quote = std::any_of(field.begin(), field.end(), [](QChar c) {
    return c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('"');
  });
  if (!quote) {
    out.append(field);
    return;
  }
  out.append(QLatin1Char('"'));
  for (QChar c : field) {
    if (c == QLatin1Char('"')) out.append(QLatin1Char('"'));
    out.append(c);
  }
  out.append(QLatin1Char('"'));
}

// A row of a model other than the record grid's, one index at a time. A NULL copies
// as an empty field, so it is not read back as a stored text "null".
QStringList ItemTexts(const QAbstractItemModel& model, int row) {
  QStringList texts;
  for (int column = 0; column < model.columnCount(); ++column) {
    const QModelIndex index = model.index(row, column);
    const QVariant kind = model.data(index, CGridModel::kKindRole);
    if (kind.isValid() && kind.toInt() == static_cast<int>(job::Value::Kind::Null)) {
      texts.append(QString());
      continue;
    }
    QVariant value = model.data(index, CGridModel::kFullTextRole);
    if (!value.isValid()) value = model.data(index, Qt::DisplayRole);
    texts.append(value.toString());
  }
  return texts;
}

}  // namespace

CMyListCtrl::CMyListCtrl(QWidget* parent) : QTableView(parent), menu_(new QMenu(QStringLiteral("Edit"), this)) {
  setObjectName(QStringLiteral("CMyListCtrl"));
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAlternatingRowColors(true);
  setWordWrap(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  // Every row one line high: nothing is measured per row, however many there are.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::AlternateBase, QColor(220, 230, 244));
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);

  QAction* cut = menu_->addAction(QStringLiteral("Cu&t\tCtrl+X"));
  QAction* copy = menu_->addAction(QStringLiteral("&Copy\tCtrl+C"));
  QAction* paste = menu_->addAction(QStringLiteral("&Paste\tCtrl+V"));
  cut->setEnabled(false);
  paste->setEnabled(false);
  connect(copy, &QAction::triggered, this, &CMyListCtrl::CopySelection);
}

QString CMyListCtrl::SelectedText() const {
  if (!model() || !selectionModel()) return {};
  // From the selection's ranges, not its indexes: a selection of a million rows
  // stays a few ranges.
  std::vector<std::pair<int, int>> spans;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    spans.emplace_back(range.top(), range.bottom());
  }
  std::sort(spans.begin(), spans.end());
  // The record grid decodes a row in one pass; asking it cell by cell would walk
  // the row from its start for every column.
  const auto* grid = qobject_cast<const CGridModel*>(model());
  QString text;
  int next = 0;  // the first row not copied yet
  for (const auto& [top, bottom] : spans) {
    for (int row = std::max(top, next); row <= bottom; ++row) {
      const QStringList fields = grid ? grid->RowTexts(row) : ItemTexts(*model(), row);
      for (qsizetype column = 0; column < fields.size(); ++column) {
        if (column > 0) text.append(QLatin1Char('\t'));
        AppendField(text, fields[column]);
      }
      text.append(QLatin1Char('\n'));
    }
    next = std::max(next, bottom + 1);
  }
  return text;
}

void CMyListCtrl::CopySelection() const {
  const QString text = SelectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void CMyListCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void CMyListCtrl::contextMenuEvent(QContextMenuEvent* event) {
  menu_->popup(event->globalPos());
  event->accept();
}

}  // namespace workspace
