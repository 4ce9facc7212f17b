// The main frame end to end: a repair fills the tree and the log, a save writes the
// checked tables only, and the commands keep their rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTest>

#include <QLineEdit>
#include <QMimeData>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"
#include "tests/fixture/fixture_db.h"
#include "tests/workspace/frame_fixture.h"
#include "workspace/dravolt_sqlite_repair_view.h"
#include "workspace/grid_model.h"
#include "workspace/main_frame.h"
#include "workspace/output_wnd.h"
#include "workspace/ribbon_bar.h"

namespace {

using workspace::CLeftView;
using workspace::CMainFrame;
using workspace_test::Frame;
using workspace_test::ScriptedDialogs;

std::string Shop(const QTemporaryDir& dir) {
  const std::string path = dir.filePath("shop.db").toStdString();
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT);"
                         "CREATE TABLE orders(id INTEGER PRIMARY KEY, item INTEGER);"
                         "CREATE TABLE notes(t TEXT);"
                         "CREATE VIEW cheap AS SELECT * FROM items;"
                         "INSERT INTO items VALUES(1, 'pen'), (2, 'ink');"
                         "INSERT INTO orders VALUES(10, 1);"
                         "INSERT INTO notes VALUES('keep');");
  return path;
}

TEST(MainFrameTest, RepairThenSaveTheCheckedTables) {
  QTemporaryDir dir;
  const std::string path = Shop(dir);
  Frame f;
  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(path), false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_TRUE(f.Logged("Total Table(s) present     : 3"));
  EXPECT_EQ(f.frame->Tree()->CheckedLeaves("Tables"), (QStringList{"items", "orders", "notes"}));
  EXPECT_EQ(f.dialogs.shown.back(), job::kRepairedText);
  EXPECT_EQ(f.frame->ProgressBar(), nullptr) << "the bar is gone once the job ends";
  EXPECT_EQ(f.frame->StatusText(), "Ready");

  f.frame->Tree()->ToggleMark(f.frame->Tree()->Category("Tables")->child(1));  // orders
  ASSERT_TRUE(f.frame->SaveChecked(dir.path()));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  const std::string output = f.state.outputPath;
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT name FROM sqlite_schema ORDER BY name"),
            (std::vector<std::vector<std::string>>{{"cheap"}, {"items"}, {"notes"}}));
  EXPECT_EQ(fixture::Query(output, "SELECT name FROM items ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"pen"}, {"ink"}}));
  EXPECT_TRUE(f.Logged("Saving process started on "));
  EXPECT_TRUE(f.Logged("Saving process completed successfully on "));
  EXPECT_TRUE(f.frame->Tree()->CheckedLeaves("Tables").isEmpty()) << "the marks are cleared after the save";
  EXPECT_EQ(f.dialogs.shown.back(), job::kSavingCompletedText);
}

TEST(MainFrameTest, SaveWithoutACheckedTableAsksForOne) {
  QTemporaryDir dir;
  Frame f;
  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(Shop(dir)), false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  f.frame->Tree()->ToggleMark(f.frame->Tree()->Category("Tables"));
  EXPECT_FALSE(f.frame->SaveChecked(dir.path())) << "views alone are not saved";
  EXPECT_EQ(f.dialogs.shown.back(), job::kSelectTablesText);
  EXPECT_FALSE(f.frame->JobRunning());
}

TEST(MainFrameTest, AStopAnsweredAfterTheJobEndedStopsNothingLater) {
  QTemporaryDir dir;
  const QString path = QString::fromStdString(Shop(dir));
  Frame f;
  ASSERT_TRUE(f.frame->StartRepair(path, false));
  // The user answers the stop question only after the repair has ended.
  f.dialogs.whileOpen = [&] {
    f.dialogs.whileOpen = nullptr;
    ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  };
  f.dialogs.answers = {job::DialogAnswer::Yes};
  f.frame->Stop();
  EXPECT_EQ(f.state.stopRequested, 0);
  ASSERT_TRUE(f.frame->StartRepair(path, false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_EQ(f.dialogs.shown.back(), job::kRepairedText) << "the new repair ran to its end";

  // A command given as soon as the end notification arrived, while the worker
  // thread may still be finishing, is carried out.
  ASSERT_TRUE(f.frame->StartRepair(path, false));
  QDeadlineTimer deadline(30000);
  while (f.frame->JobRunning() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  EXPECT_TRUE(f.frame->StartRepair(path, false));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
}

TEST(MainFrameTest, CommandsFollowTheJobAndTheFirstRepair) {
  QTemporaryDir dir;
  Frame f;
  f.frame->show();
  QApplication::setActiveWindow(f.frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.frame.get()));
  auto enabled = [&](const char* id) { return f.frame->Command(id)->isEnabled(); };
  EXPECT_TRUE(enabled("ID_BUTTON_OPEN_FILE"));
  EXPECT_FALSE(enabled("ID_BUTTON_START_REPAIR")) << "no repair has succeeded yet";
  EXPECT_FALSE(enabled("ID_BUTTON_STOP"));
  // Ctrl+T while idle does nothing; Ctrl+O asks for a database and repairs it.
  QTest::keyClick(f.frame.get(), Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(f.dialogs.shown.empty());
  f.dialogs.databasePath = QString::fromStdString(Shop(dir));
  QTest::keyClick(f.frame.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(f.frame->JobRunning());
  EXPECT_FALSE(enabled("ID_BUTTON_OPEN_FILE"));
  EXPECT_TRUE(enabled("ID_BUTTON_STOP"));
  EXPECT_FALSE(enabled("ID_BUTTON_SAVE_LOG"));
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_TRUE(enabled("ID_BUTTON_START_REPAIR"));
  EXPECT_TRUE(enabled("ID_BUTTON_CLEAR_LOG"));
  // The Log Window check mark follows the pane.
  f.frame->Log()->close();
  EXPECT_FALSE(f.frame->Command("ID_LOG_WINDOW")->isChecked());
}

TEST(MainFrameTest, ExitAsksAndNeverLeavesARunningJob) {
  QTemporaryDir dir;
  Frame f;
  f.frame->show();
  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(Shop(dir)), false));
  EXPECT_FALSE(f.frame->close()) << "a job runs";
  EXPECT_EQ(f.dialogs.shown.back(), job::kFirstStopText);
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  f.dialogs.answers = {job::DialogAnswer::No};
  EXPECT_FALSE(f.frame->close());
  EXPECT_EQ(f.dialogs.shown.back(), job::kExitQuestionText);
  EXPECT_EQ(f.state.exitRequested, 0);
  f.dialogs.answers = {job::DialogAnswer::Yes};
  EXPECT_TRUE(f.frame->close());
}

TEST(MainFrameTest, TheRecordCountCountsOnlyRowsTheGridCompleted) {
  Frame f;
  f.frame->RecordView()->BuildPage(workspace::CDravoltSqliteRepairView::Page::Table);
  f.frame->Port().GridColumns({"a", "b"});
  // A cell before any row, a second last cell, a cell past the last column: the
  // grid keeps none of them, and none is a record.
  const std::pair<int, const char*> cells[] = {{1, "stray"}, {0, "1"}, {1, "one"}, {1, "again"},
                                               {2, "past"},  {0, "2"}, {1, "two"}, {0, "3"}};
  for (const auto& [column, text] : cells) {
    job::GridCell cell;
    cell.column = column;
    cell.text = text;
    cell.value.kind = job::Value::Kind::Text;
    f.frame->Port().GridData(cell);
  }
  EXPECT_EQ(f.frame->RecordView()->GridModel()->rowCount(), 3);
  EXPECT_EQ(f.frame->RecordView()->GridModel()->CompleteRows(), 2);
  EXPECT_EQ(f.frame->RecordCountText(), " Records :    00000002");
}

// Counts the key presses that reach a widget, the Ctrl key's own press aside.
class KeySpy : public QObject {
 public:
  int presses = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() != Qt::Key_Control) ++presses;
    return false;
  }
};

TEST(MainFrameTest, CtrlKeysRunCommandsByTheirRulesAndOthersAreDiscarded) {
  QTemporaryDir dir;
  Frame f;
  f.frame->show();
  QApplication::setActiveWindow(f.frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.frame.get()));
  CLeftView* tree = f.frame->Tree();
  tree->setFocus();
  KeySpy spy;
  tree->installEventFilter(&spy);

  QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(spy.presses, 0) << "Ctrl+Z never reaches the tree";
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(spy.presses, 1) << "keys without Ctrl do";
  QTest::keyClick(tree, Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(f.dialogs.shown.empty()) << "Ctrl+T while idle does nothing";

  ASSERT_TRUE(f.frame->StartRepair(QString::fromStdString(Shop(dir)), false));
  f.dialogs.answers = {job::DialogAnswer::No};
  QTest::keyClick(tree, Qt::Key_T, Qt::ControlModifier);
  ASSERT_FALSE(f.dialogs.shown.empty());
  EXPECT_EQ(f.dialogs.shown.back(), job::kStopQuestionText) << "Ctrl+T while a job runs asks to stop";
  EXPECT_EQ(f.state.stopRequested, 0) << "answered No";
  QTest::keyClick(tree, Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(f.dialogs.selectCalls.isEmpty()) << "no Select Database while a job runs";
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_EQ(spy.presses, 1);

  // The log pane taken out as a window of its own keeps the rule.
  workspace::COutputWnd* log = f.frame->Log();
  log->setFloating(true);
  log->show();
  log->activateWindow();
  KeySpy logSpy;
  log->List()->installEventFilter(&logSpy);
  QTest::keyClick(log->List(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(logSpy.presses, 0) << "Ctrl+Z never reaches the floating log";
  QTest::keyClick(log->List(), Qt::Key_Down);
  EXPECT_EQ(logSpy.presses, 1);
  log->setFloating(false);

  // Text fields keep their Ctrl keys, as the Find field beside the ribbon will.
  auto* ribbon = f.frame->findChild<workspace::CRibbonBar*>();
  ASSERT_NE(ribbon, nullptr);
  auto* field = new QLineEdit(QStringLiteral("abc"));
  ribbon->RightArea()->addWidget(field);
  field->show();
  field->setFocus();
  field->deselect();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(field->selectedText(), "abc");

  // F1 is the help, whatever has the focus.
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_F1);
  EXPECT_EQ(f.dialogs.helpOpened, 1);
}

TEST(MainFrameTest, ADroppedFileOpensSelectDatabaseWithItsPath) {
  QTemporaryDir dir;
  const QString path = QString::fromStdString(Shop(dir));
  Frame f;
  f.frame->show();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(f.frame.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(f.frame.get(), &drop);
  QTRY_COMPARE(f.dialogs.selectCalls, QStringList{path});
  ASSERT_NO_FATAL_FAILURE(f.WaitForJob());
  EXPECT_EQ(f.state.databaseFileName, "shop.db") << "saved under the dropped file's own name";
}

}  // namespace
