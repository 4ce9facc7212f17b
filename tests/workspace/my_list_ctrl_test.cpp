// The record view's lists: Copy gives tab-separated text a spreadsheet reads back
// into the same rows and columns.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "workspace/grid_model.h"
#include "workspace/my_list_ctrl.h"

namespace {

using workspace::CGridModel;
using workspace::CMyListCtrl;
using Kind = job::Value::Kind;

TEST(MyListCtrlTest, CopyQuotesFieldsThatWouldBreakTheTextAndLeavesNullEmpty) {
  struct Case {
    const char* name;
    Kind kind;
    std::string text;
    QString field;
  } cases[] = {
      {"plain", Kind::Text, "pen", "pen"},
      {"a tab", Kind::Text, "a\tb", "\"a\tb\""},
      {"a line feed", Kind::Text, "a\nb", "\"a\nb\""},
      {"a carriage return", Kind::Text, "a\rb", "\"a\rb\""},
      {"double quotes", Kind::Text, "say \"hi\"", "\"say \"\"hi\"\"\""},
      {"NULL", Kind::Null, "null", ""},
      {"a stored text null", Kind::Text, "null", "null"},
  };
  CGridModel model;
  model.SetColumns({"value", "next"});
  for (const Case& c : cases) {
    model.AppendCell(0, c.kind, c.text);
    model.AppendCell(1, Kind::Integer, "7");
  }
  model.AppendCell(0, Kind::Text, "part");  // a row whose last cell has not come
  model.CommitRows();
  CMyListCtrl grid;
  grid.setModel(&model);
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    SCOPED_TRACE(cases[row].name);
    grid.selectRow(row);
    EXPECT_EQ(grid.SelectedText(), cases[row].field + "\t7\n");
  }
  grid.selectRow(static_cast<int>(std::size(cases)));
  EXPECT_EQ(grid.SelectedText(), "part\t\n");
}

}  // namespace
