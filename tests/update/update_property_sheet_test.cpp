// The update wizard against a server on 127.0.0.1: the check's result on the
// second page, the download on the third, Cancel on each page, and what the
// Update command does once the wizard has closed.
#include "update/update_property_sheet.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>

#include "workspace/link_label.h"
#include "tests/update/local_http_server.h"
#include "tests/update/update_fixture.h"
#include "update/auto_updater.h"
#include "update/update_animation.h"
#include "update/update_final.h"
#include "update/update_process.h"
#include "update/update_start.h"
#include "update/update_texts.h"

namespace {

using testing_http::LocalHttpServer;
using testing_http::Route;
using update::CUpdatePropertySheet;
using namespace update_fixture;

const QString kVersionPath = QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.txt");
const QString kInstallerPath = QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.exe");

// A wizard over a server, shown (not modal), without the pages' start delay; its
// downloads go into a temporary folder of its own.
struct Wizard {
  explicit Wizard(const QUrl& server, const QString& version = QStringLiteral("1.0.0.1"),
                  update::UpdateOptions options = {})
      : updater(StandardKey(keyFolder, server.toString(), version), InDownloads(options)),
        sheet(state, updater, host, nullptr, 0) {
    sheet.show();
  }
  Wizard(const update::UpdateKey& key) : updater(key, InDownloads({})), sheet(state, updater, host, nullptr, 0) {
    sheet.show();
  }

