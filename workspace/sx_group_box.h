// `CSxGroupBox`: a group box that paints its own frame and caption.
#pragma once

#include <QGroupBox>

namespace workspace {

// The frame in the palette's shadow colour with a highlight line inside it, the
// caption on the frame's top edge. Window thread only.
class CSxGroupBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit CSxGroupBox(const QString& title, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace workspace
