// The ribbon (`CRibbonBar`): the quick-access row, the application button with its
// menu, the category tabs and, under them, the panels of the selected category,
// with key tips for keyboard use.
#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

class QAction;
class QButtonGroup;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace workspace {

class CRibbonButton;
class CRibbonPanel;

// Thread: the window thread only. The ribbon owns its buttons, panels and menu, not
// the actions: each action must outlive the buttons made for it (in practice both
// belong to the main frame). Object names: the ribbon "Ribbon", the application
// button "ApplicationButton", tabs "Category_<name>", panels "Panel_<caption>", a
// panel button the action's object name, a quick-access button
// "QuickAccess_<action's object name>", a key tip badge "KeyTip_<category name>".
class CRibbonBar : public QWidget {
  Q_OBJECT

 public:
  explicit CRibbonBar(QWidget* parent = nullptr);
  ~CRibbonBar() override;

  // A category tab ("File", "Tools", "Help"); `keyTip` is the letter of its key tip
  // (empty for none). Returns its index. The first category becomes the current one.
  int AddCategory(const QString& name, const QString& keyTip = {});
  // A panel in category `category`; its index within the category, or -1 when no
  // such category exists.
  int AddPanel(int category, const QString& caption);
  // A large button (32-pixel icon above the label) for `action`, following its text,
  // icon, enabled, checkable and checked state; a click triggers the action. The
  // tool tip shows the action's text in bold and its tool tip below. Null when no
  // such panel exists.
  QToolButton* AddButton(int category, int panel, QAction* action);
  // The application button's menu: these actions in order, nullptr for a separator.
  // The entries follow their actions (enabled, icon) and trigger them; an entry shows
  // the label given by SetMenuLabel, or else the action's text. Replaces the menu.
  void SetApplicationMenu(const QList<QAction*>& actions);
  // The label of `action` in the application menu ("KnowledgeBase").
  void SetMenuLabel(QAction* action, const QString& label);
  // A small (16-pixel) button above the tabs for `action`.
  void AddQuickAccess(QAction* action);
  // The area right of the panels, on the same row, filling the width left over. It
  // starts with a stretch, so widgets added with addWidget sit at its right end;
  // insertWidget(0, ...) puts one just right of the panels.
  QHBoxLayout* RightArea() const { return rightArea_; }
  int CurrentCategory() const { return current_; }
  // Selects a category (its tab highlighted, only its panels shown); an index out
  // of range is ignored. Emits CategoryChanged when the category changes.
  void SetCurrentCategory(int category);
  QMenu* ApplicationMenu() const { return menu_; }
  // Key tips: a tap of Alt (pressed and released alone) while any widget of the
  // ribbon's window has the focus shows a badge with each category's key tip;
  // that letter then selects the category. Escape, a click, another key or the
  // window losing the focus hides the badges. Alt+<key tip> selects directly; other
  // Alt combinations pass on untouched.
  bool KeyTipsShown() const { return tipsShown_; }

 signals:
  void CategoryChanged(int category);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Category {
    QString name;
    QString keyTip;  // upper case
    CRibbonButton* tab = nullptr;
    QWidget* page = nullptr;
    QHBoxLayout* pageLayout = nullptr;
    std::vector<CRibbonPanel*> panels;
    QLabel* badge = nullptr;
  };

  void createRows();
  void RebuildMenu();
  void ShowKeyTips();
  void HideKeyTips();
  // The category whose key tip is the key of `event`, or -1.
  int CategoryForKey(const QKeyEvent& event) const;
  // Whether the key event belongs to this ribbon's window.
  bool InOurWindow(QObject* watched) const;
  bool FilterKey(QKeyEvent& key);

  std::vector<Category> categories_;
  int current_ = -1;
  QWidget* quickRow_ = nullptr;
  QHBoxLayout* quickLayout_ = nullptr;
  QWidget* tabRow_ = nullptr;
  QHBoxLayout* tabLayout_ = nullptr;
  QWidget* panelArea_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QHBoxLayout* rightArea_ = nullptr;
  QButtonGroup* tabs_ = nullptr;
  CRibbonButton* applicationButton_ = nullptr;
  QMenu* menu_ = nullptr;
  QList<QPointer<QAction>> menuActions_;
  QHash<const QAction*, QString> menuLabels_;
  bool tipsShown_ = false;
  bool altAlone_ = false;  // Alt is down and no other key came since
};

}  // namespace workspace
