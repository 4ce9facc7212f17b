// `CSymbolEdit`: a line edit that can show an icon at its right edge and, while
// empty and without focus, a grey italic prompt.
#pragma once

#include <QIcon>
#include <QLineEdit>

namespace workspace {

// Without icon and prompt it is a plain edit on a white background with dark text
// (set explicitly, so a dark theme gives no white on white). Window thread only.
class CSymbolEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CSymbolEdit(QWidget* parent = nullptr);

  void SetSymbol(const QIcon& icon);
  void SetPromptText(const QString& prompt);
  QString PromptText() const { return prompt_; }
  // Whether the prompt is drawn now: empty text and no focus.
  bool ShowsPrompt() const { return !prompt_.isEmpty() && text().isEmpty() && !hasFocus(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QIcon symbol_;
  QString prompt_;
};

}  // namespace workspace