  update::UpdateOptions InDownloads(update::UpdateOptions options) const {
    options.tempRoot = downloads.path();
    return options;
  }
  bool StartInstaller() { return update::StartInstallerAfterWizard(state, updater, host, nullptr); }
  // The private folders the downloads left in the wizard's temporary folder.
  QStringList DownloadFolders() const { return QDir(downloads.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }

  QAbstractButton* Button(QWizard::WizardButton which) { return sheet.button(which); }
  void Click(QWizard::WizardButton which) { QTest::mouseClick(Button(which), Qt::LeftButton); }
  // Next to the check's page, until its result is shown.
  bool ToCheckResult() {
    Click(QWizard::NextButton);
    return QTest::qWaitFor([this] { return sheet.ProcessPage()->Code() != -1; }, 10000);
  }
  QString Status() { return sheet.ProcessPage()->Status()->text(); }

  QTemporaryDir keyFolder;
  QTemporaryDir downloads;
  job::RepairState state;
  RecordingHost host;
  update::CAutoUpdater updater;
  CUpdatePropertySheet sheet;
};

const QString kNewUpdate = QStringLiteral("A new update 1.0.0.2 is available. Click 'Next' to proceed further.");

TEST(UpdatePropertySheetTest, FirstPageWelcomesAndHasNoBack) {
  LocalHttpServer server;
  Wizard wizard(server.Address());
  EXPECT_EQ(wizard.sheet.windowTitle(), QStringLiteral("Update Wizard"));
  EXPECT_EQ(wizard.sheet.currentId(), CUpdatePropertySheet::kStartPage);
  EXPECT_FALSE(wizard.Button(QWizard::BackButton)->isEnabled());
  EXPECT_TRUE(wizard.Button(QWizard::NextButton)->isEnabled());
  EXPECT_EQ(wizard.sheet.StartPage()->findChild<QLabel*>("WelcomeLabel")->text(),
            QString::fromUtf8(update::kWelcomeText));
}

TEST(UpdatePropertySheetTest, CheckResultsTable) {
  struct Case {
    const char* name;
    QByteArray versionFile;  // null: no version file on the server
    QString installed;       // empty: no "Version" in the product key
    int code;
    QString status;
    bool next;
    bool majorShown;
  } cases[] = {
      {"a newer revision", "1.0.0.2\n", "1.0.0.1", update::kCheckUpdate, kNewUpdate, true, false},
      {"a major release", "2.0.0.0\n", "1.0.0.1", update::kCheckMajorRelease, update::kAllLatestText, false, true},
      {"both lines newer", "1.0.0.3 major\n1.0.0.2 minor\n", "1.0.0.1", update::kCheckUpdateAndMajor, kNewUpdate, true,
       true},
      {"major on line 1, update on line 2", "2.0.0.0\n1.0.0.2\n", "1.0.0.1", update::kCheckUpdate, kNewUpdate, true,
       false},
      {"equal versions", "1.0.0.1\n", "1.0.0.1", update::kCheckUpToDate, update::kUpdatedText, false, false},
      {"no downgrade", "1.0.0.1\n", "2.0.0.0", update::kCheckUpToDate, update::kUpdatedText, false, false},
      {"1.0.0.10 is not cut", "1.0.0.10\n", "1.0.0.1", update::kCheckInvalidVersion, update::kUnreadableVersionText,
       false, false},
      {"an invalid text", "<html><body>moved</body></html>\n", "1.0.0.1", update::kCheckInvalidVersion,
       update::kUnreadableVersionText, false, false},
      {"missing version file", QByteArray(), "1.0.0.1", update::kCheckFailed, update::kConnectionFailedText, false,
       false},
      {"empty version file", "", "1.0.0.1", update::kCheckFailed, update::kConnectionFailedText, false, false},
      {"no installed version", "1.0.0.2\n", "", update::kCheckNoInstalledVersion, update::kNoInstalledVersionText,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocalHttpServer server;
    if (!c.versionFile.isNull()) server.Set(kVersionPath, Route{200, c.versionFile});
    QTemporaryDir folder;
    std::map<QString, QString> key{{"Version", c.installed},
                                   {"ExeName", "kestrun-repair"},
                                   {"UpdateServer", server.Address().toString()}};
    Wizard wizard(WriteKey(folder, key));
    ASSERT_TRUE(wizard.ToCheckResult());
    update::CUpdateProcess* page = wizard.sheet.ProcessPage();
    EXPECT_EQ(page->Code(), c.code);
    EXPECT_EQ(wizard.Status(), c.status);
    EXPECT_EQ(wizard.Button(QWizard::NextButton)->isEnabled(), c.next);
    EXPECT_TRUE(wizard.Button(QWizard::BackButton)->isEnabled());
    EXPECT_EQ(page->MajorRelease()->isVisible(), c.majorShown);
    EXPECT_EQ(page->UpgradeLink()->isVisible(), c.majorShown);
    if (c.majorShown) {
      EXPECT_EQ(page->MajorRelease()->text(), QString::fromUtf8(update::kMajorReleaseText));
    }
    EXPECT_FALSE(page->Animation()->Playing()) << "the search must not look as if it went on";
  }
}

TEST(UpdatePropertySheetTest, WhileTheCheckRunsThePageAnswersAndCancelEndsIt) {
  LocalHttpServer server;
  Route silent;
  silent.noAnswer = true;
  server.Set(kVersionPath, silent);
  Wizard wizard(server.Address());
  wizard.Click(QWizard::NextButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.Count(kVersionPath) == 1; }, 10000));
  // The request is out and unanswered: the window keeps running its events.
  update::CUpdateProcess* page = wizard.sheet.ProcessPage();
  EXPECT_TRUE(page->Checking());
  EXPECT_EQ(wizard.Status(), QString::fromUtf8(update::kSearchingText));
  EXPECT_FALSE(wizard.Button(QWizard::NextButton)->isEnabled());
  EXPECT_FALSE(wizard.Button(QWizard::BackButton)->isEnabled());
  EXPECT_FALSE(page->MajorRelease()->isVisible());
  const int frame = page->Animation()->Frame();
  EXPECT_TRUE(QTest::qWaitFor([&] { return page->Animation()->Frame() != frame; }, 5000)) << "the animation stands";
  wizard.Click(QWizard::CancelButton);
  EXPECT_FALSE(wizard.sheet.isVisible());
  EXPECT_EQ(wizard.sheet.result(), QDialog::Rejected);
  EXPECT_EQ(wizard.state.updateCancelled, 1);
  EXPECT_FALSE(wizard.updater.Checking());
  EXPECT_FALSE(wizard.StartInstaller());
  EXPECT_TRUE(wizard.host.opened.empty());
  EXPECT_EQ(wizard.host.quits, 0);
}

TEST(UpdatePropertySheetTest, CheckTimeoutIsAFailedCheck) {
  LocalHttpServer server;
  Route silent;
  silent.noAnswer = true;
  server.Set(kVersionPath, silent);
  update::UpdateOptions options;
  options.checkMs = 200;
  Wizard wizard(server.Address(), QStringLiteral("1.0.0.1"), options);
  ASSERT_TRUE(wizard.ToCheckResult());
  EXPECT_EQ(wizard.sheet.ProcessPage()->Code(), update::kCheckFailed);
  EXPECT_EQ(wizard.Status(), QString::fromUtf8(update::kConnectionFailedText));
}

TEST(UpdatePropertySheetTest, CancelOnTheFirstPageStartsNothing) {
  LocalHttpServer server;
  Wizard wizard(server.Address());
  wizard.Click(QWizard::CancelButton);
  EXPECT_EQ(wizard.sheet.result(), QDialog::Rejected);
  EXPECT_EQ(wizard.state.updateCancelled, 1);
  EXPECT_TRUE(server.Requests().isEmpty());
  EXPECT_FALSE(wizard.StartInstaller());
  EXPECT_EQ(wizard.host.quits, 0);
}

TEST(UpdatePropertySheetTest, BackFromTheResultReturnsToTheStartAndNextChecksAgain) {
  LocalHttpServer server;
  server.Set(kVersionPath, Route{200, "1.0.0.1\n"});
  Wizard wizard(server.Address());
  ASSERT_TRUE(wizard.ToCheckResult());
  wizard.Click(QWizard::BackButton);
  EXPECT_EQ(wizard.sheet.currentId(), CUpdatePropertySheet::kStartPage);
  EXPECT_FALSE(wizard.Button(QWizard::BackButton)->isEnabled());
  EXPECT_TRUE(wizard.Button(QWizard::NextButton)->isEnabled());
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  ASSERT_TRUE(wizard.ToCheckResult());
  EXPECT_EQ(wizard.Status(), kNewUpdate);
  EXPECT_EQ(server.Count(kVersionPath), 2);
}

TEST(UpdatePropertySheetTest, UpgradePageOpensOnlyWebAddresses) {
  for (const QString& page : {QStringLiteral("https://www.dravolt.example/upgrade"),
                              QStringLiteral("javascript:alert(1)"), QStringLiteral("file:///bin/sh")}) {
    SCOPED_TRACE(page.toStdString());
    LocalHttpServer server;
    server.Set(kVersionPath, Route{200, "2.0.0.0\n"});
    QTemporaryDir folder;
    Wizard wizard(WriteKey(folder, {{"Version", "1.0.0.1"},
                                    {"ExeName", "kestrun-repair"},
                                    {"UpdateServer", server.Address().toString()},
                                    {"Update", page}}));
    ASSERT_TRUE(wizard.ToCheckResult());
    workspace::CLinkLabel* link = wizard.sheet.ProcessPage()->UpgradeLink();
    ASSERT_TRUE(link->isVisible());
    QTest::mouseClick(link, Qt::LeftButton);
    const bool web = page.startsWith(QStringLiteral("https:"));
    if (web) {
      ASSERT_EQ(wizard.host.opened.size(), 1u);
      EXPECT_EQ(wizard.host.opened.front(), QUrl(page));
      EXPECT_TRUE(wizard.host.asked.empty());
    } else {
      EXPECT_TRUE(wizard.host.opened.empty());
      ASSERT_EQ(wizard.host.asked.size(), 1u);
      EXPECT_EQ(wizard.host.asked.front().text, update::kNoUpgradePageText);
    }
  }
}

// Through the check to the download's page, until the download has ended.
bool ToDownloadEnd(Wizard& wizard) {
  if (!wizard.ToCheckResult() || !wizard.Button(QWizard::NextButton)->isEnabled()) return false;
  wizard.Click(QWizard::NextButton);
  return QTest::qWaitFor([&] { return wizard.sheet.FinalPage()->isComplete(); }, 15000);
}

TEST(UpdatePropertySheetTest, FullDownloadFillsTheBarAndFinishStartsTheInstaller) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(kInstallerPath, Route{200, installer});
  Wizard wizard(server.Address());
  ASSERT_TRUE(wizard.ToCheckResult());
  wizard.Click(QWizard::NextButton);
  update::CUpdateFinal* page = wizard.sheet.FinalPage();
  EXPECT_EQ(wizard.sheet.currentId(), CUpdatePropertySheet::kFinalPage);
  EXPECT_FALSE(wizard.Button(QWizard::BackButton)->isVisible());
  EXPECT_FALSE(wizard.Button(QWizard::FinishButton)->isEnabled());
  std::vector<int> values;
  QObject::connect(page->Bar(), &QProgressBar::valueChanged, [&](int value) { values.push_back(value); });
  // As the transfer begins: the download is marked as running and Finish waits.
  int runningAtStart = -1;
  bool busyAtStart = false;
  bool finishAtStart = true;
  QObject::connect(&wizard.updater, &update::CAutoUpdater::DownloadStarted, [&] {
    runningAtStart = wizard.state.updateRunning;
    busyAtStart = page->Busy();
    finishAtStart = wizard.Button(QWizard::FinishButton)->isEnabled();
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return page->isComplete(); }, 15000));
  EXPECT_EQ(runningAtStart, 1);
  EXPECT_TRUE(busyAtStart);
  EXPECT_FALSE(finishAtStart);
  EXPECT_EQ(wizard.state.updateRunning, 0);
  EXPECT_EQ(page->Status()->text(), QString::fromUtf8(update::kDownloadCompletedText));
  EXPECT_EQ(page->FileLabel()->text(), QStringLiteral("kestrun-repair.exe from 127.0.0.1"));
  EXPECT_EQ(page->Bar()->maximum(), installer.size());
  EXPECT_EQ(page->Bar()->value(), installer.size());
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ sec\\(3.00 MB of 3.00 MB copied\\)$"))
                  .match(page->TimeLabel()->text())
                  .hasMatch())
      << page->TimeLabel()->text().toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d (bytes|KB|MB|GB)/sec$"))
                  .match(page->RateLabel()->text())
                  .hasMatch())
      << page->RateLabel()->text().toStdString();
  EXPECT_TRUE(wizard.host.asked.empty()) << "no notice after a completed download";
  EXPECT_TRUE(wizard.Button(QWizard::FinishButton)->isEnabled());
  EXPECT_FALSE(wizard.Button(QWizard::BackButton)->isVisible());
  const QString path = QString::fromStdString(wizard.state.installerPath);
  ASSERT_TRUE(QFileInfo::exists(path));
  wizard.Click(QWizard::FinishButton);
  EXPECT_EQ(wizard.sheet.result(), QDialog::Accepted);
  EXPECT_TRUE(wizard.StartInstaller());
  ASSERT_EQ(wizard.host.opened.size(), 1u);
  EXPECT_EQ(wizard.host.opened.front(), QUrl::fromLocalFile(path));
  EXPECT_EQ(wizard.host.quits, 1);
}

