// `CMyRichEditCtl`: the SQL text of a view or a trigger, read-only.
#pragma once

#include <QPlainTextEdit>

namespace workspace {

// Selectable with mouse and keyboard, copied with Ctrl+C or the popup menu; never
// edited. Lines are not wrapped: SQL keeps its own layout, with both scroll bars.
// Window thread only.
class CMyRichEditCtl : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CMyRichEditCtl(QWidget* parent = nullptr);
};

}  // namespace workspace
