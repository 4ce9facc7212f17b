#include "workspace/ribbon_bar.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "workspace/icons.h"
#include "workspace/ribbon_button.h"
#include "workspace/ribbon_panel.h"

namespace workspace {

namespace {

// The menu is a window of its own, so it is given its colours here rather than by
// the ribbon's painting.
const char kMenuStyle[] =
    "QMenu { background: #FFFFFF; color: #1E395B; border: 1px solid #8DB2E3; padding: 3px; }"
    "QMenu::item { padding: 6px 28px 6px 32px; border: 1px solid transparent; }"
    "QMenu::item:selected { background: #FFE7A2; color: #1E395B; border: 1px solid #DBBA6E; }"
    "QMenu::item:disabled { color: #8D8D8D; }"
    "QMenu::icon { padding-left: 8px; }"
    "QMenu::separator { height: 1px; background: #C5D2E3; margin: 3px 6px; }";

const char kBadgeStyle[] =
    "QLabel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #DDE6F2);"
    " color: #1E395B; border: 1px solid #506482; border-radius: 2px; padding: 0px 3px; }";

}  // namespace

CRibbonBar::CRibbonBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Ribbon"));
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  createRows();
  // Keys go to the focused widget, which may be any pane of the window; watching
  // the application's events is what lets the key tips answer wherever the focus is.
  qApp->installEventFilter(this);
}

CRibbonBar::~CRibbonBar() = default;

void CRibbonBar::createRows() {
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(0);

  quickRow_ = new QWidget(this);
  quickLayout_ = new QHBoxLayout(quickRow_);
  quickLayout_->setContentsMargins(4, 1, 4, 0);
  quickLayout_->setSpacing(1);
  quickLayout_->addStretch(1);
  quickRow_->hide();  // until the first quick-access button
  rows->addWidget(quickRow_);

  tabRow_ = new QWidget(this);
  tabLayout_ = new QHBoxLayout(tabRow_);
  tabLayout_->setContentsMargins(3, 0, 4, 0);
  tabLayout_->setSpacing(2);
  applicationButton_ = new CRibbonButton(CRibbonButton::Kind::Application, tabRow_);
  applicationButton_->setObjectName(QStringLiteral("ApplicationButton"));
  applicationButton_->setIcon(ProgramIcon(QStringLiteral("application")));
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("ApplicationMenu"));
  menu_->setStyleSheet(QString::fromLatin1(kMenuStyle));
  applicationButton_->setMenu(menu_);
  tabLayout_->addWidget(applicationButton_, 0, Qt::AlignBottom);
  tabLayout_->addSpacing(4);
  tabLayout_->addStretch(1);
  tabs_ = new QButtonGroup(this);
  tabs_->setExclusive(true);
  connect(tabs_, &QButtonGroup::idClicked, this, &CRibbonBar::SetCurrentCategory);
  rows->addWidget(tabRow_);

  panelArea_ = new QWidget(this);
  auto* panelRow = new QHBoxLayout(panelArea_);
  panelRow->setContentsMargins(4, 2, 4, 3);
  panelRow->setSpacing(6);
  pages_ = new QStackedWidget(panelArea_);
  panelRow->addWidget(pages_, 0);
  rightArea_ = new QHBoxLayout;
  rightArea_->setSpacing(6);
  rightArea_->addStretch(1);
  panelRow->addLayout(rightArea_, 1);
  rows->addWidget(panelArea_);
}

int CRibbonBar::AddCategory(const QString& name, const QString& keyTip) {
  Category category;
  category.name = name;
  category.keyTip = keyTip.toUpper();
  category.tab = new CRibbonButton(CRibbonButton::Kind::Tab, tabRow_);
  category.tab->setObjectName(QStringLiteral("Category_") + name);
  category.tab->setText(name);
  const int index = static_cast<int>(categories_.size());
  tabs_->addButton(category.tab, index);
  // Tabs go before the closing stretch of the row.
  tabLayout_->insertWidget(tabLayout_->count() - 1, category.tab, 0, Qt::AlignBottom);

  category.page = new QWidget(pages_);
  category.page->setObjectName(QStringLiteral("CategoryPage_") + name);
  category.pageLayout = new QHBoxLayout(category.page);
  category.pageLayout->setContentsMargins(0, 0, 0, 0);
  category.pageLayout->setSpacing(3);
  category.pageLayout->addStretch(1);
  pages_->addWidget(category.page);

  if (!category.keyTip.isEmpty()) {
    category.badge = new QLabel(category.keyTip, this);
    category.badge->setObjectName(QStringLiteral("KeyTip_") + name);
    category.badge->setTextFormat(Qt::PlainText);
    category.badge->setAlignment(Qt::AlignCenter);
    category.badge->setStyleSheet(QString::fromLatin1(kBadgeStyle));
    category.badge->hide();
  }
  categories_.push_back(category);
  if (current_ < 0) {
    current_ = 0;
    category.tab->setChecked(true);
    pages_->setCurrentIndex(0);
  }
  return index;
}

