// What the update's tests share: a product key written into a temporary folder,
// a host that answers the wizard's dialogs and records what it was asked, and
// installer bodies.
#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <vector>

#include "job/contract/message_texts.h"
#include "shell/desktop_update_host.h"
#include "shell/product_key.h"
#include "update/update_host.h"

namespace update_fixture {

// The product key as an INI file in `folder`, with `values` (an empty value is
// left out), read as the program reads it for the update.
inline update::UpdateKey WriteKey(const QTemporaryDir& folder, const std::map<QString, QString>& values) {
  const QString path = QDir(folder.path()).filePath(QStringLiteral("product-key.ini"));
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  for (const auto& [name, value] : values) {
    if (!value.isEmpty()) file.write((name + QLatin1Char('=') + value + QLatin1Char('\n')).toUtf8());
  }
  file.close();
  return shell::UpdateKeyOf(shell::ProductKey(path));
}

// The usual key: installed `version`, program "kestrun-repair", the server `server`.
inline update::UpdateKey StandardKey(const QTemporaryDir& folder, const QString& server,
                                     const QString& version = QStringLiteral("1.0.0.1")) {
  return WriteKey(folder, {{QStringLiteral("Version"), version},
                           {QStringLiteral("ExeName"), QStringLiteral("kestrun-repair")},
                           {QStringLiteral("UpdateServer"), server},
                           {QStringLiteral("Update"), QStringLiteral("https://www.dravolt.example/upgrade")}});
}

// `size` bytes that differ from place to place, so a lost or shifted chunk shows.
inline QByteArray InstallerBody(qsizetype size) {
  QByteArray body(size, '\0');
  for (qsizetype i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7 + i / 4096) & 0xff);
  return body;
}

inline QByteArray Sha256Hex(const QByteArray& bytes) {
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

class RecordingHost : public update::UpdateHost {
 public:
  struct Asked {
    job::Dialog dialog;
    std::string text;                // the first line
    std::vector<std::string> lines;  // all of them
  };

  job::DialogAnswer Ask(job::RepairState& state, job::Dialog dialog, QWidget*) override {
    const job::DialogContent content = job::OpenDialog(state, dialog);
    asked.push_back({dialog, content.lines.empty() ? std::string() : content.lines.front(), content.lines});
    // What happens while the dialog is open (a user who takes their time).
    if (whileAsked) whileAsked();
    return answer ? *answer : content.defaultAnswer;
  }
  bool Open(const QUrl& url) override {
    opened.push_back(url);
    return openWorks;
  }
  void Quit() override { ++quits; }

  std::optional<job::DialogAnswer> answer;  // how every dialog is answered; its default when unset
  std::function<void()> whileAsked;
  bool openWorks = true;
  std::vector<Asked> asked;
  std::vector<QUrl> opened;
  int quits = 0;
};

}  // namespace update_fixture
