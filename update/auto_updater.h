// The updater (`CAutoUpdater`): asks the update server whether a newer version of
// the program exists and downloads its installer.
#pragma once

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>

#include "update/rules/version_rules.h"

#include <QNetworkReply>

namespace update {

class CUpdateThread;

// The product key's values the update reads, as the program around it took them
// from the key: missing or empty values are nullopt, and the two addresses only
// absolute http or https addresses with a host.
struct UpdateKey {
  std::optional<QString> version;    // "Version": the installed version
  std::optional<QString> exeName;    // "ExeName": names the version file and the installer
  std::optional<QUrl> updateServer;  // "UpdateServer": the update server
  std::optional<QUrl> upgradePage;   // "Update": the page of the "Visit upgrade page" link
};

// The waiting times of the update and where it downloads, changeable for tests.
struct UpdateOptions {
  int checkMs = 30000;     // the whole version check, answer included
  int transferMs = 30000;  // a download with no byte moving for this long is broken off
  QString tempRoot;        // the folder the download's private folder is made in; empty: the system's
};

// One updater for the program's run, owned by the application object. The version
// check and the download are both driven by the network's signals on the thread
// that made the object (the window thread): nothing blocks it, and the results
// come as signals. One check or one download at a time.
//
// The update base address is the product key's "UpdateServer" (an http or https
// address, a port allowed) followed by "/upgrade/"; the version file is
// base + ExeName + "/" + ExeName + ".txt", the installer base + ExeName + "/" +
// ExeName + ".exe".
class CAutoUpdater : public QObject {
  Q_OBJECT

 public:
  explicit CAutoUpdater(UpdateKey key, UpdateOptions options = {}, QObject* parent = nullptr);
  ~CAutoUpdater() override;

  // The update base address from the product key; nullopt when "UpdateServer" is
  // missing or no http or https address with a host.
  static std::optional<QUrl> BaseAddress(const UpdateKey& key);
  std::optional<QUrl> BaseAddress() const { return BaseAddress(key_); }

  // Starts the version check against `base`; CheckFinished follows with one of the
  // kCheck... codes (possibly before this returns, when there is nothing to ask).
  void CheckForUpdate(const QUrl& base);
  // Abandons a running check without a result.
  void CancelCheck();
  bool Checking() const { return check_ != nullptr; }

  // Starts the download of the installer from `base` into a fresh private folder;
  // DownloadStarted, DownloadProgress and DownloadFinished (a kDownload... result)
  // follow. The installer must match the checksum of the last check when it named
  // one.
  void DownloadUpdate(const QUrl& base);
  // Breaks a running download off and deletes what was written; no
  // DownloadFinished follows.
  void AbortDownload();
  bool Downloading() const { return download_ != nullptr; }
  // The file a running download writes into; empty when none runs.
  QString DownloadTarget() const;

  // What the last check found (the version the wizard reports; the second line's).
  const QString& NewVersion() const { return newVersion_; }
  const QString& SecondVersion() const { return secondVersion_; }
  const QString& LastLineRest() const { return lastLineRest_; }
  // The installer's size in bytes as the server announced it, 0 when unknown.
  quint64 InstallerSize() const { return installerSize_; }
  const QUrl& InstallerAddress() const { return installerAddress_; }
  // The downloaded installer, after a DownloadFinished(kDownloadOk); else empty.
  const QString& InstallerPath() const { return installerPath_; }
  // Removes the downloaded installer with its private folder (it will not be
  // started); InstallerPath is empty afterwards.
  void RemoveInstaller();
  const UpdateKey& Key() const { return key_; }

 signals:
  void CheckFinished(int code);
  // The transfer has begun: `fileLabel` is "<name>.exe from <host>".
  void DownloadStarted(const QString& fileLabel);
  // `size` is 0 while the server has not said how large the installer is.
  void DownloadProgress(quint64 received, quint64 size);
  void DownloadFinished(int result);

 private:
  // Whether the platform reports the computer as offline; a loopback server is
  // always reachable.
  static bool NotConnected(const QUrl& base);
  // The program name ("ExeName") when it may name a file; else empty.
  QString ProgramName() const;
  void FinishCheck(int code);
  void OnVersionFile();
  void OnDownloadEnded(int result, const QString& path);

  UpdateKey key_;
  UpdateOptions options_;
  QNetworkAccessManager network_{this};  // its replies are children of it, so of the updater
  QPointer<QNetworkReply> check_;
  QByteArray versionFile_;  // read in memory, never stored
  QTimer checkTimer_;
  QString newVersion_;
  QString secondVersion_;
  QString lastLineRest_;
  QString expectedSha256_;
  quint64 installerSize_ = 0;
  QUrl installerAddress_;
  QString installerPath_;
  QString installerFolder_;  // the private folder installerPath_ is in
  std::unique_ptr<CUpdateThread> download_;
};

}  // namespace update
