#include "shell/message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "workspace/color_button.h"
#include "workspace/white_dialog.h"

namespace shell {

CMessageBox::CMessageBox(job::Dialog dialog, const job::DialogContent& content, QWidget* parent)
    : QDialog(parent) {
  setObjectName(dialog == job::Dialog::CMessageOk              ? QStringLiteral("CMessageOk")
                : dialog == job::Dialog::CMessageDialog        ? QStringLiteral("CMessageDialog")
                : dialog == job::Dialog::CStopDialog           ? QStringLiteral("CStopDialog")
                : dialog == job::Dialog::CUserDialog           ? QStringLiteral("CUserDialog")
                                                               : QStringLiteral("CRepairedSuccessfully"));
  setWindowTitle(QString::fromUtf8(job::kProductTitle));
  setModal(true);
  workspace::MakeWhite(this);

  auto* outer = new QVBoxLayout(this);
  auto* row = new QHBoxLayout();
  outer->addLayout(row);
  // A question where Yes and No are offered, an information sign elsewhere.
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("Picture"));
  const QStyle::StandardPixmap sign =
      content.yesButton ? QStyle::SP_MessageBoxQuestion : QStyle::SP_MessageBoxInformation;
  picture->setPixmap(style()->standardIcon(sign, nullptr, this).pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  row->addWidget(picture);
  auto* layout = new QVBoxLayout();
  row->addLayout(layout, 1);
  for (size_t i = 0; i < content.lines.size(); ++i) {
    auto* label = new QLabel(QString::fromStdString(content.lines[i]), this);
    label->setObjectName(i == 0 ? QStringLiteral("MessageText") : QStringLiteral("MessageHint"));
    label->setTextFormat(Qt::PlainText);  // texts from files and keys are never markup
    label->setWordWrap(true);
    label->setMinimumWidth(360);  // a sentence stays on one line where it can
    layout->addWidget(label);
  }
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  outer->addLayout(buttons);
  const bool user = dialog == job::Dialog::CUserDialog;
  const bool stop = dialog == job::Dialog::CStopDialog;
  if (content.yesButton) buttons->addWidget(AddButton(QStringLiteral("Yes"), "ButtonYes", true, stop));
  if (content.noButton) buttons->addWidget(AddButton(QStringLiteral("No"), "ButtonNo", false, !stop));
  if (content.okButton) buttons->addWidget(AddButton(QStringLiteral("OK"), "ButtonOk", !user, true));
  // Escape is No where Yes and No are offered, and OK where OK is all there is.
  escapeConfirms_ = !content.yesButton && !content.noButton && content.okButton && !user;
}

void CMessageBox::reject() { done(escapeConfirms_ ? Accepted : Rejected); }

QPushButton* CMessageBox::AddButton(const QString& text, const char* name, bool yes, bool isDefault) {
  auto* button = new workspace::CColorButton(text, this);
  button->setMinimumWidth(80);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setDefault(isDefault);
  connect(button, &QPushButton::clicked, this, [this, yes] { done(yes ? Accepted : Rejected); });
  return button;
}

job::DialogAnswer CMessageBox::Ask(job::RepairState& state, job::Dialog dialog, QWidget* parent) {
  CMessageBox box(dialog, job::OpenDialog(state, dialog), parent);
  box.exec();
  return box.Answer();
}

}  // namespace shell
