#include "workspace/icons.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in the static workspace library, whose registration object the
// linker would drop unless something refers to it: this call is that reference.
static void InitProgramResources() { Q_INIT_RESOURCE(kestrun); }

namespace workspace {

namespace {

constexpr int kIconSizes[] = {16, 20, 24, 32, 48};

QIcon RenderIcon(const QString& name) {
  const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
  if (name.isEmpty() || !QFile::exists(path)) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QIcon icon;
  for (int size : kIconSizes) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QPixmap RenderPicture(const QString& name, const QSize& size) {
  const QString path = QStringLiteral(":/pictures/%1.svg").arg(name);
  if (name.isEmpty() || size.isEmpty() || !QFile::exists(path)) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSizeF drawn = renderer.defaultSize();
  drawn.scale(size, Qt::KeepAspectRatio);
  const QPointF corner((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2);
  QPainter painter(&image);
  renderer.render(&painter, QRectF(corner, drawn));
  painter.end();
  return QPixmap::fromImage(image);
}

}  // namespace

static void EnsureResources() {
  static const bool initialised = (InitProgramResources(), true);
  (void)initialised;
}

QIcon ProgramIcon(const QString& name) {
  EnsureResources();
  static QHash<QString, QIcon> rendered;
  auto it = rendered.find(name);
  if (it == rendered.end()) it = rendered.insert(name, RenderIcon(name));
  return it.value();
}

QPixmap ProgramPicture(const QString& name, const QSize& size) {
  EnsureResources();
  static QHash<QString, QPixmap> rendered;
  const QString key = QStringLiteral("%1@%2x%3").arg(name).arg(size.width()).arg(size.height());
  auto it = rendered.find(key);
  if (it == rendered.end()) it = rendered.insert(key, RenderPicture(name, size));
  return it.value();
}

}  // namespace workspace
