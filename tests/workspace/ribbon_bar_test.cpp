// The ribbon: buttons that follow their actions, the application menu, the quick
// access row, categories and key tips; and the program's icons.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <memory>
#include <vector>

#include "workspace/icons.h"
#include "workspace/ribbon_bar.h"

namespace {

using workspace::CRibbonBar;

QAction* MakeAction(QWidget* owner, const char* id, const char* label, const char* tip, const char* icon,
                    bool checkable = false) {
  auto* action = new QAction(QString::fromUtf8(label), owner);
  action->setObjectName(QString::fromUtf8(id));
  action->setToolTip(QString::fromUtf8(tip));
  action->setIcon(workspace::ProgramIcon(QString::fromUtf8(icon)));
  action->setCheckable(checkable);
  return action;
}

// A window holding a ribbon of two categories (File with key tip F, Tools with T)
// over a line edit that has the focus, as a pane of the main frame would.
struct RibbonWindow {
  QWidget window;
  CRibbonBar* ribbon = new CRibbonBar;
  QLineEdit* edit = new QLineEdit;
  QAction* open = MakeAction(&window, "ID_BUTTON_OPEN_FILE", "Select Database", "Select Database", "open-database");
  QAction* statusBar =
      MakeAction(&window, "ID_STATUS_BAR", "Status Bar", "Show\\Hide Status Bar", "status-bar", true);
  QAction* saveLog = MakeAction(&window, "ID_BUTTON_SAVE_LOG", "Save Log", "Save Log", "save-log");
  QAction* knowledge = MakeAction(&window, "ID_HELP_KNOWLEDGE", "Knowledgebase", "Knowledgebase", "knowledgebase");

  RibbonWindow() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(ribbon);
    layout->addWidget(edit);
    const int file = ribbon->AddCategory("File", "F");
    const int tools = ribbon->AddCategory("Tools", "t");
    const int filePanel = ribbon->AddPanel(file, "File");
    ribbon->AddButton(file, filePanel, open);
    ribbon->AddButton(file, ribbon->AddPanel(file, "View"), statusBar);
    ribbon->AddButton(tools, ribbon->AddPanel(tools, "Log"), saveLog);
    ribbon->AddQuickAccess(open);
  }
  void Show() {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
  }
  QToolButton* Button(const QString& name) const { return ribbon->findChild<QToolButton*>(name); }
  QWidget* Widget(const QString& name) const { return ribbon->findChild<QWidget*>(name); }
};