int CRibbonBar::AddPanel(int category, const QString& caption) {
  if (category < 0 || category >= static_cast<int>(categories_.size())) return -1;
  Category& owner = categories_[category];
  auto* panel = new CRibbonPanel(caption, owner.page);
  panel->setObjectName(QStringLiteral("Panel_") + caption);
  owner.pageLayout->insertWidget(owner.pageLayout->count() - 1, panel);
  owner.panels.push_back(panel);
  return static_cast<int>(owner.panels.size()) - 1;
}

QToolButton* CRibbonBar::AddButton(int category, int panel, QAction* action) {
  if (!action || category < 0 || category >= static_cast<int>(categories_.size())) return nullptr;
  Category& owner = categories_[category];
  if (panel < 0 || panel >= static_cast<int>(owner.panels.size())) return nullptr;
  auto* button = new CRibbonButton(CRibbonButton::Kind::Large, owner.panels[panel]);
  button->setDefaultAction(action);
  button->setObjectName(action->objectName());
  owner.panels[panel]->AddButton(button);
  return button;
}

void CRibbonBar::AddQuickAccess(QAction* action) {
  if (!action) return;
  auto* button = new CRibbonButton(CRibbonButton::Kind::Small, quickRow_);
  button->setDefaultAction(action);
  button->setObjectName(QStringLiteral("QuickAccess_") + action->objectName());
  quickLayout_->insertWidget(quickLayout_->count() - 1, button);
  quickRow_->show();
}

void CRibbonBar::SetApplicationMenu(const QList<QAction*>& actions) {
  menuActions_.clear();
  for (QAction* action : actions) menuActions_.append(action);
  RebuildMenu();
}

void CRibbonBar::SetMenuLabel(QAction* action, const QString& label) {
  if (!action) return;
  menuLabels_.insert(action, label);
  RebuildMenu();
}

void CRibbonBar::RebuildMenu() {
  menu_->clear();
  for (const QPointer<QAction>& source : menuActions_) {
    if (!source) {
      menu_->addSeparator();
      continue;
    }
    // An entry of its own, so the menu can show a label other than the action's
    // text; it mirrors the action and hands its trigger over.
    auto* entry = new QAction(menu_);
    entry->setObjectName(QStringLiteral("Menu_") + source->objectName());
    const QString label = menuLabels_.value(source.data());
    auto follow = [entry, source, label] {
      if (!source) return;
      entry->setText(label.isEmpty() ? source->text() : label);
      entry->setIcon(source->icon());
      entry->setEnabled(source->isEnabled());
      entry->setVisible(source->isVisible());
      entry->setToolTip(source->toolTip());
    };
    follow();
    connect(source.data(), &QAction::changed, entry, follow);
    connect(entry, &QAction::triggered, source.data(), [source] {
      if (source) source->trigger();
    });
    menu_->addAction(entry);
  }
}

void CRibbonBar::SetCurrentCategory(int category) {
  if (category < 0 || category >= static_cast<int>(categories_.size())) return;
  categories_[category].tab->setChecked(true);
  if (category == current_) return;
  current_ = category;
  pages_->setCurrentIndex(category);
  update();  // the panel area's top edge opens under the new tab
  emit CategoryChanged(category);
}

void CRibbonBar::ShowKeyTips() {
  tipsShown_ = true;
  for (const Category& category : categories_) {
    if (!category.badge) continue;
    category.badge->adjustSize();
    const QRect tab(category.tab->mapTo(this, QPoint(0, 0)), category.tab->size());
    QSize size = category.badge->size();
    size.setWidth(std::max(size.width(), size.height()));
    category.badge->resize(size);
    // Centred under the tab's name, over the top edge of the panel area.
    category.badge->move(tab.center().x() - size.width() / 2, tab.bottom() - 3);
    category.badge->raise();
    category.badge->show();
  }
}

