// `CLinkLabel`: a label that opens something when clicked, drawn as a web link.
#pragma once

#include <QLabel>

namespace workspace {

// Plain text, underlined, blue (red 0, green 0, blue 255); purple (red 128, green 0,
// blue 128) once visited. The pointer over it is the hand. A click, or Space or
// Enter while it has the focus, sends Clicked; whether that counts as a visit is
// the owner's business (SetVisited). Window thread only.
class CLinkLabel : public QLabel {
  Q_OBJECT

 public:
  static constexpr QColor kLinkColour{0, 0, 255};
  static constexpr QColor kVisitedColour{128, 0, 128};

  explicit CLinkLabel(const QString& text, QWidget* parent = nullptr);

  bool Visited() const { return visited_; }
  void SetVisited(bool visited);
  QColor Colour() const { return visited_ ? kVisitedColour : kLinkColour; }

 signals:
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyColour();

  bool visited_ = false;
};

}  // namespace workspace
