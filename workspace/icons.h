// The program's icons: drawn as SVG, compiled into the program, rendered here.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace workspace {

// The icon `name` ("open-database", "save", "application", "tree-table", ...; the
// files of resources/icons without ".svg"), rendered at 16, 20, 24, 32 and 48 pixels
// so no image-format plugin is needed at run time. A null icon when no such icon
// exists. Icons are rendered once and kept for the life of the process.
// Thread: the window thread only (pixmaps).
QIcon ProgramIcon(const QString& name);

// The picture `name` (the files of resources/pictures without ".svg") rendered at
// `size`, its proportions kept and centred, on a transparent background; a null
// pixmap when no such picture exists. Rendered once per size and kept.
// Thread: the window thread only.
QPixmap ProgramPicture(const QString& name, const QSize& size);

}  // namespace workspace
