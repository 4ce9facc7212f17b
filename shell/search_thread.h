// `SearchThread`: the drive search of the Select Database dialog, on a thread of its
// own, collecting every "*.db" and "*.sqlite" file under one root folder.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <thread>
#include <vector>

#include "job/contract/repair_state.h"
#include "shell/file_property.h"

namespace shell {

// The search copies its parameters in, touches no widget and reports only through
// its signals; the found files leave by value in Finished, its last signal. Connect
// to the signals with queued connections when the search runs on its own thread.
//
// Order: with subfolders, the folder walk first lists every folder depth-first (a
// folder before its subfolders, symbolic links and junctions to folders never
// followed, hidden folders and the pseudo file systems /proc, /sys, /dev and /run
// neither listed nor entered, unreadable folders skipped); then each folder is
// searched, its "*.db" matches (letter case ignored) before its "*.sqlite" matches.
// Names starting with "." count as hidden, as do entries the platform marks hidden.
//
// Stop: the stop flag is polled after each entry of the walk, before each folder
// and before each append. Set during the walk, the result is empty; set between
// folders, the result is what was found so far; set while a folder's matches are
// scanned, everything found is discarded.
//
// Lifetime: the object outlives its thread; the destructor waits for the thread
// (it does not stop it: set the stop flag first). Launch and Wait belong to the
// thread that created the object.
class SearchThread : public QObject {
  Q_OBJECT

 public:
  // Points of the search at which a test hook is called (on the searching thread),
  // each just before the stop flag is polled there.
  enum class Point { WalkEntry, Folder, Match };
  using Hook = std::function<void(Point point, const QString& path)>;

  static constexpr int kRangeMaximum = 1000;
  // The walk reports one Step per this many entries: the bar only shows activity,
  // and a drive holds millions of entries.
  static constexpr int kEntriesPerStep = 64;

  // `root` is a folder path ("/", "/media/usb", "C:/"); empty means the root of the
  // current drive. `stopFlag` must outlive the object.
  SearchThread(QString root, bool includeSubfolders, job::Flag& stopFlag, Hook hook = {});
  ~SearchThread() override;

  // Runs Search on a new thread and then emits Finished with its result.
  void Launch();
  // Blocks until the thread launched last has ended; returns at once without one.
  void Wait();

  // The search itself, on the calling thread; signals go out as it proceeds
  // (Finished is not emitted).
  FileProperties Search();

 signals:
  void Start(int maximum);
  void Step();
  void End();
  void Done();
  void Finished(shell::FileProperties files);

 private:
  // Every folder to search, the root first; empty when stopped.
  std::vector<QString> Walk(const QString& root);
  // Appends the folder's matches to `found`; false when stopped (`found` emptied).
  bool SearchFolder(const QString& folder, FileProperties& found);
  bool Stopped() const { return stop_.load() != 0; }
  void Notify(Point point, const QString& path) const {
    if (hook_) hook_(point, path);
  }

  const QString root_;
  const bool includeSubfolders_;
  job::Flag& stop_;
  const Hook hook_;
  bool endSent_ = false;
  std::thread thread_;
};

}  // namespace shell
