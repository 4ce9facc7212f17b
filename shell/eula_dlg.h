// `CEulaDlg`: the viewer of the end-user licence agreement, opened from the About box.
#pragma once

#include <QDialog>
#include <QTreeWidget>

namespace shell {

// "End User License Agreement": one row per line of the licence text file, in file
// order, and an "OK" button. A missing or unreadable file gives an empty list.
// Window thread only.
class CEulaDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kColumnWidth = 505;

  CEulaDlg(const QString& path, QWidget* parent = nullptr);
  QTreeWidget* List() const { return list_; }

 private:
  void Load(const QString& path);

  QTreeWidget* list_;
};

}  // namespace shell
