#include "shell/repair_app.h"

#include <QFileDialog>
#include <QFont>
#include <QMessageBox>
#include <QScreen>

#include "shell/message_box.h"
#include "shell/single_instance.h"

namespace shell {

job::DialogAnswer ProgramDialogs::ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) {
  return CMessageBox::Ask(state, dialog, parent);
}

QString ProgramDialogs::AskDatabasePath(QWidget* parent) {
  // Damaged databases often carry other extensions: all files are offered too.
  return QFileDialog::getOpenFileName(parent, QStringLiteral("Select Database"), QString(),
                                      QStringLiteral("SQLite Database Files (*.db *.sqlite);;All Files (*)"));
}

QString ProgramDialogs::AskDestinationFolder(QWidget* parent) {
  return QFileDialog::getExistingDirectory(parent, QStringLiteral("Repair"));
}

QString ProgramDialogs::AskSaveFileName(QWidget* parent, const QString& suggested) {
  // A new file name may be typed: the report is created when it does not exist.
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Log"), suggested,
                                      QStringLiteral("All Files(*.log) (*.log)"), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

bool ProgramDialogs::AskOverwrite(QWidget* parent, const QString&) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Overwrite File"),
                  QStringLiteral("File exists.\n\nDo you want to overwrite?"), QMessageBox::Yes | QMessageBox::No,
                  parent);
  box.setEscapeButton(QMessageBox::No);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void ProgramDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QString::fromUtf8(job::kProductTitle), text);
}

CDravoltSqliteRepairApp::CDravoltSqliteRepairApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromUtf8(job::kProductTitle));
  setApplicationDisplayName(QString::fromUtf8(job::kProductTitle));
  setDesktopFileName(QStringLiteral("kestrun-repair-gui"));
  // The common font: Arial in a 14-pixel cell, or the nearest family there is.
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  setFont(font);
}

CDravoltSqliteRepairApp::~CDravoltSqliteRepairApp() {
  frame_.reset();  // releases and joins a running worker before the engine goes
  engine_.reset();
}

int CDravoltSqliteRepairApp::Run() {
  SingleInstance instance;
  if (!instance.Acquired()) {
    state_.msgAnotherInstance = 1;
    CMessageBox::Ask(state_, job::Dialog::CMessageOk, nullptr);
    return 1;
  }
  frame_ = std::make_unique<workspace::CMainFrame>(state_, dialogs_);
  engine_ = std::make_unique<CSqliteRepair>(state_, frame_->Port());
  frame_->AttachEngine(*engine_);
  // Without a window manager (a bare X server) a maximized window keeps its size:
  // it is given the screen's size first.
  if (QScreen* screen = primaryScreen()) frame_->resize(screen->availableGeometry().size());
  frame_->showMaximized();
  const QStringList args = arguments();
  if (args.size() > 1) frame_->StartRepair(args.at(1), false);
  return exec();
}

}  // namespace shell
