// `CKestrunDlg`: the logo panel at the right end of the ribbon.
#pragma once

#include <QWidget>

namespace workspace {

// A child without border or caption that draws the product logo on a transparent
// background, the ribbon showing through. Window thread only.
class CKestrunDlg : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kLogoSize{230, 60};

  explicit CKestrunDlg(QWidget* parent = nullptr);
  QSize sizeHint() const override { return kLogoSize; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace workspace
