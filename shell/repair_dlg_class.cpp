#include "shell/repair_dlg_class.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include "job/contract/message_texts.h"
#include "shell/dialog_banner.h"
#include "workspace/color_button.h"
#include "workspace/sx_group_box.h"
#include "workspace/white_dialog.h"

namespace shell {
namespace {

// The save appends the file name to the folder as it is, so the folder must end in
// exactly one separator. Trailing separators are cut first: "/" and "C:\" become
// "" and "C:" and get theirs back.
QString WithOneSeparator(const QString& folder) {
  QString text = QDir::toNativeSeparators(folder);
  while (text.endsWith(QDir::separator())) text.chop(1);
  return text + QDir::separator();
}

workspace::CColorButton* Button(const QString& text, const char* name, QWidget* parent) {
  auto* button = new workspace::CColorButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

QString PickFolder(QWidget* parent) {
  return QFileDialog::getExistingDirectory(parent, QStringLiteral("Repair"), QString(),
                                           QFileDialog::ShowDirsOnly);
}

CRepairDlgClass::CRepairDlgClass(job::RepairState& state, RepairDlgHost& host, QWidget* parent)
    : QDialog(parent), state_(state), host_(host) {
  setObjectName(QStringLiteral("CRepairDlgClass"));
  setWindowTitle(QString::fromUtf8(job::kProductTitle));
  setModal(true);
  workspace::MakeWhite(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  layout->addWidget(new DialogBanner(this));

  auto* body = new QVBoxLayout();
  body->setContentsMargins(12, 4, 12, 0);
  layout->addLayout(body);
  auto* group = new workspace::CSxGroupBox(QStringLiteral("Select Destination"), this);
  body->addWidget(group);
  auto* groupLayout = new QVBoxLayout(group);
  auto* prompt = new QLabel(QStringLiteral("Please select the path to save repaired database."), group);
  prompt->setTextFormat(Qt::PlainText);
  groupLayout->addWidget(prompt);
  auto* pathRow = new QHBoxLayout();
  groupLayout->addLayout(pathRow);
  auto* pathLabel = new QLabel(QStringLiteral("Path :"), group);
  pathLabel->setTextFormat(Qt::PlainText);
  pathRow->addWidget(pathLabel);
  path_ = new QLineEdit(group);
  path_->setObjectName(QStringLiteral("DestinationPath"));
  path_->setReadOnly(true);  // only Browse fills it
  path_->setFocusPolicy(Qt::NoFocus);
  path_->setMinimumWidth(320);
  pathRow->addWidget(path_, 1);
  auto* browse = Button(QStringLiteral("Browse"), "BrowseButton", group);
  pathRow->addWidget(browse);

  auto* buttons = new QHBoxLayout();
  body->addLayout(buttons);
  auto* help = Button(QStringLiteral("Help"), "HelpButton", this);
  buttons->addWidget(help);
  buttons->addStretch();
  auto* cancel = Button(QStringLiteral("Cancel"), "CancelButton", this);
  buttons->addWidget(cancel);
  save_ = Button(QStringLiteral("Save"), "SaveButton", this);
  save_->setEnabled(false);
  buttons->addWidget(save_);

  connect(path_, &QLineEdit::textChanged, this, [this](const QString& text) { save_->setEnabled(!text.isEmpty()); });
  connect(browse, &QPushButton::clicked, this, &CRepairDlgClass::Browse);
  connect(help, &QPushButton::clicked, this, [this] { host_.OpenHelp(this); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, &CRepairDlgClass::Save);
}

void CRepairDlgClass::showEvent(QShowEvent* event) {
  // The same object is shown again for every save: each showing starts empty.
  if (!event->spontaneous()) path_->clear();
  QDialog::showEvent(event);
}

void CRepairDlgClass::Browse() {
  path_->clear();
  const QString folder = host_.AskFolder(this);
  if (folder.trimmed().isEmpty()) return;
  const QString shown = WithOneSeparator(folder);
  path_->setText(shown);
  state_.destinationFolder = shown.toStdString();
}

void CRepairDlgClass::Save() {
  // The host starts nothing while a job runs; the dialog closes all the same.
  host_.StartSave(path_->text());
  reject();
}

}  // namespace shell
