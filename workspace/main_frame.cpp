#include "workspace/main_frame.h"

#include <algorithm>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSettings>
#include <QShortcut>
#include <QTextEdit>
#include <QTimer>
#include <QScreen>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QSplitter>
#include <QStatusBar>

#include "job/contract/message_texts.h"
#include "job/recovery_thread.h"
#include "workspace/dravolt_sqlite_repair_view.h"
#include "workspace/find_tree_item.h"
#include "workspace/icons.h"
#include "workspace/kestrun_dlg.h"
#include "workspace/ribbon_bar.h"

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
  state_.updateRunning = 0;
  setAcceptDrops(true);
  createCentralArea();
  createLogPane();
  createStatusBar();
  createActions();
  createRibbon();
  connect(this, &CMainFrame::JobStateChanged, this, [this] { UpdateCommands(); });
  connect(port_.get(), &WindowThreadPort::BatchApplied, this, &CMainFrame::GridBatchApplied);
  UpdateCommands();
}

void CMainFrame::createRibbon() {
  ribbon_ = new CRibbonBar(this);
  auto command = [this](const char* id) { return commands_.at(QString::fromUtf8(id)); };
  const int file = ribbon_->AddCategory(QStringLiteral("File"), QStringLiteral("F"));
  const int filePanel = ribbon_->AddPanel(file, QStringLiteral("File"));
  for (const char* id : {"ID_BUTTON_OPEN_FILE", "ID_BUTTON_START_REPAIR", "ID_BUTTON_STOP", "ID_BUTTON_EXIT"}) {
    ribbon_->AddButton(file, filePanel, command(id));
    ribbon_->AddQuickAccess(command(id));
  }
  const int view = ribbon_->AddPanel(file, QStringLiteral("View"));
  ribbon_->AddButton(file, view, command("ID_STATUS_BAR"));
  ribbon_->AddButton(file, view, command("ID_LOG_WINDOW"));
  const int tools = ribbon_->AddCategory(QStringLiteral("Tools"));
  const int log = ribbon_->AddPanel(tools, QStringLiteral("Log"));
  ribbon_->AddButton(tools, log, command("ID_BUTTON_SAVE_LOG"));
  ribbon_->AddButton(tools, log, command("ID_BUTTON_CLEAR_LOG"));
  ribbon_->AddButton(tools, ribbon_->AddPanel(tools, QStringLiteral("Update")), command("ID_BUTTON_UPDATE"));
  const int help = ribbon_->AddCategory(QStringLiteral("Help"));
  const int support = ribbon_->AddPanel(help, QStringLiteral("Support"));
  ribbon_->AddButton(help, support, command("ID_HELP_ENQUIRY"));
  const int helpPanel = ribbon_->AddPanel(help, QStringLiteral("Help"));
  ribbon_->AddButton(help, helpPanel, command("ID_HELP_KNOWLEDGE"));
  ribbon_->AddButton(help, helpPanel, command("ID_HELP_HELLP"));
  ribbon_->AddButton(help, ribbon_->AddPanel(help, QStringLiteral("About")), command("ID_HELP_ABOUT"));
  ribbon_->SetApplicationMenu({command("ID_BUTTON_OPEN_FILE"), command("ID_BUTTON_START_REPAIR"),
                               command("ID_BUTTON_STOP"), nullptr, command("ID_BUTTON_SAVE_LOG"),
                               command("ID_BUTTON_CLEAR_LOG"), command("ID_BUTTON_UPDATE"), nullptr,
                               command("ID_HELP_ENQUIRY"), command("ID_HELP_KNOWLEDGE"), command("ID_HELP_HELLP"),
                               command("ID_HELP_ABOUT"), nullptr, command("ID_BUTTON_EXIT")});
  ribbon_->SetMenuLabel(command("ID_HELP_KNOWLEDGE"), QStringLiteral("KnowledgeBase"));
  find_ = new CFindTreeItem(state_, ribbon_);
  ribbon_->RightArea()->addWidget(find_, 0, Qt::AlignVCenter);
  ribbon_->RightArea()->addWidget(new CKestrunDlg(ribbon_), 0, Qt::AlignVCenter);
  connect(find_, &CFindTreeItem::FindItem, this, &CMainFrame::FindItem);
  setMenuWidget(ribbon_);
}

