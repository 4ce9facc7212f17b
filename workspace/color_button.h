// The gradient push button (`CColorButton`) of the program's own dialogs.
#pragma once

#include <QColor>
#include <QPushButton>

namespace workspace {

// A push button filled with a vertical gradient from white to light blue, bright
// blue while the pointer is over it, reversed while pressed, grey when disabled.
// A double-click counts as a second click. Window thread only.
class CColorButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CColorButton(const QString& text, QWidget* parent = nullptr);

  static constexpr QColor kTop{255, 255, 255};
  static constexpr QColor kNormal{164, 203, 223};
  static constexpr QColor kHover{52, 170, 255};

  bool Hovered() const { return hovered_; }
  // The colour the gradient ends in at the bottom edge right now.
  QColor LowerColour() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool hovered_ = false;
};

}  // namespace workspace
