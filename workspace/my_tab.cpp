#include "workspace/my_tab.h"

#include <QEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

namespace workspace {
namespace {

// Tab headers at least kMinimumTabWidth wide, however short their titles.
class WideTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  QSize tabSizeHint(int index) const override {
    QSize size = QTabBar::tabSizeHint(index);
    size.setWidth(std::max(size.width(), CMyTab::kMinimumTabWidth));
    return size;
  }
};

}  // namespace

CMyTab::CMyTab(std::function<bool()> busy, QWidget* parent)
    : QWidget(parent), busy_(std::move(busy)), bar_(new WideTabBar(this)) {
  setObjectName(QStringLiteral("CMyTab"));
  bar_->setObjectName(QStringLiteral("TabBar"));
  bar_->setDrawBase(true);
  bar_->setExpanding(false);
  // Headers change by a click only: the keyboard cannot get around the busy rule.
  bar_->setFocusPolicy(Qt::NoFocus);
  bar_->installEventFilter(this);
  connect(bar_, &QTabBar::currentChanged, this, &CMyTab::TabChanged);
}

int CMyTab::AddTab(const QString& title) {
  const QSignalBlocker quiet(bar_);
  return bar_->addTab(title);
}

void CMyTab::AddContent(QWidget* control) {
  control->setParent(this);
  contents_.append(control);
  LayOut();
  control->show();
}

void CMyTab::SelectQuietly(int index) {
  const QSignalBlocker quiet(bar_);
  bar_->setCurrentIndex(index);
}

void CMyTab::resizeEvent(QResizeEvent*) { LayOut(); }

bool CMyTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == bar_ && busy_ && busy_()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease:
      case QEvent::Wheel:
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CMyTab::LayOut() {
  bar_->setGeometry(0, 0, width(), kHeaderStrip);
  const QRect below(0, kHeaderStrip, width(), std::max(0, height() - kHeaderStrip));
  for (QWidget* control : std::as_const(contents_)) control->setGeometry(below);
}

}  // namespace workspace
