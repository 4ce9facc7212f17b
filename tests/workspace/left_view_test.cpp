// The object tree: what a repair puts in it, how check marks propagate, and what
// presses do while a job runs.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "workspace/left_view.h"

namespace {

using workspace::CLeftView;
using workspace::MarkOf;

job::ObjectListing Listing(std::vector<std::string> tables, std::vector<std::string> views = {},
                           std::vector<std::string> triggers = {}) {
  job::ObjectListing listing;
  for (auto& t : tables) listing.tables.push_back({t, t.find("(deleted)") != std::string::npos, 2, {}});
  for (auto& v : views) listing.views.push_back({v, "", ""});
  for (auto& t : triggers) listing.triggers.push_back({t, "", "a"});
  return listing;
}

QStringList Leaves(const CLeftView& tree, const QString& category) {
  QStringList names;
  if (QTreeWidgetItem* c = tree.Category(category)) {
    for (int i = 0; i < c->childCount(); ++i) names << c->child(i)->text(0);
  }
  return names;
}

// Presses the left button on `item`'s mark, or on its label.
void Press(CLeftView& tree, QTreeWidgetItem* item, bool onMark) {
  const QRect label = tree.visualRect(tree.indexFromItem(item));
  const QPoint at = onMark ? tree.MarkRect(item).center() : QPoint(label.right() - 3, label.center().y());
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
}

TEST(LeftViewTest, FillListsTheObjectsAndTheDeletedOnesOnlyWithTheOption) {
  const auto listing = Listing({"t", "t(deleted)", "threads(deleted)", "ab(DELETED)", ""}, {"v(deleted)"}, {"tr"});
  for (bool option : {true, false}) {
    SCOPED_TRACE(option ? "with the option" : "without");
    CLeftView tree;
    tree.Fill(listing, "/data/shop.db", option);
    EXPECT_EQ(tree.DatabaseItem()->text(0), "/data/shop.db");
    EXPECT_EQ(Leaves(tree, "Tables"),
              option ? (QStringList{"t", "t(deleted)", "ab(DELETED)"}) : QStringList{"t"});
    EXPECT_EQ(Leaves(tree, "Views"), QStringList{"v(deleted)"}) << "the option is for tables only";
    EXPECT_EQ(Leaves(tree, "Triggers"), QStringList{"tr"});
    EXPECT_EQ(MarkOf(tree.TopItem()), Qt::Checked);
    EXPECT_TRUE(tree.Category("Tables")->isExpanded());
  }
}

TEST(LeftViewTest, ASecondRepairReplacesTheDatabaseItem) {
  CLeftView tree;
  tree.Fill(Listing({"a"}), "/first.db", false);
  tree.Fill(Listing({"b"}), "/second.db", false);
  ASSERT_EQ(tree.TopItem()->childCount(), 1);
  EXPECT_EQ(tree.DatabaseItem()->text(0), "/second.db");
  tree.ResetTree();
  EXPECT_EQ(tree.TopItem()->childCount(), 0);
  EXPECT_EQ(tree.topLevelItemCount(), 1) << "the top item stays";
}

TEST(LeftViewTest, MarksPropagateDownAndUp) {
  CLeftView tree;
  tree.resize(400, 400);
  tree.show();
  tree.Fill(Listing({"a", "b", "c"}, {"v"}, {"tr"}), "/x.db", false);
  QTreeWidgetItem* tables = tree.Category("Tables");
  Press(tree, tables->child(1), true);
  EXPECT_EQ(tree.CheckedLeaves("Tables"), (QStringList{"a", "c"}));
  for (QTreeWidgetItem* i : {tables, tree.DatabaseItem(), tree.TopItem()}) EXPECT_EQ(MarkOf(i), Qt::PartiallyChecked);
  Press(tree, tables->child(0), true);
  Press(tree, tables->child(2), true);
  EXPECT_EQ(MarkOf(tables), Qt::Unchecked);
  EXPECT_EQ(MarkOf(tree.DatabaseItem()), Qt::PartiallyChecked) << "views and triggers are still checked";
  Press(tree, tables, true);
  EXPECT_EQ(tree.CheckedLeaves("Tables"), (QStringList{"a", "b", "c"}));
  EXPECT_EQ(MarkOf(tree.TopItem()), Qt::Checked);
  // A partly checked item becomes unchecked with everything under it.
  Press(tree, tables->child(1), true);
  Press(tree, tree.DatabaseItem(), true);
  EXPECT_TRUE(tree.CheckedLeaves("Views").isEmpty());
  EXPECT_EQ(MarkOf(tree.TopItem()), Qt::Unchecked);
}

TEST(LeftViewTest, PressesWhileAJobRunsChangeNothing) {
  CLeftView tree;
  tree.resize(400, 400);
  tree.show();
  tree.Fill(Listing({"a", "b"}), "/x.db", false);
  QSignalSpy labels(&tree, &CLeftView::LabelClicked);
  QTreeWidgetItem* a = tree.Category("Tables")->child(0);
  tree.SetBusy(true);
  Press(tree, a, true);
  Press(tree, a, false);
  QTest::keyClick(tree.viewport(), Qt::Key_Space);
  EXPECT_EQ(MarkOf(a), Qt::Checked);
  EXPECT_EQ(labels.count(), 0);
  EXPECT_NE(tree.currentItem(), a) << "not even the selection moves";
  tree.SetBusy(false);
  Press(tree, a, false);
  ASSERT_EQ(labels.count(), 1);
  EXPECT_EQ(tree.currentItem(), a);
  EXPECT_EQ(MarkOf(a), Qt::Checked) << "a label press leaves the mark";
}

TEST(LeftViewTest, MarksClearedAfterASave) {
  CLeftView tree;
  tree.Fill(Listing({"a", "b"}, {"v"}), "/x.db", false);
  tree.UncheckSaved("b");
  EXPECT_EQ(tree.CheckedLeaves("Tables"), QStringList{"a"});
  EXPECT_EQ(MarkOf(tree.Category("Tables")), Qt::Checked) << "ancestors keep their marks";
  tree.ClearMarks();
  EXPECT_EQ(MarkOf(tree.TopItem()), Qt::Unchecked);
  EXPECT_TRUE(tree.CheckedLeaves("Views").isEmpty());
  tree.CheckTopItem();
  EXPECT_EQ(MarkOf(tree.TopItem()), Qt::Checked);
}

}  // namespace
