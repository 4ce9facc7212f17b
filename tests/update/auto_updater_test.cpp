// The updater against a server on 127.0.0.1: the version check's codes and
// request, the download's success, its failures and its abort.
#include "update/auto_updater.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTest>

#include "tests/update/local_http_server.h"
#include "tests/update/update_fixture.h"

namespace {

using testing_http::LocalHttpServer;
using testing_http::Route;
using Framing = testing_http::Route::Framing;
using update::CAutoUpdater;
using namespace update_fixture;

const QString kVersionPath = QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.txt");
const QString kInstallerPath = QStringLiteral("/upgrade/kestrun-repair/kestrun-repair.exe");

// Runs a check and returns its code, or -1 when none came within ten seconds.
int Check(CAutoUpdater& updater) {
  QSignalSpy finished(&updater, &CAutoUpdater::CheckFinished);
  updater.CheckForUpdate(updater.BaseAddress().value_or(QUrl()));
  if (finished.isEmpty() && !finished.wait(10000)) return -1;
  return finished.front().front().toInt();
}

// Runs a download and returns its result, or -1 when none came within ten seconds.
int Download(CAutoUpdater& updater, QList<QList<QVariant>>* progress = nullptr) {
  QSignalSpy finished(&updater, &CAutoUpdater::DownloadFinished);
  QSignalSpy steps(&updater, &CAutoUpdater::DownloadProgress);
  updater.DownloadUpdate(updater.BaseAddress().value_or(QUrl()));
  if (finished.isEmpty() && !finished.wait(10000)) return -1;
  if (progress) *progress = steps;
  return finished.front().front().toInt();
}

// Options whose downloads go into `downloads`, so nothing stays behind in the
// system's temporary folder.
update::UpdateOptions InFolder(const QTemporaryDir& downloads, int transferMs = 30000) {
  update::UpdateOptions options;
  options.transferMs = transferMs;
  options.tempRoot = downloads.path();
  return options;
}

Route Framed(Route route, Framing framing) {
  route.framing = framing;
  return route;
}

QByteArray HeaderOf(const QByteArray& head, const QByteArray& name) {
  for (const QByteArray& line : head.split('\n')) {
    if (line.toLower().startsWith(name.toLower() + ':')) return line.mid(name.size() + 1).trimmed();
  }
  return {};
}

TEST(AutoUpdaterTest, VersionFileIsAskedFreshUnderTheServersUpgradeFolder) {
  LocalHttpServer server;
  // A server address with a folder of its own and a trailing slash.
  server.Set(QStringLiteral("/mirror/upgrade/kestrun-repair/kestrun-repair.txt"), Route{200, "1.0.0.2 May\n"});
  QTemporaryDir folder;
  CAutoUpdater updater(StandardKey(folder, server.Address().toString() + QStringLiteral("/mirror/")));
  const QStringList before = QDir::current().entryList(QDir::Files);
  EXPECT_EQ(Check(updater), update::kCheckUpdate);
  EXPECT_EQ(updater.NewVersion(), QStringLiteral("1.0.0.2"));
  EXPECT_EQ(updater.LastLineRest(), QStringLiteral("May"));
  ASSERT_EQ(server.Requests().size(), 1);
  const QByteArray head = server.Requests().front();
  EXPECT_TRUE(head.startsWith("GET /mirror/upgrade/kestrun-repair/kestrun-repair.txt HTTP/1.1")) << head.constData();
  EXPECT_EQ(HeaderOf(head, "User-Agent"), QCoreApplication::applicationName().toUtf8());
  EXPECT_EQ(HeaderOf(head, "Cache-Control"), "no-cache");
  EXPECT_EQ(updater.InstallerAddress().path(), QStringLiteral("/mirror/upgrade/kestrun-repair/kestrun-repair.exe"));
  // The version file is read in memory: nothing appears in the current folder.
  EXPECT_EQ(QDir::current().entryList(QDir::Files), before);
}

TEST(AutoUpdaterTest, CheckFailuresTable) {
  LocalHttpServer server;
  server.Set(kVersionPath, Route{200, "1.0.0.2\n"});
  server.Set(QStringLiteral("/empty/upgrade/kestrun-repair/kestrun-repair.txt"), Route{200, ""});
  Route silent;
  silent.noAnswer = true;
  server.Set(QStringLiteral("/silent/upgrade/kestrun-repair/kestrun-repair.txt"), silent);
  // A larger answer is cut at the version file's limit, not read to its end.
  server.Set(QStringLiteral("/big/upgrade/kestrun-repair/kestrun-repair.txt"),
             Route{200, "1.0.0.2 " + QByteArray(20000, 'x') + "\n"});
  // A port nobody listens on.
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    closedPort = probe.serverPort();
  }
  const QString base = server.Address().toString();
  struct Case {
    const char* name;
    std::map<QString, QString> key;
    int code;
    bool asksServer;
    int checkMs = 30000;
  } cases[] = {
      {"missing version file",
       {{"Version", "1.0.0.1"}, {"ExeName", "other"}, {"UpdateServer", base}}, update::kCheckFailed, true},
      {"empty version file",
       {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"}, {"UpdateServer", base + "/empty"}},
       update::kCheckFailed, true},
      {"no answer in time",
       {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"}, {"UpdateServer", base + "/silent"}},
       update::kCheckFailed, true, 300},  // only the timeout ends this check
      {"a version file larger than its limit",
       {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"}, {"UpdateServer", base + "/big"}},
       update::kCheckUpdate, true},
      {"no server listening",
       {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"},
        {"UpdateServer", QStringLiteral("http://127.0.0.1:%1").arg(closedPort)}},
       update::kCheckNotConnected, false},
      {"no installed version", {{"ExeName", "kestrun-repair"}, {"UpdateServer", base}},
       update::kCheckNoInstalledVersion, false},
      {"a program name that is a path", {{"Version", "1.0.0.1"}, {"ExeName", "../x"}, {"UpdateServer", base}},
       update::kCheckFailed, false},
      {"no program name", {{"Version", "1.0.0.1"}, {"UpdateServer", base}}, update::kCheckFailed, false},
      {"an update server that is no web address",
       {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"}, {"UpdateServer", "file:///tmp"}},
       update::kCheckFailed, false},
      {"no update server", {{"Version", "1.0.0.1"}, {"ExeName", "kestrun-repair"}}, update::kCheckFailed, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    update::UpdateOptions options;
    options.checkMs = c.checkMs;
    CAutoUpdater updater(WriteKey(folder, c.key), options);
    const qsizetype asked = server.Requests().size();
    EXPECT_EQ(Check(updater), c.code);
    EXPECT_EQ(server.Requests().size() > asked, c.asksServer);
    EXPECT_FALSE(updater.Checking());
  }
}

TEST(AutoUpdaterTest, FullDownloadReportsEveryByteIntoAPrivateFolder) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kInstallerPath, Route{200, installer});
  QTemporaryDir folder;
  QTemporaryDir downloads;
  CAutoUpdater updater(StandardKey(folder, server.Address().toString()), InFolder(downloads));
  QSignalSpy started(&updater, &CAutoUpdater::DownloadStarted);
  QList<QList<QVariant>> progress;
  ASSERT_EQ(Download(updater, &progress), update::kDownloadOk);
  ASSERT_EQ(started.size(), 1);
  EXPECT_EQ(started.front().front().toString(), QStringLiteral("kestrun-repair.exe from 127.0.0.1"));
  ASSERT_FALSE(progress.isEmpty());
  quint64 last = 0;
  for (const QList<QVariant>& step : progress) {
    EXPECT_GE(step[0].toULongLong(), last);
    last = step[0].toULongLong();
  }
  EXPECT_EQ(progress.back()[0].toULongLong(), quint64(installer.size()));
  EXPECT_EQ(progress.back()[1].toULongLong(), quint64(installer.size()));
  EXPECT_EQ(updater.InstallerSize(), quint64(installer.size()));
  const QString path = updater.InstallerPath();
  EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("kestrun-repair.exe"));
  // A private folder of its own inside the temporary folder, not a fixed shared name.
  const QFileInfo privateFolder(QFileInfo(path).absolutePath());
  EXPECT_EQ(privateFolder.absolutePath(), QDir(downloads.path()).absolutePath());
  EXPECT_TRUE(privateFolder.fileName().startsWith(QStringLiteral("kestrun-update-")));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll() == installer);
  EXPECT_EQ(HeaderOf(server.Requests().back(), "User-Agent"), "AutoUpdateAgent");
  // Removed on request (an installer that will not be started), folder and all.
  updater.RemoveInstaller();
  EXPECT_FALSE(privateFolder.exists());
  EXPECT_TRUE(updater.InstallerPath().isEmpty());
}

TEST(AutoUpdaterTest, DownloadFailuresTableLeaveNoFile) {
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  const QByteArray other = InstallerBody(1000);
  struct Case {
    const char* name;
    Route route;
    QByteArray versionFile;  // checked first, for its checksum
    int transferMs;
    int result;
  } cases[] = {
      {"broken halfway", Route{200, installer, installer.size() / 2}, "1.0.0.2\n", 30000, update::kDownloadFailed},
      {"not found", Route{404, "gone"}, "1.0.0.2\n", 30000, update::kDownloadFailed},
      {"a server error with a body", Route{500, installer}, "1.0.0.2\n", 30000, update::kDownloadFailed},
      {"stalled", Route{200, installer, 65536, true}, "1.0.0.2\n", 300, update::kDownloadFailed},
      {"checksum differs", Route{200, installer}, "1.0.0.2 " + Sha256Hex(other) + "\n", 30000,
       update::kDownloadFailed},
      {"checksum matches", Route{200, installer}, "1.0.0.2 " + Sha256Hex(installer).toUpper() + " signed\n", 30000,
       update::kDownloadOk},
      // Without a length, a connection closed early looks like the end of the body.
      {"no length, closed halfway", Framed(Route{200, installer, installer.size() / 2}, Framing::kNone), "1.0.0.2\n",
       30000, update::kDownloadFailed},
      {"no length and no checksum to tell it is whole", Framed(Route{200, installer}, Framing::kNone), "1.0.0.2\n",
       30000, update::kDownloadFailed},
      {"no length, closed halfway, checksum given", Framed(Route{200, installer, installer.size() / 2}, Framing::kNone),
       "1.0.0.2 " + Sha256Hex(installer) + "\n", 30000, update::kDownloadFailed},
      {"no length, checksum matches", Framed(Route{200, installer}, Framing::kNone),
       "1.0.0.2 " + Sha256Hex(installer) + "\n", 30000, update::kDownloadOk},
      {"chunked, cut before the last chunk", Framed(Route{200, installer, installer.size() / 2}, Framing::kChunked),
       "1.0.0.2\n", 30000, update::kDownloadFailed},
      {"chunked, whole", Framed(Route{200, installer}, Framing::kChunked), "1.0.0.2\n", 30000, update::kDownloadOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocalHttpServer server;
    server.Set(kInstallerPath, c.route);
    server.Set(kVersionPath, Route{200, c.versionFile});
    QTemporaryDir folder;
    QTemporaryDir downloads;
    CAutoUpdater updater(StandardKey(folder, server.Address().toString()), InFolder(downloads, c.transferMs));
    ASSERT_EQ(Check(updater), update::kCheckUpdate);
    QString target;
    QObject::connect(&updater, &CAutoUpdater::DownloadStarted, [&] { target = updater.DownloadTarget(); });
    EXPECT_EQ(Download(updater), c.result);
    ASSERT_FALSE(target.isEmpty()) << "the download never started";
    if (c.result == update::kDownloadOk) {
      EXPECT_EQ(updater.InstallerPath(), target);
      QFile file(target);
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_TRUE(file.readAll() == installer);
      continue;
    }
    EXPECT_TRUE(updater.InstallerPath().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(target)) << qPrintable(target);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(target).absolutePath())) << "the private folder stays behind";
  }
}

