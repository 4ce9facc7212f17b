// One button of the ribbon (`CRibbonButton`): a large command button, a small
// quick-access button, a category tab or the application button, each painted in
// the ribbon's light silver and blue theme.
#pragma once

#include <QColor>
#include <QStringList>
#include <QToolButton>

namespace workspace {

// The ribbon's colours. The surfaces are light whatever the desktop's theme, so the
// text colours are fixed as well.
namespace ribbon {
constexpr QColor kText{30, 57, 91};
constexpr QColor kDisabledText{141, 141, 141};
constexpr QColor kTabText{21, 66, 139};
constexpr QColor kPanelBorder{141, 178, 227};
constexpr QColor kPanelTop{255, 255, 255};
constexpr QColor kCaptionText{62, 106, 170};
constexpr QColor kDarkBlue{18, 72, 122};
constexpr QColor kBrightBlue{52, 170, 255};
}  // namespace ribbon

// Thread: the window thread only. With a default action (setDefaultAction) the
// button follows that action: text, icon, enabled, checkable and checked state.
class CRibbonButton : public QToolButton {
  Q_OBJECT

 public:
  enum class Kind {
    Large,        // 32-pixel icon above a label of one or two lines
    Small,        // 16-pixel icon alone (the quick-access row)
    Tab,          // a category's tab: its name, highlighted while selected
    Application,  // the rounded blue button that opens the application menu
  };

  explicit CRibbonButton(Kind kind, QWidget* parent = nullptr);

  Kind ButtonKind() const { return kind_; }
  // The label as painted. A large button splits a label of several words into two
  // lines, at the space that keeps the wider line shortest.
  QStringList LabelLines() const;

  // The tool tip shown for `action`: its text in bold, then its tool tip below when
  // that says more than the text.
  static QString RichToolTip(const QAction* action);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintCommandFace(QPainter& painter) const;
  void PaintTab(QPainter& painter) const;
  void PaintApplication(QPainter& painter) const;
  QPixmap IconPixmap(int size) const;

  Kind kind_;
};

}  // namespace workspace
