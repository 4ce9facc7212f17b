// Shows the desktop program's windows one after another on a real screen (an X
// server, Xvfb for `make screenshots`) and saves the screen as a PNG each time:
//   kestrun_screenshot_tour SAMPLE SEARCH_FOLDER OUT_FOLDER
// The main window repairs SAMPLE; the Select Database dialog searches
// SEARCH_FOLDER; the destination and message dialogs show as a user meets them.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "engine/sqlite_repair.h"
#include "shell/about_dlg.h"
#include "workspace/color_button.h"
#include "workspace/dravolt_sqlite_repair_view.h"
#include "workspace/find_tree_item.h"
#include "workspace/my_list_ctrl.h"
#include "workspace/my_tab.h"
#include "workspace/symbol_edit.h"
#include "job/contract/message_texts.h"
#include "shell/file_exist.h"
#include "shell/message_box.h"
#include "shell/repair_app.h"
#include "shell/repair_dlg_class.h"
#include "shell/select_file.h"
#include "tests/fixture/fixture_db.h"
#include "tests/update/local_http_server.h"
#include "tests/update/update_fixture.h"
#include "update/auto_updater.h"
#include "update/update_final.h"
#include "update/update_process.h"
#include "update/update_property_sheet.h"

namespace {

// The program's dialogs, except that the job's own messages are answered at once:
// the tour shows each dialog itself.
class TourDialogs : public shell::ProgramDialogs {
 public:
  using ProgramDialogs::ProgramDialogs;
  job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget*) override {
    return job::OpenDialog(state, dialog).defaultAnswer;
  }
};

class TourSearch : public shell::SelectFileHost {
 public:
  explicit TourSearch(QString folder) : folder_(std::move(folder)) {}
  QString AskDatabaseFile(QWidget*) override { return {}; }
  bool ConfirmStop(QWidget*) override { return true; }
  bool StartRepair(const QString&, bool) override { return false; }
  void OpenHelp(QWidget*) override {}
  QStringList Drives() override { return {folder_}; }

 private:
  QString folder_;
};

class TourDestination : public shell::RepairDlgHost {
 public:
  QString AskFolder(QWidget*) override { return QDir::homePath() + QStringLiteral("/Repaired databases"); }
  bool StartSave(const QString&) override { return false; }
  void OpenHelp(QWidget*) override {}
};

void Settle(int ms = 400) {
  QTest::qWait(ms);  // lets the window manager-less server draw what was shown
}

// Waits for the frame's job to end and its thread to finish.
void WaitForJob(workspace::CMainFrame& frame, job::RepairState& state) {
  while (frame.JobRunning() || state.workerBusy) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  frame.JoinWorker();
}

// A click on the label of the leaf `name` under `category`, and the job it starts.
void ClickLeaf(workspace::CMainFrame& frame, job::RepairState& state, const QString& category, const QString& name) {
  workspace::CLeftView* tree = frame.Tree();
  QTreeWidgetItem* node = tree->Category(category);
  if (!node) return;
  node->setExpanded(true);
  for (int i = 0; i < node->childCount(); ++i) {
    QTreeWidgetItem* leaf = node->child(i);
    if (leaf->text(0) != name) continue;
    tree->scrollToItem(leaf);
    const QRect row = tree->visualItemRect(leaf);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(tree->MarkRect(leaf).right() + 40, row.center().y()));
    WaitForJob(frame, state);
    return;
  }
}

bool Shoot(const QString& folder, const QString& name) {
  Settle();
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
  const QString path = QDir(folder).filePath(name);
  const bool saved = screen.save(path);
  std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
  return saved;
}

