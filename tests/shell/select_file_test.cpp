// The Select Database dialog: the drive search over a real folder tree, the result
// list, Stop, Escape during a search, Select File and Repair.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "shell/db_file_list.h"
#include "shell/select_file.h"

namespace {

using shell::SelectFile;
// Paths as standard strings, so that a failed comparison prints them readably.
using Paths = std::vector<std::string>;

constexpr int kTimeoutMs = 20000;

class TestHost : public shell::SelectFileHost {
 public:
  QString AskDatabaseFile(QWidget*) override { return picked; }
  bool ConfirmStop(QWidget*) override {
    stopAsked = true;
    return stopAnswer;
  }
  bool StartRepair(const QString& path, bool includeDeleted) override {
    repairs.append({path, includeDeleted});
    return repairResult;
  }
  void OpenHelp(QWidget*) override { helpOpened = true; }
  QStringList Drives() override { return drives; }

  QStringList drives;
  QString picked;
  bool stopAnswer = true;
  bool stopAsked = false;
  bool repairResult = true;
  bool helpOpened = false;
  QList<std::pair<QString, bool>> repairs;
};

// Holds a search at its first checkpoint until the test opens it.
struct Gate {
  void Pass() {
    std::unique_lock lock(mutex);
    if (!armed || open) return;
    reached = true;
    opened.wait(lock, [this] { return open; });
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
  std::mutex mutex;
  std::condition_variable opened;
  bool armed = false;
  bool open = false;
  std::atomic<bool> reached{false};
};

// A dialog searching `root`; the gate is opened before the dialog goes, so a failed
// check never leaves the search waiting.
struct Harness {
  explicit Harness(QString root) : root(std::move(root)) { host.drives = {this->root}; }
  ~Harness() {
    gate->Open();
    dialog.reset();
  }
  void Open(const QString& initialPath = {}) {
    dialog.reset();
    dialog = std::make_unique<SelectFile>(state, host, initialPath);
    dialog->SetSearchHook([gate = gate](shell::SearchThread::Point, const QString&) { gate->Pass(); });
    dialog->show();
  }
  template <typename T>
  T* Find(const char* name) const {
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  shell::CDBFileList* List() const { return Find<shell::CDBFileList>("ResultList"); }
  std::string Path() const { return Find<QLineEdit>("SelectFilePath")->text().toStdString(); }
  bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }

  void ClickFind() { Find<QPushButton>("FindFiles")->click(); }
  bool WaitForSearchEnd() {
    return QTest::qWaitFor([this] { return !dialog->Searching(); }, kTimeoutMs);
  }
  bool WaitForGate() {
    return QTest::qWaitFor([this] { return gate->reached.load(); }, kTimeoutMs);
  }
  // The listed paths relative to the searched root, in list order.
  Paths Listed() const {
    Paths paths;
    const QString prefix = QDir::toNativeSeparators(root + QLatin1Char('/'));
    for (int row = 0; row < List()->rowCount(); ++row) {
      QString path = List()->CellText(row, 0);
      EXPECT_TRUE(path.startsWith(prefix)) << path.toStdString();
      paths.push_back(path.mid(prefix.size()).toStdString());
    }
    return paths;
  }
  Paths Search(bool subfolders) {
    Find<QCheckBox>("FindInSubfolders")->setChecked(subfolders);
    ClickFind();
    EXPECT_TRUE(WaitForSearchEnd());
    return Listed();
  }
  void ClickRow(int row) {
    shell::CDBFileList* list = List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 0)).center());
  }

  QString root;
  job::RepairState state;
  TestHost host;
  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
  std::unique_ptr<SelectFile> dialog;
};

std::string Iso(const QDateTime& time) { return time.toString(Qt::ISODate).toStdString(); }

void WriteFile(const QString& path, qint64 size = 0) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_TRUE(file.resize(size));
}

