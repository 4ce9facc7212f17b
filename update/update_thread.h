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
// signals). It succeeds only with HTTP status 200, every byte written and a
// transfer known to be whole: as many bytes as announced or, when no length was
// announced, a matching `sha256` (or an HTTP/2 or chunked answer, whose end is
// marked); a given `sha256` must match in every case. Otherwise the file and its
// folder are removed. On success the folder is kept, since the installer runs from
// it after the program has ended. The private folder is made in `tempRoot` (the
// system's temporary folder when empty). One object per download; Start once.
//
// Finished is always delivered from the event loop, never from inside one of the
// network's own signals, so its receiver may open a modal dialog; the reply is
// broken off the same way, out of its own signals.
class CUpdateThread : public QObject {
  Q_OBJECT

 public:
  CUpdateThread(QNetworkAccessManager& network, QUrl address, QString fileName, QString sha256,
                int transferTimeoutMs, QString tempRoot = {}, QObject* parent = nullptr);
  ~CUpdateThread() override;

  void Start();
  // Breaks the transfer off and removes the partial file, or the whole one whose
  // Finished has not been delivered yet; no Finished follows.
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
  void Finish(int result);
  // Stops listening to the reply and breaks it off from the event loop.
  void DropReply();
  void Discard();

  QNetworkAccessManager& network_;
  QUrl address_;
  QString fileName_;
  QString sha256_;
  int transferTimeoutMs_;
  QString tempRoot_;
  std::unique_ptr<QTemporaryDir> folder_;
  QFile file_;
  QCryptographicHash hash_{QCryptographicHash::Sha256};
  QPointer<QNetworkReply> reply_;
  quint64 size_ = 0;
  quint64 received_ = 0;
  bool rejected_ = false;  // the server's answer is not the installer
  bool started_ = false;
  bool ended_ = false;    // Finish was called: nothing more is read or reported
  bool aborted_ = false;  // Abort was called: a pending Finished is dropped
};

}  // namespace update
