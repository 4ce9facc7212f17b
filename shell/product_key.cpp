#include "shell/product_key.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <utility>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>
#include <string>
#endif

namespace shell {
namespace {

constexpr const char* kEnvironmentKey = "KESTRUN_PRODUCT_KEY";
#ifdef Q_OS_WIN
constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\Dravolt Data Recovery\\Dravolt Kestrun Repair for SQLite";
#endif
constexpr const char* kIniName = "product-key.ini";
constexpr const char* kInstalledIni = "../share/kestrun-repair/product-key.ini";
#ifdef Q_OS_WIN
constexpr const char* kHelpName = "help.chm";
#else
constexpr const char* kHelpName = "help.html";
#endif

// Every top-level value of `settings`, as text. QSettings reads an unquoted INI
// value holding commas as a list; joined again it is the text the installer wrote.
// Only value() is called: a read-only file or key is never synced or written.
std::map<QString, QString> ReadValues(const QSettings& settings) {
  std::map<QString, QString> values;
  for (const QString& name : settings.childKeys()) {
    const QVariant value = settings.value(name);
    values[name] = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QStringLiteral(", "))
                                                            : value.toString();
  }
  return values;
}

}  // namespace

ProductKey::ProductKey(const QString& iniPath) {
  const QSettings settings(iniPath, QSettings::IniFormat);
  values_ = ReadValues(settings);
  baseFolder_ = QFileInfo(iniPath).absolutePath();
}

ProductKey ProductKey::FromRegistry() {
  ProductKey key;
#ifdef Q_OS_WIN
  // The installer's key under HKEY_LOCAL_MACHINE, opened for reading only (a user
  // without administrator rights may not open it for writing) and in the 64-bit
  // view, where the installer wrote it. Only string values are taken.
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) {
    return key;
  }
  std::wstring name(16384, L'\0');  // the longest value name the registry allows
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD bytes = 0;
    const LONG listed = RegEnumValueW(handle, index, name.data(), &nameLength, nullptr, &type, nullptr, &bytes);
    if (listed == ERROR_NO_MORE_ITEMS) break;
    if (listed != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
    const std::wstring valueName(name.data(), nameLength);
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegGetValueW(handle, nullptr, valueName.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, data.data(), &size) != ERROR_SUCCESS) {
      continue;
    }
    data.resize(std::wcslen(data.c_str()));
    key.values_[QString::fromStdWString(valueName)] = QString::fromStdWString(data);
  }
  RegCloseKey(handle);
#endif
  return key;
}

ProductKey ProductKey::Open() {
  const QString named = qEnvironmentVariable(kEnvironmentKey);
  if (!named.isEmpty()) return ProductKey(named);
#ifdef Q_OS_WIN
  return FromRegistry();
#else
  const QDir exeFolder(QCoreApplication::applicationDirPath());
  const QString beside = exeFolder.filePath(QString::fromLatin1(kIniName));
  if (QFileInfo::exists(beside)) return ProductKey(beside);
  return ProductKey(QDir::cleanPath(exeFolder.filePath(QString::fromLatin1(kInstalledIni))));
#endif
}

std::optional<QString> ProductKey::Value(const QString& name) const {
  const auto found = values_.find(name);
  if (found == values_.end() || found->second.isEmpty()) return std::nullopt;
  return found->second;
}

std::optional<QUrl> ProductKey::WebAddress(const QString& name) const {
  const std::optional<QString> text = Value(name);
  if (!text) return std::nullopt;
  const QUrl url(text->trimmed(), QUrl::StrictMode);
  // Whatever the key says is handed to the desktop, which would run a script or
  // open a local file as readily as a web page; only web pages are let through.
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty()) {
    return std::nullopt;
  }
  return url;
}

std::optional<QString> ProductKey::HelpFile() const { return InstalledFile(QString::fromLatin1(kHelpName)); }

std::optional<QString> ProductKey::InstalledFile(const QString& name) const {
  const std::optional<QString> path = Value(QStringLiteral("Path"));
  if (!path) return std::nullopt;
  const QString folder = baseFolder_.isEmpty() ? *path : QDir(baseFolder_).filePath(*path);
  return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).filePath(name)));
}

ProductLinks::ProductLinks(ProductKey key, std::function<void(QWidget*, const QString&)> report,
                           std::function<bool(const QUrl&)> open)
    : key_(std::move(key)), report_(std::move(report)), open_(std::move(open)) {
  if (!open_) open_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void ProductLinks::OpenHelp(QWidget* parent) {
  const std::optional<QString> file = key_.HelpFile();
  if (!file) {
    report_(parent, QStringLiteral("The help file cannot be found: the product key has no "
                                   "installation folder (\"Path\")."));
    return;
  }
  if (!QFileInfo(*file).isFile()) {
    report_(parent, QStringLiteral("The help file %1 does not exist. Check the installation "
                                   "folder (\"Path\") in the product key.")
                        .arg(*file));
    return;
  }
  if (!open_(QUrl::fromLocalFile(*file))) {
    report_(parent, QStringLiteral("The help file %1 cannot be opened.").arg(*file));
  }
}

void ProductLinks::OpenEnquiry(QWidget* parent) {
  OpenWebAddress(parent, QStringLiteral("SupTick"), QStringLiteral("enquiry page"));
}

void ProductLinks::OpenKnowledgebase(QWidget* parent) {
  OpenWebAddress(parent, QStringLiteral("KB"), QStringLiteral("knowledge base"));
}

bool ProductLinks::OpenLiveChat(QWidget* parent) {
  return OpenWebAddress(parent, QStringLiteral("LiveChatLink"), QStringLiteral("live chat"));
}

bool ProductLinks::OpenWebAddress(QWidget* parent, const QString& name, const QString& what) {
  const std::optional<QString> text = key_.Value(name);
  if (!text) {
    report_(parent, QStringLiteral("The address of the %1 (\"%2\") is missing from the product key.")
                        .arg(what, name));
    return false;
  }
  const std::optional<QUrl> url = key_.WebAddress(name);
  if (!url) {
    report_(parent, QStringLiteral("The address of the %1 (\"%2\") in the product key is not a web "
                                   "address (http or https): %3")
                        .arg(what, name, *text));
    return false;
  }
  if (!open_(*url)) {
    report_(parent, QStringLiteral("The %1 %2 cannot be opened.").arg(what, url->toDisplayString()));
    return false;
  }
  return true;
}

}  // namespace shell
