#include "workspace/progress_bar.h"

#include <algorithm>
#include <climits>

namespace workspace {

CProgressBar::CProgressBar(int64_t range, QWidget* parent) : QProgressBar(parent) {
  setObjectName(QStringLiteral("CProgressBar"));
  setFormat(QStringLiteral("Processing"));
  setTextVisible(true);
  // A bar of N steps runs from 1 to N; a range past what Qt holds is clamped.
  setRange(1, static_cast<int>(std::clamp<int64_t>(range, 1, INT_MAX)));
  setValue(1);
  setMaximumWidth(240);
}

void CProgressBar::Step() {
  if (value() < maximum()) setValue(value() + 1);
}

}  // namespace workspace
