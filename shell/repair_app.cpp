#include "shell/repair_app.h"

#include <QFileDialog>
#include <QFont>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "job/contract/message_texts.h"
#include "shell/message_box.h"
#include "shell/single_instance.h"

namespace shell {

ProgramDialogs::ProgramDialogs(job::RepairState& state) : state_(state) {}

job::DialogAnswer ProgramDialogs::ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) {
  return CMessageBox::Ask(state, dialog, parent);
}

void ProgramDialogs::SelectDatabase(workspace::CMainFrame& frame, const QString& path) {
  const QString chosen = path.isEmpty() ? QFileDialog::getOpenFileName(&frame, QStringLiteral("Select Database"), QString(),
                                      QStringLiteral("DB Files (*.db *.sqlite);;All Files (*)")) : path;
  if (!chosen.isEmpty()) frame.StartRepair(chosen, state_.includeDeletedRecords != 0);
}

void ProgramDialogs::ChooseDestination(workspace::CMainFrame& frame) {
  const QString folder = QFileDialog::getExistingDirectory(&frame, QStringLiteral("Repair"));
  if (!folder.isEmpty()) frame.StartSave(folder);
}

void ProgramDialogs::OpenHelp(QWidget*) {}
void ProgramDialogs::OpenEnquiry(QWidget*) {}
void ProgramDialogs::OpenKnowledgebase(QWidget*) {}

void ProgramDialogs::ShowAbout(QWidget* parent) {
  QMessageBox::about(parent, QStringLiteral("About %1").arg(QString::fromUtf8(job::kProductTitle)),
                     QStringLiteral("%1\nVersion %2").arg(QString::fromUtf8(job::kProductTitle),
                                                          QCoreApplication::applicationVersion()));
}

void ProgramDialogs::ShowUpdate(QWidget* parent) {
  state_.noticeText = "This version of the program does not update itself yet.";
  CMessageBox::Ask(state_, job::Dialog::CUserDialog, parent);
}

QString ProgramDialogs::AskSaveFileName(QWidget* parent, const QString& suggested) {
  // A new file name may be typed: the report is created when it does not exist.
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Log"), suggested,
                                      QStringLiteral("All Files(*.log) (*.log)"), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

bool ProgramDialogs::AskOverwrite(QWidget* parent, const QString&) {
  return QMessageBox::question(parent, QStringLiteral("Overwrite File"), QStringLiteral("File exists.\n\nDo you want to overwrite?"),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void ProgramDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QString::fromUtf8(job::kProductTitle), text);
}

CDravoltSqliteRepairApp::CDravoltSqliteRepairApp(int& argc, char** argv) : QApplication(argc, argv) {
  setOrganizationName(QStringLiteral("Dravolt Data Recovery"));
  setApplicationName(QString::fromUtf8(job::kProductTitle));
  setApplicationDisplayName(QString::fromUtf8(job::kProductTitle));
  setApplicationVersion(QStringLiteral(KESTRUN_VERSION));
  setDesktopFileName(QStringLiteral("kestrun-repair-gui"));
  // The common font: Arial in a 14-pixel cell, or the nearest family there is.
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(12);
  setFont(font);
  // Quitting without the window's close (a session end, a signal) must not leave
  // a worker waiting on the window: it is stopped, answered and joined first.
  connect(this, &QCoreApplication::aboutToQuit, this, [this] {
    if (frame_) frame_->Shutdown();
  });
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
  frame_->RestoreWindowSettings();
  frame_->showMaximized();
  // Every run begins with choosing the damaged database; one named on the command
  // line is filled in.
  const QStringList args = arguments();
  const QString path = args.size() > 1 ? args.at(1) : QString();
  QTimer::singleShot(0, frame_.get(), [this, path] { dialogs_.SelectDatabase(*frame_, path); });
  return exec();
}

}  // namespace shell
