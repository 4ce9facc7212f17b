// The rule that one instance of the program runs at a time, per user session.
#pragma once

#include <QLockFile>
#include <QString>

namespace shell {

// Holds the lock file "Dravolt Kestrun Repair for SQLite.lock" in `folder` (the
// temporary folder by default) while it lives. A lock left by a crashed instance
// is taken over: QLockFile sees that its process is gone. Window thread only.
class SingleInstance {
 public:
  explicit SingleInstance(const QString& folder = QString());
  // True when this is the only instance.
  bool Acquired() const { return acquired_; }

 private:
  QLockFile lock_;
  bool acquired_ = false;
};

}  // namespace shell
