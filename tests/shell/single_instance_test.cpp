// One instance at a time: a second is refused while the first runs, and the lock
// goes with the instance.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <memory>

#include "shell/single_instance.h"

namespace {

TEST(SingleInstanceTest, ASecondInstanceIsRefusedUntilTheFirstEnds) {
  QTemporaryDir dir;
  auto first = std::make_unique<shell::SingleInstance>(dir.path());
  EXPECT_TRUE(first->Acquired());
  EXPECT_FALSE(shell::SingleInstance(dir.path()).Acquired());
  first.reset();
  EXPECT_TRUE(shell::SingleInstance(dir.path()).Acquired());
}

TEST(SingleInstanceTest, AnHourOldLockOfARunningInstanceIsKept) {
  QTemporaryDir dir;
  shell::SingleInstance first(dir.path());
  ASSERT_TRUE(first.Acquired());
  const QString lockPath = dir.filePath(QStringLiteral("Dravolt Kestrun Repair for SQLite.lock"));
  // An hour old, its process still running: still held.
  QFile lock(lockPath);
  ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
  ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
  lock.close();
  EXPECT_FALSE(shell::SingleInstance(dir.path()).Acquired());
}

TEST(SingleInstanceTest, ALockLeftByAProcessThatIsGoneIsTakenOver) {
  QTemporaryDir dir;
  const QString lockPath = dir.filePath(QStringLiteral("Dravolt Kestrun Repair for SQLite.lock"));
  // What a crashed instance leaves: the lock file naming a process that is gone (a
  // number above any process id the system hands out).
  QFile lock(lockPath);
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.write(QByteArray::number(2147483000) + "\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
             QSysInfo::machineHostName().toUtf8() + "\n");
  lock.close();
  EXPECT_TRUE(shell::SingleInstance(dir.path()).Acquired());
}

}  // namespace
