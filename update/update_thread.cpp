#include "update/update_thread.h"

#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "update/page_parts.h"
#include "update/rules/version_rules.h"

namespace update {

CUpdateThread::CUpdateThread(QNetworkAccessManager& network, QUrl address, QString fileName, QString sha256,
                             int transferTimeoutMs, QString tempRoot, QObject* parent)
    : QObject(parent),
      network_(network),
      address_(std::move(address)),
      fileName_(std::move(fileName)),
      sha256_(std::move(sha256)),
      transferTimeoutMs_(transferTimeoutMs),
      tempRoot_(tempRoot.isEmpty() ? QDir::tempPath() : std::move(tempRoot)) {}

// A folder whose Finished was never delivered still removes itself.
CUpdateThread::~CUpdateThread() { DropReply(); }

QString CUpdateThread::TargetPath() const { return folder_ && folder_->isValid() ? folder_->filePath(fileName_) : QString(); }

void CUpdateThread::Start() {
  if (started_) return;
  started_ = true;
  if (!address_.isValid()) {
    Fail(kDownloadNoRequest);
    return;
  }
  // A folder of our own, readable by the user only: nobody else can put a file
  // of the installer's name there before it is started.
  folder_ = std::make_unique<QTemporaryDir>(QDir(tempRoot_).filePath(QStringLiteral("kestrun-update-XXXXXX")));
  file_.setFileName(TargetPath());
  if (!folder_->isValid() || !file_.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    Fail(kDownloadFailed);
    return;
  }
  QNetworkRequest request(address_);
  request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("AutoUpdateAgent"));
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setRawHeader("Cache-Control", "no-cache");
  request.setTransferTimeout(transferTimeoutMs_);
  reply_ = network_.get(request);
  if (!reply_) {
    Fail(kDownloadNoRequest);
    return;
  }
  connect(reply_, &QNetworkReply::metaDataChanged, this, &CUpdateThread::OnMetaData);
  connect(reply_, &QNetworkReply::readyRead, this, &CUpdateThread::OnReadyRead);
  connect(reply_, &QNetworkReply::finished, this, &CUpdateThread::OnFinished);
  emit Started(QStringLiteral("%1 from %2").arg(fileName_, address_.host()));
}

void CUpdateThread::OnMetaData() {
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QVariant redirect = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute);
  if (redirect.isValid()) return;  // the redirected request brings the real answer
  if (status != 200) {
    // Not the installer: nothing of it is written, and the transfer is broken off.
    rejected_ = true;
    Fail(kDownloadFailed);
    return;
  }
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  size_ = length.isValid() ? length.toULongLong() : 0;
  emit Progress(received_, size_);
}

void CUpdateThread::OnReadyRead() {
  if (!reply_ || !reply_->isOpen()) return;
  if (rejected_) {
    reply_->readAll();
    return;
  }
  // Whatever has arrived is written; short reads are normal and read on.
  const QByteArray chunk = reply_->readAll();
  if (chunk.isEmpty()) return;
  if (file_.write(chunk) != chunk.size()) {
    Fail(kDownloadFailed);
    return;
  }
  hash_.addData(chunk);
  received_ += static_cast<quint64>(chunk.size());
  if (size_ > 0 && received_ > size_) {
    Fail(kDownloadFailed);  // more than announced: not the file the server described
    return;
  }
  emit Progress(received_, size_);
}

void CUpdateThread::OnFinished() {
  if (!reply_) return;
  OnReadyRead();
  if (!reply_) return;
  const bool transferred = !rejected_ && reply_->error() == QNetworkReply::NoError &&
                           reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
  // Without an announced length, a connection closed early reads as a normal end
  // of the answer; only an answer whose end is marked (HTTP/2 streams, chunked
  // bodies, whose cut Qt reports as an error) or the version line's checksum
  // tells that nothing is missing.
  const bool endMarked = reply_->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool() ||
                         reply_->rawHeader("Transfer-Encoding").trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
  reply_->deleteLater();
  reply_ = nullptr;
  const bool matches = QString::fromLatin1(hash_.result().toHex()) == sha256_;
  const bool complete = transferred && (size_ > 0 ? received_ == size_ : endMarked || (!sha256_.isEmpty() && matches));
  const bool written = file_.flush() && file_.error() == QFileDevice::NoError;
  file_.close();
  if (!complete || !written || (!sha256_.isEmpty() && !matches)) {
    Discard();
    Finish(kDownloadFailed);
    return;
  }
  Finish(kDownloadOk);
}

void CUpdateThread::Abort() {
  aborted_ = true;
  DropReply();
  Discard();
}

void CUpdateThread::Fail(int result) {
  DropReply();
  Discard();
  Finish(result);
}

void CUpdateThread::Finish(int result) {
  if (ended_) return;
  ended_ = true;
  // Delivered from the event loop: the receiver may open a dialog, and a Cancel
  // confirmed meanwhile still drops the result (and a completed file with it).
  QMetaObject::invokeMethod(
      this,
      [this, result] {
        if (aborted_) return;
        QString path;
        if (result == kDownloadOk && folder_) {
          folder_->setAutoRemove(false);
          path = file_.fileName();
        }
        emit Finished(result, path);
      },
      Qt::QueuedConnection);
}

void CUpdateThread::DropReply() {
  if (!reply_) return;
  QNetworkReply* reply = reply_;
  reply_ = nullptr;
  AbortLater(reply, this);
}

void CUpdateThread::Discard() {
  if (file_.isOpen()) file_.close();
  if (!file_.fileName().isEmpty()) QFile::remove(file_.fileName());
  folder_.reset();  // removes the private folder with whatever is left in it
}

}  // namespace update