// The update wizard's pages against a server on 127.0.0.1: the welcome, the
// check's result (an update of the same major release), a download that has run
// for a while, a completed download. The downloads go into a temporary folder.
bool ShootUpdateWizard(const QString& out, QWidget* parent) {
  bool ok = true;
  testing_http::LocalHttpServer server;
  const QByteArray installer = update_fixture::InstallerBody(3 * 1024 * 1024);
  server.Set(QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.txt"), testing_http::Route{200, "1.0.0.2 update\n"});
  server.Set(QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.exe"), testing_http::Route{200, installer});
  server.Set(QStringLiteral("/slow/upgrade/kestrun-repair/kestrun-repair.txt"), testing_http::Route{200, "1.0.0.2\n"});
  server.Set(QStringLiteral("/slow/upgrade/kestrun-repair/kestrun-repair.exe"),
             testing_http::Route{200, installer, installer.size() / 2, true});
  QTemporaryDir downloads;
  auto runWizard = [&](const QString& serverPath, bool finish) {
    QTemporaryDir folder;
    update::UpdateOptions options;
    options.tempRoot = downloads.path();
    update::CAutoUpdater updater(
        update_fixture::StandardKey(folder, server.Address().toString() + serverPath, QStringLiteral("1.0.0.1")),
        options);
    job::RepairState state;
    update_fixture::RecordingHost host;
    host.answer = job::DialogAnswer::Yes;
    update::CUpdatePropertySheet sheet(state, updater, host, parent);
    sheet.show();
    if (finish) ok &= Shoot(out, QStringLiteral("update-wizard-start.png"));
    sheet.next();
    ok &= QTest::qWaitFor([&] { return sheet.ProcessPage()->Code() != -1; }, 10000);
    if (finish) ok &= Shoot(out, QStringLiteral("update-wizard-check-result.png"));
    sheet.next();
    update::CUpdateFinal* page = sheet.FinalPage();
    if (finish) {
      ok &= QTest::qWaitFor([&] { return page->isComplete(); }, 15000);
      ok &= Shoot(out, QStringLiteral("update-wizard-download-done.png"));
    } else {
      ok &= QTest::qWaitFor([&] { return updater.InstallerSize() > 0 && updater.DownloadTarget().size() > 0; }, 10000);
      QTest::qWait(2500);  // the labels of a download that has run for a while
      ok &= Shoot(out, QStringLiteral("update-wizard-downloading.png"));
    }
    sheet.reject();
  };
  runWizard(QString(), true);
  runWizard(QStringLiteral("/slow"), false);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  shell::CDravoltSqliteRepairApp app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: kestrun_screenshot_tour SAMPLE SEARCH_FOLDER OUT_FOLDER\n");
    return 2;
  }
  const QString sample = QString::fromLocal8Bit(argv[1]);
  const QString searchFolder = QString::fromLocal8Bit(argv[2]);
  const QString out = QString::fromLocal8Bit(argv[3]);
  bool ok = true;

  job::RepairState state;
  TourDialogs dialogs(state);
  workspace::CMainFrame frame(state, dialogs);
  CSqliteRepair engine(state, frame.Port());
  frame.AttachEngine(engine);
  frame.resize(QGuiApplication::primaryScreen()->availableGeometry().size());
  frame.showMaximized();
  frame.StartRepair(sample, true);
  WaitForJob(frame, state);
  ok &= Shoot(out, QStringLiteral("main-window-after-repair.png"));

  // The record view: a table with NULLs and blobs, its properties, a view's SQL.
  ClickLeaf(frame, state, QStringLiteral("Tables"), QStringLiteral("orders"));
  frame.RecordView()->Grid()->scrollToTop();
  ok &= Shoot(out, QStringLiteral("table-preview.png"));
  QTabBar* tabs = frame.RecordView()->Tab()->Bar();
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
  ok &= Shoot(out, QStringLiteral("table-properties.png"));
  ClickLeaf(frame, state, QStringLiteral("Views"), QStringLiteral("big_orders"));
  ok &= Shoot(out, QStringLiteral("view-sql.png"));

  // The Find bar in the ribbon, with the item it found.
  workspace::CFindTreeItem* find = frame.FindBar();
  QTest::keyClicks(find->Edit(), QStringLiteral("order"));
  find->Button()->click();
  ok &= Shoot(out, QStringLiteral("find-bar.png"));

  // A database whose table lost its root page: the rows its records fit both
  // twins' columns come back in lost_and_found_2; a dropped table's rows come back
  // in old_orders(deleted).
  {
    QTemporaryDir scratch;
    const std::string lost = QDir(scratch.path()).filePath(QStringLiteral("inventory.db")).toStdString();
    fixture::DbOptions options;
    options.pageSize = 1024;
    fixture::BuildDatabase(lost, options,
                           "CREATE TABLE old_orders(id INTEGER PRIMARY KEY, item TEXT, qty INT);"
                           "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 200)"
                           " INSERT INTO old_orders SELECT i, printf('order %03d', i), i % 9 + 1 FROM s;"
                           "CREATE TABLE stock(item TEXT, qty INT);"
                           "CREATE TABLE stock_archive(item TEXT, qty INT);"
                           "CREATE TABLE suppliers(id INTEGER PRIMARY KEY, name TEXT, city TEXT);"
                           "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 300)"
                           " INSERT INTO stock SELECT printf('part %03d', i), i * 7 % 50 FROM s;"
                           "INSERT INTO stock_archive VALUES('part 001', 4);"
                           "INSERT INTO suppliers(name, city) VALUES('Northwind', 'Leeds'), ('Acme', 'Ghent');"
                           "DROP TABLE old_orders;");
    const std::string root = fixture::Query(lost, "SELECT rootpage FROM sqlite_schema WHERE name = 'stock'")[0][0];
    fixture::ZeroPage(lost, static_cast<uint32_t>(std::stoul(root)), 1024);
    frame.StartRepair(QString::fromStdString(lost), true);
    WaitForJob(frame, state);
    ClickLeaf(frame, state, QStringLiteral("Tables"), QStringLiteral("lost_and_found_2"));
    frame.RecordView()->Grid()->scrollToTop();
    ok &= Shoot(out, QStringLiteral("lost-and-found.png"));
    ClickLeaf(frame, state, QStringLiteral("Tables"), QStringLiteral("old_orders(deleted)"));
    frame.RecordView()->Grid()->scrollToTop();
    ok &= Shoot(out, QStringLiteral("dropped-table.png"));
  }

  {
    shell::CAboutDlg about(dialogs.Links(), shell::CurrentSystemFacts(), &frame);
    about.show();
    ok &= Shoot(out, QStringLiteral("about-box.png"));
  }

  {
    TourSearch host(searchFolder);
    shell::SelectFile select(state, host, QString(), &frame);
    select.show();
    Settle();
    select.findChild<QPushButton*>(QStringLiteral("FindFiles"))->click();
    if (!QTest::qWaitFor([&] { return !select.Searching(); }, 30000)) std::fprintf(stderr, "the search did not end\n");
    ok &= Shoot(out, QStringLiteral("select-database-search-results.png"));
  }
  {
    TourDestination host;
    shell::CRepairDlgClass destination(state, host, &frame);
    destination.show();
    Settle();
    destination.findChild<QPushButton*>(QStringLiteral("BrowseButton"))->click();
    ok &= Shoot(out, QStringLiteral("save-destination.png"));
  }
  {
    state.exitRequested = 1;
    shell::CMessageBox question(job::Dialog::CMessageDialog, job::OpenDialog(state, job::Dialog::CMessageDialog),
                                &frame);
    state.exitRequested = 0;
    question.show();
    ok &= Shoot(out, QStringLiteral("message-exit-question.png"));
  }
  {
    shell::CFileExist overwrite(&frame);
    overwrite.show();
    ok &= Shoot(out, QStringLiteral("overwrite-dialog.png"));
  }
  ok &= ShootUpdateWizard(out, &frame);
  return ok ? 0 : 1;
}
