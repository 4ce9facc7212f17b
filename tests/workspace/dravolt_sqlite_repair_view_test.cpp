// The record view: a click on a leaf builds its page, the show-object job fills
// it; the busy rule of "Table Properties"; the SQL pages; Copy; the guards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QHeaderView>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "job/contract/message_texts.h"
#include "tests/fixture/fixture_db.h"
#include "tests/workspace/frame_fixture.h"
#include "workspace/dravolt_sqlite_repair_view.h"
#include "workspace/grid_model.h"
#include "workspace/my_list_ctrl.h"
#include "workspace/my_rich_edit_ctl.h"
#include "workspace/my_tab.h"

namespace {

using workspace::CDravoltSqliteRepairView;
using workspace::CGridModel;
using workspace_test::Frame;
using Page = CDravoltSqliteRepairView::Page;

std::string Sample(const QTemporaryDir& dir) {
  const std::string path = dir.filePath("sample.db").toStdString();
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE three(id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT 'x', note);"
                         "CREATE TABLE kinds(a seq, b stat, c SEQ, d);"
                         "CREATE VIEW abcview AS SELECT 1 AS first;"
                         "CREATE VIEW xyzview AS SELECT 2 AS second;"
                         "CREATE TRIGGER keep AFTER INSERT ON three BEGIN SELECT 1; END;"
                         "INSERT INTO three VALUES(1, 'pen', NULL), (2, 'ink', 'null');");
  // Two views whose names differ only in case, which SQLite itself would refuse.
  EXPECT_GT(fixture::ReplaceBytes(path, "xyzview", "ABCVIEW"), 0);
  return path;
}

struct ViewFrame : Frame {
  QTemporaryDir dir;
  CDravoltSqliteRepairView* view = nullptr;
  ViewFrame() {
    frame->resize(1000, 700);
    frame->show();
    view = frame->RecordView();
    EXPECT_TRUE(frame->StartRepair(QString::fromStdString(Sample(dir)), false));
    WaitForJob();
  }
  QTreeWidgetItem* Leaf(const char* category, const QString& name) {
    QTreeWidgetItem* node = frame->Tree()->Category(QString::fromLatin1(category));
    if (!node) return nullptr;
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i) {
      if (node->child(i)->text(0) == name) return node->child(i);
    }
    return nullptr;
  }
  // A click on the label of `item`, as a user makes it, and the job it starts.
  void ClickLabel(QTreeWidgetItem* item) {
    workspace::CLeftView* tree = frame->Tree();
    tree->scrollToItem(item);
    const QRect mark = tree->MarkRect(item);
    const QRect row = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(mark.right() + 40, row.center().y()));
    WaitForJob();
  }
  QStringList Row(int row) const {
    QStringList cells;
    for (int c = 0; c < view->GridModel()->columnCount(); ++c) {
      cells << view->GridModel()->index(row, c).data().toString();
    }
    return cells;
  }
};

