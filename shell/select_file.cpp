#include "shell/select_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSet>
#include <QStorageInfo>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "job/contract/message_texts.h"
#include "shell/db_file_list.h"
#include "shell/dialog_banner.h"
#include "workspace/color_button.h"
#include "workspace/sx_group_box.h"
#include "workspace/white_dialog.h"

namespace shell {
namespace {

// The activity bar moves two positions a step and starts over past its end: it
// shows that the search is alive, not how far it is.
constexpr int kActivityStep = 2;
constexpr int kActivityEnd = 10;

workspace::CColorButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new workspace::CColorButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

SelectFile::SelectFile(job::RepairState& state, SelectFileHost& host, const QString& initialPath, QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
  setObjectName(QStringLiteral("SelectFile"));
  setWindowTitle(QString::fromUtf8(job::kProductTitle));
  setModal(true);
  workspace::MakeWhite(this);

  CreateControls();
  CreateResultColumns();
  FillDrives();
  subfolders_->setChecked(true);
  clearButton_->setEnabled(false);
  repairButton_->setEnabled(false);
  activity_->hide();
  stopButton_->hide();
  count_->hide();
  if (!initialPath.isEmpty()) path_->setText(initialPath);
}

SelectFile::~SelectFile() { StopSearchAndWait(); }

void SelectFile::CreateControls() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* banner = new DialogBanner(this);
  banner->setObjectName(QStringLiteral("DialogBanner"));
  outer->addWidget(banner);
  auto* body = new QVBoxLayout();
  body->setContentsMargins(12, 8, 12, 12);
  outer->addLayout(body);

  auto* selectGroup = new workspace::CSxGroupBox(QStringLiteral("Select Database"), this);
  selectGroup->setObjectName(QStringLiteral("SelectDatabaseGroup"));
  auto* selectRow = new QHBoxLayout(selectGroup);
  auto* pathLabel = new QLabel(QStringLiteral("Selected File Path:"), selectGroup);
  pathLabel->setObjectName(QStringLiteral("SelectedFilePathLabel"));
  path_ = new QLineEdit(selectGroup);
  path_->setObjectName(QStringLiteral("SelectFilePath"));
  path_->setReadOnly(true);
  // Filled by Select File or from the list only; read-only rather than disabled, so
  // the chosen path stays readable.
  path_->setFocusPolicy(Qt::NoFocus);
  QPalette field = path_->palette();
  field.setColor(QPalette::Base, QColor(244, 244, 244));
  field.setColor(QPalette::Text, Qt::black);
  path_->setPalette(field);
  selectButton_ = MakeButton(QStringLiteral("Select File"), "SelectFileButton", selectGroup);
  selectRow->addWidget(pathLabel);
  selectRow->addWidget(path_, 1);
  selectRow->addWidget(selectButton_);
  body->addWidget(selectGroup);

  auto* findGroup = new workspace::CSxGroupBox(QStringLiteral("Find Database"), this);
  findGroup->setObjectName(QStringLiteral("FindDatabaseGroup"));
  auto* findLayout = new QVBoxLayout(findGroup);
  auto* findRow = new QHBoxLayout();
  auto* lookInLabel = new QLabel(QStringLiteral("Look in:"), findGroup);
  lookInLabel->setObjectName(QStringLiteral("LookInLabel"));
  lookIn_ = new QComboBox(findGroup);
  lookIn_->setObjectName(QStringLiteral("LookIn"));
  lookIn_->setMinimumWidth(160);
  findButton_ = MakeButton(QStringLiteral("Find Files"), "FindFiles", findGroup);
  subfolders_ = new QCheckBox(QStringLiteral("Find in Subfolders"), findGroup);
  subfolders_->setObjectName(QStringLiteral("FindInSubfolders"));
  findRow->addWidget(lookInLabel);
  findRow->addWidget(lookIn_, 1);
  findRow->addWidget(findButton_);
  findRow->addWidget(subfolders_);
  findLayout->addLayout(findRow);
  list_ = new CDBFileList(findGroup);
  list_->setObjectName(QStringLiteral("ResultList"));
  list_->setMinimumSize(760, 220);  // a path and its size side by side
  findLayout->addWidget(list_, 1);
  auto* statusRow = new QHBoxLayout();
  activity_ = new QProgressBar(findGroup);
  activity_->setObjectName(QStringLiteral("ActivityBar"));
  activity_->setTextVisible(false);
  count_ = new QLabel(findGroup);
  count_->setObjectName(QStringLiteral("CountLabel"));
  count_->setTextFormat(Qt::PlainText);
  stopButton_ = MakeButton(QStringLiteral("Stop"), "StopButton", findGroup);
  clearButton_ = MakeButton(QStringLiteral("Clear List"), "ClearList", findGroup);
  statusRow->addWidget(activity_, 1);
  statusRow->addWidget(count_, 1);
  statusRow->addStretch();
  statusRow->addWidget(stopButton_);
  statusRow->addWidget(clearButton_);
  findLayout->addLayout(statusRow);
  body->addWidget(findGroup, 1);