void CMainFrame::createActions() {
  struct CommandDef {
    const char* id;
    const char* label;
    const char* tip;
    const char* icon;  // the command's picture in the program's resources
    std::function<void()> run;
    bool checkable;
  };
  const CommandDef definitions[] = {
      {"ID_BUTTON_OPEN_FILE", "Select Database", " Select Database", "open-database",
       [this] { dialogs_.SelectDatabase(*this, QString()); }, false},
      {"ID_BUTTON_START_REPAIR", "Save", " Save", "save", [this] { SaveCommand(); }, false},
      {"ID_BUTTON_STOP", "Stop", " Stop", "stop", [this] { Stop(); }, false},
      {"ID_BUTTON_EXIT", "Exit", " Exit", "exit", [this] { close(); }, false},
      {"ID_STATUS_BAR", "Status Bar", " Show\\Hide Status Bar", "status-bar",
       [this] { statusBar()->setVisible(commands_["ID_STATUS_BAR"]->isChecked()); }, true},
      {"ID_LOG_WINDOW", "Log Window", " Show\\Hide Log Window", "log-window",
       [this] { log_->setVisible(commands_["ID_LOG_WINDOW"]->isChecked()); }, true},
      {"ID_BUTTON_SAVE_LOG", "Save Log", " Save Log", "save-log", [this] { log_->SaveLog(dialogs_); }, false},
      {"ID_BUTTON_CLEAR_LOG", "Clear Log", " Clear Log", "clear-log", [this] { log_->ClearLog(); }, false},
      {"ID_BUTTON_UPDATE", "Update", " Update", "update", [this] { dialogs_.ShowUpdate(this); }, false},
      {"ID_HELP_ENQUIRY", "Submit Enquiry", " Submit Enquiry", "enquiry", [this] { dialogs_.OpenEnquiry(this); },
       false},
      {"ID_HELP_KNOWLEDGE", "Knowledgebase", " Knowledgebase", "knowledgebase",
       [this] { dialogs_.OpenKnowledgebase(this); }, false},
      {"ID_HELP_HELLP", "Help", " Help", "help", [this] { dialogs_.OpenHelp(this); }, false},
      {"ID_HELP_ABOUT", "About", " About Dravolt Kestrun Repair for SQLite", "about",
       [this] { dialogs_.ShowAbout(this); }, false},
  };
  for (const CommandDef& def : definitions) {
    auto* action = new QAction(ProgramIcon(QString::fromUtf8(def.icon)), QString::fromUtf8(def.label), this);
    action->setObjectName(QString::fromUtf8(def.id));
    action->setToolTip(QString::fromUtf8(def.tip).trimmed());
    action->setCheckable(def.checkable);
    if (def.checkable) action->setChecked(true);
    connect(action, &QAction::triggered, this, def.run);
    commands_[action->objectName()] = action;
  }
  // The check mark follows the pane, also when its own close button hides it.
  connect(log_, &QDockWidget::visibilityChanged, this, [this](bool) {
    commands_["ID_LOG_WINDOW"]->setChecked(!log_->isHidden());
  });
  // F1 opens the help once per press, however long it is held.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setObjectName(QStringLiteral("HelpKey"));
  help->setAutoRepeat(false);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, [this] { dialogs_.OpenHelp(this); });
  qApp->installEventFilter(this);
}

QAction* CMainFrame::Command(const QString& id) const {
  auto it = commands_.find(id);
  return it == commands_.end() ? nullptr : it->second;
}

void CMainFrame::UpdateCommands() {
  const bool idle = !jobRunning_;
  commands_["ID_BUTTON_UPDATE"]->setEnabled(idle && state_.updateRunning == 0);
  commands_["ID_BUTTON_OPEN_FILE"]->setEnabled(idle);
  commands_["ID_BUTTON_START_REPAIR"]->setEnabled(idle && state_.repairCompleted != 0);
  commands_["ID_BUTTON_STOP"]->setEnabled(!idle);
  commands_["ID_BUTTON_SAVE_LOG"]->setEnabled(idle);
  commands_["ID_BUTTON_CLEAR_LOG"]->setEnabled(idle);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (!(key->modifiers() & Qt::ControlModifier)) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  // A floating log pane is a window of its own, still a part of this frame.
  QWidget* window = widget->window();
  const bool ours = window == this || (qobject_cast<QDockWidget*>(window) && window->parentWidget() == this);
  if (!ours) return false;
  // Text fields and the record view keep their Ctrl keys (copy, select all).
  if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
      qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
      qobject_cast<QComboBox*>(widget) || recordView_->isAncestorOf(widget)) {
    return false;
  }
  // A bare Ctrl (or Ctrl with Shift) is no command yet: let it pass.
  if (key->key() == Qt::Key_Control || key->key() == Qt::Key_Shift || key->key() == Qt::Key_Alt ||
      key->key() == Qt::Key_Meta) {
    return false;
  }
  HandleCtrlKey(key->key());
  return true;  // every other key pressed with Ctrl is taken, command or not
}

