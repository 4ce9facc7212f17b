#include "update/auto_updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <QHostAddress>
#include <QNetworkInformation>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "update/page_parts.h"
#include "update/update_thread.h"

namespace update {
namespace {

QUrl FileAddress(const QUrl& base, const QString& programName, const QString& extension) {
  const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(programName));
  return base.resolved(QUrl(encoded + QLatin1Char('/') + encoded + extension));
}

// Errors that mean the server was never reached.
bool ConnectionFailed(QNetworkReply::NetworkError error) {
  switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
      return true;
    default:
      return false;
  }
}

}  // namespace

CAutoUpdater::CAutoUpdater(UpdateKey key, UpdateOptions options, QObject* parent)
    : QObject(parent), key_(std::move(key)), options_(std::move(options)) {
  QNetworkProxyFactory::setUseSystemConfiguration(true);
  // The version file must be the server's current one: nothing is cached.
  network_.setCache(nullptr);
  checkTimer_.setSingleShot(true);
  connect(&checkTimer_, &QTimer::timeout, this, [this] {
    // No answer in time: the check failed.
    CancelCheck();
    FinishCheck(kCheckFailed);
  });
}

CAutoUpdater::~CAutoUpdater() {
  CancelCheck();
  AbortDownload();
}

std::optional<QUrl> CAutoUpdater::BaseAddress(const UpdateKey& key) {
  const std::optional<QUrl>& server = key.updateServer;
  if (!server) return std::nullopt;
  QUrl base = *server;
  QString path = base.path();
  while (path.endsWith(QLatin1Char('/'))) path.chop(1);
  base.setPath(path + QStringLiteral("/upgrade/"));
  base.setQuery(QString());
  base.setFragment(QString());
  return base;
}

bool CAutoUpdater::NotConnected(const QUrl& base) {
  const QHostAddress host(base.host());
  if (base.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || host.isLoopback()) return false;
  // Where the platform has no backend, the request itself tells: a connection
  // that cannot be made counts as not connected.
  if (!QNetworkInformation::instance()) QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
  const QNetworkInformation* information = QNetworkInformation::instance();
  return information && information->reachability() == QNetworkInformation::Reachability::Disconnected;
}

QString CAutoUpdater::ProgramName() const {
  const QString name = key_.exeName.value_or(QString());
  return ValidProgramName(name.toStdString()) ? name : QString();
}

void CAutoUpdater::CheckForUpdate(const QUrl& base) {
  CancelCheck();
  if (NotConnected(base)) {
    FinishCheck(kCheckNotConnected);
    return;
  }
  const std::optional<QString> installed = key_.version;
  if (!installed) {
    FinishCheck(kCheckNoInstalledVersion);
    return;
  }
  const QString program = ProgramName();
  if (program.isEmpty() || !base.isValid()) {
    FinishCheck(kCheckFailed);
    return;
  }
  installerAddress_ = FileAddress(base, program, QStringLiteral(".exe"));
  QNetworkRequest request(FileAddress(base, program, QStringLiteral(".txt")));
  request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setRawHeader("Cache-Control", "no-cache");
  request.setRawHeader("Pragma", "no-cache");
  versionFile_.clear();
  check_ = network_.get(request);
  connect(check_, &QNetworkReply::readyRead, this, [this] {
    // At most the version file's limit is kept; a larger answer is no version file
    // of ours and is not read on.
    versionFile_ += check_->read(static_cast<qint64>(kVersionFileLimit) - versionFile_.size() + 1);
    if (versionFile_.size() > static_cast<qsizetype>(kVersionFileLimit)) {
      versionFile_.truncate(static_cast<qsizetype>(kVersionFileLimit));
      CancelCheck();  // broken off once this signal has returned
      OnVersionFile();
    }
  });
  connect(check_, &QNetworkReply::finished, this, [this] {
    QNetworkReply* reply = check_;
    check_ = nullptr;
    checkTimer_.stop();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
      // The diagnostic goes to the standard output only, as the check's failure
      // is told on the page.
      std::fprintf(stdout, "ERROR!  %s\n", qPrintable(reply->errorString()));
      std::fflush(stdout);
      FinishCheck(ConnectionFailed(reply->error()) ? kCheckNotConnected : kCheckFailed);
      return;
    }
    versionFile_ += reply->read(static_cast<qint64>(kVersionFileLimit) - versionFile_.size());
    OnVersionFile();
  });
  checkTimer_.start(options_.checkMs);
}

void CAutoUpdater::OnVersionFile() {
  const std::optional<QString> installed = key_.version;
  const VersionFileResult result =
      ReadVersionFile(std::string_view(versionFile_.constData(), static_cast<size_t>(versionFile_.size())),
                      installed.value_or(QString()).toStdString());
  versionFile_.clear();
  newVersion_ = QString::fromLatin1(result.newVersion);
  secondVersion_ = QString::fromLatin1(result.secondVersion);
  lastLineRest_ = QString::fromLatin1(result.lastLineRest);
  expectedSha256_ = QString::fromLatin1(result.sha256);
  FinishCheck(result.code);
}

void CAutoUpdater::CancelCheck() {
  checkTimer_.stop();
  if (!check_) return;
  QNetworkReply* reply = check_;
  check_ = nullptr;
  // This may run inside one of the reply's own signals.
  AbortLater(reply, this);
}

void CAutoUpdater::FinishCheck(int code) { emit CheckFinished(code); }

void CAutoUpdater::DownloadUpdate(const QUrl& base) {
  AbortDownload();
  installerPath_.clear();
  installerFolder_.clear();
  if (NotConnected(base)) {
    emit DownloadFinished(kDownloadNotConnected);
    return;
  }
  const QString program = ProgramName();
  if (program.isEmpty() || !base.isValid()) {
    emit DownloadFinished(kDownloadNoRequest);
    return;
  }
  installerAddress_ = FileAddress(base, program, QStringLiteral(".exe"));
  installerSize_ = 0;
  download_ = std::make_unique<CUpdateThread>(network_, installerAddress_, program + QStringLiteral(".exe"),
                                              expectedSha256_, options_.transferMs, options_.tempRoot);
  connect(download_.get(), &CUpdateThread::Started, this, &CAutoUpdater::DownloadStarted);
  connect(download_.get(), &CUpdateThread::Progress, this, [this](quint64 received, quint64 size) {
    installerSize_ = size;
    emit DownloadProgress(received, size);
  });
  connect(download_.get(), &CUpdateThread::Finished, this, &CAutoUpdater::OnDownloadEnded);
  download_->Start();
}

void CAutoUpdater::OnDownloadEnded(int result, const QString& path) {
  // The download's own signal is still being delivered: it goes later.
  if (download_) download_.release()->deleteLater();
  if (result == kDownloadOk) {
    installerPath_ = path;
    installerFolder_ = QFileInfo(path).absolutePath();
  }
  emit DownloadFinished(result);
}

void CAutoUpdater::RemoveInstaller() {
  // Only the folder this updater made is removed, never one named from outside.
  if (!installerFolder_.isEmpty()) QDir(installerFolder_).removeRecursively();
  installerPath_.clear();
  installerFolder_.clear();
}

QString CAutoUpdater::DownloadTarget() const { return download_ ? download_->TargetPath() : QString(); }

void CAutoUpdater::AbortDownload() {
  if (!download_) return;
  download_->disconnect(this);
  download_->Abort();
  download_.release()->deleteLater();
}

}  // namespace update
