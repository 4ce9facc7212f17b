// `CFindTreeItem`: the Find Tree Item bar in the ribbon area, which finds an
// object of the tree by (part of) its name.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

#include "job/contract/repair_state.h"

namespace workspace {

class CColorButton;
class CSymbolEdit;

// The bar's button hands the search to the frame (FindItem), which runs
// FindTreeItem over the tree. The text, the Match Case choice and the caption at
// the click stay with the bar: only the window reads them. `state` outlives the
// bar. Window thread only.
class CFindTreeItem : public QWidget {
  Q_OBJECT

 public:
  explicit CFindTreeItem(job::RepairState& state, QWidget* parent = nullptr);

  // JobState: at a job's start the text is emptied and the bar disabled; at its
  // end the text field and Match Case come back (Find waits for a text).
  void JobStateChanged(bool running);

  // What the last click handed over.
  QString FindText() const { return findText_; }
  bool MatchCase() const { return matchCase_; }
  // The button's caption at the last click: "Find" or "Find Next".
  QString ClickedCaption() const { return clickedCaption_; }

  CSymbolEdit* Edit() const { return edit_; }
  QCheckBox* MatchCaseBox() const { return matchCaseBox_; }
  CColorButton* Button() const { return button_; }

 signals:
  void FindItem();

 private:
  // The enabling rule, whenever the text changes.
  void TextChanged(const QString& text);
  void Clicked();

  job::RepairState& state_;
  CSymbolEdit* edit_;
  QCheckBox* matchCaseBox_;
  CColorButton* button_;
  QString findText_;
  bool matchCase_ = false;
  QString clickedCaption_;
};

// The search of the Find bar over the items of `tree` a user can see (none inside
// a collapsed node, none hidden), in display order: from the top item, or with
// `next` from the item after the current one (from the top item when there is no
// current item or it cannot be seen). An item matches when `text` occurs in its
// text without regard to case and, with `matchCase`, its first such occurrence
// equals `text` exactly. The first match, or null.
QTreeWidgetItem* FindTreeItem(const QTreeWidget& tree, const QString& text, bool matchCase, bool next);

}  // namespace workspace
