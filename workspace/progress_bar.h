// The status bar's progress bar (`CProgressBar`), captioned "Processing".
#pragma once

#include <QProgressBar>

namespace workspace {

// Range 1 to N, step 1; never re-laid-out from a paint event. Window thread only.
class CProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  CProgressBar(int64_t range, QWidget* parent = nullptr);
  // One step forward, never past the end of the range.
  void Step();
};

}  // namespace workspace
