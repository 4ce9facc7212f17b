// The drive search's stop rules: where the stop flag is seen decides what is kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

#include "shell/search_thread.h"

namespace {

using Point = shell::SearchThread::Point;

void WriteFiles(const QString& root, const QStringList& files) {
  for (const QString& name : files) {
    const QString path = root + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  }
}

// Standard strings, so that a failed comparison prints them readably.
std::vector<std::string> Relative(const shell::FileProperties& files, const QString& root) {
  std::vector<std::string> paths;
  for (const shell::FileProperty& file : files) paths.push_back(QDir(root).relativeFilePath(file.path).toStdString());
  return paths;
}

TEST(SearchThreadTest, StopKeepsWhatTheCheckpointAllows) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Folders: the root, then sub (the only subfolder); sub holds two "*.db" matches
  // and one "*.sqlite" match.
  WriteFiles(dir.path(), {"a.db", "sub/b.db", "sub/c.db", "sub/d.sqlite"});
  const QString root = dir.path() + QLatin1Char('/');
  struct Case {
    const char* name;
    Point point;
    QString path;  // the checkpoint at which the stop flag is set
    std::vector<std::string> found;
  } cases[] = {
      {"no stop", Point::Folder, {}, {"a.db", "sub/b.db", "sub/c.db", "sub/d.sqlite"}},
      {"during the folder walk", Point::WalkEntry, root + "sub/b.db", {}},
      {"between folders: the earlier folders' files stay", Point::Folder, root + "sub/", {"a.db"}},
      {"at a folder's second match: everything goes", Point::Match, root + "sub/c.db", {}},
      {"at a folder's first \"*.sqlite\" match: everything goes", Point::Match, root + "sub/d.sqlite", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    job::Flag stop{0};
    bool hit = false;
    shell::SearchThread search(dir.path(), true, stop, [&](Point point, const QString& path) {
      if (point == c.point && path == c.path) {
        hit = true;
        stop = 1;
      }
    });
    EXPECT_EQ(Relative(search.Search(), dir.path()), c.found);
    EXPECT_EQ(hit, !c.path.isEmpty());
  }
}

TEST(SearchThreadTest, LaunchedSearchHandsItsResultOverInFinished) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WriteFiles(dir.path(), {"one.db", "sub/two.sqlite"});
  job::Flag stop{0};
  shell::SearchThread search(dir.path() + QStringLiteral("///"), true, stop);
  // Received on this thread, as the dialog receives it.
  QObject receiver;
  shell::FileProperties files;
  bool finished = false;
  QObject::connect(
      &search, &shell::SearchThread::Finished, &receiver,
      [&](const shell::FileProperties& found) {
        files = found;
        finished = true;
      },
      Qt::QueuedConnection);
  search.Launch();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 20000));
  search.Wait();
  // Trailing separators of the root never double up in the listed paths.
  ASSERT_EQ(files.size(), 2);
  EXPECT_EQ(files.at(0).path.toStdString(), QDir::toNativeSeparators(dir.path() + "/one.db").toStdString());
  EXPECT_EQ(files.at(1).path.toStdString(), QDir::toNativeSeparators(dir.path() + "/sub/two.sqlite").toStdString());
}

}  // namespace
