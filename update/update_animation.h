// The second page's animation: a globe with a ring of dots running round it,
// drawn frame by frame.
#pragma once

#include <QTimer>
#include <QWidget>

namespace update {

// Window thread only. Stopped, it shows its first frame without the ring's trail.
class CUpdateAnimation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kFrames = 12;
  static constexpr int kFrameMs = 80;

  explicit CUpdateAnimation(QWidget* parent = nullptr);

  // Plays from the first frame, in a loop.
  void Start();
  void Stop();
  bool Playing() const { return timer_.isActive(); }
  int Frame() const { return frame_; }
  QSize sizeHint() const override { return {72, 72}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace update
