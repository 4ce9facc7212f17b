// Times the object tree's fill for a database of 5,000 tables (from RepairDone to a
// painted tree) against a plain QTreeWidget given the same 5,000 items and painted
// once, in the same run. Offscreen unless QT_QPA_PLATFORM says otherwise. Not a test.
//
//   bench_tree_fill
#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>

#include <cstdio>

#include "bench/bench_timing.h"
#include "workspace/left_view.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  constexpr int kTables = 5000;
  job::ObjectListing listing;
  for (int i = 0; i < kTables; ++i) {
    listing.tables.push_back({"table_number_" + std::to_string(i), false, i + 2, {}});
  }
  listing.views.push_back({"a_view", "CREATE VIEW a_view AS SELECT 1", ""});

  const double plain = bench::BestSeconds(5, [&] {
    QTreeWidget tree;
    tree.resize(300, 700);
    QList<QTreeWidgetItem*> items;
    for (const auto& t : listing.tables) items << new QTreeWidgetItem({QString::fromStdString(t.name)});
    tree.addTopLevelItems(items);
    tree.grab();
  });
  const double fill = bench::BestSeconds(5, [&] {
    workspace::CLeftView tree;
    tree.resize(300, 700);
    tree.Fill(listing, "/data/many-tables.db", true);
    tree.grab();
  });
  std::printf("plain QTreeWidget, %d items, painted: %8.4f s\n", kTables, plain);
  std::printf("CLeftView::Fill, %d tables, painted:   %8.4f s  = %.2fx the plain tree\n", kTables, fill,
              fill / plain);
  return 0;
}
