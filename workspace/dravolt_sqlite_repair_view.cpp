#include "workspace/dravolt_sqlite_repair_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyle>

#include <algorithm>

#include "workspace/grid_model.h"
#include "workspace/icons.h"
#include "workspace/my_list_ctrl.h"
#include "workspace/my_rich_edit_ctl.h"
#include "workspace/my_tab.h"

namespace workspace {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CDravoltSqliteRepairView::CDravoltSqliteRepairView(job::RepairState& state, QWidget* parent)
    : QWidget(parent), state_(state) {
  setObjectName(QStringLiteral("CDravoltSqliteRepairView"));
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
}

CDravoltSqliteRepairView::~CDravoltSqliteRepairView() = default;

void CDravoltSqliteRepairView::DestroyControls() {
  delete tab_;  // the page's controls are its children
  tab_ = nullptr;
  grid_ = nullptr;
  gridModel_ = nullptr;
  properties_ = nullptr;
  propertyModel_ = nullptr;
  sql_ = nullptr;
}

void CDravoltSqliteRepairView::ClearPage() {
  DestroyControls();
  page_ = Page::Empty;
  update();
}

void CDravoltSqliteRepairView::ResetView() {
  if (gridModel_) gridModel_->SetColumns({});
  ClearPage();
}

void CDravoltSqliteRepairView::BuildPage(Page page) {
  DestroyControls();
  page_ = page;
  if (page == Page::Empty) {
    update();
    return;
  }
  tab_ = new CMyTab([this] { return state_.workerBusy != 0; }, this);
  tab_->setGeometry(rect());
  switch (page) {
    case Page::Table: {
      tab_->AddTab(QStringLiteral("Table Data"));
      tab_->AddTab(QStringLiteral("Table Properties"));
      grid_ = new CMyListCtrl(tab_);
      grid_->setObjectName(QStringLiteral("RecordGrid"));
      gridModel_ = new CGridModel(grid_);
      grid_->setModel(gridModel_);
      tab_->AddContent(grid_);
      properties_ = new CMyListCtrl(tab_);
      properties_->setObjectName(QStringLiteral("PropertyList"));
      propertyModel_ = new QStandardItemModel(0, 4, properties_);
      propertyModel_->setHorizontalHeaderLabels(
          {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Default"), QStringLiteral("Allow Nulls")});
      properties_->setModel(propertyModel_);
      tab_->AddContent(properties_);
      properties_->hide();
      break;
    }
    case Page::View:
    case Page::Trigger:
      tab_->AddTab(page == Page::View ? QStringLiteral("View SQL Query") : QStringLiteral("Trigger SQL Query"));
      sql_ = new CMyRichEditCtl(tab_);
      tab_->AddContent(sql_);
      break;
    case Page::Index:
      tab_->AddTab(QStringLiteral("Columns"));
      break;
    case Page::Empty:
      break;
  }
  connect(tab_, &CMyTab::TabChanged, this, &CDravoltSqliteRepairView::TabChanged);
  tab_->SelectQuietly(0);
  tab_->show();
  FitPropertyColumns();
}

void CDravoltSqliteRepairView::TabChanged(int index) {
  if (page_ == Page::Table) {
    if (index == 0) {
      grid_->show();
      properties_->hide();
    } else if (state_.workerBusy == 0) {
      grid_->hide();
      properties_->show();
    } else {
      // While a job runs the properties are not complete: the grid stays, and so
      // does its header.
      tab_->SelectQuietly(0);
    }
  } else if (page_ == Page::View && index == 0) {
    sql_->show();
  }
}

void CDravoltSqliteRepairView::SetGridColumns(const std::vector<std::string>& names) {
  if (!gridModel_) return;
  QStringList titles;
  for (const std::string& name : names) titles.append(FromUtf8(name));
  gridModel_->SetColumns(titles);
  if (titles.isEmpty()) return;  // a table without columns: an empty grid
  // The view's width less the grid's frame and the vertical scroll bar the rows
  // will bring: the columns fill the grid without a horizontal scroll bar.
  const int client = width() - 2 * grid_->frameWidth() - grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int width = std::max(kMinimumColumnWidth, static_cast<int>(client / titles.size()));
  // One default size instead of a call per column: a table may have thousands.
  grid_->horizontalHeader()->setDefaultSectionSize(width);
  for (int column = 0; column < titles.size(); ++column) grid_->setColumnWidth(column, width);
}

bool CDravoltSqliteRepairView::AddGridCell(const job::GridCell& cell) {
  if (!gridModel_ || gridModel_->columnCount() == 0) return false;
  return gridModel_->AppendCell(cell.column, cell.value.kind, cell.text);
}

bool CDravoltSqliteRepairView::CommitGrid() {
  if (!gridModel_ || !gridModel_->CommitRows()) return false;
  grid_->scrollToBottom();
  return true;
}

int CDravoltSqliteRepairView::GridColumnCount() const { return gridModel_ ? gridModel_->columnCount() : 0; }

void CDravoltSqliteRepairView::ClearGridRows() {
  if (gridModel_) gridModel_->ClearRows();
}

void CDravoltSqliteRepairView::AddProperties(const job::TableInfo& table) {
  if (!propertyModel_) return;
  for (const job::ColumnInfo& column : table.columns) {
    // "seq" and "stat" are the types of the internal tables' columns, not a user's.
    const bool internalType = column.declaredType == "seq" || column.declaredType == "stat";
    const QList<QStandardItem*> row = {
        new QStandardItem(FromUtf8(column.name)),
        new QStandardItem(internalType ? QString() : FromUtf8(column.declaredType)),
        new QStandardItem(column.hasDefault ? QStringLiteral("Default Present") : QStringLiteral("Default Not Present")),
        new QStandardItem(column.notNull || column.primaryKey ? QStringLiteral("No") : QStringLiteral("Yes")),
    };
    for (QStandardItem* item : row) item->setEditable(false);
    propertyModel_->appendRow(row);
  }
}

void CDravoltSqliteRepairView::ShowSql(const std::string& sql) {
  if (!sql_) return;
  sql_->clear();
  sql_->setPlainText(FromUtf8(sql));
}

void CDravoltSqliteRepairView::FitPropertyColumns() {
  if (!properties_) return;
  const int width = std::max(kMinimumColumnWidth, properties_->viewport()->width() / 5);
  for (int column = 0; column < 4; ++column) properties_->setColumnWidth(column, width);
}

void CDravoltSqliteRepairView::resizeEvent(QResizeEvent*) {
  if (tab_) tab_->setGeometry(rect());
  FitPropertyColumns();
}

void CDravoltSqliteRepairView::paintEvent(QPaintEvent*) {
  if (page_ != Page::Empty) return;
  QPainter painter(this);
  const QSize size(360, 240);
  painter.drawPixmap(QPoint(0, 0), ProgramPicture(QStringLiteral("empty-page"), size));
}

}  // namespace workspace
