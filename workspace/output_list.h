// The list of log lines in the "Log Report" pane.
#pragma once

#include <QListWidget>

namespace workspace {

// `COutputList`: plain texts in arrival order, never changed once added, with
// scroll bars both ways. Window thread only.
class COutputList : public QListWidget {
  Q_OBJECT

 public:
  explicit COutputList(QWidget* parent = nullptr);
};

}  // namespace workspace
