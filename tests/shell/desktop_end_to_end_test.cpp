// The desktop program end to end with its own dialogs: a damaged database found by
// the drive search, repaired, one table unchecked, saved through the destination
// dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"
#include "shell/db_file_list.h"
#include "shell/repair_dlg_class.h"
#include "shell/select_file.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/quiet_frame_dialogs.h"
#include "workspace/main_frame.h"

namespace {

using workspace::CMainFrame;

// The frame's dialogs: the job's messages are answered with their default and kept;
// the destination dialog is the program's own, its folder picker answered.
class EndToEndDialogs : public fixture::QuietFrameDialogs, public shell::RepairDlgHost {
 public:
  QString folder;
  CMainFrame* frame = nullptr;
  std::vector<std::string> shown;

  job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget*) override {
    const job::DialogContent content = job::OpenDialog(state, dialog);
    shown.push_back(content.lines.empty() ? "" : content.lines.front());
    return content.defaultAnswer;
  }
  void ChooseDestination(CMainFrame& target) override {
    frame = &target;
    shell::CRepairDlgClass dialog(state_, *this, &target);
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("BrowseButton"))->click();
    dialog.findChild<QPushButton*>(QStringLiteral("SaveButton"))->click();
  }
  QString AskFolder(QWidget*) override { return folder; }
  bool StartSave(const QString& chosen) override { return frame->StartSave(chosen); }
  void OpenHelp(QWidget*) override {}

  job::RepairState state_;
};

// The Select Database dialog's view of the frame, searching one folder.
class SearchHost : public shell::SelectFileHost {
 public:
  SearchHost(CMainFrame& frame, QString root) : frame_(frame), root_(std::move(root)) {}
  QString AskDatabaseFile(QWidget*) override { return {}; }
  bool ConfirmStop(QWidget*) override { return true; }
  bool StartRepair(const QString& path, bool includeDeleted) override { return frame_.StartRepair(path, includeDeleted); }
  void OpenHelp(QWidget*) override {}
  QStringList Drives() override { return {root_}; }

 private:
  CMainFrame& frame_;
  QString root_;
};

void WaitForJob(CMainFrame& frame, job::RepairState& state) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.JobRunning() && !state.workerBusy; }, 30000));
  frame.JoinWorker();
}

TEST(DesktopEndToEndTest, FoundBySearchRepairedOneTableUncheckedSavedUnderItsOwnName) {
  QTemporaryDir dir;
  const QString search = dir.filePath(QStringLiteral("search"));
  const QString out = dir.filePath(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(search + QStringLiteral("/older")) && QDir().mkpath(out));
  const std::string damaged = (search + QStringLiteral("/shop.db")).toStdString();
  fixture::BuildDatabase(damaged, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT);"
                         "CREATE TABLE orders(id INTEGER PRIMARY KEY, item INTEGER);"
                         "CREATE TABLE notes(t TEXT);"
                         "INSERT INTO items VALUES(1, 'pen'), (2, 'ink'), (3, 'nib');"
                         "INSERT INTO orders VALUES(10, 1);"
                         "INSERT INTO notes VALUES('keep'), ('these');");
  fixture::PutBigEndian(damaged, 16, 0, 2);  // the stored page size is gone
  fixture::BuildDatabase((search + QStringLiteral("/older/backup.db")).toStdString(), {},
                         "CREATE TABLE t(x);");

  EndToEndDialogs dialogs;
  dialogs.folder = out;
  job::RepairState& state = dialogs.state_;
  CMainFrame frame(state, dialogs);
  CSqliteRepair engine(state, frame.Port());
  frame.AttachEngine(engine);
  // Whatever assertion ends the test, the worker is joined before the engine goes.
  struct ShutdownFirst {
    CMainFrame& frame;
    ~ShutdownFirst() { frame.Shutdown(); }
  } shutdownFirst{frame};
  frame.show();

  {
    SearchHost host(frame, search);
    shell::SelectFile select(state, host);
    select.show();
    select.findChild<QPushButton*>(QStringLiteral("FindFiles"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !select.Searching(); }, 30000));
    auto* list = select.findChild<shell::CDBFileList*>(QStringLiteral("ResultList"));
    ASSERT_EQ(list->rowCount(), 2);
    int row = 0;
    while (row < list->rowCount() && !list->CellText(row, 0).endsWith(QStringLiteral("shop.db"))) ++row;
    ASSERT_LT(row, list->rowCount());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 0)).center());
    select.findChild<QPushButton*>(QStringLiteral("RepairButton"))->click();
    EXPECT_FALSE(select.isVisible()) << "Repair closes the dialog";
  }
  ASSERT_NO_FATAL_FAILURE(WaitForJob(frame, state));
  EXPECT_EQ(state.databaseFileName, "shop.db");
  workspace::CLeftView* tree = frame.Tree();
  ASSERT_EQ(tree->CheckedLeaves(QStringLiteral("Tables")), (QStringList{"items", "orders", "notes"}));

  // The user unchecks "orders" with a click on its mark, then saves.
  QTreeWidgetItem* orders = tree->Category(QStringLiteral("Tables"))->child(1);
  tree->scrollToItem(orders);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->MarkRect(orders).center());
  ASSERT_EQ(tree->CheckedLeaves(QStringLiteral("Tables")), (QStringList{"items", "notes"}));
  frame.Command(QStringLiteral("ID_BUTTON_START_REPAIR"))->trigger();
  ASSERT_NO_FATAL_FAILURE(WaitForJob(frame, state));

  const QString output = QString::fromStdString(state.outputPath);
  EXPECT_EQ(QFileInfo(output).absolutePath(), QDir(out).absolutePath());
  EXPECT_TRUE(QFileInfo(output).fileName().startsWith(QStringLiteral("Repaired_")));
  EXPECT_TRUE(output.endsWith(QStringLiteral("_shop.db"))) << output.toStdString();
  using Rows = std::vector<std::vector<std::string>>;
  EXPECT_EQ(fixture::Query(output.toStdString(), "SELECT name FROM sqlite_schema ORDER BY name"),
            (Rows{{"items"}, {"notes"}}));
  EXPECT_EQ(fixture::Query(output.toStdString(), "SELECT id, name FROM items ORDER BY id"),
            (Rows{{"1", "pen"}, {"2", "ink"}, {"3", "nib"}}));
  EXPECT_EQ(fixture::Query(output.toStdString(), "SELECT t FROM notes ORDER BY rowid"), (Rows{{"keep"}, {"these"}}));
  auto logged = [&](const QString& text) {
    for (const QString& line : frame.Log()->Lines()) {
      if (line.startsWith(text)) return true;
    }
    return false;
  };
  EXPECT_TRUE(logged(QStringLiteral("Total Table(s) present     : 3")));
  EXPECT_TRUE(logged(QStringLiteral("Saving process started on ")));
  EXPECT_TRUE(logged(QStringLiteral("Saving process completed successfully on ")));
  EXPECT_EQ(dialogs.shown.back(), job::kSavingCompletedText);
}

}  // namespace