void CRibbonBar::HideKeyTips() {
  tipsShown_ = false;
  for (const Category& category : categories_) {
    if (category.badge) category.badge->hide();
  }
}

int CRibbonBar::CategoryForKey(const QKeyEvent& event) const {
  const int key = event.key();
  if (key < Qt::Key_Space || key > Qt::Key_AsciiTilde) return -1;
  const QString letter = QString(QChar(key)).toUpper();
  for (size_t i = 0; i < categories_.size(); ++i) {
    if (!categories_[i].keyTip.isEmpty() && categories_[i].keyTip == letter) return static_cast<int>(i);
  }
  return -1;
}

bool CRibbonBar::InOurWindow(QObject* watched) const {
  // Only widgets: a key reaches the window object first and its focused widget
  // after, and the ribbon acts once, on the widget's delivery.
  auto* widget = qobject_cast<QWidget*>(watched);
  return widget && isVisible() && widget->window() == window();
}

bool CRibbonBar::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      if (!InOurWindow(watched)) return false;
      return FilterKey(static_cast<QKeyEvent&>(*event));
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
      altAlone_ = false;
      if (tipsShown_) HideKeyTips();
      return false;
    case QEvent::WindowDeactivate:
      if (watched == window()) {
        altAlone_ = false;
        if (tipsShown_) HideKeyTips();
      }
      return false;
    default: return false;
  }
}

bool CRibbonBar::FilterKey(QKeyEvent& key) {
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  const bool altOnly = modifiers == Qt::AltModifier;
  const bool plain = (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier;
  const int category = CategoryForKey(key);
  // The keys the ribbon answers: Alt+<key tip> always, and while the badges show a
  // key tip alone or Escape.
  const bool ours = (altOnly && category >= 0) ||
                    (tipsShown_ && ((plain && category >= 0) || key.key() == Qt::Key_Escape));

  if (key.type() == QEvent::ShortcutOverride) {
    // A window shortcut taken on Alt+<key> never arrives as a key press, so the
    // override is where Alt stops being alone.
    if (key.key() != Qt::Key_Alt) altAlone_ = false;
    // Claiming the override keeps window shortcuts and mnemonics on the same keys
    // from taking them first; the key press then comes here.
    if (!ours) return false;
    key.accept();
    return true;
  }
  if (key.key() == Qt::Key_Alt) {
    if (key.type() == QEvent::KeyPress) {
      if (!key.isAutoRepeat()) altAlone_ = true;
      return false;
    }
    if (!altAlone_) return false;
    altAlone_ = false;
    const bool anyTip = std::any_of(categories_.begin(), categories_.end(),
                                    [](const Category& category) { return category.badge != nullptr; });
    if (!anyTip) return false;
    if (tipsShown_) HideKeyTips();
    else ShowKeyTips();
    return true;
  }
  if (key.type() != QEvent::KeyPress) return false;
  altAlone_ = false;
  if (ours) {
    HideKeyTips();
    if (category >= 0) SetCurrentCategory(category);
    return true;
  }
  if (tipsShown_) HideKeyTips();
  return false;
}

void CRibbonBar::hideEvent(QHideEvent* event) {
  HideKeyTips();
  QWidget::hideEvent(event);
}

void CRibbonBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int panelTop = panelArea_->y();
  const QRect head(0, 0, width(), panelTop);
  QLinearGradient headFill(head.topLeft(), head.bottomLeft());
  headFill.setColorAt(0, QColor(227, 236, 248));
  headFill.setColorAt(1, QColor(210, 224, 242));
  painter.fillRect(rect(), headFill);

  const QRectF panels = QRectF(1.5, panelTop + 0.5, width() - 3, height() - panelTop - 2);
  QLinearGradient panelFill(panels.topLeft(), panels.bottomLeft());
  panelFill.setColorAt(0, ribbon::kPanelTop);
  panelFill.setColorAt(0.25, QColor(240, 245, 252));
  panelFill.setColorAt(1, QColor(214, 227, 243));
  painter.setPen(ribbon::kPanelBorder);
  painter.setBrush(panelFill);
  painter.drawRect(panels);

  // The selected tab opens into the panel area: no edge under it.
  if (current_ >= 0) {
    const CRibbonButton* tab = categories_[current_].tab;
    const QPoint left = tab->mapTo(this, QPoint(1, 0));
    painter.setPen(ribbon::kPanelTop);
    painter.drawLine(QPointF(left.x(), panels.top()), QPointF(left.x() + tab->width() - 3, panels.top()));
  }
}

}  // namespace workspace
