// The banner picture across the top of the Select Database and save destination
// dialogs.
#pragma once

#include <QWidget>

namespace shell {

// A band in the product's blues with the product's name; painted, not loaded, so
// it is sharp at any scale. Window thread only.
class DialogBanner : public QWidget {
  Q_OBJECT

 public:
  explicit DialogBanner(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {520, 64}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace shell
