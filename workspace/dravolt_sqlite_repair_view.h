// `CDravoltSqliteRepairView`: the record view, the right pane of the main window.
// It shows the object last clicked in the tree: a table's records and column
// properties, or the SQL text of a view or a trigger.
#pragma once

#include <QStandardItemModel>
#include <QWidget>

#include <string>
#include <vector>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

namespace workspace {

class CGridModel;
class CMyListCtrl;
class CMyRichEditCtl;
class CMyTab;

// The page is built afresh for every leaf click and emptied by the workspace reset;
// the view holds nothing between pages. Its content arrives through the frame's
// handlers of the grid, property and SQL notifications; grid cells are added
// without showing and reach the grid with CommitGrid. `state` outlives the view.
// Window thread only.
class CDravoltSqliteRepairView : public QWidget {
  Q_OBJECT

 public:
  enum class Page { Empty, Table, View, Index, Trigger };
  static constexpr int kMinimumColumnWidth = 60;

  explicit CDravoltSqliteRepairView(job::RepairState& state, QWidget* parent = nullptr);
  ~CDravoltSqliteRepairView() override;

  // Builds the page of `page`'s tabs, first tab selected; Empty clears the view.
  void BuildPage(Page page);
  // Destroys every control and shows the empty page's picture.
  void ClearPage();
  // The workspace reset: the grid loses rows and columns, then the view is cleared.
  void ResetView();
  Page CurrentPage() const { return page_; }
  // Whether the last click was on a table (tablePageShown) or a view leaf
  // (viewPageShown).
  bool TablePageShown() const { return page_ == Page::Table; }
  bool ViewPageShown() const { return page_ == Page::View; }

  // GridData (0, 1): every row and column removed, then one column per name, each
  // the view's width shared out but at least kMinimumColumnWidth wide.
  void SetGridColumns(const std::vector<std::string>& names);
  // GridData (0, 0): the next cell, shown with the next CommitGrid. True when the
  // grid took the cell and it completed a row; false when no grid is built (nothing
  // is added).
  bool AddGridCell(const job::GridCell& cell);
  // Shows the cells added since the last commit, scrolling the last row into view.
  // True when the grid changed.
  bool CommitGrid();
  // The number of the grid's columns (0 without a grid).
  int GridColumnCount() const;
  // ClearGridRows: every row removed; the columns stay.
  void ClearGridRows();
  // TableLoaded: one row of "Name", "Type", "Default", "Allow Nulls" per column.
  void AddProperties(const job::TableInfo& table);
  // ShowViewSql / ShowTriggerSql: the text box emptied, then set to `sql`.
  void ShowSql(const std::string& sql);

  CMyTab* Tab() const { return tab_; }
  CMyListCtrl* Grid() const { return grid_; }
  CGridModel* GridModel() const { return gridModel_; }
  CMyListCtrl* Properties() const { return properties_; }
  CMyRichEditCtl* SqlText() const { return sql_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void DestroyControls();
  // TabChanged: the busy rule of "Table Properties".
  void TabChanged(int index);
  void FitPropertyColumns();

  job::RepairState& state_;
  Page page_ = Page::Empty;
  CMyTab* tab_ = nullptr;
  CMyListCtrl* grid_ = nullptr;
  CGridModel* gridModel_ = nullptr;
  CMyListCtrl* properties_ = nullptr;
  QStandardItemModel* propertyModel_ = nullptr;
  CMyRichEditCtl* sql_ = nullptr;
};

}  // namespace workspace
