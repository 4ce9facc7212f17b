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

}  // namespace

QIcon ProgramIcon(const QString& name) {
  static const bool initialised = (InitProgramResources(), true);
  (void)initialised;
  static QHash<QString, QIcon> rendered;
  auto it = rendered.find(name);
  if (it == rendered.end()) it = rendered.insert(name, RenderIcon(name));
  return it.value();
}

}  // namespace workspace
