// The product key the installer writes (installation folder, version, update
// server and support addresses) and the Help, Submit Enquiry and Knowledgebase
// commands that open what it names.
#pragma once

#include <functional>
#include <map>
#include <optional>

#include <QString>
#include <QUrl>

class QWidget;

namespace shell {

// A snapshot of the product key's values "Path", "Version", "ExeName", "Update",
// "SupTick", "KB", "LiveChatText" and "LiveChatLink", taken when the object is
// made; values are kept whole, however long. The key is only ever read: nothing
// here writes to the registry or to the INI file.
//
// Where the key lives:
// - The environment variable KESTRUN_PRODUCT_KEY, when set, names an INI file
//   that stands in for the key on every platform (tests, portable runs).
// - Windows: the registry key "HKEY_LOCAL_MACHINE\SOFTWARE\Dravolt Data
//   Recovery\Dravolt Kestrun Repair for SQLite".
// - Elsewhere: product-key.ini next to the executable (the build tree), else
//   <exe folder>/../share/kestrun-repair/product-key.ini (an installed program).
// In the INI file the values are keys at the top level (before any section, or in
// [General]). A relative "Path" there is taken from the INI file's own folder.
//
// Copyable; thread: any, one object per thread (Open reads the executable's folder
// from QCoreApplication, which must exist).
class ProductKey {
 public:
  static ProductKey Open();
  // Reads the INI file `iniPath`; a missing or unreadable file gives a key without
  // values.
  explicit ProductKey(const QString& iniPath);

  // The value `name`; nullopt when it is missing or empty.
  std::optional<QString> Value(const QString& name) const;
  // The value `name` as a web address: only absolute http and https addresses with
  // a host; nullopt for anything else (javascript:, file:, ftp:, bare words).
  std::optional<QUrl> WebAddress(const QString& name) const;
  // The help file in the folder "Path": "help.chm" on Windows, "help.html"
  // elsewhere; nullopt without "Path". Whether the file exists is not checked.
  std::optional<QString> HelpFile() const;
  // The file `name` in the folder "Path" (the licence text "eula.dat"); nullopt
  // without "Path". Whether the file exists is not checked.
  std::optional<QString> InstalledFile(const QString& name) const;

 private:
  ProductKey() = default;
  static ProductKey FromRegistry();

  std::map<QString, QString> values_;
  QString baseFolder_;  // a relative "Path" is taken from here; empty for the registry
};

// The Help, Submit Enquiry and Knowledgebase commands. A value that is missing or
// refused, a help file that does not exist, and a target the desktop will not
// open are told to the user through `report` (with a text naming the value), so
// nothing empty or foreign is ever handed to the desktop. `open` defaults to
// QDesktopServices::openUrl. Thread: the window thread.
class ProductLinks {
 public:
  ProductLinks(ProductKey key, std::function<void(QWidget*, const QString&)> report,
               std::function<bool(const QUrl&)> open = {});

  void OpenHelp(QWidget* parent);
  void OpenEnquiry(QWidget* parent);       // "SupTick"
  void OpenKnowledgebase(QWidget* parent);  // "KB"
  // The About box's live chat link ("LiveChatLink"): true when the page was opened.
  bool OpenLiveChat(QWidget* parent);
  const ProductKey& Key() const { return key_; }

 private:
  bool OpenWebAddress(QWidget* parent, const QString& name, const QString& what);

  ProductKey key_;
  std::function<void(QWidget*, const QString&)> report_;
  std::function<bool(const QUrl&)> open_;
};

}  // namespace shell
