// Pieces the update wizard's pages and network objects share.
#pragma once

#include <QLabel>
#include <QNetworkReply>
#include <QVBoxLayout>

namespace update {

// The page's bold heading, added to `layout` with the space below it.
QLabel* AddPageHeading(QVBoxLayout* layout, const char* text, QWidget* page);

// Breaks `reply` off and deletes it once the event loop has it back: aborting a
// reply inside one of its own signals confuses the network code. Its signals to
// `receiver` are cut at once.
void AbortLater(QNetworkReply* reply, QObject* receiver);

}  // namespace update
