// The record grid's model: rows kept compactly across chunks, shown in batches,
// checked by Qt's own model tester through every change.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>

#include <string>

#include "workspace/grid_model.h"

namespace {

using workspace::CGridModel;
using Kind = job::Value::Kind;

TEST(GridModelTest, RowsAppearAtCommitAndReadBackExactlyAcrossChunks) {
  CGridModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.SetColumns({"id", "text", "blob"});
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

  // Long and short cells, so that rows cross the 1 MB chunks and one cell is larger
  // than a chunk.
  const std::string huge(3 << 20, 'h');
  auto textOf = [&](int row) { return row == 7 ? huge : std::string(static_cast<size_t>(row % 700), 'a' + row % 26); };
  constexpr int kRows = 6000;
  for (int row = 0; row < kRows; ++row) {
    model.AppendCell(0, Kind::Integer, std::to_string(row));
    model.AppendCell(1, Kind::Text, textOf(row));
    model.AppendCell(2, row % 3 ? Kind::Blob : Kind::Null, row % 3 ? "x'00FF'" : "null");
  }
  EXPECT_EQ(model.rowCount(), 0) << "nothing shows before the commit";
  EXPECT_EQ(model.CompleteRows(), kRows);
  EXPECT_TRUE(model.CommitRows());
  EXPECT_EQ(inserted.count(), 1) << "one insertion for the whole batch";
  ASSERT_EQ(model.rowCount(), kRows);
  for (int row : {0, 1, 7, 8, 1499, 2999, kRows - 1}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(model.index(row, 0).data().toString().toStdString(), std::to_string(row));
    EXPECT_EQ(model.CellText(row, 1).toStdString(), textOf(row));
    EXPECT_EQ(model.index(row, 2).data(CGridModel::kKindRole).toInt(),
              static_cast<int>(row % 3 ? Kind::Blob : Kind::Null));
  }
  // The display shortens what no cell can show; the full text stays for copying.
  const QString shown = model.index(7, 1).data().toString();
  EXPECT_EQ(shown.size(), CGridModel::kDisplayLimit + 1);
  EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
  EXPECT_EQ(model.index(7, 1).data(CGridModel::kFullTextRole).toString().size(), static_cast<qsizetype>(huge.size()));
  EXPECT_TRUE(model.index(0, 2).data(Qt::FontRole).value<QFont>().italic());
  EXPECT_FALSE(model.index(1, 2).data(Qt::FontRole).isValid());
  EXPECT_FALSE(model.CommitRows()) << "nothing new";

  model.ClearRows();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.CompleteRows(), 0);
  model.SetColumns({});
  EXPECT_EQ(model.columnCount(), 0);
}

TEST(GridModelTest, APartRowIsShownAndCompletedLaterAndStrayCellsAreIgnored) {
  CGridModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.SetColumns({"a", "b"});
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.AppendCell(1, Kind::Text, "no row yet");  // a cell before any row starts
  model.AppendCell(0, Kind::Integer, "1");
  model.AppendCell(0, Kind::Integer, "2");
  EXPECT_TRUE(model.CommitRows());
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.CompleteRows(), 0);
  EXPECT_EQ(model.index(1, 1).data().toString(), "") << "not arrived yet";
  model.AppendCell(1, Kind::Text, "two");
  model.AppendCell(2, Kind::Text, "past the last column");
  model.AppendCell(1, Kind::Text, "a second b");
  EXPECT_TRUE(model.CommitRows());
  EXPECT_EQ(changed.count(), 1) << "the part row is redrawn";
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.CompleteRows(), 1);
  EXPECT_EQ(model.index(0, 1).data().toString(), "");
  EXPECT_EQ(model.index(1, 1).data().toString(), "two");
}

}  // namespace
