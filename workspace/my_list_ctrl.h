// `CMyListCtrl`: the record view's read-only lists (the record grid and the column
// properties): grid lines, whole-row selection, alternating row backgrounds, and
// Copy of the selected rows.
#pragma once

#include <QMenu>
#include <QTableView>

namespace workspace {

// Rows with an odd index are drawn on red 220, green 230, blue 244, the others on
// white, with dark text whatever the desktop theme. Ctrl+C and the popup menu's
// Copy put the selected rows on the clipboard as tab-separated text, one line a
// row: a field holding a tab, a line break or a double quote is quoted, its quotes
// doubled, and a NULL is an empty field. Cut and Paste are shown disabled, the
// lists being read-only. Window thread only.
class CMyListCtrl : public QTableView {
  Q_OBJECT

 public:
  explicit CMyListCtrl(QWidget* parent = nullptr);

  // The selected rows as tab-separated text, every column, in row order.
  QString SelectedText() const;
  void CopySelection() const;
  // The popup menu "Edit" as it is shown at `position` (for tests).
  QMenu* EditMenu() const { return menu_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QMenu* menu_;
};

}  // namespace workspace
