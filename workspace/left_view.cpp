#include "workspace/left_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include "job/contract/message_texts.h"
#include "workspace/icons.h"

namespace workspace {
namespace {

constexpr int kImageRole = Qt::UserRole + 1;  // the item's picture number of the tree's image list

bool EndsWithDeleted(const QString& name) {
  return name.right(9).compare(QStringLiteral("(deleted)"), Qt::CaseInsensitive) == 0;
}

// Full-text search indexes' companions that have always been kept out of the tree.
bool NeverListed(const QString& name) {
  return name.compare(QStringLiteral("threads(deleted)"), Qt::CaseInsensitive) == 0 ||
         name.compare(QStringLiteral("words_segdir(deleted)"), Qt::CaseInsensitive) == 0;
}

void SetMark(QTreeWidgetItem* item, Qt::CheckState mark) { item->setData(0, Qt::CheckStateRole, mark); }

// The mark an item's children give it: unchecked when all are, checked when none is
// unchecked or partly checked, partly checked otherwise.
Qt::CheckState MarkFromChildren(const QTreeWidgetItem* item) {
  bool allUnchecked = true;
  bool allChecked = true;
  for (int i = 0; i < item->childCount(); ++i) {
    const Qt::CheckState m = MarkOf(item->child(i));
    allUnchecked = allUnchecked && m == Qt::Unchecked;
    allChecked = allChecked && m == Qt::Checked;
  }
  return allUnchecked ? Qt::Unchecked : allChecked ? Qt::Checked : Qt::PartiallyChecked;
}

void MarkSubtree(QTreeWidgetItem* item, Qt::CheckState mark) {
  SetMark(item, mark);
  for (int i = 0; i < item->childCount(); ++i) MarkSubtree(item->child(i), mark);
}

}  // namespace

Qt::CheckState MarkOf(const QTreeWidgetItem* item) {
  return static_cast<Qt::CheckState>(item->data(0, Qt::CheckStateRole).toInt());
}

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("CLeftView"));
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setItemsExpandable(true);
  AddItem(nullptr, QString::fromUtf8(job::kProductTitle), 0);
}

// The picture of image number `image`; the categories under the database item
// show a folder. The icons are made once and shared by every item.
static QIcon ImageIcon(int image, bool leaf) {
  static const QIcon kIcons[] = {ProgramIcon(QStringLiteral("application")), ProgramIcon(QStringLiteral("tree-database")),
                                 ProgramIcon(QStringLiteral("tree-table")),  ProgramIcon(QStringLiteral("tree-view")),
                                 ProgramIcon(QStringLiteral("tree-index")),  ProgramIcon(QStringLiteral("tree-trigger")),
                                 ProgramIcon(QStringLiteral("tree-deleted-table"))};
  static const QIcon kFolder = ProgramIcon(QStringLiteral("tree-folder"));
  if (image >= 2 && !leaf) return kFolder;
  return image >= 0 && image < 7 ? kIcons[image] : QIcon();
}

QTreeWidgetItem* CLeftView::AddItem(QTreeWidgetItem* parent, const QString& text, int image) {
  auto* item = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(this, {text});
  // Marks are set through the data role only: without ItemIsUserCheckable Qt draws
  // them but never toggles them itself.
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setData(0, kImageRole, image);
  item->setIcon(0, ImageIcon(image, parent && parent->parent() && parent->parent()->parent()));
  SetMark(item, Qt::Checked);
  return item;
}

QTreeWidgetItem* CLeftView::DatabaseItem() const {
  return TopItem()->childCount() > 0 ? TopItem()->child(0) : nullptr;
}

QTreeWidgetItem* CLeftView::Category(const QString& text) const {
  QTreeWidgetItem* database = DatabaseItem();
  if (!database) return nullptr;
  for (int i = 0; i < database->childCount(); ++i) {
    if (database->child(i)->text(0) == text) return database->child(i);
  }
  return nullptr;
}

