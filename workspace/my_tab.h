// `CMyTab`: the record view's tab control, the tab headers in a strip at the top
// and the page's controls filling the rest.
#pragma once

#include <QTabBar>
#include <QWidget>

#include <functional>

namespace workspace {

// The controls added with AddContent are children of the tab control, laid out
// below the header strip whenever it changes size; which of them shows is the
// owner's business (TabChanged). While `busy` answers true, mouse presses on the
// headers are ignored. Window thread only.
class CMyTab : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeaderStrip = 25;
  static constexpr int kMinimumTabWidth = 180;

  CMyTab(std::function<bool()> busy, QWidget* parent = nullptr);

  int AddTab(const QString& title);
  // Makes `control` a child laid out under the header strip.
  void AddContent(QWidget* control);
  QTabBar* Bar() const { return bar_; }
  int CurrentTab() const { return bar_->currentIndex(); }
  // Selects tab `index` without sending TabChanged.
  void SelectQuietly(int index);

 signals:
  // The user picked tab `index`.
  void TabChanged(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayOut();

  std::function<bool()> busy_;
  QTabBar* bar_;
  QList<QWidget*> contents_;
};

}  // namespace workspace