TEST(AutoUpdaterTest, AbortDeletesThePartialFileAndEndsSilently) {
  LocalHttpServer server;
  const QByteArray installer = InstallerBody(3 * 1024 * 1024);
  server.Set(kInstallerPath, Route{200, installer, 1024 * 1024, true});
  QTemporaryDir folder;
  QTemporaryDir downloads;
  CAutoUpdater updater(StandardKey(folder, server.Address().toString()), InFolder(downloads));
  QSignalSpy finished(&updater, &CAutoUpdater::DownloadFinished);
  QSignalSpy progress(&updater, &CAutoUpdater::DownloadProgress);
  updater.DownloadUpdate(updater.BaseAddress().value_or(QUrl()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !progress.isEmpty() && progress.back()[0].toULongLong() > 0; }, 10000));
  const QString target = updater.DownloadTarget();
  ASSERT_TRUE(QFileInfo(target).size() > 0);
  updater.AbortDownload();
  EXPECT_FALSE(updater.Downloading());
  EXPECT_FALSE(QFileInfo::exists(target));
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(target).absolutePath()));
  // The reply is broken off from the event loop: once it is gone, nothing of it
  // can come any more.
  ASSERT_TRUE(QTest::qWaitFor([&] { return updater.findChildren<QNetworkReply*>().isEmpty(); }, 10000));
  EXPECT_TRUE(finished.isEmpty());
  EXPECT_TRUE(updater.InstallerPath().isEmpty());
}

