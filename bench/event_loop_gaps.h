// How long the window thread goes without turning its event loop, for the
// desktop benchmarks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace bench {

// From construction on, a 1 ms timer notes the longest time between two of its
// ticks: the longest the event loop went without a turn. Window thread only.
class EventLoopGaps {
 public:
  EventLoopGaps() {
    clock_.start();
    last_ = clock_.nsecsElapsed();
    QObject::connect(&tick_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
    tick_.start(1);
  }
  void Stop() { tick_.stop(); }
  double LongestSeconds() const { return longest_ / 1e9; }

 private:
  QElapsedTimer clock_;
  QTimer tick_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

}  // namespace bench
