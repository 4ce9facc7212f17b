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
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"
#include "shell/file_exist.h"
#include "shell/message_box.h"
#include "shell/repair_app.h"
#include "shell/repair_dlg_class.h"
#include "shell/select_file.h"

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

bool Shoot(const QString& folder, const QString& name) {
  Settle();
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
  const QString path = QDir(folder).filePath(name);
  const bool saved = screen.save(path);
  std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
  return saved;
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
  while (frame.JobRunning() || state.workerBusy) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  frame.JoinWorker();
  ok &= Shoot(out, QStringLiteral("main-window-after-repair.png"));

  {
    TourSearch host(searchFolder);
    shell::SelectFile select(state, host, QString(), &frame);
    select.show();
    Settle();
    select.findChild<QPushButton*>(QStringLiteral("FindFiles"))->click();
    QTest::qWaitFor([&] { return !select.Searching(); }, 30000);
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
  return ok ? 0 : 1;
}
