#include "update/page_parts.h"

#include <QMetaObject>

namespace update {

QLabel* AddPageHeading(QVBoxLayout* layout, const char* text, QWidget* page) {
  auto* heading = new QLabel(QString::fromUtf8(text), page);
  QFont bold = heading->font();
  bold.setBold(true);
  bold.setPixelSize(16);
  heading->setFont(bold);
  layout->addWidget(heading);
  layout->addSpacing(12);
  return heading;
}

void AbortLater(QNetworkReply* reply, QObject* receiver) {
  reply->disconnect(receiver);
  QMetaObject::invokeMethod(
      reply,
      [reply] {
        reply->abort();
        reply->deleteLater();
      },
      Qt::QueuedConnection);
}

}  // namespace update
