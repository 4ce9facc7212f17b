// The object tree (`CLeftView`): the database, its categories "Tables", "Views",
// "Triggers" and a leaf per recovered object, each with a three-state check mark.
#pragma once

#include <QStringList>
#include <QTreeWidget>

#include "job/contract/front_end_port.h"

namespace workspace {

// Thread: the window thread only. Check marks are the items' check states, changed
// only by the rules below: Qt's own check box toggling (by click or Space) is off.
class CLeftView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CLeftView(QWidget* parent = nullptr);

  QTreeWidgetItem* TopItem() const { return topLevelItem(0); }
  // The database item, or null before a repair.
  QTreeWidgetItem* DatabaseItem() const;
  // The category node "Tables", "Views" or "Triggers", or null.
  QTreeWidgetItem* Category(const QString& text) const;

  // The fill after a repair: the database item `runPath` with its categories and
  // leaves, all checked. "(deleted)" companions only with `includeDeleted`, never
  // "threads(deleted)" or "words_segdir(deleted)".
  void Fill(const job::ObjectListing& objects, const QString& runPath, bool includeDeleted);
  // Removes the database item with everything under it; the top item stays.
  void ResetTree();
  // Gives the top item its check mark if it has none.
  void CheckTopItem();

  // A press on `item`'s mark: unchecked becomes checked, anything else unchecked;
  // every descendant takes the new mark, every ancestor the mark its children give.
  void ToggleMark(QTreeWidgetItem* item);
  // Unchecks the first checked leaf named `name` (exactly) under a checked or partly
  // checked category; the ancestors keep their marks.
  void UncheckSaved(const QString& name);
  // Clears every mark: the leaves, then the categories, the database item, the top.
  void ClearMarks();
  // The names of the checked leaves under `category`, in order.
  QStringList CheckedLeaves(const QString& category) const;

  // Where `item`'s mark is drawn, in viewport coordinates.
  QRect MarkRect(QTreeWidgetItem* item);

  // While a job runs, presses on marks and labels change nothing.
  void SetBusy(bool busy) { busy_ = busy; }

 signals:
  // A press on the label of `item` (selected now); the frame decides what it shows.
  void LabelClicked(QTreeWidgetItem* item);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const QString& text, int image);
  bool busy_ = false;
};

// An item's mark.
Qt::CheckState MarkOf(const QTreeWidgetItem* item);

}  // namespace workspace