// Files and links under `root`; folders come with the files in them.
void MakeTree(const QString& root, const QStringList& files, const QList<std::pair<QString, QString>>& links = {}) {
  for (const QString& file : files) WriteFile(root + QLatin1Char('/') + file);
  for (const auto& [link, target] : links) {
    ASSERT_TRUE(QFile::link(target, root + QLatin1Char('/') + link)) << link.toStdString();
  }
}

TEST(SelectFileTest, SearchListsDatabaseFilesFolderByFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // One listable folder per level, so that the order of siblings (the file
  // system's) plays no part: the root, then sub, then sub/deeper.
  MakeTree(dir.path(),
           {"z.db", "a.sqlite", "X.DB", "notes.txt", "z.db-journal", "sqlite", ".hidden.db", ".dotdir/in.db",
            "sub/b.db", "sub/.also-hidden.sqlite", "sub/deeper/c.SQLite"},
           {{"loop", "."}, {"sub/up", ".."}, {"sub/deeper/top", dir.path()}});
  struct Case {
    const char* name;
    bool subfolders;
    Paths listed;
  } cases[] = {
      {"root folder only", false, {"X.DB", "z.db", "a.sqlite"}},
      {"with subfolders, each folder once",
       true,
       {"X.DB", "z.db", "a.sqlite", "sub/b.db", "sub/deeper/c.SQLite"}},
  };
  Harness h(dir.path());
  h.Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(h.Search(c.subfolders), c.listed);
    EXPECT_EQ(h.Find<QLabel>("CountLabel")->text().toStdString(),
              "Total " + std::to_string(c.listed.size()) + " file(s) found in the drive.");
    EXPECT_TRUE(h.Find<QLabel>("CountLabel")->isVisible());
    EXPECT_FALSE(h.Find<QProgressBar>("ActivityBar")->isVisible());
    EXPECT_FALSE(h.Find<QPushButton>("StopButton")->isVisible());
    EXPECT_TRUE(h.Enabled("ClearList"));
    EXPECT_FALSE(h.Enabled("RepairButton"));
    for (const char* name : {"SelectFileButton", "FindFiles", "CancelButton", "FindInSubfolders",
                             "IncludeDeletedRecords", "LookIn"}) {
      EXPECT_TRUE(h.Enabled(name)) << name;
    }
    EXPECT_EQ(h.state.searchRunning.load(), 0);
  }
}

TEST(SelectFileTest, UnreadableFolderIsSkipped) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db", "locked/l.db", "locked/inner/i.db"});
  const QString locked = dir.path() + QStringLiteral("/locked");
  ASSERT_TRUE(QFile::setPermissions(locked, {}));
  Harness h(dir.path());
  h.Open();
  EXPECT_EQ(h.Search(true), Paths{"a.db"});
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(SelectFileTest, ColumnsShowSizeInKibAndLocalTimes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QDateTime afternoon(QDate(2021, 3, 4), QTime(15, 6));
  const QDateTime midnight(QDate(2020, 1, 2), QTime(0, 0));
  const QDateTime accessed(QDate(2019, 7, 8), QTime(9, 10));
  struct Case {
    const char* name;
    qint64 bytes;
    QDateTime modified;
    std::string size;
  } cases[] = {
      {"a1023.db", 1023, afternoon, "0"},
      {"b1024.db", 1024, midnight, "1"},
      {"c5gib.db", qint64{5} << 30, QDateTime::fromMSecsSinceEpoch(0), "5242880"},  // sparse
  };
  for (const Case& c : cases) {
    const QString path = dir.filePath(QString::fromLatin1(c.name));
    WriteFile(path, c.bytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(c.modified, QFileDevice::FileModificationTime));
    ASSERT_TRUE(file.setFileTime(accessed, QFileDevice::FileAccessTime));
  }
  Harness h(dir.path());
  h.Open();
  ASSERT_EQ(h.Search(false), Paths({"a1023.db", "b1024.db", "c5gib.db"}));
  const QString midnightTime = QLocale().toString(QTime(0, 0), QLocale::ShortFormat);
  for (int row = 0; row < 3; ++row) {
    const Case& c = cases[row];
    SCOPED_TRACE(c.name);
    const shell::CDBFileList* list = h.List();
    EXPECT_EQ(list->CellText(row, 1).toStdString(), c.size);
    const QString modified = list->CellText(row, 2);
    if (c.modified.toMSecsSinceEpoch() == 0) {
      EXPECT_EQ(modified.toStdString(), "");
    } else {
      EXPECT_EQ(Iso(shell::ParseFileTime(modified)), Iso(c.modified)) << modified.toStdString();
    }
    if (c.modified == midnight) {
      EXPECT_FALSE(modified.contains(midnightTime)) << modified.toStdString();
    }
    EXPECT_EQ(Iso(shell::ParseFileTime(list->CellText(row, 4))), Iso(accessed));
  }
}