bool CMainFrame::HandleCtrlKey(int key) {
  static const std::map<int, const char*> kCommands = {
      {Qt::Key_A, "ID_HELP_ABOUT"},       {Qt::Key_E, "ID_HELP_ENQUIRY"},     {Qt::Key_K, "ID_HELP_KNOWLEDGE"},
      {Qt::Key_L, "ID_BUTTON_CLEAR_LOG"}, {Qt::Key_O, "ID_BUTTON_OPEN_FILE"}, {Qt::Key_R, "ID_BUTTON_START_REPAIR"},
      {Qt::Key_S, "ID_BUTTON_SAVE_LOG"},  {Qt::Key_T, "ID_BUTTON_STOP"},      {Qt::Key_U, "ID_BUTTON_UPDATE"},
      {Qt::Key_X, "ID_BUTTON_EXIT"},
  };
  auto it = kCommands.find(key);
  if (it == kCommands.end()) return false;
  // Every command but Exit acts only while no job runs; Stop is the exception the
  // other way round; Save wants a repair as well. The enabling rules say exactly
  // this, so the key runs the command only when it is enabled.
  const bool allowed = std::string_view(it->second) == "ID_BUTTON_EXIT" ||
                       std::string_view(it->second) == "ID_BUTTON_STOP" || !jobRunning_;
  if (!allowed) return false;
  RunIfEnabled(it->second);
  return true;
}

void CMainFrame::RunIfEnabled(const char* id) {
  QAction* action = commands_[QString::fromUtf8(id)];
  if (action && action->isEnabled()) action->trigger();
}

