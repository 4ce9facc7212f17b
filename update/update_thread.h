// The download of the installer (`CUpdateThread`): one transfer into a fresh
// private folder, with its progress and its end reported as signals.
#pragma once

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include <QNetworkReply>

namespace update {

// Reads the installer sequentially from the network's signals on the thread that
// made it (the window thread; no widget is touched here, the owner shows the
// signals). It succeeds only with HTTP status 200, every announced byte written
// and, when `sha256` is given, a matching checksum; otherwise the file and its
// folder are removed. On success the folder is kept, since the installer runs from
// it after the program has ended. One object per download; Start once.
class CUpdateThread : public QObject {
  Q_OBJECT

 public:
  CUpdateThread(QNetworkAccessManager& network, QUrl address, QString fileName, QString sha256,
                int transferTimeoutMs, QObject* parent = nullptr);
  ~CUpdateThread() override;

  void Start();
  // Breaks the transfer off and removes the partial file; no Finished follows.
  void Abort();
  // Where the installer is written (inside the private folder); empty when no
  // folder could be made.
  QString TargetPath() const;

 signals:
  void Started(const QString& fileLabel);
  void Progress(quint64 received, quint64 size);
  // kDownloadOk with the installer's path, or kDownloadFailed / kDownloadNoRequest
  // with an empty path.
  void Finished(int result, const QString& path);

 private:
  void OnMetaData();
  void OnReadyRead();
  void OnFinished();
  void Fail(int result);
  void Discard();

  QNetworkAccessManager& network_;
  QUrl address_;
  QString fileName_;
  QString sha256_;
  int transferTimeoutMs_;
  std::unique_ptr<QTemporaryDir> folder_;
  QFile file_;
  QCryptographicHash hash_{QCryptographicHash::Sha256};
  QPointer<QNetworkReply> reply_;
  quint64 size_ = 0;
  quint64 received_ = 0;
  bool rejected_ = false;  // the server's answer is not the installer
  bool started_ = false;
};

}  // namespace update