TEST(UpdatePropertySheetTest, FailedDownloadsAreToldAndStartNothing) {
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  struct Case {
    const char* name;
    QByteArray versionFile;
    Route installer;
  } cases[] = {
      {"broken halfway", "1.0.0.2\n", Route{200, installer, installer.size() / 2}},
      {"checksum differs", "1.0.0.2 " + QByteArray(64, '0') + "\n", Route{200, installer}},
      {"no installer", "1.0.0.2\n", Route{404, "gone"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocalHttpServer server;
    server.Set(kVersionPath, Route{200, c.versionFile});
    server.Set(kInstallerPath, c.installer);
    Wizard wizard(server.Address());
    ASSERT_TRUE(ToDownloadEnd(wizard));
    ASSERT_EQ(wizard.host.asked.size(), 1u);
    EXPECT_EQ(wizard.host.asked.front().dialog, job::Dialog::CUserDialog);
    EXPECT_EQ(wizard.host.asked.front().text, update::kConnectionFailedText);
    EXPECT_NE(wizard.sheet.FinalPage()->Status()->text(), QString::fromUtf8(update::kDownloadCompletedText));
    EXPECT_TRUE(wizard.state.installerPath.empty());
    EXPECT_EQ(wizard.state.updateRunning, 0);
    EXPECT_TRUE(wizard.Button(QWizard::FinishButton)->isEnabled());
    wizard.Click(QWizard::FinishButton);
    EXPECT_FALSE(wizard.StartInstaller());
    EXPECT_TRUE(wizard.host.opened.empty());
    EXPECT_EQ(wizard.host.quits, 0);
  }
}

TEST(UpdatePropertySheetTest, MatchingChecksumStartsTheInstaller) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(200000);
  server.Set(kVersionPath, Route{200, "1.0.0.2 " + Sha256Hex(installer) + "\n"});
  server.Set(kInstallerPath, Route{200, installer});
  Wizard wizard(server.Address());
  ASSERT_TRUE(ToDownloadEnd(wizard));
  EXPECT_TRUE(wizard.host.asked.empty());
  // Cancel after the end closes like Finish: the download completed in this wizard.
  wizard.Click(QWizard::CancelButton);
  EXPECT_EQ(wizard.state.updateCancelled, 0);
  EXPECT_TRUE(wizard.StartInstaller());
  EXPECT_EQ(wizard.host.quits, 1);
}

TEST(UpdatePropertySheetTest, CancelDuringTheDownloadAsksThenBreaksItOff) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(kInstallerPath, Route{200, installer, 1024 * 1024, true});  // stalls after 1 MiB
  Wizard wizard(server.Address());
  ASSERT_TRUE(wizard.ToCheckResult());
  wizard.Click(QWizard::NextButton);
  update::CUpdateFinal* page = wizard.sheet.FinalPage();
  ASSERT_TRUE(QTest::qWaitFor([&] { return page->Bar()->value() > 0; }, 10000));
  const QString target = wizard.updater.DownloadTarget();
  ASSERT_TRUE(QFileInfo::exists(target));
  // No: the download goes on and the wizard stays.
  wizard.host.answer = job::DialogAnswer::No;
  wizard.Click(QWizard::CancelButton);
  ASSERT_EQ(wizard.host.asked.size(), 1u);
  EXPECT_EQ(wizard.host.asked.front().dialog, job::Dialog::CStopDialog);
  EXPECT_EQ(wizard.host.asked.front().lines, (std::vector<std::string>{job::kStopQuestionText, job::kNotResumableText}));
  EXPECT_TRUE(wizard.sheet.isVisible());
  EXPECT_TRUE(wizard.updater.Downloading());
  // Yes: broken off, the partial file deleted, nothing to start.
  wizard.host.answer = job::DialogAnswer::Yes;
  wizard.Click(QWizard::CancelButton);
  EXPECT_FALSE(wizard.sheet.isVisible());
  EXPECT_FALSE(wizard.updater.Downloading());
  EXPECT_FALSE(QFileInfo::exists(target));
  EXPECT_EQ(wizard.state.updateCancelled, 1);
  EXPECT_EQ(wizard.state.updateRunning, 0);
  EXPECT_FALSE(wizard.StartInstaller());
  EXPECT_TRUE(wizard.host.opened.empty());
  EXPECT_EQ(wizard.host.quits, 0);
}

