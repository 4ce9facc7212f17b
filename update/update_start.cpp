#include "update/update_start.h"

#include <QLabel>
#include <QVBoxLayout>

#include "update/page_parts.h"
#include "update/update_texts.h"

namespace update {

CUpdateStart::CUpdateStart(QWidget* parent) : QWizardPage(parent) {
  setObjectName(QStringLiteral("CUpdateStart"));
  setWindowTitle(QString::fromUtf8(kPageCaption));
  auto* layout = new QVBoxLayout(this);
  AddPageHeading(layout, kWelcomeText, this)->setObjectName(QStringLiteral("WelcomeLabel"));
  for (const char* text : {kIntroText, kCloseOthersText}) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addSpacing(8);
  }
  layout->addStretch();
  auto* next = new QLabel(QString::fromUtf8(kClickNextText), this);
  next->setObjectName(QStringLiteral("ClickNextLabel"));
  layout->addWidget(next);
}

}  // namespace update
