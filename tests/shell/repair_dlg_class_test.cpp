// The save destination dialog (the folder shown and stored, when Save is enabled,
// what closing does) and the overwrite dialog's answers.
#include <gtest/gtest.h>

#include <deque>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "shell/file_exist.h"
#include "shell/repair_dlg_class.h"

namespace {

// Answers the folder picker from a queue (empty = cancelled) and records the rest.
class FakeHost : public shell::RepairDlgHost {
 public:
  std::deque<QString> folders;
  QStringList saves;
  bool startSucceeds = true;
  int helpShown = 0;

  QString AskFolder(QWidget*) override {
    if (folders.empty()) return {};
    QString folder = folders.front();
    folders.pop_front();
    return folder;
  }
  bool StartSave(const QString& folder) override {
    saves << folder;
    return startSucceeds;
  }
  void OpenHelp(QWidget*) override { ++helpShown; }
};

struct DialogUnderTest {
  job::RepairState state;
  FakeHost host;
  shell::CRepairDlgClass dialog{state, host};

  QLineEdit* Path() { return dialog.findChild<QLineEdit*>("DestinationPath"); }
  QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }
  void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
  void Browse(const QString& answer) {
    host.folders.push_back(answer);
    Click("BrowseButton");
  }
};

TEST(RepairDlgTest, ChosenFolderEndsInOneSeparatorAndEnablesSave) {
  const QString sep = QDir::separator();
  const QString out = QDir::toNativeSeparators(QDir::tempPath() + "/Out");
  const struct {
    const char* name;
    std::vector<QString> answers;  // one per Browse; empty = picker cancelled
    QString shown;
    std::string stored;
  } cases[] = {
      {"a folder", {out}, out + sep, (out + sep).toStdString()},
      {"a folder with a separator", {out + sep}, out + sep, (out + sep).toStdString()},
      {"a folder with two separators", {out + sep + sep}, out + sep, (out + sep).toStdString()},
      {"the root folder", {QDir::rootPath()}, QDir::toNativeSeparators(QDir::rootPath()),
       QDir::toNativeSeparators(QDir::rootPath()).toStdString()},
      {"a second folder replaces the first", {out, out + "2"}, out + "2" + sep, (out + "2" + sep).toStdString()},
      {"cancelled after a choice", {out, QString()}, QString(), (out + sep).toStdString()},
      {"cancelled at once", {QString()}, QString(), "earlier/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DialogUnderTest t;
    t.state.destinationFolder = "earlier/";
    t.dialog.show();
    EXPECT_FALSE(t.Button("SaveButton")->isEnabled());
    for (const QString& answer : c.answers) t.Browse(answer);
    EXPECT_EQ(t.Path()->text(), c.shown);
    EXPECT_EQ(t.state.destinationFolder, c.stored);
    EXPECT_EQ(t.Button("SaveButton")->isEnabled(), !c.shown.isEmpty());
    EXPECT_TRUE(t.host.saves.isEmpty());
    EXPECT_TRUE(t.dialog.isVisible()) << "choosing a folder does not close the dialog";
  }
}

TEST(RepairDlgTest, EveryShowingStartsEmptyAndDisabled) {
  DialogUnderTest t;
  t.dialog.show();
  t.Browse(QDir::tempPath());
  ASSERT_TRUE(t.Button("SaveButton")->isEnabled());
  t.Click("CancelButton");
  EXPECT_FALSE(t.dialog.isVisible());
  t.dialog.show();
  EXPECT_EQ(t.Path()->text(), QString());
  EXPECT_FALSE(t.Button("SaveButton")->isEnabled());
  EXPECT_FALSE(t.state.destinationFolder.empty()) << "the earlier folder stays in the state";
}

TEST(RepairDlgTest, SaveStartsTheJobAndClosesWhileEscapeAndCancelOnlyClose) {
  const QString folder = QDir::toNativeSeparators(QDir::tempPath() + "/Out") + QDir::separator();
  const struct {
    const char* name;
    std::function<void(DialogUnderTest&)> close;
    bool startSucceeds;
    QStringList saves;
  } cases[] = {
      {"Save", [](DialogUnderTest& t) { t.Click("SaveButton"); }, true, {folder}},
      {"Save while a job runs", [](DialogUnderTest& t) { t.Click("SaveButton"); }, false, {folder}},
      {"Cancel", [](DialogUnderTest& t) { t.Click("CancelButton"); }, true, {}},
      {"Escape", [](DialogUnderTest& t) { QTest::keyClick(&t.dialog, Qt::Key_Escape); }, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DialogUnderTest t;
    t.host.startSucceeds = c.startSucceeds;
    t.dialog.show();
    t.Browse(QDir::tempPath() + "/Out");
    c.close(t);
    EXPECT_FALSE(t.dialog.isVisible());
    EXPECT_EQ(t.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(t.host.saves, c.saves);
    EXPECT_EQ(t.state.destinationFolder, folder.toStdString());
  }
}

TEST(RepairDlgTest, SaveIsDeadWithoutAFolderAndHelpGoesToTheHost) {
  DialogUnderTest t;
  t.dialog.show();
  t.Click("SaveButton");
  EXPECT_TRUE(t.dialog.isVisible());
  EXPECT_TRUE(t.host.saves.isEmpty());
  t.Click("HelpButton");
  EXPECT_EQ(t.host.helpShown, 1);
  EXPECT_TRUE(t.dialog.isVisible());
}

TEST(FileExistTest, OnlyYesOverwrites) {
  const struct {
    const char* name;
    std::function<void(shell::CFileExist&)> answer;
    bool overwrite;
  } cases[] = {
      {"Yes", [](shell::CFileExist& d) { QTest::mouseClick(d.findChild<QPushButton*>("YesButton"), Qt::LeftButton); },
       true},
      {"No", [](shell::CFileExist& d) { QTest::mouseClick(d.findChild<QPushButton*>("NoButton"), Qt::LeftButton); },
       false},
      {"Escape", [](shell::CFileExist& d) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
      {"Enter", [](shell::CFileExist& d) { QTest::keyClick(&d, Qt::Key_Return); }, false},
      {"Enter on a focused Yes",
       [](shell::CFileExist& d) { QTest::keyClick(d.findChild<QPushButton*>("YesButton"), Qt::Key_Return); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    shell::CFileExist dialog;
    QFont other = dialog.font();
    other.setPointSize(other.pointSize() + 7);
    dialog.setFont(other);  // the question keeps the common font whatever its window uses
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Overwrite File");
    const QLabel* question = dialog.findChild<QLabel*>("FileExistText");
    EXPECT_EQ(question->text(), "File exists.\n\nDo you want to overwrite?");
    EXPECT_EQ(question->font(), QApplication::font());
    c.answer(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Overwrite(), c.overwrite);
  }
}

}  // namespace