// The user answers the stop question only after the download has ended: Yes still
// means nothing is started, and the downloaded installer does not stay behind.
TEST(UpdatePropertySheetTest, YesAfterTheDownloadEndedWhileAskedStartsNothing) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(kInstallerPath, Route{200, installer});
  Wizard wizard(server.Address());
  ASSERT_TRUE(wizard.ToCheckResult());
  update::CUpdateFinal* page = wizard.sheet.FinalPage();
  bool endedWhileAsked = false;
  wizard.host.answer = job::DialogAnswer::Yes;
  wizard.host.whileAsked = [&] {
    endedWhileAsked = QTest::qWaitFor([&] { return page->isComplete(); }, 15000);
  };
  // Cancel as soon as the transfer has begun, while the page is still busy.
  QObject::connect(&wizard.updater, &update::CAutoUpdater::DownloadStarted, &wizard.sheet,
                   [&] { wizard.sheet.reject(); }, Qt::QueuedConnection);
  wizard.Click(QWizard::NextButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !wizard.sheet.isVisible(); }, 20000));
  ASSERT_TRUE(endedWhileAsked);
  ASSERT_EQ(wizard.host.asked.size(), 1u);
  EXPECT_EQ(wizard.host.asked.front().dialog, job::Dialog::CStopDialog);
  EXPECT_EQ(wizard.state.updateCancelled, 1);
  EXPECT_FALSE(wizard.StartInstaller());
  EXPECT_TRUE(wizard.host.opened.empty());
  EXPECT_EQ(wizard.host.quits, 0);
  EXPECT_TRUE(wizard.DownloadFolders().isEmpty()) << "the installer stays behind";
}

