// One panel of a ribbon category (`CRibbonPanel`): a row of buttons in a framed
// box with the panel's caption under them.
#pragma once

#include <QHBoxLayout>
#include <QString>
#include <QWidget>

namespace workspace {

// Thread: the window thread only. The panel owns the buttons added to it.
class CRibbonPanel : public QWidget {
  Q_OBJECT

 public:
  explicit CRibbonPanel(const QString& caption, QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  // Appends `button` to the row and makes the panel its parent.
  void AddButton(QWidget* button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int CaptionHeight() const;
  void UpdateMargins();

  QString caption_;
  QHBoxLayout* row_;
};

}  // namespace workspace
