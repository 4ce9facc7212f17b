// A small HTTP server on 127.0.0.1 for the update's tests: each path answers as
// the test set it up (a file, a missing file, a transfer that breaks or stalls).
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace testing_http {

struct Route {
  int status = 200;
  QByteArray body;
  // Only this many bytes of the body are sent (-1: all of it); the length header
  // still announces the whole body.
  qint64 sendBytes = -1;
  // After the bytes sent the connection is closed (a broken transfer), or held
  // open with nothing more (a stalled one).
  bool holdOpen = false;
  // The request is read and never answered.
  bool noAnswer = false;
  // How the body's length is told: a Content-Length header, nothing (the end of
  // the connection ends the body), or chunks of 64 KiB and a last empty chunk.
  // `sendBytes` then counts the bytes of the chunked stream.
  enum class Framing { kLength, kNone, kChunked } framing = Framing::kLength;
};

// Runs on the test's thread, driven by its event loop. Unknown paths answer 404.
class LocalHttpServer : public QObject {

 public:
  LocalHttpServer();
  ~LocalHttpServer() override;

  QUrl Address() const;  // "http://127.0.0.1:<port>"
  void Set(const QString& path, Route route) { routes_[path] = std::move(route); }
  // Every request received, head only (request line and header lines).
  const QList<QByteArray>& Requests() const { return requests_; }
  // Requests whose path is `path`.
  int Count(const QString& path) const;

 private:
  void OnConnection();
  void Answer(QTcpSocket* socket, const QByteArray& head);

  QTcpServer server_;
  QMap<QString, Route> routes_;
  QList<QByteArray> requests_;
  QList<QPointer<QTcpSocket>> held_;
};

}  // namespace testing_http