// With no byte arriving, the time label still counts and the rate is the bytes so
// far over the time so far.
TEST(UpdatePropertySheetTest, AStalledDownloadShowsItsTimePassing) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(kInstallerPath, Route{200, installer, 1024 * 1024, true});  // stalls after 1 MiB
  Wizard wizard(server.Address());
  ASSERT_TRUE(wizard.ToCheckResult());
  wizard.Click(QWizard::NextButton);
  update::CUpdateFinal* page = wizard.sheet.FinalPage();
  const QRegularExpression time(QStringLiteral("^(\\d+) sec\\(1.00 MB of 3.00 MB copied\\)$"));
  int seconds = 0;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QRegularExpressionMatch match = time.match(page->TimeLabel()->text());
        seconds = match.hasMatch() ? match.captured(1).toInt() : 0;
        return seconds >= 2;
      },
      15000))
      << page->TimeLabel()->text().toStdString();
  EXPECT_EQ(page->RateLabel()->text().toStdString(), update::FormatSize(1024 * 1024 / seconds) + "/sec");
  EXPECT_FALSE(page->isComplete());
  wizard.host.answer = job::DialogAnswer::Yes;
  wizard.Click(QWizard::CancelButton);
  EXPECT_FALSE(wizard.sheet.isVisible());
}

TEST(UpdatePropertySheetTest, AnInstallerThatCannotBeOpenedKeepsTheProgramAndGoes) {
  LocalHttpServer server;
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(kInstallerPath, Route{200, InstallerBody(100000)});
  Wizard wizard(server.Address());
  ASSERT_TRUE(ToDownloadEnd(wizard));
  const std::string path = wizard.state.installerPath;
  ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
  wizard.Click(QWizard::FinishButton);
  wizard.host.openWorks = false;
  EXPECT_FALSE(wizard.StartInstaller());
  EXPECT_EQ(wizard.host.quits, 0);
  ASSERT_EQ(wizard.host.asked.size(), 1u);
  EXPECT_EQ(wizard.host.asked.front().text, "The installer " + path + " could not be opened.");
  EXPECT_TRUE(wizard.DownloadFolders().isEmpty()) << "the installer's folder stays behind";
}

}  // namespace
