#include "workspace/main_frame.h"

#include <algorithm>

#include <QCloseEvent>
#include <QScreen>
#include <QFileInfo>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>

#include "job/contract/message_texts.h"
#include "job/recovery_thread.h"

namespace workspace {

CMainFrame::CMainFrame(job::RepairState& state, FrameDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      dialogs_(dialogs),
      port_(std::make_unique<WindowThreadPort>(*this)) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(QString::fromUtf8(job::kProductTitle));
  state_.workerBusy = 0;
  state_.stopRequested = 0;
  state_.exitRequested = 0;
  state_.msgFirstStop = 0;
  createCentralArea();
  createLogPane();
  createStatusBar();
  createActions();
  connect(this, &CMainFrame::JobStateChanged, this, [this] { UpdateCommands(); });
  UpdateCommands();
}

void CMainFrame::createActions() {
  struct CommandDef {
    const char* id;
    const char* label;
    const char* tip;
    QKeySequence keys;
    std::function<void()> run;
    bool checkable;
  };
  const CommandDef definitions[] = {
      {"ID_BUTTON_OPEN_FILE", "Select Database", " Select Database", QKeySequence(Qt::CTRL | Qt::Key_O),
       [this] {
         const QString path = dialogs_.AskDatabasePath(this);
         if (!path.isEmpty()) StartRepair(path, state_.includeDeletedRecords != 0);
       },
       false},
      {"ID_BUTTON_START_REPAIR", "Save", " Save", QKeySequence(Qt::CTRL | Qt::Key_R),
       [this] {
         if (tree_->CheckedLeaves(QStringLiteral("Tables")).isEmpty()) {
           SaveChecked(QString());  // says "Select table(s) for saving."
           return;
         }
         const QString folder = dialogs_.AskDestinationFolder(this);
         if (!folder.isEmpty()) SaveChecked(folder);
       },
       false},
      {"ID_BUTTON_STOP", "Stop", " Stop", QKeySequence(Qt::CTRL | Qt::Key_T), [this] { Stop(); }, false},
      {"ID_BUTTON_EXIT", "Exit", " Exit", QKeySequence(Qt::CTRL | Qt::Key_X), [this] { close(); }, false},
      {"ID_STATUS_BAR", "Status Bar", " Show\\Hide Status Bar", QKeySequence(),
       [this] { statusBar()->setVisible(commands_["ID_STATUS_BAR"]->isChecked()); }, true},
      {"ID_LOG_WINDOW", "Log Window", " Show\\Hide Log Window", QKeySequence(),
       [this] { log_->setVisible(commands_["ID_LOG_WINDOW"]->isChecked()); }, true},
      {"ID_BUTTON_SAVE_LOG", "Save Log", " Save Log", QKeySequence(Qt::CTRL | Qt::Key_S),
       [this] { log_->SaveLog(dialogs_); }, false},
      {"ID_BUTTON_CLEAR_LOG", "Clear Log", " Clear Log", QKeySequence(Qt::CTRL | Qt::Key_L),
       [this] { log_->ClearLog(); }, false},
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  for (const CommandDef& def : definitions) {
    auto* action = new QAction(QString::fromUtf8(def.label), this);
    action->setObjectName(QString::fromUtf8(def.id));
    action->setToolTip(QString::fromUtf8(def.tip).trimmed());
    action->setShortcut(def.keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(def.checkable);
    if (def.checkable) action->setChecked(true);
    connect(action, &QAction::triggered, this, def.run);
    commands_[action->objectName()] = action;
    addAction(action);
    (QString::fromUtf8(def.id).contains(QStringLiteral("LOG_")) ? tools : file)->addAction(action);
  }
  // The check mark follows the pane, also when its own close button hides it.
  connect(log_, &QDockWidget::visibilityChanged, this, [this](bool) {
    commands_["ID_LOG_WINDOW"]->setChecked(!log_->isHidden());
  });
}

QAction* CMainFrame::Command(const QString& id) const {
  auto it = commands_.find(id);
  return it == commands_.end() ? nullptr : it->second;
}

void CMainFrame::UpdateCommands() {
  const bool idle = !jobRunning_;
  commands_["ID_BUTTON_OPEN_FILE"]->setEnabled(idle);
  commands_["ID_BUTTON_START_REPAIR"]->setEnabled(idle && state_.repairCompleted != 0);
  commands_["ID_BUTTON_STOP"]->setEnabled(!idle);
  commands_["ID_BUTTON_SAVE_LOG"]->setEnabled(idle);
  commands_["ID_BUTTON_CLEAR_LOG"]->setEnabled(idle);
}

bool CMainFrame::ConfirmExit() {
  if (jobRunning_ || state_.workerBusy) {
    state_.msgFirstStop = 1;
    ShowModal(job::Dialog::CMessageDialog);
    return false;
  }
  state_.exitRequested = 1;
  const bool yes = ShowModal(job::Dialog::CMessageDialog) == job::DialogAnswer::Yes;
  state_.exitRequested = 0;
  if (yes) ResetWorkspace();
  return yes;
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (laidOut_) return;
  laidOut_ = true;
  // The tree starts 285 pixels wide, the record view takes the rest.
  splitter_->setSizes({285, std::max(100, splitter_->width() - 285)});
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Closing the window is the Exit command: never while a job runs.
  if (ConfirmExit()) event->accept();
  else event->ignore();
}

CMainFrame::~CMainFrame() {
  // A worker waiting on the window is released and stops at its next unit of work;
  // only then is it joined, so quitting during a job cannot deadlock.
  state_.stopRequested = 1;
  port_->Shutdown();
  JoinWorker();
}

void CMainFrame::createCentralArea() {
  auto* splitter = splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("Splitter"));
  tree_ = new CLeftView(splitter);
  recordView_ = new QWidget(splitter);
  recordView_->setObjectName(QStringLiteral("CDravoltSqliteRepairView"));
  splitter->addWidget(tree_);
  splitter->addWidget(recordView_);
  splitter->setStretchFactor(0, 0);  // the tree keeps its width, the record view grows
  splitter->setStretchFactor(1, 1);
  setCentralWidget(splitter);
  connect(tree_, &CLeftView::LabelClicked, this, &CMainFrame::OnLabelClicked);
}

void CMainFrame::createLogPane() {
  log_ = new COutputWnd(this);
  addDockWidget(Qt::BottomDockWidgetArea, log_);
}

void CMainFrame::createStatusBar() {
  status_ = new QLabel(QStringLiteral("Ready"), this);
  status_->setObjectName(QStringLiteral("StatusPane"));
  records_ = new QLabel(QStringLiteral("Records :  00000000"), this);
  records_->setObjectName(QStringLiteral("RecordCountPane"));
  // The two panes share the bar 3 : 1, whatever the screen.
  statusBar()->addWidget(status_, 3);
  statusBar()->addPermanentWidget(records_, 1);
}

bool CMainFrame::Launch(const std::function<std::unique_ptr<CRecoveryThread>()>& start) {
  if (state_.workerBusy || !engine_) return false;
  JoinWorker();  // the last job has ended: its thread is at its very end
  state_.stopRequested = 0;  // a stop meant for an earlier job does not carry over
  std::unique_ptr<CRecoveryThread> worker = start();
  if (!worker) return false;
  worker_ = std::move(worker);
  jobRunning_ = true;
  ++jobNumber_;
  tree_->SetBusy(true);
  emit JobStateChanged(true);
  return true;
}

void CMainFrame::JoinWorker() {
  if (!worker_) return;
  worker_->Join();
  worker_.reset();
}

bool CMainFrame::StartRepair(const QString& path, bool includeDeleted) {
  return Launch([&] {
    // The path and the file name come from the same choice, so a save is always
    // named after the file that was repaired.
    state_.databasePath = path.toStdString();
    state_.databaseFileName = QFileInfo(path).fileName().toStdString();
    return job::StartRepairJob(state_, *engine_, *port_, path.toStdString(), includeDeleted);
  });
}

bool CMainFrame::SaveChecked(const QString& folder) {
  if (state_.workerBusy || !engine_) return false;
  state_.checkedTables.clear();
  state_.checkedViews.clear();
  state_.checkedIndexes.clear();
  state_.checkedTriggers.clear();
  auto collect = [&](const QString& category, std::vector<std::string>& names) {
    for (const QString& name : tree_->CheckedLeaves(category)) names.push_back(name.toStdString());
  };
  collect(QStringLiteral("Tables"), state_.checkedTables);
  collect(QStringLiteral("Views"), state_.checkedViews);
  collect(QStringLiteral("Triggers"), state_.checkedTriggers);
  if (state_.checkedTables.empty()) {
    state_.msgSelectTables = 1;
    ShowModal(job::Dialog::CMessageOk);
    return false;
  }
  return Launch([&] {
    state_.destinationFolder = (folder.endsWith('/') ? folder : folder + '/').toStdString();
    state_.outputOpened = 0;
    return job::StartSaveJob(state_, *engine_, *port_);
  });
}

void CMainFrame::Stop() {
  if (!jobRunning_) return;
  const uint64_t job = jobNumber_;
  const bool confirmed = ShowModal(job::Dialog::CStopDialog) == job::DialogAnswer::Yes;
  // The question is modal while the job runs on: a job that ended meanwhile, or
  // another that started, is not stopped by this answer.
  if (confirmed && jobRunning_ && job == jobNumber_) state_.stopRequested = 1;
}

void CMainFrame::OnLabelClicked(QTreeWidgetItem* item) {
  state_.selectedItemText = item->text(0).toStdString();
  state_.selectedObjectName = state_.selectedItemText;
  if (item->childCount() > 0 || !item->parent()) return;  // the record view stays empty
  const QString parent = item->parent()->text(0);
  job::ObjectCategory category;
  if (parent.compare(QStringLiteral("Tables"), Qt::CaseInsensitive) == 0) category = job::ObjectCategory::Table;
  else if (parent.compare(QStringLiteral("Views"), Qt::CaseInsensitive) == 0) category = job::ObjectCategory::View;
  else if (parent.compare(QStringLiteral("Indexes"), Qt::CaseInsensitive) == 0) category = job::ObjectCategory::Index;
  else if (parent.compare(QStringLiteral("Triggers"), Qt::CaseInsensitive) == 0) category = job::ObjectCategory::Trigger;
  else return;  // anything else: no job
  Launch([&] { return job::StartShowObjectJob(state_, *engine_, *port_, state_.selectedObjectName, category); });
}

void CMainFrame::RepairDone(const job::ObjectListing& objects) {
  tree_->Fill(objects, QString::fromStdString(state_.runPath), state_.includeDeletedRecords != 0);
  state_.schemaMarker = job::kSchemaMarkerFilled;
  UpdateCommands();
}

void CMainFrame::ResetWorkspace() { tree_->ResetTree(); }

void CMainFrame::CheckTopItem() { tree_->CheckTopItem(); }

void CMainFrame::Progress(job::ProgressAction action, int64_t range) {
  switch (action) {
    case job::ProgressAction::Start:
      delete bar_;
      bar_ = new CProgressBar(range, this);
      statusBar()->insertWidget(1, bar_, 0);
      break;
    case job::ProgressAction::Step:
      if (bar_) bar_->Step();
      break;
    case job::ProgressAction::Finish:
      if (!bar_) break;
      delete bar_;
      bar_ = nullptr;
      status_->setText(QStringLiteral("Ready"));
      break;
  }
}

void CMainFrame::LogLine(const std::string& text) { log_->AddLine(QString::fromStdString(text)); }

void CMainFrame::ShowRecordCount(int64_t count) {
  // Eight digits, the count as a signed 32-bit number, as the pane always read.
  records_->setText(QString::asprintf(" Records :    %08ld", static_cast<long>(static_cast<int32_t>(count))));
}

void CMainFrame::ObjectSaved(const std::string& name) {
  if (state_.saveRequested) tree_->UncheckSaved(QString::fromStdString(name));
}

void CMainFrame::SaveFinished() {
  if (state_.saveFinished) tree_->ClearMarks();
}

void CMainFrame::JobState(int64_t state) {
  // The end notification counts as idle, although workerBusy clears just after it.
  jobRunning_ = state == job::kJobStarted;
  tree_->SetBusy(jobRunning_);
  emit JobStateChanged(jobRunning_);
}

job::DialogAnswer CMainFrame::ShowModal(job::Dialog dialog) { return dialogs_.ShowModal(state_, dialog, this); }

}  // namespace workspace