TEST(RecordViewTest, ATableLeafShowsItsRecordsThenItsProperties) {
  ViewFrame f;
  ASSERT_EQ(f.view->CurrentPage(), Page::Empty);
  QTreeWidgetItem* three = f.Leaf("Tables", "three");
  ASSERT_NE(three, nullptr);
  ASSERT_NO_FATAL_FAILURE(f.ClickLabel(three));

  ASSERT_EQ(f.view->CurrentPage(), Page::Table);
  EXPECT_EQ(f.view->Tab()->Bar()->count(), 2);
  EXPECT_EQ(f.view->Tab()->Bar()->tabText(0), "Table Data");
  EXPECT_EQ(f.view->Tab()->Bar()->tabText(1), "Table Properties");
  CGridModel* model = f.view->GridModel();
  ASSERT_EQ(model->columnCount(), 3);
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "name");
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(f.Row(0), (QStringList{"1", "pen", "null"}));
  EXPECT_EQ(f.Row(1), (QStringList{"2", "ink", "null"}));
  EXPECT_EQ(f.frame->RecordCountText(), " Records :    00000002");
  // A NULL and a stored text "null" read alike and are drawn apart.
  const QModelIndex storedNull = model->index(0, 2);
  const QModelIndex storedText = model->index(1, 2);
  EXPECT_TRUE(storedNull.data(Qt::FontRole).value<QFont>().italic());
  EXPECT_TRUE(storedNull.data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(storedText.data(Qt::FontRole).isValid());
  EXPECT_TRUE(f.view->Grid()->isVisible());
  EXPECT_FALSE(f.view->Properties()->isVisible());
  EXPECT_GE(f.view->Grid()->columnWidth(0), CDravoltSqliteRepairView::kMinimumColumnWidth);

  // The properties: NOT NULL and the primary key do not allow NULL, a plain column does.
  QTest::mouseClick(f.view->Tab()->Bar(), Qt::LeftButton, {}, f.view->Tab()->Bar()->tabRect(1).center());
  EXPECT_TRUE(f.view->Properties()->isVisible());
  EXPECT_FALSE(f.view->Grid()->isVisible());
  QAbstractItemModel* properties = f.view->Properties()->model();
  ASSERT_EQ(properties->rowCount(), 3);
  auto property = [&](int row) {
    QStringList cells;
    for (int c = 0; c < 4; ++c) cells << properties->index(row, c).data().toString();
    return cells;
  };
  EXPECT_EQ(property(0), (QStringList{"id", "INTEGER", "Default Not Present", "No"}));
  EXPECT_EQ(property(1), (QStringList{"name", "TEXT", "Default Present", "No"}));
  EXPECT_EQ(property(2), (QStringList{"note", "", "Default Not Present", "Yes"}));
  QTest::mouseClick(f.view->Tab()->Bar(), Qt::LeftButton, {}, f.view->Tab()->Bar()->tabRect(0).center());
  EXPECT_TRUE(f.view->Grid()->isVisible());

  // The types of the internal tables read empty, only as written in lower case.
  ASSERT_NO_FATAL_FAILURE(f.ClickLabel(f.Leaf("Tables", "kinds")));
  properties = f.view->Properties()->model();
  ASSERT_EQ(properties->rowCount(), 4);
  EXPECT_EQ(properties->index(0, 1).data().toString(), "");
  EXPECT_EQ(properties->index(1, 1).data().toString(), "");
  EXPECT_EQ(properties->index(2, 1).data().toString(), "SEQ");
  EXPECT_EQ(f.frame->RecordCountText(), " Records :    00000000");
}

TEST(RecordViewTest, TablePropertiesWaitWhileAJobRunsAndTableDataNever) {
  ViewFrame f;
  ASSERT_NO_FATAL_FAILURE(f.ClickLabel(f.Leaf("Tables", "three")));
  QTabBar* bar = f.view->Tab()->Bar();
  f.state.workerBusy = 1;  // as while a job runs
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(bar->currentIndex(), 0) << "the click is ignored";
  bar->setCurrentIndex(1);  // however the tab is picked, the grid stays
  EXPECT_EQ(bar->currentIndex(), 0);
  EXPECT_TRUE(f.view->Grid()->isVisible());
  EXPECT_FALSE(f.view->Properties()->isVisible());
  f.state.workerBusy = 0;
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(bar->currentIndex(), 1);
  EXPECT_TRUE(f.view->Properties()->isVisible());
}