void CLeftView::Fill(const job::ObjectListing& objects, const QString& runPath, bool includeDeleted) {
  if (TopItem()->childCount() > 0) ResetTree();
  QTreeWidgetItem* database = AddItem(TopItem(), runPath, 1);
  QTreeWidgetItem* tables = AddItem(database, QStringLiteral("Tables"), 2);
  QTreeWidgetItem* views = AddItem(database, QStringLiteral("Views"), 3);
  QTreeWidgetItem* triggers = AddItem(database, QStringLiteral("Triggers"), 5);
  for (const job::TableInfo& table : objects.tables) {
    const QString name = QString::fromStdString(table.name);
    if (name.isEmpty()) continue;
    if (EndsWithDeleted(name)) {
      if (includeDeleted && !NeverListed(name)) AddItem(tables, name, 6);
    } else {
      AddItem(tables, name, 2);
    }
  }
  for (const job::SqlObjectInfo& view : objects.views) {
    if (!view.name.empty()) AddItem(views, QString::fromStdString(view.name), 3);
  }
  for (const job::SqlObjectInfo& trigger : objects.triggers) {
    AddItem(triggers, QString::fromStdString(trigger.name), 5);
  }
  TopItem()->setExpanded(true);
  database->setExpanded(true);
  tables->setExpanded(true);
}

void CLeftView::ResetTree() {
  QTreeWidgetItem* top = TopItem();
  while (top->childCount() > 0) delete top->takeChild(0);
}

void CLeftView::CheckTopItem() {
  if (MarkOf(TopItem()) == Qt::Unchecked) SetMark(TopItem(), Qt::Checked);
}

void CLeftView::ToggleMark(QTreeWidgetItem* item) {
  const Qt::CheckState mark = MarkOf(item) == Qt::Unchecked ? Qt::Checked : Qt::Unchecked;
  MarkSubtree(item, mark);
  for (QTreeWidgetItem* parent = item->parent(); parent; parent = parent->parent()) {
    SetMark(parent, MarkFromChildren(parent));
  }
}

void CLeftView::UncheckSaved(const QString& name) {
  QTreeWidgetItem* database = DatabaseItem();
  if (!database) return;
  for (int c = 0; c < database->childCount(); ++c) {
    QTreeWidgetItem* category = database->child(c);
    if (MarkOf(category) == Qt::Unchecked) continue;
    for (int i = 0; i < category->childCount(); ++i) {
      QTreeWidgetItem* leaf = category->child(i);
      if (MarkOf(leaf) == Qt::Checked && leaf->text(0) == name) {
        SetMark(leaf, Qt::Unchecked);
        return;
      }
    }
  }
}

void CLeftView::ClearMarks() {
  if (QTreeWidgetItem* database = DatabaseItem()) {
    for (int c = 0; c < database->childCount(); ++c) {
      QTreeWidgetItem* category = database->child(c);
      for (int i = 0; i < category->childCount(); ++i) SetMark(category->child(i), Qt::Unchecked);
    }
    for (int c = 0; c < database->childCount(); ++c) SetMark(database->child(c), Qt::Unchecked);
    SetMark(database, Qt::Unchecked);
  }
  SetMark(TopItem(), Qt::Unchecked);
}

QStringList CLeftView::CheckedLeaves(const QString& text) const {
  QStringList names;
  if (QTreeWidgetItem* category = Category(text)) {
    for (int i = 0; i < category->childCount(); ++i) {
      if (MarkOf(category->child(i)) == Qt::Checked) names << category->child(i)->text(0);
    }
  }
  return names;
}

QRect CLeftView::MarkRect(QTreeWidgetItem* item) {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(indexFromItem(item));
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CLeftView::mousePressEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  const QModelIndex index = indexAt(position);
  // The expand button and empty space behave as in any tree.
  if (event->button() != Qt::LeftButton || !index.isValid() || !visualRect(index).contains(position)) {
    QTreeWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  if (busy_) return;  // not even the selection moves while a job runs
  QTreeWidgetItem* item = itemFromIndex(index);
  if (MarkRect(item).contains(position)) {
    ToggleMark(item);
    return;
  }
  setCurrentItem(item);
  emit LabelClicked(item);
}

void CLeftView::mouseDoubleClickEvent(QMouseEvent* event) {
  // A second press on a mark is a second toggle, not an expansion.
  mousePressEvent(event);
}

void CLeftView::keyPressEvent(QKeyEvent* event) {
  // Space would toggle a mark around the rules (and during a job): marks change
  // by presses on them only.
  if (event->key() == Qt::Key_Space) {
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

}  // namespace workspace
