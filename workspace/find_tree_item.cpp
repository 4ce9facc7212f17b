#include "workspace/find_tree_item.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "workspace/color_button.h"
#include "workspace/sx_group_box.h"
#include "workspace/symbol_edit.h"

namespace workspace {
namespace {

const QString kFind = QStringLiteral("Find");
const QString kFindNext = QStringLiteral("Find Next");

bool Seen(const QTreeWidgetItem* item) {
  if (item->isHidden()) return false;
  for (const QTreeWidgetItem* parent = item->parent(); parent; parent = parent->parent()) {
    if (parent->isHidden() || !parent->isExpanded()) return false;
  }
  return true;
}

bool Matches(const QString& itemText, const QString& text, bool matchCase) {
  if (text.isEmpty()) return false;
  // Searched in the item's own text: lower-casing may change a text's length, so a
  // position found in a lower-cased copy need not be one in the original.
  const qsizetype at = itemText.indexOf(text, 0, Qt::CaseInsensitive);
  if (at < 0) return false;
  return !matchCase || QStringView(itemText).mid(at, text.size()) == text;
}

}  // namespace

CFindTreeItem::CFindTreeItem(job::RepairState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      edit_(new CSymbolEdit(this)),
      matchCaseBox_(new QCheckBox(QStringLiteral(" Match Case"), this)),
      button_(new CColorButton(kFind, this)) {
  setObjectName(QStringLiteral("CFindTreeItem"));
  // The ribbon shows through: the bar blends into it.
  setAttribute(Qt::WA_TranslucentBackground);
  auto* group = new CSxGroupBox(QStringLiteral("Find Tree Item"), this);
  group->setObjectName(QStringLiteral("FindGroup"));
  auto* label = new QLabel(QStringLiteral("Find Item  :"), group);
  label->setTextFormat(Qt::PlainText);
  label->setAttribute(Qt::WA_TranslucentBackground);
  edit_->setObjectName(QStringLiteral("FindEdit"));
  edit_->setMinimumWidth(170);
  matchCaseBox_->setObjectName(QStringLiteral("MatchCase"));
  button_->setObjectName(QStringLiteral("FindButton"));
  button_->setMinimumWidth(82);
  button_->setEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(label);
  top->addWidget(edit_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(matchCaseBox_);
  bottom->addStretch(1);
  bottom->addWidget(button_);
  auto* inside = new QVBoxLayout(group);
  inside->setContentsMargins(8, 14, 8, 6);
  inside->setSpacing(4);
  inside->addLayout(top);
  inside->addLayout(bottom);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(group);

  connect(edit_, &QLineEdit::textChanged, this, &CFindTreeItem::TextChanged);
  connect(edit_, &QLineEdit::returnPressed, this, [this] {
    if (button_->isEnabled()) Clicked();
  });
  connect(button_, &QPushButton::clicked, this, &CFindTreeItem::Clicked);
}

void CFindTreeItem::TextChanged(const QString& text) {
  const bool savePending = state_.saveRequested != 0 && state_.saveFinished == 0;
  if (savePending || state_.repairCompleted == 0 || state_.workerBusy != 0) return;
  button_->setText(kFind);
  button_->setEnabled(!text.isEmpty());
}

void CFindTreeItem::Clicked() {
  findText_ = edit_->text();
  matchCase_ = matchCaseBox_->isChecked();
  clickedCaption_ = button_->text();
  if (clickedCaption_.compare(kFind, Qt::CaseInsensitive) == 0) button_->setText(kFindNext);
  emit FindItem();
}

void CFindTreeItem::JobStateChanged(bool running) {
  if (running) {
    if (!edit_->text().isEmpty()) edit_->clear();
    edit_->setEnabled(false);
    button_->setEnabled(false);
    matchCaseBox_->setEnabled(false);
  } else {
    edit_->setEnabled(true);
    matchCaseBox_->setEnabled(true);
  }
}

QTreeWidgetItem* FindTreeItem(const QTreeWidget& tree, const QString& text, bool matchCase, bool next) {
  QTreeWidgetItem* item = tree.topLevelItemCount() > 0 ? tree.topLevelItem(0) : nullptr;
  QTreeWidgetItem* current = tree.currentItem();
  if (next && current && Seen(current)) item = tree.itemBelow(current);
  for (; item; item = tree.itemBelow(item)) {
    if (Seen(item) && Matches(item->text(0), text, matchCase)) return item;
  }
  return nullptr;
}

}  // namespace workspace
