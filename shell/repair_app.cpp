#include "shell/repair_app.h"

#include <QFileDialog>
#include <QFont>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "job/contract/message_texts.h"
#include "shell/about_dlg.h"
#include "shell/file_exist.h"
#include "shell/message_box.h"
#include "shell/repair_dlg_class.h"
#include "shell/select_file.h"
#include "shell/single_instance.h"
#include "update/update_property_sheet.h"
#include "workspace/icons.h"

namespace shell {
namespace {

// The Select Database dialog's view of the program.
class SelectFileAdapter : public SelectFileHost {
 public:
  SelectFileAdapter(job::RepairState& state, workspace::CMainFrame& frame, ProductLinks& links)
      : state_(state), frame_(frame), links_(links) {}
  QString AskDatabaseFile(QWidget* parent) override { return PickDatabaseFile(parent); }
  bool ConfirmStop(QWidget* parent) override {
    return CMessageBox::Ask(state_, job::Dialog::CStopDialog, parent) == job::DialogAnswer::Yes;
  }
  bool StartRepair(const QString& path, bool includeDeleted) override {
    return frame_.StartRepair(path, includeDeleted);
  }
  void OpenHelp(QWidget* parent) override { links_.OpenHelp(parent); }
  QStringList Drives() override { return MountedDrives(); }

 private:
  job::RepairState& state_;
  workspace::CMainFrame& frame_;
  ProductLinks& links_;
};

// The save destination dialog's view of the program.
class DestinationAdapter : public RepairDlgHost {
 public:
  DestinationAdapter(workspace::CMainFrame& frame, ProductLinks& links) : frame_(frame), links_(links) {}
  QString AskFolder(QWidget* parent) override { return PickFolder(parent); }
  bool StartSave(const QString& folder) override { return frame_.StartSave(folder); }
  void OpenHelp(QWidget* parent) override { links_.OpenHelp(parent); }

 private:
  workspace::CMainFrame& frame_;
  ProductLinks& links_;
};

// A warning whose text comes from outside the program (a path, a value of the
// product key): shown as it stands, never read as markup.
void WarnPlainText(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(job::kProductTitle), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

ProgramDialogs::ProgramDialogs(job::RepairState& state)
    : state_(state),
      links_(ProductKey::Open(), WarnPlainText) {}

job::DialogAnswer ProgramDialogs::ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) {
  return CMessageBox::Ask(state, dialog, parent);
}

void ProgramDialogs::SelectDatabase(workspace::CMainFrame& frame, const QString& path) {
  SelectFileAdapter host(state_, frame, links_);
  SelectFile dialog(state_, host, path, &frame);
  dialog.exec();
}

void ProgramDialogs::ChooseDestination(workspace::CMainFrame& frame) {
  DestinationAdapter host(frame, links_);
  CRepairDlgClass dialog(state_, host, &frame);
  dialog.exec();
}

void ProgramDialogs::OpenHelp(QWidget* parent) { links_.OpenHelp(parent); }

void ProgramDialogs::OpenEnquiry(QWidget* parent) { links_.OpenEnquiry(parent); }

void ProgramDialogs::OpenKnowledgebase(QWidget* parent) { links_.OpenKnowledgebase(parent); }

void ProgramDialogs::ShowAbout(QWidget* parent) {
  CAboutDlg dialog(links_, CurrentSystemFacts(), parent);
  dialog.exec();
}

void ProgramDialogs::ShowUpdate(QWidget* parent) {
  if (!updater_) updater_ = std::make_unique<update::CAutoUpdater>(UpdateKeyOf(ProductKey::Open()));
  update::RunUpdateCommand(state_, *updater_, updateHost_, parent);
}

QString ProgramDialogs::AskSaveFileName(QWidget* parent, const QString& suggested) {
  // A new file name may be typed: the report is created when it does not exist.
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Log"), suggested,
                                      QStringLiteral("All Files(*.log) (*.log)"), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

bool ProgramDialogs::AskOverwrite(QWidget* parent, const QString&) {
  CFileExist dialog(parent);
  dialog.exec();
  return dialog.Overwrite();
}

void ProgramDialogs::ShowError(QWidget* parent, const QString& text) { WarnPlainText(parent, text); }

CDravoltSqliteRepairApp::CDravoltSqliteRepairApp(int& argc, char** argv) : QApplication(argc, argv) {
  setOrganizationName(QStringLiteral("Dravolt Data Recovery"));
  setApplicationName(QString::fromUtf8(job::kProductTitle));
  setApplicationDisplayName(QString::fromUtf8(job::kProductTitle));
  setApplicationVersion(QStringLiteral(KESTRUN_VERSION));
  setDesktopFileName(QStringLiteral("kestrun-repair-gui"));
  setWindowIcon(workspace::ProgramIcon(QStringLiteral("application")));
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
