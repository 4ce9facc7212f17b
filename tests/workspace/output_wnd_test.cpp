// The "Log Report" pane: its lines, Clear Log, and the bytes and place of Save Log.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>

#include "workspace/log_report.h"
#include "workspace/output_wnd.h"

namespace {

using workspace::COutputWnd;

// Answers Save Log's questions from a script, and remembers what was asked.
class ScriptedDialogs : public workspace::LogDialogs {
 public:
  std::deque<QString> names;     // one per save-file dialog; empty = Cancel
  std::deque<bool> overwrites;   // one per overwrite question
  QStringList asked;
  QString error;

  QString AskSaveFileName(QWidget*, const QString& suggested) override {
    asked << "save:" + suggested;
    if (names.empty()) return {};
    QString name = names.front();
    names.pop_front();
    return name;
  }
  bool AskOverwrite(QWidget*, const QString& path) override {
    asked << "overwrite:" + QFileInfo(path).fileName();
    bool yes = !overwrites.empty() && overwrites.front();
    if (!overwrites.empty()) overwrites.pop_front();
    return yes;
  }
  void ShowError(QWidget*, const QString& text) override { error = text; }
};

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST(OutputWndTest, StartsWithTheHeaderAndClearLeavesOnlyIt) {
  COutputWnd pane;
  EXPECT_EQ(pane.windowTitle(), "Log Report");
  EXPECT_EQ(pane.Lines(), QStringList{workspace::kLogHeader});
  pane.AddLine("Repairing process started on ...");
  pane.AddLine("");
  EXPECT_EQ(pane.Lines().size(), 3);
  EXPECT_EQ(pane.List()->currentRow(), 2) << "the new line is selected";
  pane.ClearLog();
  EXPECT_EQ(pane.Lines(), QStringList{workspace::kLogHeader});
}

TEST(OutputWndTest, TheReportIsUtf16LittleEndianWithCrLfAfterEveryLine) {
  EXPECT_EQ(workspace::LogReportBytes({workspace::kLogHeader}).size(), 98) << "47 characters and CR LF";
  const QByteArray bytes = workspace::LogReportBytes({QString::fromUtf8("a\xC3\xA9"), ""});
  EXPECT_EQ(bytes, QByteArray("a\0\xE9\0\r\0\n\0\r\0\n\0", 12));
}

TEST(OutputWndTest, TheTargetGetsLogUnlessItHasIt) {
  const std::pair<QString, QString> cases[] = {
      {"report.LOG", "report.LOG"}, {"report.txt", "report.txt.log"}, {"report", "report.log"},
      {"dir.log/x", "dir.log/x.log"},
  };
  for (const auto& [chosen, target] : cases) EXPECT_EQ(workspace::LogReportTarget(chosen), target) << chosen.toStdString();
}

TEST(OutputWndTest, SaveLogAsksAgainWhenOverwritingIsDeclined) {
  QTemporaryDir dir;
  COutputWnd pane;
  pane.AddLine("line two");
  const QString existing = dir.filePath("old.log");
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
  }
  ScriptedDialogs dialogs;
  dialogs.names = {dir.filePath("old"), dir.filePath("new")};
  dialogs.overwrites = {false};
  EXPECT_TRUE(pane.SaveLog(dialogs));
  EXPECT_EQ(dialogs.asked, (QStringList{"save:DravoltKestrunRepairforSQLite.log", "overwrite:old.log",
                                        "save:DravoltKestrunRepairforSQLite.log"}));
  EXPECT_EQ(ReadAll(existing), "keep me");
  EXPECT_EQ(ReadAll(dir.filePath("new.log")), workspace::LogReportBytes(pane.Lines()));

  // Declining, then cancelling, writes nothing.
  ScriptedDialogs cancel;
  cancel.names = {dir.filePath("old.log")};
  cancel.overwrites = {false};
  EXPECT_FALSE(pane.SaveLog(cancel));
  EXPECT_EQ(ReadAll(existing), "keep me");
}

TEST(OutputWndTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  COutputWnd pane;
  ScriptedDialogs dialogs;
  dialogs.names = {dir.filePath("no/such/folder/report")};
  EXPECT_FALSE(pane.SaveLog(dialogs));
  EXPECT_TRUE(dialogs.error.startsWith("The log report cannot be written to ")) << dialogs.error.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("no/such/folder/report.log")));
}

}  // namespace