TEST(AutoUpdaterTest, BaseAddressKeepsTheServersSchemePortAndFolder) {
  struct Case {
    const char* name;
    QString server;
    QString base;  // empty: no base address
  } cases[] = {
      {"http", "http://updates.dravolt.example", "http://updates.dravolt.example/upgrade/"},
      {"https with a port and a folder", "https://updates.dravolt.example:8443/mirror/",
       "https://updates.dravolt.example:8443/mirror/upgrade/"},
      {"a query is dropped", "https://updates.dravolt.example/?x=1", "https://updates.dravolt.example/upgrade/"},
      {"ftp is refused", "ftp://updates.dravolt.example", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    const std::optional<QUrl> base = CAutoUpdater::BaseAddress(StandardKey(folder, c.server));
    EXPECT_EQ(base.has_value(), !c.base.isEmpty());
    if (base) {
      EXPECT_EQ(base->toString(), c.base);
    }
  }
}

// An https update server is spoken to over TLS: the first bytes that reach it are
// a TLS handshake record, and the installer's address keeps the scheme.
TEST(AutoUpdaterTest, HttpsServerIsAskedOverTls) {
  if (!QSslSocket::supportsSsl()) GTEST_SKIP() << "no TLS backend";
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  QByteArray received;
  QObject::connect(&server, &QTcpServer::newConnection, [&] {
    QTcpSocket* socket = server.nextPendingConnection();
    QObject::connect(socket, &QTcpSocket::readyRead, [&received, socket] {
      received += socket->readAll();
      socket->abort();  // no TLS here: the handshake fails
    });
  });
  QTemporaryDir folder;
  CAutoUpdater updater(StandardKey(folder, QStringLiteral("https://127.0.0.1:%1").arg(server.serverPort())));
  EXPECT_EQ(Check(updater), update::kCheckFailed);
  ASSERT_FALSE(received.isEmpty());
  EXPECT_EQ(received.at(0), char(0x16)) << "not a TLS handshake";
  EXPECT_EQ(updater.InstallerAddress().scheme(), QStringLiteral("https"));
  EXPECT_EQ(updater.InstallerAddress().path(), kInstallerPath);
}

}  // namespace