  auto* bottomRow = new QHBoxLayout();
  includeDeleted_ = new QCheckBox(QStringLiteral("Include Deleted Records"), this);
  includeDeleted_->setObjectName(QStringLiteral("IncludeDeletedRecords"));
  repairButton_ = MakeButton(QStringLiteral("Repair"), "RepairButton", this);
  helpButton_ = MakeButton(QStringLiteral("Help"), "HelpButton", this);
  cancelButton_ = MakeButton(QStringLiteral("Cancel"), "CancelButton", this);
  bottomRow->addWidget(includeDeleted_);
  bottomRow->addStretch();
  bottomRow->addWidget(repairButton_);
  bottomRow->addWidget(helpButton_);
  bottomRow->addWidget(cancelButton_);
  body->addLayout(bottomRow);

  connect(path_, &QLineEdit::textChanged, this, &SelectFile::PathChanged);
  connect(selectButton_, &QPushButton::clicked, this, &SelectFile::SelectFileClicked);
  connect(findButton_, &QPushButton::clicked, this, &SelectFile::FindFiles);
  connect(stopButton_, &QPushButton::clicked, this, &SelectFile::StopClicked);
  connect(clearButton_, &QPushButton::clicked, this, &SelectFile::ClearList);
  connect(repairButton_, &QPushButton::clicked, this, &SelectFile::Repair);
  connect(helpButton_, &QPushButton::clicked, this, [this] { host_.OpenHelp(this); });
  connect(cancelButton_, &QPushButton::clicked, this, &SelectFile::reject);
  connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) { RowChosen(row); });
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { RowChosen(row); });
}

void SelectFile::CreateResultColumns() {
  struct Column {
    const char* header;
    int extra;  // pixels beyond the header text
    CDBFileList::SortType type;
  };
  const Column columns[] = {
      {"File Path", 110, CDBFileList::SortType::Text},     {"File Size (KB)", 120, CDBFileList::SortType::Integer},
      {"Modified", 80, CDBFileList::SortType::DateTime},   {"Created", 80, CDBFileList::SortType::DateTime},
      {"Accessed", 80, CDBFileList::SortType::DateTime},
  };
  const QFontMetrics metrics = list_->horizontalHeader()->fontMetrics();
  for (const Column& column : columns) {
    const QString header = QString::fromLatin1(column.header);
    list_->AddColumn(header, metrics.horizontalAdvance(header) + column.extra, column.type);
  }
}

void SelectFile::FillDrives() {
  QStringList drives = host_.Drives();
  drives.sort();
  lookIn_->addItems(drives);
  if (!drives.isEmpty()) lookIn_->setCurrentIndex(0);
}

void SelectFile::PathChanged(const QString& text) {
  repairButton_->setEnabled(!text.isEmpty());
}

void SelectFile::SelectFileClicked() {
  // Choosing a file only fills the field: the path and name of the open database
  // change when Repair starts a job, so a choice given up with Cancel leaves the
  // last repair's save under its own name.
  const QString path = host_.AskDatabaseFile(this);
  if (path.isEmpty()) return;
  path_->setText(path);
}

void SelectFile::FindFiles() {
  if (search_) return;  // one search at a time
  path_->clear();
  state_.searchStopRequested = 0;
  clearButton_->setEnabled(false);
  lookIn_->setEnabled(false);
  count_->hide();
  list_->DeleteAllRows();
  stopButton_->setEnabled(true);
  stopButton_->show();
  for (QWidget* control : std::initializer_list<QWidget*>{selectButton_, findButton_, cancelButton_, repairButton_,
                                                           subfolders_, includeDeleted_}) {
    control->setEnabled(false);
  }
  retired_.reset();
  search_ = std::make_unique<SearchThread>(lookIn_->currentText(), subfolders_->isChecked(),
                                           state_.searchStopRequested, searchHook_);
  connect(search_.get(), &SearchThread::Start, this, &SelectFile::SearchStarted, Qt::QueuedConnection);
  connect(search_.get(), &SearchThread::Step, this, &SelectFile::SearchStepped, Qt::QueuedConnection);
  connect(search_.get(), &SearchThread::End, this, &SelectFile::SearchEnded, Qt::QueuedConnection);
  connect(search_.get(), &SearchThread::Finished, this, &SelectFile::SearchFinished, Qt::QueuedConnection);
  state_.searchRunning = 1;
  search_->Launch();
}

