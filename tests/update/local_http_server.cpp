#include "tests/update/local_http_server.h"

#include <QHostAddress>

namespace testing_http {

LocalHttpServer::LocalHttpServer() {
  server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::OnConnection);
}

LocalHttpServer::~LocalHttpServer() {
  for (const QPointer<QTcpSocket>& socket : held_) {
    if (socket) socket->abort();
  }
}

QUrl LocalHttpServer::Address() const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

int LocalHttpServer::Count(const QString& path) const {
  int count = 0;
  for (const QByteArray& head : requests_) {
    const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
    if (words.size() >= 2 && QString::fromLatin1(words[1]) == path) ++count;
  }
  return count;
}

void LocalHttpServer::OnConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    held_.append(socket);
    auto* buffer = new QByteArray;
    connect(socket, &QObject::destroyed, socket, [buffer] { delete buffer; });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
      *buffer += socket->readAll();
      const qsizetype end = buffer->indexOf("\r\n\r\n");
      if (end < 0) return;
      const QByteArray head = buffer->left(end);
      buffer->remove(0, end + 4);
      requests_.append(head);
      Answer(socket, head);
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }
}

void LocalHttpServer::Answer(QTcpSocket* socket, const QByteArray& head) {
  const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
  const QString path = words.size() >= 2 ? QString::fromLatin1(words[1]) : QString();
  Route route;
  if (routes_.contains(path)) {
    route = routes_.value(path);
  } else {
    route.status = 404;
    route.body = "not found";
  }
  if (route.noAnswer) return;
  const QByteArray reason = route.status == 200 ? "OK" : route.status == 404 ? "Not Found" : "Error";
  QByteArray answer = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason + "\r\n";
  answer += "Content-Type: application/octet-stream\r\n";
  QByteArray body = route.body;
  switch (route.framing) {
    case Route::Framing::kLength:
      answer += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
      break;
    case Route::Framing::kNone:
      break;
    case Route::Framing::kChunked: {
      answer += "Transfer-Encoding: chunked\r\n";
      body.clear();
      for (qsizetype at = 0; at < route.body.size(); at += 65536) {
        const QByteArray chunk = route.body.mid(at, 65536);
        body += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
      }
      body += "0\r\n\r\n";
      break;
    }
  }
  answer += "Connection: close\r\n\r\n";
  const qint64 send = route.sendBytes < 0 ? body.size() : qMin<qint64>(route.sendBytes, body.size());
  answer += body.left(send);
  socket->write(answer);
  if (!route.holdOpen) socket->disconnectFromHost();  // after what was written has gone out
}

}  // namespace testing_http
