// The result list's header-click sorting and its row colours.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <string>
#include <vector>

#include "shell/db_file_list.h"
#include "shell/file_property.h"

namespace {

using shell::CDBFileList;
using SortType = CDBFileList::SortType;

void ClickHeader(CDBFileList& list, int column) {
  QHeaderView* header = list.horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

// Column 0 holds the cells under test; column 1 a row tag that must travel with it.
// Standard strings, so that a failed comparison prints them readably.
std::vector<std::string> Texts(const QStringList& texts) {
  std::vector<std::string> result;
  for (const QString& text : texts) result.push_back(text.toStdString());
  return result;
}

std::vector<std::string> Column(const CDBFileList& list, int column) {
  QStringList cells;
  for (int row = 0; row < list.rowCount(); ++row) cells.append(list.CellText(row, column));
  return Texts(cells);
}

QString Stamp(int year, int month, int day, int hour = 0, int minute = 0) {
  return shell::FileTimeText(QDateTime(QDate(year, month, day), QTime(hour, minute)));
}

// The cells of column 0 after `clicks` clicks on its header; each row's tag in
// column 1 must travel with it.
std::vector<std::string> SortedAfterClicks(SortType type, int flags, const QStringList& cells, int clicks) {
  CDBFileList list;
  list.AddColumn(QStringLiteral("Cell"), 120, type);
  list.AddColumn(QStringLiteral("Tag"), 60, SortType::Text);
  list.SetColumnSortFlags(0, flags);
  for (const QString& cell : cells) list.AddRow({cell, cell + "#tag"});
  list.show();
  for (int click = 0; click < clicks; ++click) ClickHeader(list, 0);
  const std::vector<std::string> sorted = Column(list, 0);
  std::vector<std::string> tags;
  for (const std::string& cell : sorted) tags.push_back(cell + "#tag");
  EXPECT_EQ(Column(list, 1), tags);
  EXPECT_EQ(list.SortedColumn(), flags == 0 ? -1 : 0);
  return sorted;
}

TEST(DBFileListTest, HeaderClicksSortByTheColumnsType) {
  struct Case {
    const char* name;
    SortType type;
    int flags;
    QStringList cells;
    int clicks;
    QStringList sorted;
  } cases[] = {
      {"integer: 9 before 10", SortType::Integer, CDBFileList::kSortToggles, {"10", "9", "100"}, 1,
       {"9", "10", "100"}},
      {"integer, second click reverses", SortType::Integer, CDBFileList::kSortToggles, {"10", "9", "100"}, 2,
       {"100", "10", "9"}},
      {"integer: the leading number, none is 0", SortType::Integer, CDBFileList::kSortToggles,
       {"12 KB", "x", " 3", "-4"}, 1, {"-4", "x", " 3", "12 KB"}},
      {"text: character codes, B before a", SortType::Text, CDBFileList::kSortToggles,
       {"a.db", "C.db", "B.db"}, 1, {"B.db", "C.db", "a.db"}},
      {"text, third click ascends again", SortType::Text, CDBFileList::kSortToggles, {"b", "a", "c"}, 3,
       {"a", "b", "c"}},
      {"equal values keep their order", SortType::None, CDBFileList::kSortToggles, {"b", "c", "a"}, 1,
       {"b", "c", "a"}},
      {"fixed direction never toggles", SortType::Text, CDBFileList::kSortAscending, {"b", "c", "a"}, 2,
       {"a", "b", "c"}},
      {"not sortable", SortType::Text, 0, {"b", "c", "a"}, 2, {"b", "c", "a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SortedAfterClicks(c.type, c.flags, c.cells, c.clicks), Texts(c.sorted));
  }
}

TEST(DBFileListTest, DateTimeSortsByTheMomentInEveryLocale) {
  const QLocale saved;
  for (const char* name : {"C", "en_US", "de_DE"}) {
    SCOPED_TRACE(name);
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    const QString y1999 = Stamp(1999, 12, 31, 23, 59);
    const QString y2001 = Stamp(2001, 5, 6);  // midnight: the date alone
    const QString y2001Morning = Stamp(2001, 5, 6, 7, 8);
    const QString y2001Evening = Stamp(2001, 5, 6, 19, 8);
    struct Case {
      const char* name;
      QStringList cells;
      int clicks;
      QStringList sorted;
    } cases[] = {
        {"ascending, undated first", {y2001Evening, "", y1999, y2001Morning, "n/a", y2001}, 1,
         {"", "n/a", y1999, y2001, y2001Morning, y2001Evening}},
        {"descending, undated last", {y2001Morning, "", y1999}, 2, {y2001Morning, y1999, ""}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(SortedAfterClicks(SortType::DateTime, CDBFileList::kSortToggles, c.cells, c.clicks),
                Texts(c.sorted));
    }
  }
  QLocale::setDefault(saved);
}

TEST(DBFileListTest, EachColumnRemembersItsDirectionAndTheArrowFollowsTheClick) {
  CDBFileList list;
  list.AddColumn(QStringLiteral("Name"), 100, SortType::Text);
  list.AddColumn(QStringLiteral("Size"), 100, SortType::Integer);
  list.AddRow({"b", "1"});
  list.AddRow({"a", "2"});
  list.AddRow({"c", "3"});
  list.show();
  QHeaderView* header = list.horizontalHeader();
  struct Step {
    int column;
    QStringList names;
    Qt::SortOrder arrow;
  } steps[] = {
      {1, {"b", "a", "c"}, Qt::AscendingOrder},
      {0, {"a", "b", "c"}, Qt::AscendingOrder},
      {1, {"c", "a", "b"}, Qt::DescendingOrder},  // size's second click, after name's first
      {0, {"c", "b", "a"}, Qt::DescendingOrder},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "click on column " << step.column);
    ClickHeader(list, step.column);
    EXPECT_EQ(Column(list, 0), Texts(step.names));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), step.column);
    EXPECT_EQ(header->sortIndicatorOrder(), step.arrow);
  }
}

TEST(DBFileListTest, OddRowsAreLightBlueEvenRowsWhite) {
  CDBFileList list;
  list.AddColumn(QStringLiteral("Path"), 200, SortType::Text);
  for (int row = 0; row < 3; ++row) list.AddRow({QString()});
  list.resize(300, 200);
  list.show();
  list.clearSelection();
  const QImage image = list.viewport()->grab().toImage();
  const QColor colours[] = {Qt::white, QColor(220, 230, 244), Qt::white};
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    const QRect cell = list.visualItemRect(list.item(row, 0));
    const qreal ratio = image.devicePixelRatio();
    EXPECT_EQ(image.pixelColor((QPointF(cell.center()) * ratio).toPoint()), colours[row]);
  }
}

}  // namespace