TEST(SelectFileTest, RowChosenThenRepairStartsItAndCloses) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db", "b.db"});
  const QString second = QDir::toNativeSeparators(dir.filePath(QStringLiteral("b.db")));
  for (bool started : {true, false}) {
    for (bool includeDeleted : {true, false}) {
      SCOPED_TRACE(testing::Message() << "started " << started << ", include deleted " << includeDeleted);
      Harness h(dir.path());
      h.host.repairResult = started;
      h.Open();
      ASSERT_EQ(h.Search(false), Paths({"a.db", "b.db"}));
      h.ClickRow(1);
      EXPECT_EQ(h.Path(), second.toStdString());
      ASSERT_TRUE(h.Enabled("RepairButton"));
      h.Find<QCheckBox>("IncludeDeletedRecords")->setChecked(includeDeleted);
      h.Find<QPushButton>("RepairButton")->click();
      EXPECT_EQ(h.host.repairs, (QList<std::pair<QString, bool>>{{second, includeDeleted}}));
      EXPECT_FALSE(h.dialog->isVisible());
      EXPECT_EQ(h.dialog->result(), QDialog::Rejected);
    }
  }
}

TEST(SelectFileTest, SearchingLocksTheDialogAndEmptiesThePath) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db", "sub/b.db"});
  Harness h(dir.path());
  h.Open(QStringLiteral("/elsewhere/given.db"));
  ASSERT_EQ(h.Path(), "/elsewhere/given.db");
  ASSERT_TRUE(h.Enabled("RepairButton"));
  ASSERT_EQ(h.Search(true).size(), 2);
  h.gate->armed = true;
  h.ClickFind();
  ASSERT_TRUE(h.WaitForGate());
  EXPECT_EQ(h.Path(), "");
  EXPECT_EQ(h.List()->rowCount(), 0);
  EXPECT_TRUE(h.Find<QPushButton>("StopButton")->isVisible());
  EXPECT_TRUE(h.Enabled("StopButton"));
  EXPECT_TRUE(h.Enabled("HelpButton"));
  for (const char* name : {"RepairButton", "SelectFileButton", "FindFiles", "CancelButton", "FindInSubfolders",
                           "IncludeDeletedRecords", "LookIn", "ClearList"}) {
    EXPECT_FALSE(h.Enabled(name)) << name;
  }
  EXPECT_FALSE(h.Find<QLabel>("CountLabel")->isVisible());
  EXPECT_EQ(h.state.searchRunning.load(), 1);
  h.gate->Open();
  EXPECT_TRUE(h.WaitForSearchEnd());
  EXPECT_EQ(h.Listed(), Paths({"a.db", "sub/b.db"}));
}

