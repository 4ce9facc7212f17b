// The record grid's model: rows kept compactly across chunks, shown in batches,
// checked by Qt's own model tester through every change.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>

#include <iterator>
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

TEST(GridModelTest, TheDisplayShortensLongTextsWithoutSplittingACharacter) {
  const int limit = CGridModel::kDisplayLimit;
  const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // two UTF-16 units
  const QString ellipsis(QChar(0x2026));
  struct Case {
    const char* name;
    QString text;
    QString shown;
  } cases[] = {
      {"short", "abc", "abc"},
      {"exactly the limit", QString(limit, 'a'), QString(limit, 'a')},
      {"one past the limit", QString(limit + 1, 'a'), QString(limit, 'a') + ellipsis},
      {"a pair across the limit", QString(limit - 1, 'a') + smile + "b", QString(limit - 1, 'a') + ellipsis},
      {"a pair ending at the limit", QString(limit - 2, 'a') + smile + "b", QString(limit - 2, 'a') + smile + ellipsis},
  };
  CGridModel model;
  model.SetColumns({"t"});
  for (const Case& c : cases) model.AppendCell(0, Kind::Text, c.text.toStdString());
  model.CommitRows();
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    SCOPED_TRACE(cases[row].name);
    EXPECT_EQ(model.index(row, 0).data().toString(), cases[row].shown);
    EXPECT_EQ(model.index(row, 0).data(CGridModel::kFullTextRole).toString(), cases[row].text);
  }
}

TEST(GridModelTest, ARowWiderThanSixteenBitsCompletesAndReadsBackInOnePass) {
  // A damaged CREATE text may declare any number of columns.
  constexpr int kColumns = 70000;
  CGridModel model;
  QStringList names;
  for (int column = 0; column < kColumns; ++column) names.append(QString::number(column));
  model.SetColumns(names);
  bool completed = false;
  for (int column = 0; column < kColumns; ++column) {
    completed = model.AppendCell(column, column % 2 ? Kind::Null : Kind::Integer,
                                 column % 2 ? "null" : std::to_string(column));
    ASSERT_EQ(completed, column == kColumns - 1) << column;
  }
  EXPECT_EQ(model.CompleteRows(), 1);
  ASSERT_TRUE(model.CommitRows());
  const QStringList texts = model.RowTexts(0);
  ASSERT_EQ(texts.size(), kColumns);
  EXPECT_EQ(texts[0], "0");
  EXPECT_EQ(texts[1], "") << "a NULL copies as nothing";
  EXPECT_EQ(texts[kColumns - 2], QString::number(kColumns - 2));
  EXPECT_EQ(model.CellText(0, kColumns - 1), "null");
  EXPECT_TRUE(model.RowTexts(1).isEmpty()) << "no such row";
}

}  // namespace