TEST(RecordViewTest, ViewsMatchWithoutCaseTheFirstWinningAndTriggersShowTheirText) {
  ViewFrame f;
  struct Case {
    const char* category;
    QString name;
    Page page;
    const char* tab;
    const char* text;
  } cases[] = {
      {"Views", "abcview", Page::View, "View SQL Query", "CREATE VIEW abcview AS SELECT 1 AS first"},
      {"Views", "ABCVIEW", Page::View, "View SQL Query", "CREATE VIEW abcview AS SELECT 1 AS first"},
      {"Triggers", "keep", Page::Trigger, "Trigger SQL Query",
       "CREATE TRIGGER keep AFTER INSERT ON three BEGIN SELECT 1; END"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    QTreeWidgetItem* leaf = f.Leaf(c.category, c.name);
    ASSERT_NE(leaf, nullptr);
    ASSERT_NO_FATAL_FAILURE(f.ClickLabel(leaf));
    ASSERT_EQ(f.view->CurrentPage(), c.page);
    EXPECT_EQ(f.view->Tab()->Bar()->tabText(0), c.tab);
    ASSERT_NE(f.view->SqlText(), nullptr);
    EXPECT_EQ(f.view->SqlText()->toPlainText(), c.text);
    EXPECT_TRUE(f.view->SqlText()->isReadOnly());
  }

  // The text is selected and copied with the usual keys; typing changes nothing.
  workspace::CMyRichEditCtl* sql = f.view->SqlText();
  sql->setFocus();
  QTest::keyClick(sql, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(sql, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), sql->toPlainText());
  QTest::keyClicks(sql, "x");
  EXPECT_EQ(sql->toPlainText(), "CREATE TRIGGER keep AFTER INSERT ON three BEGIN SELECT 1; END");

  // A category's label empties the view; so does the workspace reset.
  QTest::mouseClick(f.frame->Tree()->viewport(), Qt::LeftButton, {},
                    f.frame->Tree()->visualItemRect(f.frame->Tree()->Category("Tables")).center());
  EXPECT_EQ(f.view->CurrentPage(), Page::Empty);
  EXPECT_FALSE(f.frame->JobRunning()) << "no job for a category";
  ASSERT_NO_FATAL_FAILURE(f.ClickLabel(f.Leaf("Tables", "three")));
  f.frame->ResetWorkspace();
  EXPECT_EQ(f.view->CurrentPage(), Page::Empty);
  EXPECT_EQ(f.view->Tab(), nullptr);
}

TEST(RecordViewTest, CopyTakesTheSelectedRowsAndTheMenuOffersNoEditing) {
  ViewFrame f;
  ASSERT_NO_FATAL_FAILURE(f.ClickLabel(f.Leaf("Tables", "three")));
  workspace::CMyListCtrl* grid = f.view->Grid();
  grid->setFocus();
  grid->selectRow(1);
  QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "2\tink\tnull\n") << "a stored text null";
  grid->selectAll();
  EXPECT_EQ(grid->SelectedText(), "1\tpen\t\n2\tink\tnull\n") << "a NULL copies as an empty field";

  QMenu* menu = grid->EditMenu();
  EXPECT_EQ(menu->title(), "Edit");
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text(), "Cu&t\tCtrl+X");
  EXPECT_FALSE(actions[0]->isEnabled());
  EXPECT_EQ(actions[1]->text(), "&Copy\tCtrl+C");
  EXPECT_TRUE(actions[1]->isEnabled());
  EXPECT_EQ(actions[2]->text(), "&Paste\tCtrl+V");
  EXPECT_FALSE(actions[2]->isEnabled());
  grid->clearSelection();
  grid->selectRow(0);
  actions[1]->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "1\tpen\t\n");
}

TEST(RecordViewTest, StopEndsALargeTableWhileItLoadsAndOtherClicksWait) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("large.db").toStdString();
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE large(id INTEGER PRIMARY KEY, a, b, c);"
                         "CREATE TABLE small(x);"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 300000)"
                         " INSERT INTO large SELECT i, i * 3, 'text ' || i, randomblob(6) FROM k;");
  Frame f;
  f.frame->resize(1000, 700);
  f.frame->show();
  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(path), false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  workspace::CLeftView* tree = f.frame->Tree();
  QTreeWidgetItem* tables = tree->Category("Tables");
  ASSERT_EQ(tables->childCount(), 2);
  emit tree->LabelClicked(tables->child(0));  // as a click on the label of "large"
  CGridModel* model = f.frame->RecordView()->GridModel();
  ASSERT_NE(model, nullptr);
  // The first rows show while the worker reads on; it can be at most one stage of
  // cells ahead of the window, so the table is far from read.
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount() > 0; }, 10000));
  ASSERT_TRUE(f.frame->JobRunning());

  // A click on another table while this one loads changes nothing.
  const QRect small = tree->visualItemRect(tables->child(1));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, small.center());
  EXPECT_EQ(f.frame->RecordView()->GridModel(), model) << "the page stays";
  EXPECT_NE(tree->currentItem(), tables->child(1));

  f.dialogs.answers = {job::DialogAnswer::Yes};
  f.frame->Stop();
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_LT(model->rowCount(), 300000);
  EXPECT_EQ(f.dialogs.shown.back(), job::kStoppedByUserText);
}

TEST(RecordViewTest, ATableWithoutColumnsGivesAnEmptyGrid) {
  job::RepairState state;
  CDravoltSqliteRepairView view(state);
  view.resize(600, 400);
  view.BuildPage(Page::Table);
  view.SetGridColumns({});
  EXPECT_EQ(view.GridColumnCount(), 0);
  job::GridCell cell;
  cell.text = "1";
  EXPECT_FALSE(view.AddGridCell(cell)) << "a cell has no column to go to";
  EXPECT_FALSE(view.CommitGrid());
  EXPECT_EQ(view.GridModel()->rowCount(), 0);

  // Without a page nothing is built and nothing breaks.
  view.ClearPage();
  view.SetGridColumns({"a"});
  EXPECT_FALSE(view.AddGridCell(cell));
  view.AddProperties(job::TableInfo{});
  view.ShowSql("CREATE VIEW v AS SELECT 1");
  EXPECT_EQ(view.CurrentPage(), Page::Empty);
}

}  // namespace