TEST(SelectFileTest, StopAsksAndAYesEndsTheSearchWithoutCount) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db", "sub/b.db"});
  struct Case {
    const char* name;
    bool answer;
    Paths listed;
    bool countShown;
  } cases[] = {
      {"yes: stopped during the folder walk", true, {}, false},
      {"no: the search goes on", false, {"a.db", "sub/b.db"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(dir.path());
    h.host.stopAnswer = c.answer;
    h.Open();
    h.gate->armed = true;
    h.ClickFind();
    ASSERT_TRUE(h.WaitForGate());
    h.Find<QPushButton>("StopButton")->click();
    EXPECT_TRUE(h.host.stopAsked);
    EXPECT_EQ(h.Enabled("StopButton"), !c.answer);
    h.gate->Open();
    ASSERT_TRUE(h.WaitForSearchEnd());
    EXPECT_EQ(h.Listed(), c.listed);
    EXPECT_EQ(h.Find<QLabel>("CountLabel")->isVisible(), c.countShown);
    EXPECT_EQ(h.state.searchStopRequested.load(), 0);
    EXPECT_TRUE(h.Enabled("FindFiles"));
  }
}

TEST(SelectFileTest, EscapeOrCloseDuringSearchClosesOnceTheSearchEnded) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db", "sub/b.db"});
  const std::pair<const char*, std::function<void(QDialog&)>> ways[] = {
      {"Escape", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"close", [](QDialog& d) { d.close(); }},
  };
  for (const auto& [name, dismiss] : ways) {
    SCOPED_TRACE(name);
    Harness h(dir.path());
    h.Open();
    h.gate->armed = true;
    h.ClickFind();
    ASSERT_TRUE(h.WaitForGate());
    dismiss(*h.dialog);
    EXPECT_TRUE(h.dialog->isVisible());  // not under the running search
    EXPECT_FALSE(h.host.stopAsked);
    h.gate->Open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !h.dialog->isVisible(); }, kTimeoutMs));
    EXPECT_FALSE(h.dialog->Searching());
    EXPECT_EQ(h.state.searchRunning.load(), 0);

    // The next showing searches as usual, even over a running flag left set.
    h.state.searchRunning = 1;
    h.Open();
    EXPECT_EQ(h.Search(true), Paths({"a.db", "sub/b.db"}));
  }
}

TEST(SelectFileTest, DestroyedDuringSearchStopsAndWaitsForIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db"});
  job::RepairState state;
  TestHost host;
  host.drives = {dir.path()};
  std::atomic<bool> reached{false};
  std::atomic<bool> returned{false};
  {
    SelectFile dialog(state, host);
    // The search stands at its first checkpoint until the stop flag is set: only
    // the destructor sets it here.
    dialog.SetSearchHook([&](shell::SearchThread::Point, const QString&) {
      reached = true;
      while (state.searchStopRequested.load() == 0) std::this_thread::yield();
      returned = true;
    });
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("FindFiles"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reached.load(); }, kTimeoutMs));
  }
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(state.searchRunning.load(), 0);
}

TEST(SelectFileTest, SelectFileClearListAndHelp) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MakeTree(dir.path(), {"a.db"});
  Harness h(dir.path());
  h.Open();
  EXPECT_EQ(h.Find<QComboBox>("LookIn")->currentText().toStdString(), dir.path().toStdString());

  // The last repair's database: a choice made here and then given up must not
  // rename what a later Save writes.
  h.state.databasePath = "/data/last/sales.db";
  h.state.databaseFileName = "sales.db";
  struct Case {
    const char* name;
    QString picked;
    QString path;
  } cases[] = {
      {"a file chosen", "/data/shop/orders.db", "/data/shop/orders.db"},
      {"cancelled: the path stays", "", "/data/shop/orders.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.host.picked = c.picked;
    h.Find<QPushButton>("SelectFileButton")->click();
    EXPECT_EQ(h.Path(), c.path.toStdString());
    EXPECT_EQ(h.state.databasePath, "/data/last/sales.db");
    EXPECT_EQ(h.state.databaseFileName, "sales.db");
    EXPECT_TRUE(h.Enabled("RepairButton"));
  }

  ASSERT_EQ(h.Search(false), Paths{"a.db"});
  h.Find<QPushButton>("ClearList")->click();
  EXPECT_EQ(h.List()->rowCount(), 0);
  EXPECT_FALSE(h.Enabled("ClearList"));
  EXPECT_FALSE(h.Find<QLabel>("CountLabel")->isVisible());

  h.Find<QPushButton>("HelpButton")->click();
  EXPECT_TRUE(h.host.helpOpened);
}

}  // namespace