void SelectFile::SearchStarted(int maximum) {
  activity_->setRange(1, std::max(1, maximum));
  activity_->setValue(1);
  SearchStepped();
  activity_->show();
}

void SelectFile::SearchStepped() {
  const int next = activity_->value() + kActivityStep;
  activity_->setValue(next > activity_->maximum() ? activity_->minimum() : next);
}

void SelectFile::SearchEnded() {
  activity_->setValue(kActivityEnd);
  activity_->hide();
}

void SelectFile::SearchFinished(const FileProperties& files) {
  if (!search_) return;
  search_->Wait();  // Finished is the thread's last act: this returns at once
  // The search object is the sender of the signal being handled, so it is kept
  // until the next search or the dialog's end rather than deleted here.
  retired_ = std::move(search_);
  state_.searchRunning = 0;
  FillList(files);
  if (closeAfterSearch_) QDialog::reject();
}

void SelectFile::FillList(const FileProperties& files) {
  if (!files.isEmpty()) clearButton_->setEnabled(true);
  lookIn_->setEnabled(true);
  if (state_.searchStopRequested.load() != 0) {
    count_->hide();
  } else {
    count_->setText(QString::fromLatin1(kCountFormat).arg(files.size()));
    count_->show();
  }
  list_->setUpdatesEnabled(false);
  list_->DeleteAllRows();
  for (const FileProperty& file : files) {
    list_->AddRow({file.path, file.size, file.modified, file.created, file.accessed});
  }
  // Whole paths and dates where they fit; the first widths stay the least.
  for (int column = 0; column < list_->columnCount(); ++column) {
    const int least = list_->columnWidth(column);
    list_->resizeColumnToContents(column);
    list_->setColumnWidth(column, std::max(least, std::min(list_->columnWidth(column), 600)));
  }
  list_->setUpdatesEnabled(true);
  SearchEnded();
  state_.searchStopRequested = 0;
  stopButton_->hide();
  for (QWidget* control :
       std::initializer_list<QWidget*>{selectButton_, findButton_, cancelButton_, subfolders_, includeDeleted_}) {
    control->setEnabled(true);
  }
  repairButton_->setEnabled(false);
}

void SelectFile::StopClicked() {
  if (!search_ || !host_.ConfirmStop(this)) return;
  if (!search_) return;  // the search ended while the question was open
  state_.searchStopRequested = 1;
  stopButton_->setEnabled(false);
}

void SelectFile::ClearList() {
  list_->DeleteAllRows();
  clearButton_->setEnabled(false);
  count_->hide();
  findButton_->setEnabled(true);
}

void SelectFile::RowChosen(int row) {
  if (row >= 0 && row < list_->rowCount()) path_->setText(list_->CellText(row, 0));
}

void SelectFile::Repair() {
  // The dialog closes whether or not a job was started: a running job keeps going
  // and its file stays the one being repaired.
  host_.StartRepair(path_->text(), includeDeleted_->isChecked());
  QDialog::reject();
}

void SelectFile::reject() {
  if (search_) {
    // Escape or the window's close box during a search: stop without a question
    // and close once the search has ended.
    state_.searchStopRequested = 1;
    stopButton_->setEnabled(false);
    closeAfterSearch_ = true;
    return;
  }
  QDialog::reject();
}

void SelectFile::StopSearchAndWait() {
  if (!search_) return;
  state_.searchStopRequested = 1;
  search_->Wait();
  search_.reset();
  state_.searchRunning = 0;
  state_.searchStopRequested = 0;
}

QString PickDatabaseFile(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                      QStringLiteral("DB Files (*.db *.sqlite);;All Files (*)"));
}

QStringList MountedDrives() {
  // Kernel, device and control file systems hold no databases a user would repair.
  static const QSet<QByteArray> kPseudoTypes = {
      "proc",   "sysfs",    "devtmpfs", "devpts",    "cgroup",      "cgroup2",  "securityfs", "debugfs",
      "tracefs", "pstore",  "bpf",      "configfs",  "fusectl",     "mqueue",   "hugetlbfs",  "autofs",
      "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs"};
  const auto underPseudoFolder = [](const QString& root) {
    for (const char* folder : {"/proc", "/sys", "/dev", "/run"}) {
      const QString path = QString::fromLatin1(folder);
      if (root == path || root.startsWith(path + QLatin1Char('/'))) return true;
    }
    return false;
  };
  QStringList drives;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    if (kPseudoTypes.contains(volume.fileSystemType()) || underPseudoFolder(root)) continue;
    if (!drives.contains(root)) drives.append(root);
  }
  return drives;
}

}  // namespace shell