void CMainFrame::SaveCommand() {
  recordView_->ClearPage();
  state_.messageBuffer.clear();
  if (CollectChecked()) dialogs_.ChooseDestination(*this);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!jobRunning_ && urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (jobRunning_ || urls.size() != 1 || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  const QString path = urls.front().toLocalFile();
  // The dialog is opened once the drop has finished, so the source application is
  // not kept waiting on a modal dialog.
  QTimer::singleShot(0, this, [this, path] {
    if (!jobRunning_) dialogs_.SelectDatabase(*this, path);
  });
}

void CMainFrame::SaveWindowSettings() {
  QSettings settings;
  settings.setValue(QStringLiteral("MainFrame/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("MainFrame/state"), saveState());
}

void CMainFrame::RestoreWindowSettings() {
  QSettings settings;
  restoreGeometry(settings.value(QStringLiteral("MainFrame/geometry")).toByteArray());
  restoreState(settings.value(QStringLiteral("MainFrame/state")).toByteArray());
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
  if (yes) {
    if (engine_) job::ReleaseRecovery(state_, *engine_);
    ResetWorkspace();
  }
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
  if (!ConfirmExit()) {
    event->ignore();
    return;
  }
  SaveWindowSettings();
  event->accept();
}

CMainFrame::~CMainFrame() {
  Shutdown();
  // The panes are hidden as the window goes; the check marks are gone by then.
  disconnect(log_, nullptr, this, nullptr);
}

void CMainFrame::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  qApp->removeEventFilter(this);
  // A worker waiting on the window is released and stops at its next unit of work;
  // only then is it joined, so quitting during a job cannot deadlock.
  if (jobRunning_ || state_.workerBusy) state_.stopRequested = 1;
  port_->Shutdown();
  JoinWorker();
}

void CMainFrame::createCentralArea() {
  auto* splitter = splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("Splitter"));
  tree_ = new CLeftView(splitter);
  recordView_ = new CDravoltSqliteRepairView(state_, splitter);
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
  if (jobRunning_ || !engine_) return false;
  // The last job has ended: its thread is at its very end and clears workerBusy
  // as its last act, so joining it here lets a command given at once go through.
  JoinWorker();
  if (state_.workerBusy) return false;
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

bool CMainFrame::CollectChecked() {
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
  if (!state_.checkedTables.empty()) return true;
  // Also without a database item (a failed repair): nothing to save.
  state_.msgSelectTables = 1;
  ShowModal(job::Dialog::CMessageOk);
  return false;
}

bool CMainFrame::StartSave(const QString& folder) {
  if (folder.isEmpty()) return false;
  return Launch([&] {
    // A folder given in the platform's own form (C:\out\) ends in one separator too.
    const QString portable = QDir::fromNativeSeparators(folder);
    state_.destinationFolder = (portable.endsWith('/') ? portable : portable + '/').toStdString();
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
  using Page = CDravoltSqliteRepairView::Page;
  if (item->childCount() > 0 || !item->parent()) {
    recordView_->ClearPage();
    return;
  }
  struct Category {
    const char* parent;
    job::ObjectCategory category;
    Page page;
  };
  static constexpr Category kCategories[] = {
      {"Tables", job::ObjectCategory::Table, Page::Table},
      {"Views", job::ObjectCategory::View, Page::View},
      {"Indexes", job::ObjectCategory::Index, Page::Index},
      {"Triggers", job::ObjectCategory::Trigger, Page::Trigger},
  };
  const QString parent = item->parent()->text(0);
  for (const Category& c : kCategories) {
    if (parent.compare(QLatin1String(c.parent), Qt::CaseInsensitive) != 0) continue;
    recordView_->BuildPage(c.page);
    Launch([&] { return job::StartShowObjectJob(state_, *engine_, *port_, state_.selectedObjectName, c.category); });
    return;
  }
  recordView_->ClearPage();  // anything else: no job
}

void CMainFrame::RepairDone(const job::ObjectListing& objects) {
  tree_->Fill(objects, QString::fromStdString(state_.runPath), state_.includeDeletedRecords != 0);
  state_.schemaMarker = job::kSchemaMarkerFilled;
  UpdateCommands();
}

void CMainFrame::ResetWorkspace() {
  tree_->ResetTree();
  recordView_->ResetView();
}

void CMainFrame::GridColumns(const std::vector<std::string>& names) { recordView_->SetGridColumns(names); }

void CMainFrame::GridData(const job::GridCell& cell) {
  // The count of the status bar follows the batches of rows the grid shows, counting
  // only the rows the grid itself completed: a stray cell completes none.
  if (recordView_->AddGridCell(cell)) ++recordCounter_;
}

void CMainFrame::GridBatchApplied() {
  if (recordView_->CommitGrid()) ShowRecordCountText();
}

void CMainFrame::ClearGridRows() { recordView_->ClearGridRows(); }

void CMainFrame::TableLoaded(const job::TableInfo& table) {
  if (state_.schemaMarker == job::kSchemaMarkerFilled) recordView_->AddProperties(table);
}

void CMainFrame::ShowViewSql(const std::string& sql) {
  recordView_->ShowSql(sql);
  state_.messageBuffer.clear();
}

void CMainFrame::ShowTriggerSql(const std::string& sql) { recordView_->ShowSql(sql); }

void CMainFrame::FindItem() {
  const bool next = find_->ClickedCaption().compare(QStringLiteral("Find Next"), Qt::CaseInsensitive) == 0;
  if (QTreeWidgetItem* match = FindTreeItem(*tree_, find_->FindText(), find_->MatchCase(), next)) {
    // Only a click on a label starts a job; a found item is selected, no more.
    tree_->setCurrentItem(match);
    tree_->scrollToItem(match);
    tree_->setFocus();
    return;
  }
  if (jobRunning_) return;
  state_.messageBuffer = "Search completed.String not found. Try again!";
  state_.msgCustomText = 1;
  ShowModal(job::Dialog::CMessageOk);
}

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
  recordCounter_ = count;
  ShowRecordCountText();
}

void CMainFrame::ShowRecordCountText() {
  // Eight digits, the count as a signed 32-bit number, as the pane always read.
  records_->setText(
      QString::asprintf(" Records :    %08ld", static_cast<long>(static_cast<int32_t>(recordCounter_))));
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
  find_->JobStateChanged(jobRunning_);
  emit JobStateChanged(jobRunning_);
}

job::DialogAnswer CMainFrame::ShowModal(job::Dialog dialog) { return dialogs_.ShowModal(state_, dialog, this); }

}  // namespace workspace
