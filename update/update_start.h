// The wizard's first page (`CUpdateStart`): the welcome and what the wizard does.
#pragma once

#include <QWizardPage>

namespace update {

class CUpdateStart : public QWizardPage {
  Q_OBJECT

 public:
  explicit CUpdateStart(QWidget* parent = nullptr);
};

}  // namespace update
