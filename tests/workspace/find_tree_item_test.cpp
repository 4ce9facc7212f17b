// The Find Tree Item bar: its enabling rule, and the search through the tree's
// visible items, with and without Match Case.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "tests/fixture/fixture_db.h"
#include "tests/workspace/frame_fixture.h"
#include "workspace/color_button.h"
#include "workspace/find_tree_item.h"
#include "workspace/symbol_edit.h"

namespace {

using workspace::CFindTreeItem;
using workspace::FindTreeItem;
using workspace_test::Frame;

// The tree as a repair leaves it: title, database, "Tables" with `tables`.
struct Tree {
  QTreeWidget tree;
  QTreeWidgetItem* top = new QTreeWidgetItem(&tree, {QStringLiteral("Dravolt Kestrun Repair for SQLite")});
  QTreeWidgetItem* database = new QTreeWidgetItem(top, {QStringLiteral("/data/shop.db")});
  QTreeWidgetItem* tables = new QTreeWidgetItem(database, {QStringLiteral("Tables")});
  explicit Tree(const QStringList& names) {
    for (const QString& name : names) new QTreeWidgetItem(tables, {name});
    tree.expandAll();
  }
  QString Find(const QString& text, bool matchCase, bool next) {
    QTreeWidgetItem* item = FindTreeItem(tree, text, matchCase, next);
    if (item) tree.setCurrentItem(item);
    return item ? item->text(0) : QStringLiteral("(none)");
  }
};

TEST(FindTreeItemTest, SearchesVisibleItemsInOrderWithAndWithoutCase) {
  {
    SCOPED_TRACE("Find, then Find Next until nothing is left");
    Tree t({"Orders", "order_items"});
    EXPECT_EQ(t.Find("order", false, false), "Orders");
    EXPECT_EQ(t.Find("order", false, true), "order_items");
    EXPECT_EQ(t.Find("order", false, true), "(none)");
  }
  {
    SCOPED_TRACE("Match Case passes over order_items");
    Tree t({"order_items", "Orders"});
    EXPECT_EQ(t.Find("Order", true, false), "Orders");
  }
  struct Case {
    const char* name;
    QStringList tables;
    QString text;
    bool matchCase;
    QString found;
  } cases[] = {
      {"only the first occurrence is compared", {"orderOrder"}, "Order", true, "(none)"},
      {"without Match Case it matches", {"orderOrder"}, "Order", false, "orderOrder"},
      {"an empty text matches nothing", {"Orders"}, "", false, "(none)"},
      {"a new search starts at the top item", {"repairs"}, "repair", false, "Dravolt Kestrun Repair for SQLite"},
      // "İ" lower-cases to two characters: a position in a lower-cased copy would be
      // off by one for everything after it.
      {"a text whose case mapping changes its length", {"İx_Order"}, "Order", true, "İx_Order"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tree t(c.tables);
    EXPECT_EQ(t.Find(c.text, c.matchCase, false), c.found);
  }
  {
    SCOPED_TRACE("items under a collapsed node are not found");
    Tree t({"Orders"});
    t.tables->setExpanded(false);
    EXPECT_EQ(t.Find("orders", false, false), "(none)");
  }
  {
    SCOPED_TRACE("Find Next from a hidden or no selection starts at the top");
    Tree t({"Orders", "old_orders"});
    t.tree.setCurrentItem(nullptr);
    EXPECT_EQ(t.Find("orders", false, true), "Orders");
    t.tables->setExpanded(false);
    t.tree.setCurrentItem(t.tables->child(1));
    t.tables->setExpanded(true);
    t.tables->child(1)->setHidden(true);
    EXPECT_EQ(t.Find("orders", false, true), "Orders");
  }
}

TEST(FindTreeItemTest, TheBarFollowsTheRepairTheTextAndTheJobs) {
  job::RepairState state;
  CFindTreeItem bar(state);
  workspace::CSymbolEdit* edit = bar.Edit();
  workspace::CColorButton* button = bar.Button();
  EXPECT_FALSE(button->isEnabled());
  edit->setText("orders");
  EXPECT_FALSE(button->isEnabled()) << "no repair has succeeded yet";

  state.repairCompleted = 1;
  edit->setText("order");
  EXPECT_TRUE(button->isEnabled());
  EXPECT_EQ(button->text(), "Find");
  int finds = 0;
  QObject::connect(&bar, &CFindTreeItem::FindItem, [&] { ++finds; });
  bar.MatchCaseBox()->setChecked(true);
  button->click();
  EXPECT_EQ(finds, 1);
  EXPECT_EQ(bar.FindText(), "order");
  EXPECT_TRUE(bar.MatchCase());
  EXPECT_EQ(bar.ClickedCaption(), "Find");
  EXPECT_EQ(button->text(), "Find Next");
  button->click();
  EXPECT_EQ(bar.ClickedCaption(), "Find Next");
  edit->setText("orders");
  EXPECT_EQ(button->text(), "Find") << "a changed text starts again";

  // A save asked for and not finished holds the bar as it is.
  state.saveRequested = 1;
  edit->clear();
  EXPECT_TRUE(button->isEnabled());
  state.saveRequested = 0;

  bar.JobStateChanged(true);
  EXPECT_TRUE(edit->text().isEmpty());
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_FALSE(button->isEnabled());
  EXPECT_FALSE(bar.MatchCaseBox()->isEnabled());
  bar.JobStateChanged(false);
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_TRUE(bar.MatchCaseBox()->isEnabled());
  EXPECT_FALSE(button->isEnabled()) << "Find waits for a text";
}

TEST(FindTreeItemTest, TheFrameSelectsEachMatchThenSaysThereIsNoMore) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("shop.db").toStdString();
  fixture::BuildDatabase(path, {}, "CREATE TABLE Orders(id); CREATE TABLE order_items(id);");
  Frame f;
  f.frame->show();
  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(path), false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  CFindTreeItem* bar = f.frame->FindBar();
  QTest::keyClicks(bar->Edit(), "order");
  ASSERT_TRUE(bar->Button()->isEnabled());
  const size_t dialogs = f.dialogs.shown.size();
  for (const char* expected : {"Orders", "order_items"}) {
    bar->Button()->click();
    ASSERT_NE(f.frame->Tree()->currentItem(), nullptr);
    EXPECT_EQ(f.frame->Tree()->currentItem()->text(0), expected);
    EXPECT_FALSE(f.frame->JobRunning()) << "a found item starts no job";
  }
  EXPECT_EQ(f.dialogs.shown.size(), dialogs);
  bar->Button()->click();
  ASSERT_EQ(f.dialogs.shown.size(), dialogs + 1);
  EXPECT_EQ(f.dialogs.shown.back(), "Search completed.String not found. Try again!");
  EXPECT_EQ(bar->Button()->text(), "Find Next");
}

}  // namespace