// The tool tip a button shows when the pointer rests on it.
QString ToolTipOf(QWidget* widget) {
  QToolTip::hideText();
  QHelpEvent event(QEvent::ToolTip, QPoint(4, 4), widget->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(widget, &event);
  const QString text = QToolTip::isVisible() ? QToolTip::text() : QString();
  QToolTip::hideText();
  return text;
}

TEST(RibbonBarTest, APanelButtonFollowsItsActionAndTriggersIt) {
  RibbonWindow w;
  QToolButton* open = w.Button("ID_BUTTON_OPEN_FILE");
  QToolButton* status = w.Button("ID_STATUS_BAR");
  ASSERT_TRUE(open && status);
  EXPECT_EQ(open->text(), "Select Database");
  EXPECT_FALSE(open->icon().isNull());

  w.open->setEnabled(false);
  EXPECT_FALSE(open->isEnabled());
  w.open->setEnabled(true);
  EXPECT_TRUE(open->isEnabled());
  w.open->setText("Select File");
  EXPECT_EQ(open->text(), "Select File");

  EXPECT_TRUE(status->isCheckable());
  w.statusBar->setChecked(true);
  EXPECT_TRUE(status->isChecked());

  w.Show();
  QSignalSpy triggered(w.open, &QAction::triggered);
  QTest::mouseClick(open, Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 1);
  QTest::mouseClick(status, Qt::LeftButton);
  EXPECT_FALSE(w.statusBar->isChecked()) << "a click on a check button toggles its action";
  EXPECT_FALSE(status->isChecked());
}

TEST(RibbonBarTest, PanelAndQuickAccessButtonsShowTitleAndDescription) {
  RibbonWindow w;
  w.ribbon->AddQuickAccess(w.statusBar);
  w.Show();
  struct Case {
    const char* button;
    const char* tip;
  } const cases[] = {
      {"ID_BUTTON_OPEN_FILE", "<b>Select Database</b>"},
      {"QuickAccess_ID_BUTTON_OPEN_FILE", "<b>Select Database</b>"},
      {"ID_STATUS_BAR", "<b>Status Bar</b><br>Show\\Hide Status Bar"},
      {"QuickAccess_ID_STATUS_BAR", "<b>Status Bar</b><br>Show\\Hide Status Bar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    QToolButton* button = w.Button(c.button);
    ASSERT_TRUE(button);
    EXPECT_EQ(ToolTipOf(button), c.tip);
  }
}

TEST(RibbonBarTest, QuickAccessButtonsAreSmallAndTriggerTheirAction) {
  RibbonWindow w;
  w.Show();
  QToolButton* quick = w.Button("QuickAccess_ID_BUTTON_OPEN_FILE");
  ASSERT_TRUE(quick);
  EXPECT_NE(quick, w.Button("ID_BUTTON_OPEN_FILE"));
  EXPECT_EQ(quick->iconSize(), QSize(16, 16));
  EXPECT_EQ(w.Button("ID_BUTTON_OPEN_FILE")->iconSize(), QSize(32, 32));
  QSignalSpy triggered(w.open, &QAction::triggered);
  QTest::mouseClick(quick, Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 1);
  w.open->setEnabled(false);
  EXPECT_FALSE(quick->isEnabled());
}

TEST(RibbonBarTest, TheApplicationMenuListsItsActionsInOrderUnderTheirMenuLabels) {
  RibbonWindow w;
  w.ribbon->SetMenuLabel(w.knowledge, "KnowledgeBase");
  w.ribbon->SetApplicationMenu({w.open, w.saveLog, nullptr, w.knowledge});
  const QList<QAction*> entries = w.ribbon->ApplicationMenu()->actions();
  QStringList texts;
  for (QAction* entry : entries) texts << (entry->isSeparator() ? "--" : entry->text());
  EXPECT_EQ(texts, (QStringList{"Select Database", "Save Log", "--", "KnowledgeBase"}));
  ASSERT_EQ(entries.size(), 4);
  EXPECT_FALSE(entries[0]->icon().isNull());

  w.saveLog->setEnabled(false);
  EXPECT_FALSE(entries[1]->isEnabled()) << "an entry follows its action";
  QSignalSpy triggered(w.knowledge, &QAction::triggered);
  entries[3]->trigger();
  EXPECT_EQ(triggered.count(), 1);

  // A label given after the menu is built applies as well.
  w.ribbon->SetMenuLabel(w.open, "Open");
  EXPECT_EQ(w.ribbon->ApplicationMenu()->actions().value(0)->text(), "Open");
}

TEST(RibbonBarTest, ACategoryShowsItsOwnPanelsOnly) {
  RibbonWindow w;
  w.Show();
  EXPECT_EQ(w.ribbon->CurrentCategory(), 0);
  EXPECT_TRUE(w.Widget("Panel_File")->isVisible());
  EXPECT_TRUE(w.Widget("Panel_View")->isVisible());
  EXPECT_FALSE(w.Widget("Panel_Log")->isVisible());

  QSignalSpy changed(w.ribbon, &CRibbonBar::CategoryChanged);
  QTest::mouseClick(w.Button("Category_Tools"), Qt::LeftButton);
  EXPECT_EQ(w.ribbon->CurrentCategory(), 1);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.front().front().toInt(), 1);
  EXPECT_TRUE(w.Widget("Panel_Log")->isVisible());
  EXPECT_FALSE(w.Widget("Panel_File")->isVisible());
  EXPECT_TRUE(w.Button("Category_Tools")->isChecked());
  EXPECT_FALSE(w.Button("Category_File")->isChecked());

  w.ribbon->SetCurrentCategory(0);
  EXPECT_TRUE(w.Widget("Panel_File")->isVisible());
  EXPECT_FALSE(w.Widget("Panel_Log")->isVisible());
  w.ribbon->SetCurrentCategory(7);
  EXPECT_EQ(w.ribbon->CurrentCategory(), 0) << "no such category";
}

struct Key {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST(RibbonBarTest, KeyTipsAnswerWhereverTheFocusIs) {
  struct Case {
    const char* name;
    int start;
    std::vector<Key> keys;
    int category;          // afterwards
    bool shown;            // badges afterwards
    const char* edit;      // what reached the focused line edit
    bool windowShortcut;   // whether the window's Alt+Q action ran
  } const cases[] = {
      {"an Alt tap shows the badges", 1, {{Qt::Key_Alt}}, 1, true, "", false},
      {"a second Alt tap hides them", 1, {{Qt::Key_Alt}, {Qt::Key_Alt}}, 1, false, "", false},
      {"the key tip after an Alt tap selects", 1, {{Qt::Key_Alt}, {Qt::Key_F}}, 0, false, "", false},
      {"a key tip given in lower case answers", 0, {{Qt::Key_Alt}, {Qt::Key_T}}, 1, false, "", false},
      {"Alt with the key tip selects directly", 0, {{Qt::Key_T, Qt::AltModifier}}, 1, false, "", false},
      {"Alt+F from another category", 1, {{Qt::Key_F, Qt::AltModifier}}, 0, false, "", false},
      {"Escape hides the badges", 1, {{Qt::Key_Alt}, {Qt::Key_Escape}}, 1, false, "", false},
      {"another key hides them and passes on", 1, {{Qt::Key_Alt}, {Qt::Key_X}}, 1, false, "x", false},
      {"a plain key tip letter without badges is typed", 1, {{Qt::Key_F}}, 1, false, "f", false},
      {"Alt with another letter passes on", 1, {{Qt::Key_Q, Qt::AltModifier}}, 1, false, "", true},
      {"Alt held with another key is no tap", 1, {{Qt::Key_Q, Qt::AltModifier}, {Qt::Key_F}}, 1, false, "f", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RibbonWindow w;
    auto* other = new QAction(&w.window);
    other->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Q));
    w.window.addAction(other);
    // A window shortcut on a key tip: the ribbon's key tip comes first.
    auto* clash = new QAction(&w.window);
    clash->setShortcut(QKeySequence(Qt::ALT | Qt::Key_T));
    w.window.addAction(clash);
    QSignalSpy otherRan(other, &QAction::triggered);
    QSignalSpy clashRan(clash, &QAction::triggered);
    w.Show();
    w.ribbon->SetCurrentCategory(c.start);
    for (const Key& k : c.keys) QTest::keyClick(w.edit, k.key, k.modifiers);
    EXPECT_EQ(w.ribbon->CurrentCategory(), c.category);
    EXPECT_EQ(w.ribbon->KeyTipsShown(), c.shown);
    EXPECT_EQ(w.Widget("KeyTip_File")->isVisible(), c.shown);
    EXPECT_EQ(w.Widget("KeyTip_Tools")->isVisible(), c.shown);
    EXPECT_EQ(w.edit->text(), c.edit);
    EXPECT_EQ(otherRan.count() == 1, c.windowShortcut);
    EXPECT_EQ(clashRan.count(), 0);
  }
}

TEST(RibbonBarTest, AClickHidesTheKeyTips) {
  RibbonWindow w;
  w.Show();
  QTest::keyClick(w.edit, Qt::Key_Alt);
  ASSERT_TRUE(w.ribbon->KeyTipsShown());
  QTest::mouseClick(w.edit, Qt::LeftButton);
  EXPECT_FALSE(w.ribbon->KeyTipsShown());
  EXPECT_FALSE(w.Widget("KeyTip_File")->isVisible());
}

// Whether any pixel of `pixmap` is not fully transparent.
bool HasInk(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 0) return true;
    }
  }
  return false;
}

TEST(ProgramIconTest, EveryIconLoadsAndRendersAt16And32Pixels) {
  const char* const names[] = {
      "open-database", "save", "stop", "exit", "status-bar", "log-window", "save-log", "clear-log",
      "update", "enquiry", "knowledgebase", "help", "about", "application", "tree-database",
      "tree-folder", "tree-table", "tree-deleted-table", "tree-view", "tree-index", "tree-trigger",
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const QIcon icon = workspace::ProgramIcon(QString::fromUtf8(name));
    ASSERT_FALSE(icon.isNull());
    for (int side : {16, 32}) {
      const QPixmap pixmap = icon.pixmap(QSize(side, side), 1.0);
      EXPECT_EQ(pixmap.size(), QSize(side, side));
      EXPECT_TRUE(HasInk(pixmap)) << side << " px";
    }
  }
}

TEST(ProgramIconTest, AnUnknownNameGivesANullIcon) {
  EXPECT_TRUE(workspace::ProgramIcon("no-such-icon").isNull());
  EXPECT_TRUE(workspace::ProgramIcon("").isNull());
  EXPECT_FALSE(workspace::ProgramIcon("save").isNull()) << "an unknown name spoils nothing";
}

}  // namespace
