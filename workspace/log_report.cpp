#include "workspace/log_report.h"

namespace workspace {

QByteArray LogReportBytes(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(text.size()) * 2);
  for (QChar c : text) {
    const char16_t u = c.unicode();
    bytes.append(static_cast<char>(u & 0xFF));
    bytes.append(static_cast<char>(u >> 8));
  }
  return bytes;
}

QString LogReportTarget(const QString& chosen) {
  return chosen.endsWith(QStringLiteral(".log"), Qt::CaseInsensitive) ? chosen
                                                                      : chosen + QStringLiteral(".log");
}

}  // namespace workspace
