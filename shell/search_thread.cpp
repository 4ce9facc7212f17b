#include "shell/search_thread.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QtGlobal>
#include <exception>
#include <memory>

namespace shell {
namespace {

// The folder path with exactly one trailing "/", so that a file's path is the
// folder followed by its name and never holds two separators in a row.
QString WithSlash(const QString& folder) {
  QString path = QDir::fromNativeSeparators(folder);
  while (path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path + QLatin1Char('/');
}

bool IsHidden(const QFileInfo& info) {
  return info.fileName().startsWith(QLatin1Char('.')) || info.isHidden();
}

// Kernel and device file systems: walking them reads no databases, and some of their
// entries (such as /proc/kcore) are endless or block.
bool IsPseudoFileSystem(const QString& path) {
#ifdef Q_OS_WIN
  Q_UNUSED(path);
  return false;
#else
  return path == QLatin1String("/proc") || path == QLatin1String("/sys") || path == QLatin1String("/dev") ||
         path == QLatin1String("/run");
#endif
}

// A link or junction to a folder is never entered: it can point to one of its own
// ancestors, and the folder it names is reached on its own path anyway.
bool IsFolderToWalk(const QFileInfo& info, const QString& path) {
  return info.isDir() && !info.isSymLink() && !info.isJunction() && !IsHidden(info) && !IsPseudoFileSystem(path);
}

FileProperty Describe(const QString& folder, const QFileInfo& info) {
  FileProperty file;
  file.path = QDir::toNativeSeparators(folder + info.fileName());
  file.size = QString::number(info.size() / 1024);
  file.created = FileTimeText(info.birthTime());
  file.accessed = FileTimeText(info.lastRead());
  file.modified = FileTimeText(info.lastModified());
  return file;
}

}  // namespace

SearchThread::SearchThread(QString root, bool includeSubfolders, job::Flag& stopFlag, Hook hook)
    : root_(root.isEmpty() ? QDir::rootPath() : std::move(root)),
      includeSubfolders_(includeSubfolders),
      stop_(stopFlag),
      hook_(std::move(hook)) {
  qRegisterMetaType<shell::FileProperties>("shell::FileProperties");
}

SearchThread::~SearchThread() { Wait(); }

void SearchThread::Launch() {
  Wait();
  thread_ = std::thread([this] {
    FileProperties found;
    try {
      found = Search();
    } catch (const std::exception& error) {
      // Nothing in the walk throws but an allocation failure; the search then ends
      // with an empty list rather than taking the program down.
      qWarning("The file search ended early: %s", error.what());
      found.clear();
      emit End();
    } catch (...) {
      qWarning("The file search ended early.");
      found.clear();
      emit End();
    }
    emit Finished(found);
  });
}

void SearchThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

FileProperties SearchThread::Search() {
  endSent_ = false;
  emit Start(kRangeMaximum);
  FileProperties found;
  const QString root = WithSlash(root_);
  if (includeSubfolders_) {
    for (const QString& folder : Walk(root)) {
      Notify(Point::Folder, folder);
      if (Stopped()) {
        emit End();
        break;
      }
      if (!SearchFolder(folder, found)) break;
    }
    emit Done();
  } else {
    SearchFolder(root, found);
  }
  emit End();
  return found;
}

std::vector<QString> SearchThread::Walk(const QString& root) {
  // Depth first without recursion, so that a deep tree cannot exhaust the thread's
  // stack: each level keeps its folder path and its place in the folder.
  struct Level {
    QString folder;
    std::unique_ptr<QDirIterator> entries;
  };
  const auto open = [](const QString& folder) {
    return Level{folder, std::make_unique<QDirIterator>(
                             folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)};
  };
  std::vector<QString> folders{root};
  std::vector<Level> levels;
  levels.push_back(open(root));
  int entries = 0;
  while (!levels.empty()) {
    QDirIterator& iterator = *levels.back().entries;
    if (!iterator.hasNext()) {  // also a folder that cannot be read: it contributes nothing
      levels.pop_back();
      continue;
    }
    iterator.next();
    const QFileInfo info = iterator.fileInfo();
    const QString path = levels.back().folder + info.fileName();
    if (++entries % kEntriesPerStep == 0) emit Step();
    const bool walk = IsFolderToWalk(info, path);
    if (walk) folders.push_back(WithSlash(path));
    Notify(Point::WalkEntry, path);
    if (Stopped()) {
      emit End();
      return {};
    }
    if (walk) levels.push_back(open(folders.back()));
  }
  return folders;
}

bool SearchThread::SearchFolder(const QString& folder, FileProperties& found) {
  for (const char* pattern : {"*.db", "*.sqlite"}) {
    // Name filters ignore letter case unless told otherwise; hidden entries are
    // listed so that the one rule of IsHidden decides on every platform.
    const QDir dir(folder, QString::fromLatin1(pattern), QDir::Name | QDir::IgnoreCase, QDir::Files | QDir::Hidden);
    for (const QFileInfo& info : dir.entryInfoList()) {
      // The first match ends the activity bar's run: from here on the search is
      // nearly done.
      if (!endSent_) {
        emit End();
        endSent_ = true;
      }
      Notify(Point::Match, folder + info.fileName());
      if (Stopped()) {
        emit End();
        found.clear();
        return false;
      }
      if (IsHidden(info)) continue;
      found.push_back(Describe(folder, info));
    }
  }
  return true;
}

}  // namespace shell
